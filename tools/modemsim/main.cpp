// telvane-modemsim: a simulated GSM modem on a pseudo-terminal.
//
//   telvane-modemsim [--scenario FILE] [--link PATH] [--transcript FILE] [--control FIFO]
//   telvane-modemsim --help
//
// Prints the device path on stdout (one line) and runs until SIGINT or SIGTERM.  Without
// --scenario the shipped demo SIM is used.  With --control it makes a named pipe there and
// carries out the lines written to it (see control.h), e.g.
//   echo 'deliver +886955000111 | | Hi' > FIFO
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

#include "modemsim/control.h"
#include "modemsim/simulated_modem.h"
#include "platform/files.h"

namespace {

const char kUsage[] =
    "usage: telvane-modemsim [--scenario FILE] [--link PATH] [--transcript FILE] "
    "[--control FIFO]\n";

int Usage(const char* message) {
    std::fprintf(stderr, "telvane-modemsim: %s\n%s", message, kUsage);
    return 2;
}

int Help() {
    std::printf(
        "telvane-modemsim: a simulated GSM modem on a pseudo-terminal; prints the device's path\n"
        "and runs until SIGINT or SIGTERM.\n\n%s\n"
        "  --scenario FILE    the SIM, network and faults to simulate (default: the shipped\n"
        "                     demo-sim.ini)\n"
        "  --link PATH        also make PATH a symbolic link to the device, replacing an earlier\n"
        "                     simulator's (removed at the end or at hangup while it is ours)\n"
        "  --transcript FILE  write every command, PDU, unsolicited line and event there\n"
        "  --control FIFO     make a named pipe there and carry out the lines written to it:\n"
        "                       deliver [SM|ME] SENDER | TIME | TEXT  (TIME may be empty: now;\n"
        "                         a TEXT too long for one message arrives as its parts)\n"
        "                       deliver-pdu [SM|ME] HEX\n"
        "                       report REFERENCE STATUS\n"
        "                       unsolicited LINE\n"
        "                       registration 0-5\n"
        "                       signal 0-31|99\n"
        "                       drop\n"
        "                       hangup  (the device goes, as a pulled USB modem does)\n"
        "  --help, -h         this text\n\n"
        "Scenario files have the sections [modem], [sim], [network], [messages],\n"
        "[messages.ME], [messages.SR], [phonebook], [toolkit], [ussd], [faults] and\n"
        "[unsolicited]; every key is described in tools/modemsim/scenario.h and data/demo-sim.ini "
        "is a worked example.\n"
        "Fault keys: silent, cpin_busy, cms_error, cme, mute, refuse, delay, delay COMMAND,\n"
        "batches, bit7, drop_after_bytes, drop_at, cut, endless, inject, inject_apart, nul, seed;\n"
        "[network] submit_delay holds the result of a submission.\n",
        kUsage);
    return 0;
}

// PATH made a link to `device` in one step, so that a client reopening it never finds it missing
// while a new simulator takes the place of an ended one.
bool ReplaceLink(const std::string& device, const std::string& path) {
    const std::string temporary = path + ".new-" + std::to_string(getpid());
    unlink(temporary.c_str());
    if (symlink(device.c_str(), temporary.c_str()) != 0) return false;
    if (rename(temporary.c_str(), path.c_str()) != 0) {
        const int error = errno;
        unlink(temporary.c_str());
        errno = error;
        return false;
    }
    return true;
}

// The link is removed only while it still leads to this simulator's device: a later simulator
// may have taken it over.
void RemoveOwnLink(const std::string& device, const std::string& path) {
    if (path.empty()) return;
    char target[4096];
    const ssize_t n = readlink(path.c_str(), target, sizeof target - 1);
    if (n < 0) return;
    target[n] = '\0';
    if (device == target) unlink(path.c_str());
}

// Reads control lines from the pipe until `stop` becomes readable.  The pipe is held open for
// writing too, so that writers coming and going never end the reading.  `hangup` takes the
// device away: its link goes first, as /dev/serial/by-id loses a pulled modem, then the line.
void ServeControl(telvane::modemsim::SimulatedModem& modem, int pipe, int stop,
                  const std::string& device, const std::string& linkPath) {
    std::string pending;
    char buffer[1024];
    while (true) {
        pollfd fds[2] = {{pipe, POLLIN, 0}, {stop, POLLIN, 0}};
        if (poll(fds, 2, -1) < 0) {
            if (errno == EINTR) continue;
            return;
        }
        if (fds[1].revents) return;
        ssize_t n = read(pipe, buffer, sizeof buffer);
        if (n <= 0) continue;
        pending.append(buffer, static_cast<size_t>(n));
        size_t end;
        while ((end = pending.find('\n')) != std::string::npos) {
            const std::string line = pending.substr(0, end);
            std::string problem;
            if (line == "hangup") {
                RemoveOwnLink(device, linkPath);
                modem.DropLink();
            } else {
                problem = telvane::modemsim::ApplyControl(modem, line);
            }
            if (!problem.empty())
                std::fprintf(stderr, "telvane-modemsim: control: %s\n", problem.c_str());
            pending.erase(0, end + 1);
        }
        // A line never ended is not allowed to grow without bound.
        if (pending.size() > 65536) pending.clear();
    }
}

}  // namespace

int main(int argc, char** argv) {
    using namespace telvane;
    std::string scenarioPath;
    std::string linkPath;
    std::string transcriptPath;
    std::string controlPath;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") return Help();
        std::string* value = arg == "--scenario"     ? &scenarioPath
                             : arg == "--link"       ? &linkPath
                             : arg == "--transcript" ? &transcriptPath
                             : arg == "--control"    ? &controlPath
                                                     : nullptr;
        if (!value) return Usage(("unknown option " + arg).c_str());
        if (i + 1 >= argc) return Usage(("missing value after " + arg).c_str());
        *value = argv[++i];
    }
    if (scenarioPath.empty()) {
        scenarioPath = FindShippedFile("demo-sim.ini").string();
        if (scenarioPath.empty()) return Usage("no --scenario given and no demo-sim.ini found");
    }
    std::string error;
    auto scenario = modemsim::LoadScenarioFile(scenarioPath, &error);
    if (!scenario) {
        std::fprintf(stderr, "telvane-modemsim: %s\n", error.c_str());
        return 1;
    }

    // The signals are taken by sigwait below, never by a handler on the modem's thread.
    // A shell starts background jobs with SIGINT ignored; an ignored signal never reaches sigwait.
    signal(SIGINT, SIG_DFL);
    signal(SIGTERM, SIG_DFL);
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    modemsim::SimulatedModem modem(std::move(*scenario));
    if (!transcriptPath.empty()) modem.SetTranscriptFile(transcriptPath);
    std::string device = modem.Start();
    if (device.empty()) {
        std::fprintf(stderr, "telvane-modemsim: %s\n", modem.Error().c_str());
        return 1;
    }
    if (!linkPath.empty()) {
        if (!ReplaceLink(device, linkPath)) {
            std::fprintf(stderr, "telvane-modemsim: cannot link %s to %s: %s\n", linkPath.c_str(),
                         device.c_str(), std::strerror(errno));
            return 1;
        }
    }
    int control = -1;
    int stop[2] = {-1, -1};
    std::thread controller;
    if (!controlPath.empty()) {
        unlink(controlPath.c_str());
        if (mkfifo(controlPath.c_str(), 0600) != 0 ||
            (control = open(controlPath.c_str(), O_RDWR | O_CLOEXEC)) < 0 ||
            pipe2(stop, O_CLOEXEC) != 0) {
            std::fprintf(stderr, "telvane-modemsim: cannot make the control pipe %s: %s\n",
                         controlPath.c_str(), std::strerror(errno));
            RemoveOwnLink(device, linkPath);
            return 1;
        }
        controller = std::thread([&] { ServeControl(modem, control, stop[0], device, linkPath); });
    }
    std::printf("%s\n", linkPath.empty() ? device.c_str() : linkPath.c_str());
    std::fflush(stdout);

    int received = 0;
    sigwait(&signals, &received);
    if (controller.joinable()) {
        char c = 1;
        [[maybe_unused]] ssize_t n = write(stop[1], &c, 1);
        controller.join();
    }
    for (int fd : {control, stop[0], stop[1]}) {
        if (fd >= 0) close(fd);
    }
    if (!controlPath.empty()) unlink(controlPath.c_str());
    modem.Stop();
    RemoveOwnLink(device, linkPath);
    return 0;
}
