// One contact file: a vCard 3.0 or 4.0 read leniently and written back with every property we
// did not edit kept byte for byte (unknown properties, groups, parameters, folding).
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace telvane {

// The one escaper of vCard text values (FN, N's parts, NOTE): backslash, comma, semicolon and
// line breaks escaped; CR and other control characters that could break a line left out.
std::string EscapeVCardText(std::u16string_view text);

// A whole name as N's parts.  A bracketed note at its end ("李大華 (Work)") is no part of the
// name (FN keeps it); of the rest, the text before the first blank is the given name and the
// text after it the family name; a name without a blank is a given name alone.
struct VCardName {
    std::u16string given;
    std::u16string family;
};
VCardName SplitVCardName(std::u16string_view whole);

class VCard {
  public:
    // Reads the first card of a file (UTF-8; CR LF or LF; folded lines).  Empty when the file
    // holds no BEGIN:VCARD.  Text before and after the card is kept as it is.
    static std::optional<VCard> Parse(std::string_view file);
    // Reads every card of a file, in file order.  SerializeAll of the result gives the file back
    // byte for byte: each card keeps the text before it, the last one the text after it.
    static std::vector<VCard> ParseAll(std::string_view file);
    static std::string SerializeAll(const std::vector<VCard>& cards);
    // Removes one card of a file's cards with the text that separated it from its neighbour;
    // every other card's bytes stay as they are.
    static void Erase(std::vector<VCard>& cards, size_t index);

    // A new card of version 3.0 with its UID (none when empty), name and (when not empty) a
    // cell number; FN is `formatted`, or the names joined when it is empty.
    static VCard Create(std::string_view uid, std::u16string_view first, std::u16string_view last,
                        std::u16string_view number, std::u16string_view formatted = {});
    // The card every export and copy writes: N from SplitVCardName, FN the whole name.
    static VCard FromName(std::string_view uid, std::u16string_view whole,
                          std::u16string_view number);

    std::string Serialize() const;

    std::string Version() const;  // "3.0", "4.0", or as the file says
    // Given, additional and family names from N; several values of one part are joined by blanks.
    std::u16string First() const;
    std::u16string Middle() const;
    std::u16string Last() const;
    std::u16string FormattedName() const;  // FN
    // The first cell number, else the first number; a tel: URI is given without its scheme.
    std::u16string Number() const;

    // Sets the given and family names, clears the additional names (the caller's text replaces
    // the whole shown name) and sets FN to `formatted`, or to the names joined when it is empty.
    void SetName(std::u16string_view first, std::u16string_view last,
                 std::u16string_view formatted = {});
    // Rewrites the number Number() reads, or adds a cell number; an empty number removes it.
    void SetNumber(std::u16string_view number);

  private:
    struct Property {
        std::string raw;  // the physical lines as read; empty once edited or when new
        std::string group;
        std::string name;     // upper case
        std::string params;   // as written, without the leading ';'
        std::string value;    // unfolded, still escaped
        bool nested = false;  // belongs to a card inside this one (an agent)
    };

    // The card that begins at or after `next`; `next` then moves to the first byte after it.
    // The card keeps the text before it, never the text after it.
    static std::optional<VCard> ParseAt(std::string_view file, size_t& next);
    static Property MakeProperty(std::string name, std::string params, std::string value);
    const Property* Find(std::string_view name) const;
    Property* Find(std::string_view name);
    int NumberIndex() const;
    std::vector<std::string> NameParts() const;
    void Insert(Property property);

    std::string prefix_;
    std::string suffix_;
    std::string eol_ = "\r\n";
    std::vector<Property> properties_;  // BEGIN and END included
};

}  // namespace telvane
