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
    int32_t lastCmeError = 0;    // number of the last "+CME ERROR: n"
    int32_t windIndication = 0;  // number of the last "+WIND: n"
    int32_t signalLevel = 0;     // 0..5, from "+CSQ:"
    bool registered = false;     // from "+CREG:": home network or roaming
};

// Event codes the classifiers return (the engine's numbering).
namespace event {
inline constexpr int32_t kCmeOther = 47;
inline constexpr int32_t kCmeNotAllowed = 48;  // 3
inline constexpr int32_t kCmeModuleBusy = 49;  // 515: initialisation in progress
inline constexpr int32_t kCmeSimMissing = 50;  // 10
inline constexpr int32_t kCmeNoNetwork = 51;   // 30
inline constexpr int32_t kCmsOther = 47;
inline constexpr int32_t kCms111 = 55;
inline constexpr int32_t kCmsNotAllowed = 54;     // 302
inline constexpr int32_t kCmsInvalidIndex = 52;   // 321
inline constexpr int32_t kCmsUnknownCentre = 53;  // 330
inline constexpr int32_t kWindOther = 36;         // 37 + n for n = 0..4
inline constexpr int32_t kWind5Ready = 42;        // "+WIND: 5,1"
inline constexpr int32_t kWind6Ready = 43;        // "+WIND: 6,1"
}  // namespace event

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

// "+CME ERROR: n" -> 48 (3), 49 (515), 50 (10), 51 (30), else 47.  Stores n when the line has a
// ':'.
int32_t ParseCmeError(std::u16string_view line, ModemParseState& state);
int32_t ParseCmeError(std::string_view line, ModemParseState& state);

// "+CMS ERROR: n" -> 55 (111), 54 (302), 52 (321), 53 (330), else 47.
int32_t ParseCmsError(std::u16string_view line);
int32_t ParseCmsError(std::string_view line);

// "+WIND: n[,m]" -> 37..41 for n 0..4, 42 for 5,1, 43 for 6,1, else 36.  Stores n when the line
// has a ':'.
int32_t ParseWindIndication(std::u16string_view line, ModemParseState& state);
int32_t ParseWindIndication(std::string_view line, ModemParseState& state);

// "+CSQ: rssi,ber" -> signal level 0..5 stored; true when the level changed.
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
