// Parsers of the modem's response and unsolicited lines.  Pure functions over text: each finds
// its fields by the first occurrence from the start and never reads past the end of its input.
// Every parser takes the wide text of the engine or the ASCII of a raw line alike.
//
// Missing fields give -1 (numbers), false or an empty text.  Numbers are read with ReadNumber
// (platform/text.h).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "codec/phonebook_sink.h"
#include "codec/sms_record.h"

namespace telvane {

// The engine fields that the line parsers update.  The engine holds one and passes it in, so the
// parsers are tested without an engine.
struct ModemParseState {
    int32_t lastCmeError = 0;       // number of the last "+CME ERROR: n"
    int32_t windIndication = 0;     // number of the last "+WIND: n"
    int32_t signalLevel = 0;        // 0..5, from "+CSQ:"
    bool registered = false;        // from "+CREG:": home network or roaming
    int32_t rssi = -1;              // from "+CSQ:", 0..31; -1 not known (99)
    int32_t registrationStat = -1;  // from "+CREG:", its <stat>; -1 not known
};

// What a "+CME ERROR: n" line means to the engine.
enum class CmeKind {
    kOther,
    kNotAllowed,  // 3
    kSimMissing,  // 10
    kNoNetwork,   // 30
    kModuleBusy,  // 515: initialisation in progress
};

// What a "+CMS ERROR: n" line means to the engine.
enum class CmsKind {
    kOther,
    kSendFailed,     // 111
    kInvalidIndex,   // 321
    kUnknownCentre,  // 330
    kNotAllowed,     // 302
};

// What a "+WIND: n[,m]" indication reports.
enum class WindKind {
    kOther,
    kSimRemoved,    // 0
    kSimInserted,   // 1
    kRinging,       // 2
    kReadyNoSim,    // 3
    kReady,         // 4
    kCallCreated,   // 5,1
    kCallReleased,  // 6,1
};

// The text between the first double quote and the next; "" when either is missing.
std::u16string ExtractQuoted(std::u16string_view line);
std::string ExtractQuoted(std::string_view line);

// The number after the first ':' ("+CMGS: 12" -> 12), or -1 without a ':'.
int32_t ValueAfterColon(std::u16string_view line);
int32_t ValueAfterColon(std::string_view line);

// The number after the first ',' ("+CMTI: \"SM\",3" -> 3), or -1 without a ','.
int32_t ValueAfterComma(std::u16string_view line);
int32_t ValueAfterComma(std::string_view line);

// Removes everything through the first ','; false (text unchanged) when there is none.
bool DropThroughComma(std::u16string& text);
bool DropThroughComma(std::string& text);

// "+CME ERROR: n" -> its kind.  Stores n when the line has a ':'.
CmeKind ParseCmeError(std::u16string_view line, ModemParseState& state);
CmeKind ParseCmeError(std::string_view line, ModemParseState& state);

// "+CMS ERROR: n" -> its kind.
CmsKind ParseCmsError(std::u16string_view line);
CmsKind ParseCmsError(std::string_view line);

// "+WIND: n[,m]" -> its kind; 5 and 6 count only with ",1".  Stores n when the line has a ':'.
WindKind ParseWindIndication(std::u16string_view line, ModemParseState& state);
WindKind ParseWindIndication(std::string_view line, ModemParseState& state);

// "+CSQ: rssi,ber" -> signal level 0..5 and the rssi stored; true when either changed.
bool ParseSignalQuality(std::u16string_view line, ModemParseState& state);
bool ParseSignalQuality(std::string_view line, ModemParseState& state);

// "+CREG: n,stat[,...]" (the answer to AT+CREG?) is read by stat, its second number;
// "+CREG: stat[,lac,ci]" (unsolicited) by its first.  Registered means stat 1 (home) or 5
// (roaming).  Stores and returns the flag.
bool ParseRegistration(std::u16string_view line, ModemParseState& state);
bool ParseRegistration(std::string_view line, ModemParseState& state);

// "+COPS: mode,format,\"operator\"[,AcT]" -> the operator field without quotes ("46692", or a name
// when the modem gives one).  Empty when the answer has no operator ("+COPS: 0"): the caller then
// keeps what it had.
std::optional<std::u16string> ParseOperator(std::u16string_view line);
std::optional<std::u16string> ParseOperator(std::string_view line);

// One message from a "+CMGR:" reply or one "+CMGL:" entry: header line, CR LF, PDU line, CR LF.
// Blank lines before the PDU line are skipped.  Without a complete PDU line the record has only
// its index.  `status` and `extra` stay empty; text line breaks come out as CR LF.
SmsRecord ParseStoredMessage(std::u16string_view block, int32_t index);
SmsRecord ParseStoredMessage(std::string_view block, int32_t index);

// The same, with the part's place in a concatenated message when its header has one (for
// JoinParts).
SmsPart ParseStoredMessagePart(std::u16string_view block, int32_t index);
SmsPart ParseStoredMessagePart(std::string_view block, int32_t index);

// Every lone LF becomes CR LF; a CR LF stays as it is.
void ExpandLineBreaks(std::u16string& text);

// Fills `sink` from "+CPBR: index,\"number\",type,\"name\"" lines; type 145 puts a '+' in front of
// the number.  Stops at the first incomplete entry, keeping what it stored.
void ParsePhonebookRead(std::u16string_view block, PhonebookSink& sink);
void ParsePhonebookRead(std::string_view block, PhonebookSink& sink);

}  // namespace telvane
