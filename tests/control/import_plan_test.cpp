// What an import adds and what it skips, before anything is written.
#include <gtest/gtest.h>

#include <optional>
#include <vector>

#include "control/import_plan.h"

namespace telvane {
namespace {

using Skips = std::vector<std::optional<ImportSkip>>;

Skips SkipsOf(const std::vector<ImportLine>& lines) {
    Skips skips;
    for (const ImportLine& line : lines)
        skips.push_back(line.skip);
    return skips;
}

TEST(ImportPlan, SkipsDuplicatesNamesTooLongAndEntriesWithoutANumber) {
    const std::vector<ImportEntryText> file = {
        {u"Amy Chen", u"0912 345 678"},            // on the SIM already, written otherwise
        {u"New One", u"0955-000-111"},             // added
        {u"Again", u"0955000111"},                 // earlier in the file
        {u"Christopher Columbus", u"0933000000"},  // 20 of 14
        {u"李大華王小明陳", u"0933000001"},        // 7 of 6 in UCS2
        {u"Name only", u""},
        {u"Plus", u"+"},
        {u"Last fits", u"0933000002"},
        {u"No room", u"0933000003"},
    };
    ImportTarget sim{{u"0912345678"}, 14, 2};
    EXPECT_EQ(SkipsOf(PlanImport(file, sim)),
              (Skips{ImportSkip::kDuplicate, std::nullopt, ImportSkip::kDuplicate,
                     ImportSkip::kTooLongForSim, ImportSkip::kTooLongForSim, ImportSkip::kNoNumber,
                     ImportSkip::kNoNumber, std::nullopt, ImportSkip::kNoRoomOnSim}));
    // The contacts have no name limit and no capacity.
    const ImportTarget contacts{{u"0912345678"}, -1, -1};
    EXPECT_EQ(SkipsOf(PlanImport(file, contacts)),
              (Skips{ImportSkip::kDuplicate, std::nullopt, ImportSkip::kDuplicate, std::nullopt,
                     std::nullopt, ImportSkip::kNoNumber, ImportSkip::kNoNumber, std::nullopt,
                     std::nullopt}));
}

}  // namespace
}  // namespace telvane
