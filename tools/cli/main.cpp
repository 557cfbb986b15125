#include <algorithm>
#include <cstdio>
#include <iostream>
#include <map>
#include <memory>

#include "cli.h"
#include "platform/text.h"
#include "telvane_version.h"

namespace telvane::cli {

namespace {

struct Group {
    std::string usage;
    std::function<int(const Args&)> run;
};

std::map<std::string, Group>& Registry() {
    static std::map<std::string, Group> registry;
    return registry;
}

void PrintHelp() {
    std::cout << "telvane-tool: Telvane's command line; prints UTF-8 JSON, one object a line.\n\n"
                 "usage:\n";
    for (const auto& [name, group] : Registry())
        std::cout << group.usage;
    std::cout << "  --help\n  --version\n";
}

}  // namespace

CommandGroup::CommandGroup(std::string name, std::string usage,
                           std::function<int(const Args&)> run) {
    Registry()[std::move(name)] = Group{std::move(usage), std::move(run)};
}

std::string JsonString(std::string_view utf8) {
    std::string out = "\"";
    for (unsigned char c : utf8) {
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (c < 0x20) {
                    char buffer[8];
                    std::snprintf(buffer, sizeof buffer, "\\u%04x", c);
                    out += buffer;
                } else {
                    out.push_back(static_cast<char>(c));
                }
        }
    }
    out += '"';
    return out;
}

std::string JsonString(std::u16string_view text) {
    return JsonString(U16ToUtf8(text));
}

}  // namespace telvane::cli

int main(int argc, char** argv) {
    using namespace telvane::cli;
    Args args(argv + 1, argv + argc);
    if (args.empty() || args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
        PrintHelp();
        return args.empty() ? 2 : 0;
    }
    if (args[0] == "--version") {
        std::cout << "telvane-tool " << telvane::kVersion << "\n";
        return 0;
    }
    auto it = Registry().find(args[0]);
    if (it == Registry().end()) {
        std::cerr << "telvane-tool: unknown command '" << args[0] << "' (see --help)\n";
        return 2;
    }
    try {
        return it->second.run(Args(args.begin() + 1, args.end()));
    } catch (const UsageError& e) {
        std::cerr << "telvane-tool " << args[0] << ": " << e.message << "\n";
        return 2;
    }
}
