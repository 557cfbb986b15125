#include "contacts/vcard.h"

#include <algorithm>
#include <iterator>
#include <utility>

#include "platform/text.h"

namespace telvane {

namespace {

constexpr size_t kFoldOctets = 75;

char Upper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

std::string ToUpper(std::string_view s) {
    std::string out(s);
    std::transform(out.begin(), out.end(), out.begin(), Upper);
    return out;
}

bool SameText(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [](char x, char y) { return Upper(x) == Upper(y); });
}

std::string_view Trim(std::string_view s) {
    const size_t begin = s.find_first_not_of(" \t");
    if (begin == std::string_view::npos) return {};
    return s.substr(begin, s.find_last_not_of(" \t") - begin + 1);
}

// Splits at `separator` where it is neither escaped by a backslash nor inside double quotes
// (`quotes`, for parameter lists).
std::vector<std::string> Split(std::string_view s, char separator, bool quotes = false) {
    std::vector<std::string> parts(1);
    bool quoted = false;
    for (size_t i = 0; i < s.size(); ++i) {
        const char c = s[i];
        if (c == '\\' && !quotes && i + 1 < s.size()) {
            parts.back() += s.substr(i, 2);
            ++i;
        } else if (c == '"' && quotes) {
            quoted = !quoted;
            parts.back() += c;
        } else if (c == separator && !quoted) {
            parts.emplace_back();
        } else {
            parts.back() += c;
        }
    }
    return parts;
}

std::string Unescape(std::string_view s) {
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\\' && i + 1 < s.size()) {
            ++i;
            out += s[i] == 'n' || s[i] == 'N' ? '\n' : s[i];
        } else {
            out += s[i];
        }
    }
    return out;
}

std::string Escape(std::u16string_view text) {
    return EscapeVCardText(text);
}

}  // namespace

std::string EscapeVCardText(std::u16string_view text) {
    std::string out;
    for (char c : U16ToUtf8(text)) {
        switch (c) {
            case '\\':
            case ',':
            case ';':
                out += '\\';
                out += c;
                break;
            case '\n':
                out += "\\n";
                break;
            default:
                if (static_cast<unsigned char>(c) >= 0x20 && c != 0x7F) out += c;
        }
    }
    return out;
}

VCardName SplitVCardName(std::u16string_view whole) {
    const auto blank = [](char16_t c) { return c == u' ' || c == u'\t' || c == u'\u3000'; };
    while (!whole.empty() && blank(whole.front()))
        whole.remove_prefix(1);
    while (!whole.empty() && blank(whole.back()))
        whole.remove_suffix(1);
    // A note in brackets at the end ("(Work)", "（公司）") says which of a person's entries this
    // is.
    for (const auto& [open, close] : {std::pair{u'(', u')'}, std::pair{u'\uFF08', u'\uFF09'}}) {
        if (whole.size() < 2 || whole.back() != close) continue;
        const size_t at = whole.rfind(open);
        if (at == std::u16string_view::npos || at == 0) continue;
        std::u16string_view rest = whole.substr(0, at);
        while (!rest.empty() && blank(rest.back()))
            rest.remove_suffix(1);
        if (!rest.empty()) whole = rest;
        break;
    }
    size_t space = std::u16string_view::npos;
    for (size_t i = 0; i < whole.size(); ++i) {
        if (blank(whole[i])) {
            space = i;
            break;
        }
    }
    if (space == std::u16string_view::npos) return {std::u16string(whole), {}};
    std::u16string_view family = whole.substr(space + 1);
    while (!family.empty() && blank(family.front()))
        family.remove_prefix(1);
    return {std::u16string(whole.substr(0, space)), std::u16string(family)};
}

namespace {

std::string CleanNumber(std::u16string_view number) {
    std::string out;
    for (char c : U16ToUtf8(number))
        if (static_cast<unsigned char>(c) >= 0x20 && c != 0x7F) out += c;
    return out;
}

// One part of N: its values unescaped and joined by blanks.
std::u16string NamePart(const std::vector<std::string>& parts, size_t index) {
    if (index >= parts.size()) return {};
    std::string joined;
    for (const std::string& value : Split(parts[index], ',')) {
        std::string text(Trim(Unescape(value)));
        if (text.empty()) continue;
        if (!joined.empty()) joined += ' ';
        joined += text;
    }
    return Utf8ToU16(joined);
}

bool IsCell(std::string_view params) {
    for (const std::string& param : Split(params, ';', true)) {
        const size_t eq = param.find('=');
        if (eq == std::string::npos) {
            if (SameText(Trim(param), "CELL")) return true;
            continue;
        }
        if (!SameText(Trim(std::string_view(param).substr(0, eq)), "TYPE")) continue;
        std::string values = param.substr(eq + 1);
        values.erase(std::remove(values.begin(), values.end(), '"'), values.end());
        for (const std::string& type : Split(values, ','))
            if (SameText(Trim(type), "CELL")) return true;
    }
    return false;
}

bool IsTelUri(std::string_view value) {
    return value.size() >= 4 && SameText(value.substr(0, 4), "tel:");
}

std::string Fold(const std::string& line, const std::string& eol) {
    std::string out;
    size_t pos = 0;
    size_t room = kFoldOctets;
    while (line.size() - pos > room) {
        size_t cut = pos + room;
        // Never split a UTF-8 sequence.
        while (cut > pos + 1 && (static_cast<unsigned char>(line[cut]) & 0xC0) == 0x80)
            --cut;
        out += line.substr(pos, cut - pos) + eol + " ";
        pos = cut;
        room = kFoldOctets - 1;
    }
    return out + line.substr(pos) + eol;
}

}  // namespace

std::optional<VCard> VCard::Parse(std::string_view file) {
    size_t pos = 0;
    std::optional<VCard> card = ParseAt(file, pos);
    if (card) card->suffix_ = std::string(file.substr(pos));
    return card;
}

std::vector<VCard> VCard::ParseAll(std::string_view file) {
    std::vector<VCard> cards;
    size_t pos = 0;
    while (std::optional<VCard> card = ParseAt(file, pos))
        cards.push_back(std::move(*card));
    if (!cards.empty()) cards.back().suffix_ = std::string(file.substr(pos));
    return cards;
}

std::string VCard::SerializeAll(const std::vector<VCard>& cards) {
    std::string out;
    for (const VCard& card : cards)
        out += card.Serialize();
    return out;
}

void VCard::Erase(std::vector<VCard>& cards, size_t index) {
    if (index >= cards.size()) return;
    // The text between two cards goes with the card after it; the file's head and tail stay.
    if (index == 0 && cards.size() > 1) {
        cards[1].prefix_ = std::move(cards[0].prefix_);
    } else if (index + 1 == cards.size() && index > 0) {
        cards[index - 1].suffix_ = std::move(cards[index].suffix_);
    }
    cards.erase(cards.begin() + static_cast<std::ptrdiff_t>(index));
}

std::optional<VCard> VCard::ParseAt(std::string_view file, size_t& next) {
    VCard card;
    const size_t start = next;
    size_t pos = start;
    size_t cardEnd = file.size();
    bool begun = false;
    int depth = 0;
    while (pos < file.size()) {
        size_t end = file.find('\n', pos);
        end = end == std::string_view::npos ? file.size() : end + 1;
        const std::string_view physical = file.substr(pos, end - pos);
        std::string_view content = physical;
        while (!content.empty() && (content.back() == '\n' || content.back() == '\r'))
            content.remove_suffix(1);
        if (!begun) {
            if (SameText(Trim(content), "BEGIN:VCARD")) {
                begun = true;
                card.prefix_ = std::string(file.substr(start, pos - start));
                const size_t eolSize = physical.size() - content.size();
                if (eolSize == 1) card.eol_ = "\n";
            } else {
                pos = end;
                continue;
            }
        }
        if (!card.properties_.empty() && !content.empty() &&
            (content[0] == ' ' || content[0] == '\t') && depth > 0) {
            Property& last = card.properties_.back();
            last.raw += physical;
            last.value += content.substr(1);
            pos = end;
            continue;
        }
        if (depth == 0 && !card.properties_.empty()) {
            cardEnd = pos;
            break;
        }
        Property p;
        p.raw = std::string(physical);
        p.value = std::string(content);  // split into name and value below
        // Nesting counts only whole BEGIN/END lines; folded ones are rare enough to ignore.
        if (SameText(Trim(content), "BEGIN:VCARD")) ++depth;
        p.nested = depth > 1;
        if (SameText(Trim(content), "END:VCARD")) --depth;
        card.properties_.push_back(std::move(p));
        pos = end;
    }
    if (!begun) return std::nullopt;
    next = cardEnd;
    for (Property& p : card.properties_) {
        const std::string line = std::move(p.value);
        p.value.clear();
        // The name and parameters end at the first colon outside double quotes.
        size_t colon = std::string::npos;
        bool quoted = false;
        for (size_t i = 0; i < line.size(); ++i) {
            if (line[i] == '"') quoted = !quoted;
            if (line[i] == ':' && !quoted) {
                colon = i;
                break;
            }
        }
        if (colon == std::string::npos) {
            p.value = line;  // not a property: kept as it is, never matched
            continue;
        }
        std::string head = line.substr(0, colon);
        p.value = line.substr(colon + 1);
        const size_t semicolon = head.find(';');
        std::string name = head.substr(0, semicolon);
        if (semicolon != std::string::npos) p.params = head.substr(semicolon + 1);
        if (const size_t dot = name.rfind('.'); dot != std::string::npos) {
            p.group = name.substr(0, dot);
            name = name.substr(dot + 1);
        }
        p.name = ToUpper(Trim(name));
    }
    return card;
}

VCard::Property VCard::MakeProperty(std::string name, std::string params, std::string value) {
    Property p;
    p.name = std::move(name);
    p.params = std::move(params);
    p.value = std::move(value);
    return p;
}

VCard VCard::Create(std::string_view uid, std::u16string_view first, std::u16string_view last,
                    std::u16string_view number, std::u16string_view formatted) {
    VCard card;
    card.properties_.push_back(MakeProperty("BEGIN", "", "VCARD"));
    card.properties_.push_back(MakeProperty("VERSION", "", "3.0"));
    if (!uid.empty()) card.properties_.push_back(MakeProperty("UID", "", std::string(uid)));
    card.properties_.push_back(MakeProperty("END", "", "VCARD"));
    card.SetName(first, last, formatted);
    card.SetNumber(number);
    return card;
}

VCard VCard::FromName(std::string_view uid, std::u16string_view whole, std::u16string_view number) {
    const VCardName name = SplitVCardName(whole);
    return Create(uid, name.given, name.family, number, whole);
}

std::string VCard::Serialize() const {
    std::string out = prefix_;
    for (const Property& p : properties_) {
        if (!p.raw.empty()) {
            out += p.raw;
            continue;
        }
        std::string line = p.group.empty() ? p.name : p.group + "." + p.name;
        if (!p.params.empty()) line += ";" + p.params;
        out += Fold(line + ":" + p.value, eol_);
    }
    return out + suffix_;
}

const VCard::Property* VCard::Find(std::string_view name) const {
    for (const Property& p : properties_)
        if (p.name == name && !p.nested) return &p;
    return nullptr;
}

VCard::Property* VCard::Find(std::string_view name) {
    return const_cast<Property*>(std::as_const(*this).Find(name));
}

std::string VCard::Version() const {
    const Property* p = Find("VERSION");
    return p ? std::string(Trim(p->value)) : std::string();
}

std::vector<std::string> VCard::NameParts() const {
    const Property* n = Find("N");
    return n ? Split(n->value, ';') : std::vector<std::string>{};
}

std::u16string VCard::First() const {
    return NamePart(NameParts(), 1);
}

std::u16string VCard::Middle() const {
    return NamePart(NameParts(), 2);
}

std::u16string VCard::Last() const {
    return NamePart(NameParts(), 0);
}

std::u16string VCard::FormattedName() const {
    const Property* p = Find("FN");
    return p ? Utf8ToU16(Trim(Unescape(p->value))) : std::u16string();
}

int VCard::NumberIndex() const {
    int first = -1;
    for (size_t i = 0; i < properties_.size(); ++i) {
        if (properties_[i].name != "TEL" || properties_[i].nested) continue;
        if (IsCell(properties_[i].params)) return static_cast<int>(i);
        if (first < 0) first = static_cast<int>(i);
    }
    return first;
}

std::u16string VCard::Number() const {
    const int index = NumberIndex();
    if (index < 0) return {};
    std::string_view value = properties_[index].value;
    if (IsTelUri(value)) {
        value.remove_prefix(4);
        value = value.substr(0, value.find(';'));
    }
    return Utf8ToU16(Trim(Unescape(value)));
}

void VCard::Insert(Property property) {
    // Before this card's END; without one, after its last own line (never inside an agent's
    // card that was left open).
    size_t at = properties_.size();
    for (size_t i = properties_.size(); i-- > 0;) {
        if (properties_[i].nested) continue;
        at = properties_[i].name == "END" ? i : i + 1;
        break;
    }
    if (at > 0) {
        std::string& before = properties_[at - 1].raw;
        if (!before.empty() && before.back() != '\n') before += eol_;  // a last line without end
    }
    properties_.insert(properties_.begin() + static_cast<std::ptrdiff_t>(at), std::move(property));
}

void VCard::SetName(std::u16string_view first, std::u16string_view last,
                    std::u16string_view formatted) {
    if (Property* n = Find("N")) {
        std::vector<std::string> parts = Split(n->value, ';');
        parts.resize(std::max<size_t>(parts.size(), 5));
        parts[0] = Escape(last);
        parts[1] = Escape(first);
        parts[2].clear();
        std::string value;
        for (size_t i = 0; i < parts.size(); ++i)
            value += (i ? ";" : "") + parts[i];
        n->value = std::move(value);
        n->raw.clear();
    } else {
        Insert(MakeProperty("N", "", Escape(last) + ";" + Escape(first) + ";;;"));
    }
    std::u16string shown(first);
    if (!shown.empty() && !last.empty()) shown += u' ';
    shown += last;
    if (!formatted.empty()) shown = formatted;
    if (Property* fn = Find("FN")) {
        fn->value = Escape(shown);
        fn->raw.clear();
    } else {
        Insert(MakeProperty("FN", "", Escape(shown)));
    }
}

void VCard::SetNumber(std::u16string_view number) {
    const std::string clean = CleanNumber(number);
    const int index = NumberIndex();
    if (index < 0) {
        if (!clean.empty())
            Insert(MakeProperty("TEL", Version() == "4.0" ? "TYPE=cell" : "TYPE=CELL", clean));
        return;
    }
    if (clean.empty()) {
        properties_.erase(properties_.begin() + index);
        return;
    }
    Property& tel = properties_[index];
    tel.value = IsTelUri(tel.value) ? "tel:" + clean : clean;
    tel.raw.clear();
}

}  // namespace telvane
