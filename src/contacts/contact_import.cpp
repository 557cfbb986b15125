#include "contacts/contact_import.h"

#include "contacts/vcard.h"
#include "platform/text.h"

namespace telvane {
namespace {

// The fields of one CSV record from `at`, which moves past it; quoted fields may hold commas,
// doubled quotes and line breaks.
std::vector<std::string> NextCsvRecord(std::string_view text, size_t& at) {
    std::vector<std::string> fields(1);
    bool quoted = false;
    while (at < text.size()) {
        const char c = text[at++];
        if (quoted) {
            if (c != '"') {
                fields.back() += c;
            } else if (at < text.size() && text[at] == '"') {
                fields.back() += '"';
                ++at;
            } else {
                quoted = false;
            }
        } else if (c == '"') {
            quoted = true;
        } else if (c == ',') {
            fields.emplace_back();
        } else if (c == '\n') {
            break;
        } else if (c != '\r') {
            fields.back() += c;
        }
    }
    return fields;
}

std::string Trimmed(std::string s) {
    const size_t b = s.find_first_not_of(" \t");
    if (b == std::string::npos) return {};
    return s.substr(b, s.find_last_not_of(" \t") - b + 1);
}

bool HasDigit(std::string_view s) {
    for (char c : s)
        if (c >= '0' && c <= '9') return true;
    return false;
}

}  // namespace

std::vector<ImportedEntry> ReadContactsFile(std::string_view bytes) {
    if (bytes.starts_with("\xEF\xBB\xBF")) bytes.remove_prefix(3);
    std::vector<ImportedEntry> entries;
    const std::vector<VCard> cards = VCard::ParseAll(bytes);
    if (!cards.empty()) {
        for (const VCard& card : cards) {
            std::u16string name = card.FormattedName();
            if (name.empty()) {
                for (const std::u16string& part : {card.First(), card.Middle(), card.Last()}) {
                    if (part.empty()) continue;
                    if (!name.empty()) name += u' ';
                    name += part;
                }
            }
            entries.push_back({std::move(name), card.Number()});
        }
        return entries;
    }
    size_t at = 0;
    while (at < bytes.size()) {
        std::vector<std::string> fields = NextCsvRecord(bytes, at);
        const std::string number = Trimmed(fields[0]);
        const std::string name = fields.size() > 1 ? Trimmed(fields[1]) : std::string();
        if (number.empty() && name.empty()) continue;
        if (!number.empty() && !HasDigit(number)) continue;
        entries.push_back({Utf8ToU16(name), Utf8ToU16(number)});
    }
    return entries;
}

}  // namespace telvane
