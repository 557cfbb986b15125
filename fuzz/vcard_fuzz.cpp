// Any file bytes: reading returns, and an edited card reads back with what was written.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "contacts/vcard.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view file(reinterpret_cast<const char*>(data), size);
    auto card = telvane::VCard::Parse(file);
    if (!card) return 0;
    (void)card->First();
    (void)card->Middle();
    (void)card->FormattedName();
    const std::u16string number = card->Number();
    if (card->Serialize() != file) std::abort();
    card->SetName(u"Ann,;\\", u"Marie Lee");
    card->SetNumber(u"+852 9123\r\n4567");
    auto again = telvane::VCard::Parse(card->Serialize());
    if (!again || again->First() != u"Ann,;\\" || again->Last() != u"Marie Lee" ||
        again->Number() != u"+852 91234567")
        std::abort();
    return 0;
}
