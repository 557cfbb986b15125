// Runs telvane-tool as a user would, for the tests of its commands.
#pragma once

#include <sys/wait.h>

#include <cstdio>
#include <string>

namespace telvane::testing {

// Output (stdout and stderr together) of `telvane-tool <arguments>`; `status` gets its exit code.
inline std::string RunTool(const std::string& arguments, int* status) {
    std::string output;
    FILE* pipe = ::popen((std::string(TELVANE_TOOL_PATH) + " " + arguments + " 2>&1").c_str(), "r");
    if (pipe == nullptr) {
        *status = -1;
        return output;
    }
    char buffer[4096];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        output.append(buffer, n);
    *status = WEXITSTATUS(::pclose(pipe));
    return output;
}

}  // namespace telvane::testing
