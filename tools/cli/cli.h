// telvane-tool's command groups.  Each group lives in its own file and registers itself with a
// static CommandGroup object; main() dispatches on the first argument.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace telvane::cli {

// Raised for a bad argument or malformed input: main() prints the message on one line on stderr
// and exits with status 2.
struct UsageError {
    std::string message;
};

using Args = std::vector<std::string>;

struct CommandGroup {
    // `usage` holds the group's lines of --help, e.g. "pdu decode HEX|-".
    CommandGroup(std::string name, std::string usage, std::function<int(const Args&)> run);
};

// JSON output: one object per line, UTF-8.
std::string JsonString(std::string_view utf8);
std::string JsonString(std::u16string_view text);

}  // namespace telvane::cli
