#include "modem/indicators.h"

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "modem/info_parsers.h"
#include "modem/modem_info.h"

namespace telvane {
namespace {

bool SameName(std::string_view name, std::string_view wanted) {
    return name.size() == wanted.size() &&
           std::equal(name.begin(), name.end(), wanted.begin(), [](char a, char b) {
               return (a >= 'A' && a <= 'Z' ? static_cast<char>(a - 'A' + 'a') : a) == b;
           });
}

// The largest number in "(0-5)" or "(0,1,2)"; -1 when there is none.
int32_t RangeTop(std::string_view range) {
    int32_t top = -1;
    for (size_t i = 0; i < range.size();) {
        if (range[i] < '0' || range[i] > '9') {
            ++i;
            continue;
        }
        int32_t value = 0;
        for (; i < range.size() && range[i] >= '0' && range[i] <= '9'; ++i)
            value = std::min(value * 10 + (range[i] - '0'), 1000000);
        top = std::max(top, value);
    }
    return top;
}

bool Registered(int32_t stat) {
    const Registration r = RegistrationOf(stat);
    return r == Registration::kHome || r == Registration::kRoaming;
}

}  // namespace

IndicatorMap ParseIndicatorList(std::string_view line) {
    IndicatorMap map;
    if (!line.starts_with("+CIND:")) return map;
    const std::string_view rest = line.substr(6);
    int32_t position = 0;
    for (size_t i = 0; i < rest.size();) {
        if (rest[i] != '(') {
            ++i;
            continue;
        }
        // The group's closing bracket; brackets inside a quoted name are the name's.
        size_t end = i;
        int depth = 0;
        bool quoted = false;
        for (; end < rest.size(); ++end) {
            const char c = rest[end];
            if (c == '"') quoted = !quoted;
            if (quoted) continue;
            if (c == '(') ++depth;
            if (c == ')' && --depth == 0) break;
        }
        if (end >= rest.size()) break;  // cut short: what came before stands
        const std::string_view group = rest.substr(i + 1, end - i - 1);
        i = end + 1;
        ++position;
        const size_t comma = group.find(',');
        std::string_view name = TrimBlanks(group.substr(0, comma));
        if (name.size() >= 2 && name.front() == '"' && name.back() == '"')
            name = name.substr(1, name.size() - 2);
        const int32_t top =
            comma == std::string_view::npos ? -1 : RangeTop(group.substr(comma + 1));
        if ((SameName(name, "signal") || SameName(name, "rssi")) && map.signal == 0 && top > 0) {
            map.signal = position;
            map.signalMax = top;
        } else if (SameName(name, "service") && map.service == 0) {
            map.service = position;
        } else if (SameName(name, "roam") && map.roam == 0) {
            map.roam = position;
        }
    }
    return map;
}

IndicatorReport ParseIndicatorEvent(std::string_view line, const IndicatorMap& map) {
    IndicatorReport report;
    if (!line.starts_with("+CIEV:")) return report;
    const std::vector<std::string> fields = AnswerFields(line);
    if (fields.size() != 2) return report;
    const std::optional<int32_t> position = FieldNumber(fields[0]);
    const std::optional<int32_t> value = FieldNumber(fields[1]);
    if (!position || !value || *position <= 0) return report;
    if (*position == map.signal && *value <= map.signalMax)
        report.bars = (*value * 5 + map.signalMax / 2) / map.signalMax;
    if (*position == map.service) report.service = *value > 0 ? 1 : 0;
    if (*position == map.roam) report.roam = *value > 0 ? 1 : 0;
    return report;
}

IndicatorEffect ApplyIndicator(const IndicatorReport& report, NetworkIndicators network) {
    ModemParseState& state = network.state;
    IndicatorEffect effect;
    if (report.bars >= 0) {
        // The dBm of the last +CSQ says more than the bars, but only while it agrees with them.
        const bool rssiAgrees = state.rssi >= 0 && SignalBarsOf(state.rssi) == report.bars;
        const int32_t rssi = rssiAgrees ? state.rssi : -1;
        effect.signal = report.bars != state.signalLevel || rssi != state.rssi;
        state.signalLevel = report.bars;
        state.rssi = rssi;
    }
    int32_t stat = state.registrationStat;
    if (report.roam >= 0) {
        network.roaming = report.roam > 0;
        const bool roamingNow = RegistrationOf(stat) == Registration::kRoaming;
        if (Registered(stat) && roamingNow != network.roaming) stat = network.roaming ? 5 : 1;
    }
    // Searching and denied are both "no service": the state +CREG gave stays.
    if (report.service == 0 && (Registered(stat) || stat < 0)) stat = 0;
    if (report.service == 1 && !Registered(stat)) stat = network.roaming ? 5 : 1;
    if (stat != state.registrationStat) {
        state.registrationStat = stat;
        state.registered = stat == 1 || stat == 5;
        effect.registration = true;
    }
    return effect;
}

}  // namespace telvane
