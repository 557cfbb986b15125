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
};

struct Classification {
    bool matched = false;  // false: no rule (a PDU line, "ERROR", "RING", ...)
    KeptText kept = KeptText::kNothing;
    int event = -1;  // engine event number; -1 for a toolkit item
};

// `listMode`: an exact "OK" is a final result only outside line-by-line cutting.
Classification ClassifyText(std::string_view response, int listMode);

}  // namespace telvane
