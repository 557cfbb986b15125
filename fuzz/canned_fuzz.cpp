// Library bytes and code-table bytes from one input: the first byte says how many of the next
// bytes (times 64) belong to the code table.  Whatever they hold, parsing returns.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "canned/canned_library.h"
#include "canned/canned_tree.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    std::string_view input(reinterpret_cast<const char*>(data + 1), size - 1);
    const size_t split = std::min(input.size(), size_t{data[0]} * 64);
    const telvane::CannedCodeTable table = telvane::ParseCannedCodeTable(input.substr(0, split));
    const std::string_view library = input.substr(split);
    (void)telvane::CannedTableName(library);
    if (auto entries = telvane::ParseCannedLibrary(library, table))
        (void)telvane::BuildCannedTree(*entries, u"Canned Message");
    return 0;
}
