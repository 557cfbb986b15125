// The live link: messages announced while connected, the SIM's codes, new-message indications,
// the message store's fill, and phonebook names in the modem's character set.
#include "modem/live_link.h"

#include <algorithm>
#include <chrono>

#include "codec/phone_number.h"
#include "codec/phonebook_charset.h"
#include "modem/answer_parsers.h"
#include "modem/command_text.h"
#include "modem/engine_state.h"
#include "platform/text.h"

namespace telvane {
namespace {

using State = ModemEngine::State;
using End = CommandResult::End;

constexpr std::string_view kNewMessageWord = "+CMTI:";
// 27.005 3.1: <index> is an integer in the range of the memory's locations.
constexpr int32_t kMaxStoreIndex = 65535;

bool Offers(const std::vector<int32_t>& values, int32_t value) {
    return std::find(values.begin(), values.end(), value) != values.end();
}

// The number at `at` (blanks skipped), or -1.
int32_t NumberFrom(std::string_view text, size_t at) {
    while (at < text.size() && text[at] == ' ')
        ++at;
    if (at >= text.size() || text[at] < '0' || text[at] > '9') return -1;
    return ReadNumber(text.substr(at));
}

// Four hex digits per character, each below 0100 as every character of a number is; nothing
// when the text is not that.
std::optional<std::u16string> FromUcs2Hex(std::string_view hex) {
    if (hex.empty() || hex.size() % 4 != 0) return std::nullopt;
    for (size_t i = 0; i < hex.size(); i += 4)
        if (hex.substr(i, 2) != "00") return std::nullopt;
    return DecodePhonebookName(hex, PhonebookCharset::kUcs2);
}

std::optional<std::u16string> CentreNumber(std::u16string field, bool international) {
    if (international && !field.empty() && field[0] != u'+') field.insert(field.begin(), u'+');
    // The centre only shows; still, a modem's text is never passed on as a number unchecked.
    PhoneNumber number = NormalisePhoneNumber(field);
    if (!number.ok()) return std::nullopt;
    return std::move(number.number);
}

// The status report a PDU holds, if it is one.
std::optional<StatusReport> DecodeReport(const State& s, std::string_view hex) {
    if (hex.empty() || hex.find_first_not_of("0123456789ABCDEFabcdef") != std::string_view::npos)
        return std::nullopt;
    const DecodedPdu pdu = s.codec.DecodePdu(Widen(hex));
    if (pdu.kind != PduKind::kStatusReport || pdu.messageReference < 0 || pdu.status < 0)
        return std::nullopt;
    return StatusReport{pdu.messageReference, pdu.number, pdu.status, pdu.dischargeTime};
}

void KeepReport(State& s, StatusReport report) {
    {
        std::lock_guard lock(s.arrivalMutex);
        s.reports.push_back(std::move(report));
    }
    PostNotification(s, Notification::kStatusReport);
}

// The store reads and deletes use now, from the first store of "+CPMS:"; "" when the modem does
// not say.  Caller holds lineMutex.
std::string AskReadStore(State& s, const Timing& timing) {
    const CommandResult r =
        RunCommand(s, timing, "AT+CPMS?", {.expect = {.infoKeyword = "+CPMS:"}});
    if (!r.Ok()) return {};
    return ExtractQuoted(r.LineWith("+CPMS:").value_or(""));
}

// "AT+CPMS=\"ME\"": `store` for reading and deleting; the others stay as they are.
bool ChooseReadStore(State& s, const Timing& timing, const std::string& store) {
    if (!RunCommand(s, timing, "AT+CPMS=\"" + store + "\"", {}).Ok()) return false;
    std::lock_guard lock(s.arrivalMutex);
    s.readStore = store;
    return true;
}

// The place's store chosen for the reads and deletes `work` runs, and the store before chosen
// again after.  Caller holds lineMutex.  Why the store could not be chosen (nothing ran), or
// nothing.
template <typename Work>
std::optional<std::string> InStoreOf(State& s, const Timing& timing, const StoredAt& at,
                                     Work work) {
    std::string before;
    {
        std::lock_guard lock(s.arrivalMutex);
        before = s.readStore;
    }
    // A modem that names no store, or does not say which it reads, has one that matters: its
    // SIM's, as before stores were named.
    if (before.empty() && at.store != "SM" && !at.store.empty()) before = AskReadStore(s, timing);
    if (at.store.empty() || at.store == before || (before.empty() && at.store == "SM")) {
        work();
        return std::nullopt;
    }
    if (!ChooseReadStore(s, timing, at.store))
        return "the modem did not switch to its store \"" + at.store + "\"";
    work();
    // Other jobs read and delete in the store they expect.
    if (!s.closing.load()) ChooseReadStore(s, timing, before.empty() ? "SM" : before);
    return std::nullopt;
}

std::string Describe(const StoredAt& at) {
    return (at.store.empty() ? std::string() : at.store + " ") + std::to_string(at.index);
}

// A stored status report: read, kept, and deleted so that reports do not fill the store.  What
// is no status report is neither kept nor deleted: it may be the user's message.
void ReadStoredReport(State& s, const Timing& timing, const StoredAt& at) {
    CommandResult r;
    std::optional<StatusReport> report;
    std::optional<std::string> refused;
    {
        std::lock_guard line(s.lineMutex);
        if (s.closing.load()) return;
        refused = InStoreOf(s, timing, at, [&] {
            r = RunCommand(s, timing, "AT+CMGF=0;+CMGR=" + std::to_string(at.index), {});
            if (!r.Ok()) return;
            // The answer's header line, then the PDU line.
            std::vector<std::string_view> lines;
            for (const std::string& text : r.lines)
                for (size_t start = 0; start < text.size();) {
                    const size_t end = std::min(text.find_first_of("\r\n", start), text.size());
                    if (end > start)
                        lines.push_back(std::string_view(text).substr(start, end - start));
                    start = end + 1;
                }
            for (size_t i = 0; i + 1 < lines.size() && !report; ++i)
                if (lines[i].starts_with("+CMGR:")) report = DecodeReport(s, lines[i + 1]);
            if (report) RunCommand(s, timing, "AT+CMGD=" + std::to_string(at.index), {});
        });
    }
    if (report) return KeepReport(s, std::move(*report));
    if (r.end == End::kNotWritten && !refused) return;
    SetFailure(s, "the status report at " + Describe(at) + " could not be read: " +
                      (refused  ? *refused
                       : r.Ok() ? std::string("it holds no status report")
                                : DescribeEnd(r, 5000)));
    PostNotification(s, Notification::kReadFailed);
}

void ReadAnnounced(State& s, const Timing& timing) {
    for (;;) {
        StoredAt at;
        bool report = false;
        {
            std::lock_guard lock(s.arrivalMutex);
            s.arrivalCurrent.reset();
            if ((s.announced.empty() && s.reportsAnnounced.empty()) || s.closing.load()) {
                s.arrivalReading = false;
                return;
            }
            report = s.announced.empty();
            std::deque<StoredAt>& queue = report ? s.reportsAnnounced : s.announced;
            at = queue.front();
            queue.pop_front();
            s.arrivalCurrent = at;
        }
        if (report) {
            ReadStoredReport(s, timing, at);
            continue;
        }
        std::optional<SmsPart> record;
        CommandResult r;
        std::optional<std::string> refused;
        {
            // Waits while a listing or a send holds the line: the place stays queued meanwhile.
            std::lock_guard line(s.lineMutex);
            if (s.closing.load()) continue;
            refused = InStoreOf(s, timing, at, [&] {
                r = RunCommand(s, timing, "AT+CMGF=0;+CMGR=" + std::to_string(at.index), {});
            });
        }
        // A command that never reached the line: the engine is closing.
        if (r.end == End::kNotWritten && !refused) continue;
        const ParsedAnswer<SmsPart> read = ParseReadAnswer(r.lines, at.index);
        if (!refused && r.Ok() && read.ok()) {
            record = read.data;
            // Deleted later from the store it is in.
            record->record.store = at.store;
        }
        if (!record) {
            SetFailure(s, "the new message at " + Describe(at) + " could not be read: " +
                              (refused  ? *refused
                               : r.Ok() ? read.failure
                                        : DescribeEnd(r, 5000)));
            PostNotification(s, Notification::kReadFailed);
            continue;
        }
        {
            std::lock_guard lock(s.arrivalMutex);
            s.arrived.push_back(std::move(*record));
        }
        PostNotification(s, Notification::kMessageArrived);
    }
}

// "+CMTI: \"ME\",5" -> {"ME", 5}; index -1 when the line holds no index a store can have.
StoredAt PlaceOf(std::string_view line) {
    StoredAt at;
    const size_t colon = line.find(':');
    const size_t comma = line.find(',', colon == std::string_view::npos ? 0 : colon);
    if (colon == std::string_view::npos || comma == std::string_view::npos) return at;
    std::string_view store = line.substr(colon + 1, comma - colon - 1);
    while (!store.empty() && (store.front() == ' ' || store.front() == '"'))
        store.remove_prefix(1);
    while (!store.empty() && (store.back() == ' ' || store.back() == '"'))
        store.remove_suffix(1);
    // A name that could break the command line it goes into is no store's.
    if (store.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789") != std::string_view::npos)
        return at;
    const int32_t index = NumberFrom(line, comma + 1);
    if (index < 0 || index > kMaxStoreIndex) return at;
    at.store = std::string(store);
    at.index = index;
    return at;
}

// Queues a place unless it waits already or is being read: a modem that repeats an announcement
// gets one read.  True when queued.
bool Queue(State& s, std::deque<StoredAt>& queue, const StoredAt& at) {
    std::lock_guard lock(s.arrivalMutex);
    if (s.arrivalCurrent == at || std::find(queue.begin(), queue.end(), at) != queue.end())
        return false;
    queue.push_back(at);
    return true;
}

bool AllDigits(const std::string& code) {
    return std::all_of(code.begin(), code.end(), [](char c) { return c >= '0' && c <= '9'; });
}

}  // namespace

std::vector<std::vector<int32_t>> ParseParameterOffer(std::string_view answer) {
    std::vector<std::vector<int32_t>> offer;
    const size_t colon = answer.find(':');
    if (colon == std::string_view::npos) return offer;
    std::string_view rest = answer.substr(colon + 1);
    size_t at = 0;
    while (at < rest.size()) {
        while (at < rest.size() && (rest[at] == ' ' || rest[at] == ','))
            ++at;
        if (at >= rest.size()) break;
        std::vector<int32_t> values;
        if (rest[at] == '(') {
            const size_t close = rest.find(')', at);
            if (close == std::string_view::npos) break;
            const std::string_view group = rest.substr(at + 1, close - at - 1);
            size_t p = 0;
            while (p < group.size()) {
                const int32_t first = NumberFrom(group, p);
                if (first < 0) break;
                int32_t last = first;
                while (p < group.size() && group[p] >= '0' && group[p] <= '9')
                    ++p;
                while (p < group.size() && group[p] == ' ')
                    ++p;
                if (p < group.size() && group[p] == '-') {
                    last = NumberFrom(group, p + 1);
                    ++p;
                    while (p < group.size() &&
                           (group[p] == ' ' || (group[p] >= '0' && group[p] <= '9')))
                        ++p;
                }
                // A range of a few values only: a broken answer must not fill memory.
                for (int32_t v = first; v <= last && v - first < 32; ++v)
                    values.push_back(v);
                while (p < group.size() && (group[p] == ',' || group[p] == ' '))
                    ++p;
            }
            at = close + 1;
        } else {
            const int32_t value = NumberFrom(rest, at);
            if (value < 0) break;
            values.push_back(value);
            while (at < rest.size() && rest[at] != ',')
                ++at;
        }
        offer.push_back(std::move(values));
    }
    return offer;
}

std::optional<std::string> ChooseIndications(const std::vector<std::vector<int32_t>>& offer) {
    if (offer.size() < 2 || !Offers(offer[1], 1)) return std::nullopt;
    int32_t mode = -1;
    for (int32_t wanted : {2, 1})
        if (mode < 0 && Offers(offer[0], wanted)) mode = wanted;
    if (mode < 0) return std::nullopt;
    std::string command = "AT+CNMI=" + std::to_string(mode) + ",1";
    // Broadcasts and the buffer flush stay off where the modem offers off.  Status reports come
    // as "+CDS:" with the report, else stored and announced with "+CDSI:"; they come only for
    // submissions that asked for one.
    for (size_t i = 2; i < offer.size() && i < 5; ++i) {
        int32_t value = 0;
        if (i == 3) {
            for (int32_t wanted : {1, 2, 0})
                if (value == 0 && Offers(offer[i], wanted)) value = wanted;
        }
        if (!Offers(offer[i], value)) return command;
        command += "," + std::to_string(value);
    }
    return command;
}

SimAttempts ParseSimAttempts(const std::vector<std::string>& lines) {
    SimAttempts attempts;
    for (const std::string& raw : lines) {
        std::string line = raw;
        line.erase(std::remove(line.begin(), line.end(), '"'), line.end());
        if (line.rfind("+CPINC:", 0) == 0) {
            // PIN1, PIN2, PUK1, PUK2.
            const std::vector<std::vector<int32_t>> values = ParseParameterOffer(line);
            if (values.size() >= 1 && !values[0].empty()) attempts.pin = values[0][0];
            if (values.size() >= 3 && !values[2].empty()) attempts.puk = values[2][0];
            continue;
        }
        const size_t code = line.find("+CPINR:");
        if (code == std::string::npos) continue;
        const size_t comma = line.find(',', code);
        if (comma == std::string::npos) continue;
        std::string name = line.substr(code + 7, comma - code - 7);
        name.erase(0, name.find_first_not_of(' '));
        const int32_t left = NumberFrom(line, comma + 1);
        if (name == "SIM PIN") attempts.pin = left;
        if (name == "SIM PUK") attempts.puk = left;
    }
    return attempts;
}

StoreFill ParseStoreFill(std::string_view answer) {
    StoreFill fill;
    const size_t colon = answer.find("+CPMS:");
    if (colon == std::string_view::npos) return fill;
    const size_t first = answer.find(',', colon);
    if (first == std::string_view::npos) return fill;
    fill.used = NumberFrom(answer, first + 1);
    const size_t second = answer.find(',', first + 1);
    if (second != std::string_view::npos) fill.capacity = NumberFrom(answer, second + 1);
    return fill;
}

std::optional<std::u16string> ParseServiceCentreAnswer(std::string_view answer) {
    const size_t at = answer.find("+CSCA:");
    if (at == std::string_view::npos) return std::nullopt;
    std::string_view rest = answer.substr(at + 6);
    while (!rest.empty() && rest.front() == ' ')
        rest.remove_prefix(1);
    std::string_view field;
    if (!rest.empty() && rest.front() == '"') {
        const size_t close = rest.find('"', 1);
        if (close == std::string_view::npos) return std::nullopt;
        field = rest.substr(1, close - 1);
        rest.remove_prefix(close + 1);
    } else {
        field = rest.substr(0, std::min(rest.find(','), rest.find_first_of("\r\n")));
        rest.remove_prefix(field.size());
    }
    const size_t comma = rest.find(',');
    const bool international =
        comma != std::string_view::npos && NumberFrom(rest, comma + 1) == 145;
    if (field.empty()) return std::nullopt;
    // Groups of "00XX" are UCS2: no centre's own digits repeat that pattern.
    if (std::optional<std::u16string> decoded = FromUcs2Hex(field))
        return CentreNumber(std::move(*decoded), international);
    return CentreNumber(Widen(field), international);
}

std::optional<std::string> RunInStore(State& s, const Timing& timing, const StoredAt& at,
                                      const std::function<void()>& work) {
    return InStoreOf(s, timing, at, work);
}

namespace {

// "+CUSD: 0,\"...\",15" is whole once its quoted text has closed: it ends with the quote, or
// with the quote and the coding scheme.  A quote inside the text does not end it early.
bool UssdLineComplete(std::string_view line) {
    const size_t open = line.find('"');
    if (open == std::string_view::npos) return true;
    while (!line.empty() && (line.back() == ' ' || (line.back() >= '0' && line.back() <= '9')))
        line.remove_suffix(1);
    if (!line.empty() && line.back() == ',') line.remove_suffix(1);
    return line.size() > open + 1 && line.back() == '"';
}

}  // namespace

bool TakeUssdLines(State& s, std::string& response) {
    if (s.ussdPartial.empty() && response.find("+CUSD:") == std::string::npos) return false;
    // A text of several lines: in the modem's character set its line breaks come as they are,
    // inside the quotes.  The lines up to the closing quote are the text's.
    constexpr size_t kMaxUssdBytes = 4096;
    std::string kept;
    std::vector<std::string> taken;
    for (size_t start = 0; start < response.size();) {
        const size_t end = response.find('\n', start);
        const size_t stop = end == std::string::npos ? response.size() : end + 1;
        std::string_view line(response.data() + start, stop - start);
        start = stop;
        std::string_view bare = line;
        while (!bare.empty() && (bare.back() == '\r' || bare.back() == '\n'))
            bare.remove_suffix(1);
        // A final result ends a text whose closing quote never came: it is the next command's.
        const bool final = bare == "OK" || bare == "ERROR" || bare.starts_with("+CME ERROR") ||
                           bare.starts_with("+CMS ERROR");
        if (!s.ussdPartial.empty() && final) {
            taken.push_back(std::move(s.ussdPartial));
            s.ussdPartial.clear();
            kept.append(line);
            continue;
        }
        if (!s.ussdPartial.empty()) {
            s.ussdPartial += '\n';
            s.ussdPartial += bare;
        } else if (bare.starts_with("+CUSD:")) {
            s.ussdPartial = bare;
        } else {
            kept.append(line);
            continue;
        }
        const bool open = !UssdLineComplete(s.ussdPartial);
        if (open && s.ussdPartial.size() < kMaxUssdBytes) continue;
        taken.push_back(std::move(s.ussdPartial));
        s.ussdPartial.clear();
    }
    if (kept.find_first_not_of("\r\n") == std::string::npos) kept.clear();
    response = std::move(kept);
    if (taken.empty()) return false;
    {
        std::lock_guard lock(s.ussdMutex);
        for (std::string& line : taken)
            s.ussdLines.push_back(std::move(line));
        // A network that talks on its own must not fill memory.
        while (s.ussdLines.size() > 16)
            s.ussdLines.pop_front();
    }
    s.ussdChanged.notify_all();
    return true;
}

bool TakeNewMessageLines(State& s, std::string& response) {
    if (response.find(kNewMessageWord) == std::string::npos) return false;
    std::string kept;
    bool queued = false;
    size_t start = 0;
    while (start < response.size()) {
        const size_t end = response.find('\n', start);
        const size_t stop = end == std::string::npos ? response.size() : end + 1;
        const std::string_view line(response.data() + start, stop - start);
        const StoredAt at =
            line.starts_with(kNewMessageWord) ? PlaceOf(line) : StoredAt{.store = {}, .index = -1};
        if (at.index >= 0) {
            s.newMessageIndex = at.index;
            queued = Queue(s, s.announced, at) || queued;
        } else {
            kept.append(line);
        }
        start = stop;
    }
    // The rest keeps its line ends (a message's PDU line ends with one); blank lines alone are
    // nothing.
    if (kept.find_first_not_of("\r\n") == std::string::npos) kept.clear();
    response = std::move(kept);
    return queued;
}

bool TakeStatusReportLines(State& s, std::string& response) {
    const auto line = [](std::string_view text) {
        while (!text.empty() && (text.back() == '\r' || text.back() == '\n'))
            text.remove_suffix(1);
        return text;
    };
    if (s.reportPduNext) {
        s.reportPduNext = false;
        // The PDU line of a "+CDS:" that came in a block of its own; anything else is left.
        const std::string_view first(response.data(),
                                     std::min(response.find('\n'), response.size()));
        if (std::optional<StatusReport> report = DecodeReport(s, line(first))) {
            KeepReport(s, std::move(*report));
            response.erase(0, std::min(first.size() + 1, response.size()));
            if (response.find_first_not_of("\r\n") == std::string::npos) response.clear();
        }
    }
    if (response.find("+CDS") == std::string::npos) return false;
    std::vector<std::string_view> lines;
    for (size_t start = 0; start < response.size();) {
        const size_t end = response.find('\n', start);
        const size_t stop = end == std::string::npos ? response.size() : end + 1;
        lines.emplace_back(response.data() + start, stop - start);
        start = stop;
    }
    std::string kept;
    bool stored = false;
    for (size_t i = 0; i < lines.size(); ++i) {
        const std::string_view text = line(lines[i]);
        if (text.starts_with("+CDSI:")) {
            const StoredAt at = PlaceOf(text);
            if (at.index >= 0) stored = Queue(s, s.reportsAnnounced, at) || stored;
            continue;
        }
        if (!text.starts_with("+CDS:")) {
            kept.append(lines[i]);
            continue;
        }
        // The PDU line follows; blank lines may come between.
        size_t next = i + 1;
        while (next < lines.size() && line(lines[next]).empty())
            ++next;
        if (next >= lines.size()) {
            s.reportPduNext = true;
            continue;
        }
        if (std::optional<StatusReport> report = DecodeReport(s, line(lines[next]))) {
            KeepReport(s, std::move(*report));
            i = next;
        }
    }
    if (kept.find_first_not_of("\r\n") == std::string::npos) kept.clear();
    response = std::move(kept);
    return stored;
}

void StartArrivalReader(State& s, const Timing& timing) {
    {
        std::lock_guard lock(s.arrivalMutex);
        if (s.arrivalReading || (s.announced.empty() && s.reportsAnnounced.empty())) return;
        s.arrivalReading = true;
    }
    // A reader that has just found the queue empty frees its slot a moment later.
    for (int attempt = 0; attempt < 50 && !s.closing.load(); ++attempt) {
        if (s.arrivalReader.Start([&s, &timing] { ReadAnnounced(s, timing); })) return;
        s.arrivalReader.WaitFree(std::chrono::milliseconds(20));
    }
    std::lock_guard lock(s.arrivalMutex);
    s.arrivalReading = false;
}

void QuerySimAttempts(State& s, const Timing& timing) {
    CommandResult r = RunCommand(s, timing, "AT+CPINR", {});
    SimAttempts attempts = ParseSimAttempts(r.lines);
    if (attempts.pin < 0 && attempts.puk < 0 && r.Answered()) {
        r = RunCommand(s, timing, "AT+CPINC?", {});
        attempts = ParseSimAttempts(r.lines);
    }
    s.pinAttempts = attempts.pin;
    s.pukAttempts = attempts.puk;
}

std::optional<CommandResult> SendSimCode(State& s, const Timing& timing, bool puk) {
    std::string line;
    {
        std::lock_guard lock(s.textMutex);
        if (s.pin.empty() || (puk && s.puk.empty())) return std::nullopt;
        line = puk ? "AT+CPIN=\"" + s.puk + "\",\"" + s.pin + "\"" : "AT+CPIN=\"" + s.pin + "\"";
        // Sent once: a refused code is never tried again by itself.
        s.pin.clear();
        s.puk.clear();
    }
    // Never written twice, busy SIM or not: a second try could cost one of the SIM's.
    return RunCommand(s, timing, line, {.idleMs = kSimCodeIdleMs, .simBusyTries = 1});
}

void ConfigureLiveLink(State& s, const Timing& timing) {
    const CommandResult test =
        RunCommand(s, timing, "AT+CNMI=?", {.expect = {.infoKeyword = "+CNMI:"}});
    std::optional<std::string> command;
    if (test.Ok())
        command = ChooseIndications(ParseParameterOffer(test.LineWith("+CNMI:").value_or("")));
    // A modem that does not say what it offers is asked for the usual settings in turn.
    const std::vector<std::string> tries =
        command ? std::vector<std::string>{*command}
                : std::vector<std::string>{"AT+CNMI=2,1,0,0,0", "AT+CNMI=1,1,0,0,0"};
    for (const std::string& line : tries) {
        if (s.closing.load() || RunCommand(s, timing, line, {}).Ok()) break;
    }
    const CommandResult store =
        RunCommand(s, timing, "AT+CPMS?", {.expect = {.infoKeyword = "+CPMS:"}});
    if (store.Ok()) {
        const std::string_view line = store.LineWith("+CPMS:").value_or("");
        const StoreFill fill = ParseStoreFill(line);
        if (fill.used >= 0) s.storeUsed = fill.used;
        s.storeCapacity = fill.capacity;
        std::lock_guard lock(s.arrivalMutex);
        s.readStore = ExtractQuoted(line);
    }
    // Shown to the user only; the PDUs keep the centre the settings give.  A refusal or
    // silence leaves it unknown and does not fail the start-up.
    if (s.closing.load()) return;
    const CommandResult centre =
        RunCommand(s, timing, "AT+CSCA?", {.expect = {.infoKeyword = "+CSCA:"}});
    std::optional<std::u16string> detected;
    if (centre.Ok()) detected = ParseServiceCentreAnswer(centre.LineWith("+CSCA:").value_or(""));
    std::lock_guard lock(s.textMutex);
    s.detectedScNumber = detected.value_or(std::u16string());
}

void EnableIndicatorReports(State& s, const Timing& timing) {
    if (s.closing.load()) return;
    const CommandResult list =
        RunCommand(s, timing, "AT+CIND=?", {.expect = {.infoKeyword = "+CIND:"}});
    const IndicatorMap map =
        list.Ok() ? ParseIndicatorList(list.LineWith("+CIND:").value_or("")) : IndicatorMap{};
    {
        std::lock_guard lock(s.textMutex);
        s.indicators = map;
    }
    // Many modems lack +CMER: the +CSQ poll and +CREG reports still tell the same, later.
    if (map.Any() && !s.closing.load()) RunCommand(s, timing, "AT+CMER=3,0,0,1", {});
}

void EnterPhonebookCharset(State& s, const Timing& timing) {
    if (!s.charsetAsked.exchange(true)) {
        const CommandResult offer =
            RunCommand(s, timing, "AT+CSCS=?", {.expect = {.infoKeyword = "+CSCS:"}});
        std::vector<PhonebookCharset> offered;
        if (offer.Ok()) offered = ParseCharsetOffer(offer.LineWith("+CSCS:").value_or(""));
        s.phonebookCharset = ChoosePhonebookCharset(offered);
        s.charsetSwitch = !offered.empty();
    }
    s.charsetBefore.clear();
    if (!s.charsetSwitch.load()) return;
    const std::string wanted(CharsetName(s.phonebookCharset.load()));
    const CommandResult now =
        RunCommand(s, timing, "AT+CSCS?", {.expect = {.infoKeyword = "+CSCS:"}});
    const std::string before = now.Ok() ? ExtractQuoted(now.LineWith("+CSCS:").value_or("")) : "";
    if (before == wanted) return;
    if (!RunCommand(s, timing, "AT+CSCS=\"" + wanted + "\"", {}).Ok()) {
        // Names stay in the modem's own set; only what every set shares is written.
        s.phonebookCharset = PhonebookCharset::kIra;
        return;
    }
    s.charsetBefore = before;
}

void LeavePhonebookCharset(State& s, const Timing& timing) {
    // Other answers (operator names, the memory of +CMTI) must not come in hex afterwards.
    if (s.charsetBefore.empty() || s.closing.load()) return;
    RunCommand(s, timing, "AT+CSCS=\"" + s.charsetBefore + "\"", {});
    s.charsetBefore.clear();
}

std::optional<std::string> PhonebookWriteLine(State& s, int position, std::u16string_view number,
                                              std::u16string_view name, int32_t textLimit,
                                              std::string& reason) {
    const std::optional<std::string> safeNumber = CommandSafeNumber(number);
    if (!safeNumber) {
        reason = "the number holds characters a SIM cannot store";
        return std::nullopt;
    }
    const PhonebookCharset set = s.phonebookCharset.load();
    // The table's limit counts in the modem's own set; how many UCS2 characters fit the SIM
    // depends on the name, so there the modem judges (+CME ERROR: 24 names the refusal).
    const NameField field =
        EncodePhonebookName(name, set, set == PhonebookCharset::kUcs2 ? 0 : textLimit);
    if (!field.ok()) {
        reason = U16ToUtf8(field.reason);
        return std::nullopt;
    }
    const int type = !number.empty() && number[0] == u'+' ? 145 : 129;
    return "AT+CPBW=" + std::to_string(position) + ",\"" + *safeNumber + "\"," +
           std::to_string(type) + ",\"" + field.field + "\"";
}

void ModemEngine::SetSimCodes(std::string pin, std::string puk) {
    State& s = *state_;
    std::lock_guard lock(s.textMutex);
    // Only digits reach the command line.
    s.pin = AllDigits(pin) ? std::move(pin) : std::string();
    s.puk = AllDigits(puk) ? std::move(puk) : std::string();
}

int32_t ModemEngine::PinAttempts() const {
    return state_->pinAttempts.load();
}

int32_t ModemEngine::PukAttempts() const {
    return state_->pukAttempts.load();
}

std::vector<SmsPart> ModemEngine::TakeArrivedMessages() {
    State& s = *state_;
    std::lock_guard lock(s.arrivalMutex);
    std::vector<SmsPart> taken(s.arrived.begin(), s.arrived.end());
    s.arrived.clear();
    return taken;
}

std::vector<StatusReport> ModemEngine::TakeStatusReports() {
    State& s = *state_;
    std::lock_guard lock(s.arrivalMutex);
    std::vector<StatusReport> taken(s.reports.begin(), s.reports.end());
    s.reports.clear();
    return taken;
}

int32_t ModemEngine::StoreCapacity() const {
    return state_->storeCapacity.load();
}

std::u16string ModemEngine::DetectedScNumber() const {
    std::lock_guard lock(state_->textMutex);
    return state_->detectedScNumber;
}

PhonebookCharset ModemEngine::NameCharset() const {
    return state_->phonebookCharset.load();
}

}  // namespace telvane
