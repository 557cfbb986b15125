#include "control/import_plan.h"

#include <set>

#include "control/sim_name.h"

namespace telvane {
namespace {

std::u16string Dialled(const std::u16string& number) {
    std::u16string key;
    for (char16_t c : number)
        if ((c >= u'0' && c <= u'9') || (c == u'+' && key.empty())) key += c;
    return key;
}

}  // namespace

std::vector<ImportLine> PlanImport(const std::vector<ImportEntryText>& entries,
                                   const ImportTarget& target) {
    std::set<std::u16string> seen;
    for (const std::u16string& number : target.numbers)
        if (std::u16string key = Dialled(number); !key.empty()) seen.insert(std::move(key));
    int32_t room = target.room;
    std::vector<ImportLine> lines;
    for (const ImportEntryText& entry : entries) {
        ImportLine line{entry.name, entry.number, std::nullopt};
        const std::u16string key = Dialled(entry.number);
        if (key.empty() || key == u"+") {
            line.skip = ImportSkip::kNoNumber;
        } else if (seen.contains(key)) {
            line.skip = ImportSkip::kDuplicate;
        } else if (target.simTextLimit >= 0 &&
                   !MeasureSimName(entry.name, target.simTextLimit).Fits()) {
            line.skip = ImportSkip::kTooLongForSim;
        } else if (room == 0) {
            line.skip = ImportSkip::kNoRoomOnSim;
        } else {
            seen.insert(key);
            if (room > 0) --room;
        }
        lines.push_back(std::move(line));
    }
    return lines;
}

}  // namespace telvane
