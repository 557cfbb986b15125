// Which kind of response a cut response is: a keyword table, tested in order, decides where its
// text is kept and which engine event it signals.
#pragma once

#include <string_view>

namespace telvane {

// Where the engine keeps a response's text.
enum class KeptText {
    kNothing,
    kCmeText,
    kOperator,  // parsed into the operator's name
    kClipText,
    kCsqText,
    kCregText,
    kWindText,
    kSmsText,      // every message and phonebook response
    kToolkitItem,  // parsed into the toolkit slots; the toolkit state decides the event
    kStinText,
    kCpasText,
    kIndicator,  // queued: reports may come several in a block
};

struct Classification {
    bool matched = false;  // false: no rule (a PDU line, "ERROR", "RING", ...)
    KeptText kept = KeptText::kNothing;
    int event = -1;  // engine event number; -1 for a toolkit item
};

// `listMode`: an exact "OK" is a final result only outside line-by-line cutting.  Keywords count
// at the start of a line only; "NO CARRIER" and "BUSY" only as whole lines.
Classification ClassifyText(std::string_view response, int listMode);

// Whether `line` (one line, without its CR LF) is one the modem sends on its own (+CREG:, +CSQ:,
// RING, NO CARRIER, +CMTI:, a vendor's ^RSSI:, ...) rather than part of the answer to `command`,
// the command line
// waiting for its answer ("" when none waits).  A line the command asks for is its answer:
// "+CSQ:" to "AT+CSQ", "+CPMS:" to "AT+CPMS?", "+CPIN:" to "AT+CMEE=1;+CPIN?".
bool IsUnsolicitedLine(std::string_view line, std::string_view command);

}  // namespace telvane
