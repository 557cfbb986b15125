#include "control/more_messages.h"

#include <algorithm>
#include <utility>

#include "control/ui_strings.h"
#include "platform/text.h"

namespace telvane {
namespace {

// The SIM's first, the phone's next, the rest as met.
int Rank(const std::string& store) {
    if (store == "SM") return 0;
    if (store == "ME") return 1;
    return 2;
}

}  // namespace

std::u16string MoreMessagesText(const std::vector<std::string>& storesNotShown,
                                int32_t unlistedOnSim) {
    std::vector<std::pair<std::string, int32_t>> counts;
    const auto add = [&counts](const std::string& named, int32_t count) {
        const std::string store = named.empty() ? "SM" : named;
        const auto it = std::find_if(counts.begin(), counts.end(),
                                     [&](const auto& entry) { return entry.first == store; });
        if (it == counts.end())
            counts.emplace_back(store, count);
        else
            it->second += count;
    };
    for (const std::string& named : storesNotShown)
        add(named, 1);
    if (unlistedOnSim > 0) add("SM", unlistedOnSim);
    std::stable_sort(counts.begin(), counts.end(),
                     [](const auto& a, const auto& b) { return Rank(a.first) < Rank(b.first); });
    std::u16string text;
    for (const auto& [store, count] : counts) {
        const std::u16string number = Widen(std::to_string(count));
        const std::u16string name = Widen(store);
        const bool first = text.empty();
        if (!first) text += LoadUiString(ui_text::kListSeparator);
        switch (Rank(store)) {
            case 0:
                text += FormatUiString(first ? ui_text::kMoreOnSim : ui_text::kAlsoOnSim, {number});
                break;
            case 1:
                text +=
                    FormatUiString(first ? ui_text::kMoreInPhone : ui_text::kAlsoInPhone, {number});
                break;
            default:
                text += FormatUiString(first ? ui_text::kMoreInStore : ui_text::kAlsoInStore,
                                       {number, name});
                break;
        }
    }
    return text;
}

}  // namespace telvane
