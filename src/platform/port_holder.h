// Who else has a serial device: a live UUCP lock file of it, or a process with the device open
// (seen through /proc/PID/fd).  Asked before a port is opened, so that the user hears who holds
// it instead of a guess.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace telvane {

struct PortHolder {
    int pid = 0;
    std::string name;  // the program's name ("gammu"); "pid N" when it cannot be read
};

// The folder under which the system keeps stable names of serial devices (by-id/, by-path/):
// "/dev/serial" unless SetSerialLinksRoot chose another, for tests; empty restores the default.
std::filesystem::path SerialLinksRoot();
void SetSerialLinksRoot(std::filesystem::path root);

// The first holder found other than this process; nullopt when the device is free (or cannot be
// examined: it is then left to the open to say why).  A lock counts under any name of the device:
// the path given, the node's, and each stable name leading to that node.  A process holding the
// master of a pseudo-terminal is that terminal's far end, not a rival, and does not count.
// `procRoot` is "/proc" except in tests.
std::optional<PortHolder> FindPortHolder(const std::string& devicePath,
                                         const std::vector<std::filesystem::path>& lockFolders,
                                         const std::filesystem::path& procRoot = "/proc");

// A process's name from its comm file; "pid N" when it cannot be read.
std::string ProcessName(int pid, const std::filesystem::path& procRoot = "/proc");

// "the port /dev/ttyUSB2 is in use by gammu (pid 4121)"
std::string DescribeHolder(const std::string& devicePath, const PortHolder& holder);

}  // namespace telvane
