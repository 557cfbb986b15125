#include "codec/response_parsers.h"

#include <type_traits>

#include "codec/pdu_codec.h"
#include "platform/text.h"

namespace telvane {

namespace {

template <typename View>
using StringOf = std::basic_string<typename View::value_type>;

template <typename View>
std::u16string ToU16(View text) {
    if constexpr (std::is_same_v<View, std::u16string_view>)
        return std::u16string(text);
    else
        return Widen(text);
}

template <typename View>
StringOf<View> ExtractQuotedT(View line) {
    size_t open = line.find('"');
    if (open == View::npos) return {};
    size_t close = line.find('"', open + 1);
    if (close == View::npos) return {};
    return StringOf<View>(line.substr(open + 1, close - open - 1));
}

template <typename View>
int32_t ValueAfter(View line, typename View::value_type separator) {
    size_t at = line.find(separator);
    if (at == View::npos) return -1;
    return ReadNumber(line.substr(at + 1));
}

template <typename String>
bool DropThroughCommaT(String& text) {
    size_t at = text.find(',');
    if (at == String::npos) return false;
    text.erase(0, at + 1);
    return true;
}

template <typename View>
CmeKind ParseCmeErrorT(View line, ModemParseState& state) {
    if (line.find(':') == View::npos) return CmeKind::kOther;
    int32_t n = ValueAfter(line, ':');
    state.lastCmeError = n;
    switch (n) {
        case 3:
            return CmeKind::kNotAllowed;
        case 10:
            return CmeKind::kSimMissing;
        case 30:
            return CmeKind::kNoNetwork;
        case 515:
            return CmeKind::kModuleBusy;
        default:
            return CmeKind::kOther;
    }
}

template <typename View>
CmsKind ParseCmsErrorT(View line) {
    switch (ValueAfter(line, ':')) {
        case 111:
            return CmsKind::kSendFailed;
        case 302:
            return CmsKind::kNotAllowed;
        case 321:
            return CmsKind::kInvalidIndex;
        case 330:
            return CmsKind::kUnknownCentre;
        default:
            return CmsKind::kOther;
    }
}

template <typename View>
WindKind ParseWindIndicationT(View line, ModemParseState& state) {
    if (line.find(':') == View::npos) return WindKind::kOther;
    int32_t n = ValueAfter(line, ':');
    state.windIndication = n;
    constexpr WindKind kPlain[] = {WindKind::kSimRemoved, WindKind::kSimInserted,
                                   WindKind::kRinging, WindKind::kReadyNoSim, WindKind::kReady};
    if (n >= 0 && n <= 4) return kPlain[n];
    if ((n == 5 || n == 6) && ValueAfter(line, ',') == 1)
        return n == 5 ? WindKind::kCallCreated : WindKind::kCallReleased;
    return WindKind::kOther;
}

template <typename View>
bool ParseSignalQualityT(View line, ModemParseState& state) {
    int32_t rssi = ValueAfter(line, ':');
    int32_t level = 0;
    if (rssi == 99 || rssi < 10)
        level = 0;
    else if (rssi <= 12)
        level = 1;
    else if (rssi <= 14)
        level = 2;
    else if (rssi <= 16)
        level = 3;
    else if (rssi <= 18)
        level = 4;
    else
        level = 5;
    const int32_t known = rssi >= 0 && rssi <= 31 ? rssi : -1;
    bool changed = level != state.signalLevel || known != state.rssi;
    state.signalLevel = level;
    state.rssi = known;
    return changed;
}

template <typename View>
View TrimBlanks(View text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    return text;
}

template <typename View>
View LineOf(View text) {
    for (size_t i = 0; i < text.size(); ++i)
        if (text[i] == '\r' || text[i] == '\n') return text.substr(0, i);
    return text;
}

template <typename View>
bool AllDigits(View field) {
    if (field.empty()) return false;
    for (auto c : field)
        if (c < '0' || c > '9') return false;
    return true;
}

template <typename View>
bool ParseRegistrationT(View line, ModemParseState& state) {
    size_t colon = line.find(':');
    int32_t stat = -1;
    if (colon != View::npos) {
        View rest = LineOf(line.substr(colon + 1));
        size_t comma = rest.find(',');
        if (comma == View::npos) {
            stat = ReadNumber(rest);
        } else {
            // "n,stat[,lac,ci[,AcT]]" answers the query; "stat,lac,ci" is unsolicited, its
            // location a quoted or hex code, or at least a number beyond every stat value.
            View second = rest.substr(comma + 1);
            second = TrimBlanks(second.substr(0, second.find(',')));
            const bool isStat = AllDigits(second) && ReadNumber(second) <= 10;
            stat = isStat ? ReadNumber(second) : ReadNumber(rest);
        }
    }
    state.registered = stat == 1 || stat == 5;
    state.registrationStat = stat;
    return state.registered;
}

template <typename View>
std::optional<std::u16string> ParseOperatorT(View line) {
    size_t colon = line.find(':');
    if (colon == View::npos) return std::nullopt;
    View rest = LineOf(line.substr(colon + 1));
    // mode, format, then the operator
    for (int field = 0; field < 2; ++field) {
        size_t comma = rest.find(',');
        if (comma == View::npos) return std::nullopt;
        rest.remove_prefix(comma + 1);
    }
    rest = TrimBlanks(rest);
    View name;
    if (!rest.empty() && rest.front() == '"') {
        size_t close = rest.find('"', 1);
        if (close == View::npos) return std::nullopt;
        name = rest.substr(1, close - 1);
    } else {
        name = TrimBlanks(rest.substr(0, rest.find(',')));
    }
    if (name.empty()) return std::nullopt;
    return ToU16(name);
}

template <typename View>
SmsRecord ParseStoredMessageT(View block, int32_t index,
                              std::optional<ConcatInfo>* concat = nullptr) {
    SmsRecord record;
    ClearSmsRecord(record);
    record.index = index;
    const typename View::value_type crlf[] = {'\r', '\n'};
    View separator(crlf, 2);
    size_t at = block.find(separator);
    while (at != View::npos) {
        size_t start = at + 2;
        size_t end = block.find(separator, start);
        if (end == View::npos) break;
        View line = TrimBlanks(block.substr(start, end - start));
        if (!line.empty()) {
            std::u16string pdu = ToU16(line);
            if (pdu.size() >= 12) {
                DecodedPdu decoded = PduCodec().DecodePdu(pdu);
                record.number = std::move(decoded.number);
                record.time = std::move(decoded.time);
                record.text = std::move(decoded.text);
                if (concat) *concat = decoded.concat;
            }
            break;
        }
        at = end;
    }
    ExpandLineBreaks(record.text);
    return record;
}

template <typename View>
void ParsePhonebookReadT(View block, PhonebookSink& sink) {
    const typename View::value_type keyword[] = {'+', 'C', 'P', 'B', 'R', ':'};
    View tag(keyword, 6);
    size_t pos = 0;
    for (;;) {
        size_t p = block.find(tag, pos);
        if (p == View::npos) return;
        size_t c1 = block.find(',', p + 6);
        if (c1 == View::npos) return;
        int32_t index = ReadNumber(block.substr(p + 6, c1 - p - 6));
        size_t q0 = block.find_first_not_of(' ', c1 + 1);
        if (q0 == View::npos || block[q0] != '"') return;
        size_t q1 = block.find('"', q0 + 1);
        if (q1 == View::npos) return;
        View number = block.substr(q0 + 1, q1 - q0 - 1);
        size_t t0 = block.find(',', q1 + 1);
        if (t0 == View::npos) return;
        size_t c2 = block.find(',', t0 + 1);
        if (c2 == View::npos) return;
        int32_t type = ReadNumber(block.substr(t0 + 1, c2 - t0 - 1));
        size_t n0 = block.find_first_not_of(' ', c2 + 1);
        if (n0 == View::npos || block[n0] != '"') return;
        size_t q2 = block.find('"', n0 + 1);
        if (q2 == View::npos) return;
        View name = block.substr(n0 + 1, q2 - n0 - 1);
        // A quote left open runs into the next line: the entry is incomplete.
        if (LineOf(number).size() != number.size() || LineOf(name).size() != name.size()) return;
        std::u16string fullNumber;
        // Some modems already print the '+' of an international number.
        if (type == 145 && (number.empty() || number.front() != '+')) fullNumber = u"+";
        fullNumber += ToU16(number);
        if (index >= 1 && index <= sink.Capacity())
            sink.StoreFromSim(index, ToU16(name), std::move(fullNumber));
        pos = q2 + 1;
    }
}

}  // namespace

std::u16string ExtractQuoted(std::u16string_view line) {
    return ExtractQuotedT(line);
}
std::string ExtractQuoted(std::string_view line) {
    return ExtractQuotedT(line);
}

int32_t ValueAfterColon(std::u16string_view line) {
    return ValueAfter(line, u':');
}
int32_t ValueAfterColon(std::string_view line) {
    return ValueAfter(line, ':');
}

int32_t ValueAfterComma(std::u16string_view line) {
    return ValueAfter(line, u',');
}
int32_t ValueAfterComma(std::string_view line) {
    return ValueAfter(line, ',');
}

bool DropThroughComma(std::u16string& text) {
    return DropThroughCommaT(text);
}
bool DropThroughComma(std::string& text) {
    return DropThroughCommaT(text);
}

CmeKind ParseCmeError(std::u16string_view line, ModemParseState& state) {
    return ParseCmeErrorT(line, state);
}
CmeKind ParseCmeError(std::string_view line, ModemParseState& state) {
    return ParseCmeErrorT(line, state);
}

CmsKind ParseCmsError(std::u16string_view line) {
    return ParseCmsErrorT(line);
}
CmsKind ParseCmsError(std::string_view line) {
    return ParseCmsErrorT(line);
}

WindKind ParseWindIndication(std::u16string_view line, ModemParseState& state) {
    return ParseWindIndicationT(line, state);
}
WindKind ParseWindIndication(std::string_view line, ModemParseState& state) {
    return ParseWindIndicationT(line, state);
}

bool ParseSignalQuality(std::u16string_view line, ModemParseState& state) {
    return ParseSignalQualityT(line, state);
}
bool ParseSignalQuality(std::string_view line, ModemParseState& state) {
    return ParseSignalQualityT(line, state);
}

bool ParseRegistration(std::u16string_view line, ModemParseState& state) {
    return ParseRegistrationT(line, state);
}
bool ParseRegistration(std::string_view line, ModemParseState& state) {
    return ParseRegistrationT(line, state);
}

std::optional<std::u16string> ParseOperator(std::u16string_view line) {
    return ParseOperatorT(line);
}
std::optional<std::u16string> ParseOperator(std::string_view line) {
    return ParseOperatorT(line);
}

SmsRecord ParseStoredMessage(std::u16string_view block, int32_t index) {
    return ParseStoredMessageT(block, index);
}
SmsRecord ParseStoredMessage(std::string_view block, int32_t index) {
    return ParseStoredMessageT(block, index);
}

SmsPart ParseStoredMessagePart(std::u16string_view block, int32_t index) {
    SmsPart part;
    part.record = ParseStoredMessageT(block, index, &part.concat);
    return part;
}
SmsPart ParseStoredMessagePart(std::string_view block, int32_t index) {
    SmsPart part;
    part.record = ParseStoredMessageT(block, index, &part.concat);
    return part;
}

void ExpandLineBreaks(std::u16string& text) {
    size_t lone = 0;
    for (size_t i = 0; i < text.size(); ++i)
        if (text[i] == u'\n' && (i == 0 || text[i - 1] != u'\r')) ++lone;
    if (lone == 0) return;
    std::u16string out;
    out.reserve(text.size() + lone);
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == u'\n' && (i == 0 || text[i - 1] != u'\r')) out.push_back(u'\r');
        out.push_back(text[i]);
    }
    text = std::move(out);
}

void ParsePhonebookRead(std::u16string_view block, PhonebookSink& sink) {
    ParsePhonebookReadT(block, sink);
}
void ParsePhonebookRead(std::string_view block, PhonebookSink& sink) {
    ParsePhonebookReadT(block, sink);
}

}  // namespace telvane
