// The information job (the modem, its SIM, network and stores as they are) and the USSD jobs.

#include <chrono>
#include <string>

#include "codec/ussd_text.h"
#include "modem/engine_state.h"
#include "modem/info_parsers.h"
#include "modem/live_link.h"
#include "platform/text.h"

namespace telvane {
namespace {

using State = ModemEngine::State;

// A network answers a USSD request within about 30 s (its own session timer); a modem that
// never passes an answer on is found out a little after.
constexpr int32_t kUssdAnswerMs = 40000;

bool IsDigits(const std::string& text) {
    return !text.empty() && text.find_first_not_of("0123456789") == std::string::npos;
}

JobResult Ended(Notification end, JobStatus status, std::string reason) {
    JobResult r;
    r.status = status;
    r.end = end;
    r.reason = std::move(reason);
    return r;
}

std::optional<std::string> Identity(State& s, const Timing& timing, const char* command) {
    const CommandResult r = RunCommand(s, timing, command, {});
    if (!r.Ok()) return std::nullopt;
    return ParseIdentityAnswer(r.lines, command);
}

// Every offered store's fill: each one AT+CPMS? does not name is chosen for reading (its answer
// gives its own used and total), then the store before is chosen again.  Caller holds lineMutex.
std::vector<StoreUse> StoreFills(State& s, const Timing& timing) {
    const CommandResult read =
        RunCommand(s, timing, "AT+CPMS?", {.expect = {.infoKeyword = "+CPMS:"}});
    std::vector<StoreUse> fills;
    if (read.Ok()) fills = ParseStoreReadAnswer(AnswerLine(read.lines, "+CPMS:").value_or(""));
    const CommandResult offer =
        RunCommand(s, timing, "AT+CPMS=?", {.expect = {.infoKeyword = "+CPMS:"}});
    if (!offer.Ok()) return fills;
    const std::string before = fills.empty() ? std::string() : fills.front().name;
    std::string current = before;  // the store chosen now
    std::vector<StoreUse> stores;
    for (const std::string& name :
         ParseStoreOffer(AnswerLine(offer.lines, "+CPMS:").value_or(""))) {
        StoreUse use{name, std::nullopt, std::nullopt};
        for (const StoreUse& known : fills)
            if (known.name == name) use = known;
        if (!use.used && !before.empty() && !s.closing.load()) {
            const CommandResult chosen = RunCommand(s, timing, "AT+CPMS=\"" + name + "\"",
                                                    {.expect = {.infoKeyword = "+CPMS:"}});
            if (chosen.Ok()) current = name;
            if (auto fill =
                    ParseStoreChoiceAnswer(AnswerLine(chosen.lines, "+CPMS:").value_or(""))) {
                use.used = fill->used;
                use.total = fill->total;
            }
        }
        stores.push_back(std::move(use));
    }
    // Reads and deletes go on in the store they expect.
    if (current != before && !RunCommand(s, timing, "AT+CPMS=\"" + before + "\"", {}).Ok()) {
        std::lock_guard lock(s.arrivalMutex);
        s.readStore = current;
    }
    return stores;
}

JobResult InformationWorker(const Timing& timing, State& s) {
    std::lock_guard line(s.lineMutex);
    ModemInfo info;
    info.manufacturer = Identity(s, timing, "AT+CGMI");
    info.model = Identity(s, timing, "AT+CGMM");
    info.revision = Identity(s, timing, "AT+CGMR");
    info.imei = Identity(s, timing, "AT+CGSN");
    if (!info.manufacturer || !info.model || !info.revision || !info.imei) {
        const CommandResult ati = RunCommand(s, timing, "ATI", {});
        if (ati.Ok()) ParseIdentificationAnswer(ati.lines, info);
    }
    if (info.imei && (!IsDigits(*info.imei) || info.imei->size() < 14)) info.imei.reset();
    const CommandResult imsi = RunCommand(s, timing, "AT+CIMI", {});
    if (imsi.Ok()) info.imsi = ParseImsiAnswer(imsi.lines);
    const CommandResult centre =
        RunCommand(s, timing, "AT+CSCA?", {.expect = {.infoKeyword = "+CSCA:"}});
    if (centre.Ok())
        info.smsCentre = ParseServiceCentreAnswer(AnswerLine(centre.lines, "+CSCA:").value_or(""));
    // The name in its long form, then the numeric code last: the engine's operator stays
    // numeric, as start-up set it.
    const CommandResult named =
        RunCommand(s, timing, "AT+COPS=3,0;+COPS?", {.expect = {.infoKeyword = "+COPS:"}});
    if (named.Ok()) {
        const OperatorRead read =
            ParseOperatorReadAnswer(AnswerLine(named.lines, "+COPS:").value_or(""));
        if (read.name) info.operatorName = Utf8ToU16(*read.name);
        info.technology = read.technology;
    }
    const CommandResult numeric =
        RunCommand(s, timing, "AT+COPS=3,2;+COPS?", {.expect = {.infoKeyword = "+COPS:"}});
    if (numeric.Ok()) {
        const OperatorRead read =
            ParseOperatorReadAnswer(AnswerLine(numeric.lines, "+COPS:").value_or(""));
        if (read.name && IsDigits(*read.name)) info.operatorCode = read.name;
        if (!info.technology) info.technology = read.technology;
    }
    const CommandResult reg =
        RunCommand(s, timing, "AT+CREG?", {.expect = {.infoKeyword = "+CREG:"}});
    if (reg.Ok())
        info.registration =
            ParseRegistrationReadAnswer(AnswerLine(reg.lines, "+CREG:").value_or(""));
    const CommandResult csq = RunCommand(s, timing, "AT+CSQ", {.expect = {.infoKeyword = "+CSQ:"}});
    if (csq.Ok()) info.rssi = ParseRssiAnswer(AnswerLine(csq.lines, "+CSQ:").value_or(""));
    info.stores = StoreFills(s, timing);
    if (!imsi.Answered() && !csq.Answered() && !reg.Answered())
        return Ended(Notification::kInformation, JobStatus::kFailed,
                     "the modem did not answer: " + DescribeEnd(csq, 5000));
    JobResult r = Ended(Notification::kInformation, JobStatus::kDone, {});
    r.information = std::move(info);
    return r;
}

JobResult UssdEnded(UssdAnswer answer, std::string reason) {
    const bool answered =
        answer.status != UssdStatus::kRefused && answer.status != UssdStatus::kNoAnswer;
    JobResult r =
        Ended(Notification::kUssd, answered ? JobStatus::kDone : JobStatus::kFailed, reason);
    r.ussd = std::move(answer);
    return r;
}

JobResult UssdWorker(const Timing& timing, State& s, const std::u16string& text) {
    {
        std::lock_guard lock(s.ussdMutex);
        s.ussdLines.clear();
    }
    const bool reply = s.ussdOpen.load();
    {
        std::lock_guard line(s.lineMutex);
        // 15: the code in the GSM 7-bit default alphabet (23.038 5), in the modem's character
        // set; the checks before let only characters every set shares through.
        const CommandResult r = RunCommand(s, timing, "AT+CUSD=1,\"" + Narrow(text) + "\",15", {});
        if (!r.Ok()) {
            s.ussdOpen = false;
            const bool silent = !r.Answered();
            return UssdEnded({silent ? UssdStatus::kNoAnswer : UssdStatus::kRefused, {}, -1},
                             std::string(silent ? "the modem did not answer: "
                                                : "the modem refused the request: ") +
                                 DescribeEnd(r, 5000));
        }
    }
    // The answer comes from the network in its own time, on its own line; the line is free
    // meanwhile.
    std::unique_lock lock(s.ussdMutex);
    const auto deadline = std::chrono::steady_clock::now() + timing.Scaled(kUssdAnswerMs);
    while (s.ussdLines.empty() && !s.closing.load()) {
        if (s.ussdChanged.wait_until(lock, deadline) == std::cv_status::timeout) break;
    }
    if (s.ussdLines.empty()) {
        s.ussdOpen = false;
        return UssdEnded(
            {UssdStatus::kNoAnswer, {}, -1},
            reply ? "the network did not answer the reply" : "the network did not answer");
    }
    const std::string line = std::move(s.ussdLines.front());
    s.ussdLines.pop_front();
    lock.unlock();
    const std::optional<UssdAnswer> answer = ParseUssdLine(line);
    if (!answer) {
        s.ussdOpen = false;
        return UssdEnded({UssdStatus::kNoAnswer, {}, -1},
                         "the modem's answer is malformed: " + line);
    }
    s.ussdOpen = answer->status == UssdStatus::kMore;
    std::string reason;
    if (answer->status == UssdStatus::kUnsupported) reason = "the network does not offer this code";
    if (answer->status == UssdStatus::kNoAnswer) reason = "the network timed out";
    return UssdEnded(*answer, reason);
}

}  // namespace

JobHandle ModemEngine::QueryInformation(JobDone done) {
    State& s = *state_;
    return StartJob(s, s.information, JobKind::kInformation, std::move(done),
                    [this, &s] { return InformationWorker(timing_, s); });
}

JobHandle ModemEngine::SendUssd(std::u16string text, JobDone done) {
    State& s = *state_;
    const bool fit = s.ussdOpen.load() ? IsUssdReply(text) : IsUssdCode(text);
    return StartJob(
        s, s.ussd, JobKind::kUssd, std::move(done), [this, &s, fit, text = std::move(text)] {
            if (!fit)
                return UssdEnded({UssdStatus::kRefused, {}, -1},
                                 "not sent: '" + U16ToUtf8(text) + "' is no USSD code or reply");
            return UssdWorker(timing_, s, text);
        });
}

JobHandle ModemEngine::EndUssd(JobDone done) {
    State& s = *state_;
    return StartJob(s, s.ussd, JobKind::kUssd, std::move(done), [this, &s] {
        s.ussdOpen = false;
        std::lock_guard line(s.lineMutex);
        const CommandResult r = RunCommand(s, timing_, "AT+CUSD=2", {});
        if (!r.Ok())
            return UssdEnded({UssdStatus::kRefused, {}, -1},
                             "the session was not ended: " + DescribeEnd(r, 5000));
        return UssdEnded({UssdStatus::kEnded, {}, -1}, {});
    });
}

int32_t ModemEngine::Rssi() const {
    return state_->rssi.load();
}

Registration ModemEngine::RegistrationState() const {
    return RegistrationOf(state_->registrationStat.load());
}

bool ModemEngine::UssdSessionOpen() const {
    return state_->ussdOpen.load();
}

}  // namespace telvane
