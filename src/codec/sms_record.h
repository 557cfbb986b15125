// One short message: the element of the engine's listing and of every message folder.
#pragma once

#include <cstdint>
#include <string>

namespace telvane {

struct SmsRecord {
    int32_t index = -1;     // index in the SIM store; -1 when cleared or made here
    std::u16string status;  // "REC UNREAD", "REC READ", "STO UNSENT", "STO SENT", "ALL" or empty
    std::u16string number;  // the other party; for outgoing messages possibly "111;222"
    std::u16string extra;   // spare: stored and archived, never shown
    std::u16string time;    // yy/MM/dd,hh:mm:ss, or empty
    std::u16string text;    // body, line breaks as CR LF

    bool operator==(const SmsRecord&) const = default;
};

inline void ClearSmsRecord(SmsRecord& record) {
    record = SmsRecord{};
}

}  // namespace telvane
