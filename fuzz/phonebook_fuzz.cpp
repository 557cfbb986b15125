// The phonebook loader on arbitrary bytes: no crash, no huge allocation, and whatever it keeps
// survives a save and a reload unchanged.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "store/phonebook_table.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace telvane;
    PhonebookTable table;
    table.Decode(std::string_view(reinterpret_cast<const char*>(data), size));
    const PhonebookLimits limits = table.Limits();
    if (limits.capacity < 0 || limits.capacity > kMaxPhonebookCapacity) std::abort();
    if (table.Entries().size() != static_cast<size_t>(limits.capacity)) std::abort();

    PhonebookTable again;
    if (!again.Decode(table.Encode())) std::abort();
    if (!(again.Limits() == limits) || again.Entries() != table.Entries()) std::abort();

    // The editing operations stay within the table whatever it holds.
    table.DeleteEntry(limits.capacity);
    table.UpdateEntry(1, u"n", u"1");
    table.AddEntry(u"name", u"+1234");
    table.MarkWritten(0);
    return 0;
}
