// telvane-tool canned: what a canned-message library file holds, and which libraries are found.
#include <iostream>

#include "canned/canned_library.h"
#include "cli.h"

namespace telvane::cli {
namespace {

int Dump(const std::string& file) {
    CannedLibraryReader reader;
    if (!reader.ReadFile(file)) {
        std::cerr << "telvane-tool canned: " << reader.error << "\n";
        return 1;
    }
    std::cout << "{\"codePage\":" << reader.codePage << ",\"entries\":[";
    for (size_t i = 0; i < reader.entries.size(); ++i) {
        const CannedEntry& e = reader.entries[i];
        std::cout << (i ? "," : "") << "{\"mode\":" << e.mode
                  << ",\"topic\":" << JsonString(e.topic)
                  << ",\"subtopic\":" << JsonString(e.subtopic)
                  << ",\"message\":" << JsonString(e.message) << "}";
    }
    std::cout << "]}\n";
    return 0;
}

int Run(const Args& args) {
    if (args.size() == 2 && args[0] == "dump") return Dump(args[1]);
    if (args.size() == 1 && args[0] == "list") {
        for (const std::u16string& name : ListCannedLibraries())
            std::cout << "{\"name\":" << JsonString(name) << "}\n";
        return 0;
    }
    throw UsageError{"expected 'dump FILE' or 'list'"};
}

const CommandGroup group("canned",
                         "  canned dump FILE       records of a canned-message library\n"
                         "  canned list            the canned-message libraries found\n",
                         Run);

}  // namespace
}  // namespace telvane::cli
