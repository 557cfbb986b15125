// One short message: the element of the engine's listing and of every message folder.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace telvane {

struct SmsRecord {
    int32_t index = -1;     // index in the SIM store; -1 when cleared or made here
    std::u16string status;  // "REC UNREAD", "REC READ", "STO UNSENT", "STO SENT", "ALL" or empty
    std::u16string number;  // the other party; for outgoing messages possibly "111;222"
    std::u16string extra;   // spare: stored and archived, never shown
    std::u16string time;    // yy/MM/dd,hh:mm:ss, or empty
    std::u16string text;    // body, line breaks as CR LF
    // The modem's store the message was read from ("SM", "ME"); "" when not known (the SIM's).
    // Not kept in the folder files.
    std::string store = {};

    bool operator==(const SmsRecord&) const = default;
};

// One part of a concatenated message, from its user-data header (3GPP TS 23.040 9.2.3.24.1,
// 9.2.3.24.8).
struct ConcatInfo {
    int32_t reference = 0;
    int32_t referenceBits = 8;  // 8 (IEI 00) or 16 (IEI 08)
    int32_t total = 0;          // 1..255
    int32_t sequence = 0;       // 1..total

    bool operator==(const ConcatInfo&) const = default;
};

// A message as the SIM stores it: one record per part, with the part's place when it has one.
struct SmsPart {
    SmsRecord record;
    std::optional<ConcatInfo> concat;

    bool operator==(const SmsPart&) const = default;
};

// What the network reported on a submitted message (3GPP TS 23.040 9.2.2.3).
struct StatusReport {
    int32_t reference = -1;    // TP-MR of the submission it reports on
    std::u16string recipient;  // as the report gives it
    int32_t status = -1;       // TP-ST (DeliveryStatusOf)
    std::u16string time;       // when it was delivered or found undeliverable

    bool operator==(const StatusReport&) const = default;
};

inline void ClearSmsRecord(SmsRecord& record) {
    record = SmsRecord{};
}

}  // namespace telvane
