// Names for phone numbers, from the SIM phonebook and the contacts, so that lists can show who
// wrote rather than a number.
#pragma once

#include <string>
#include <unordered_map>
#include <vector>

namespace telvane {

class NumberNames {
  public:
    void Clear();
    // The first name given for a number wins; entries without a name or number are skipped.
    void Add(const std::u16string& number, const std::u16string& name);
    // The name for `number`, empty when none is known.  Numbers match on their digits, and a
    // national number ("0912 345 678") matches the same number written internationally
    // ("+886912345678") when at least seven digits follow the trunk 0.
    std::u16string Find(const std::u16string& number) const;
    bool Empty() const { return exact_.empty(); }

  private:
    struct Entry {
        std::u16string digits;
        bool international;
        std::u16string name;
    };
    std::unordered_map<std::u16string, std::u16string> exact_;
    std::vector<Entry> entries_;
};

}  // namespace telvane
