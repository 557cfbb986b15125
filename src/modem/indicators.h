// The modem's indicator reports (3GPP TS 27.007 8.9 +CIND, 8.10 +CMER/+CIEV): which of its
// indicators is the signal, the service and roaming, and what a "+CIEV:" report changes.  Pure
// functions over text, in the manner of info_parsers.h.
#pragma once

#include <cstdint>
#include <string_view>

#include "codec/response_parsers.h"

namespace telvane {

// Positions are those of AT+CIND=? (from 1); 0: the modem has no such indicator.
struct IndicatorMap {
    int32_t signal = 0;
    int32_t signalMax = 5;  // the top of the signal's range: "(0-5)", "(0-4)", ...
    int32_t service = 0;
    int32_t roam = 0;

    bool Any() const { return signal > 0 || service > 0 || roam > 0; }
    bool operator==(const IndicatorMap&) const = default;
};

// AT+CIND=?: "+CIND: (\"battchg\",(0-5)),(\"signal\",(0-5)),(\"service\",(0,1)),..."; names in
// any case, quoted or not; "rssi" is the signal too.  Nothing found: an empty map.
IndicatorMap ParseIndicatorList(std::string_view line);

// What one "+CIEV: <ind>,<value>" says, by the map.
struct IndicatorReport {
    int32_t bars = -1;     // 0-5; -1: not the signal
    int32_t service = -1;  // 0 or 1; -1: not the service
    int32_t roam = -1;     // 0 or 1; -1: not roaming
};
IndicatorReport ParseIndicatorEvent(std::string_view line, const IndicatorMap& map);

// The network as the engine keeps it, changed by a report.  The bars move, and the rssi (its
// dBm) stays only while it gives the same bars; the registration follows the service and the
// roaming flag, keeping a searching or denied state the service's loss agrees with.
struct NetworkIndicators {
    ModemParseState& state;
    bool& roaming;  // the last roaming report, for when the service comes back
};
struct IndicatorEffect {
    bool signal = false;
    bool registration = false;
};
IndicatorEffect ApplyIndicator(const IndicatorReport& report, NetworkIndicators network);

}  // namespace telvane
