// What an import of names and numbers adds to the SIM phonebook or the contacts, and what it
// leaves out and why, before anything is written.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace telvane {

enum class ImportSkip {
    kNoNumber,       // nothing to dial
    kDuplicate,      // the number is there already, or earlier in the file
    kTooLongForSim,  // the name does not fit the SIM's record (never cut)
    kNoRoomOnSim,    // every SIM position is taken
};

struct ImportLine {
    std::u16string name;
    std::u16string number;
    std::optional<ImportSkip> skip;  // empty: added
};

struct ImportTarget {
    std::vector<std::u16string> numbers;  // those already there
    // The SIM's name limit in its own set (0 not known); -1 for the contacts, which have none.
    int32_t simTextLimit = -1;
    int32_t room = -1;  // free positions; -1 without a limit
};

struct ImportEntryText {
    std::u16string name;
    std::u16string number;
};

// Every entry in file order, each either added or skipped with its reason.  Numbers compare
// by their digits and leading '+', so "0912 345 678" and "0912345678" are one.
std::vector<ImportLine> PlanImport(const std::vector<ImportEntryText>& entries,
                                   const ImportTarget& target);

}  // namespace telvane
