// Any file bytes: reading returns, every card of a file is written back byte for byte, and an
// edited card reads back with what was written.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "contacts/vcard.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view file(reinterpret_cast<const char*>(data), size);
    // Every card of the file, written back whole and with one card taken out.
    std::vector<telvane::VCard> cards = telvane::VCard::ParseAll(file);
    if (!cards.empty() && telvane::VCard::SerializeAll(cards) != file) std::abort();
    if (cards.size() > 1) {
        const size_t before = cards.size();
        telvane::VCard::Erase(cards, size % before);
        if (cards.size() != before - 1) std::abort();
        (void)telvane::VCard::SerializeAll(cards);
    }
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
