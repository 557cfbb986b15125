// The start-up sequence: reset, SIM check, registration reports, PDU mode, operator, then the
// live link's settings and the modem's own SMS centre.  Each step goes on as soon as the modem
// has answered the one before.

#include <optional>
#include <string_view>

#include "modem/engine_state.h"

namespace telvane {
namespace {

using End = CommandResult::End;

struct Step {
    std::string_view command;
    std::string_view infoKeyword;  // the answer's own line; an "OK" before it is a late one
};

// Written once the SIM is ready; their answers reach the controller through the classifier.
constexpr Step kConfigure[] = {
    {"AT+CSQ", "+CSQ:"},
    {"AT+CREG=1", ""},
    {"AT+CREG?", "+CREG:"},
    {"AT+CSMP=17,169,0,0;+CMGF=0", ""},
    // Numeric format: a standard answer then names the operator by its code.
    {"AT+COPS=3,2;+COPS?", "+COPS:"},
};

constexpr int kResetLines = 3;
constexpr int32_t kResetIdleMs = 1000;
constexpr int kSimChecks = 20;
constexpr int kUnansweredSimChecks = 2;

// kPhoneLock: the modem's own lock ("PH-SIM PIN", "PH-NET PIN", ...), whose code is not the
// SIM's: the SIM's PIN must never be sent to it.
enum class SimAnswer { kReady, kBusy, kPin, kPuk, kPhoneLock, kAbsent, kOtherError, kUnanswered };

SimAnswer ReadSimAnswer(const CommandResult& r) {
    switch (r.end) {
        case End::kOk: {
            const auto line = r.LineWith("+CPIN:");
            if (!line) return SimAnswer::kBusy;  // no state given: ask again
            if (line->find("READY") != std::string_view::npos) return SimAnswer::kReady;
            if (line->find("PH-") != std::string_view::npos) return SimAnswer::kPhoneLock;
            if (line->find("PUK") != std::string_view::npos) return SimAnswer::kPuk;
            return SimAnswer::kPin;  // SIM PIN, SIM PIN2 ...
        }
        case End::kCmeError:
            switch (r.code) {
                case 10:
                    return SimAnswer::kAbsent;
                case 11:
                case 5:
                    return SimAnswer::kPin;
                case 12:
                    return SimAnswer::kPuk;
                case 14:
                case 515:
                    return SimAnswer::kBusy;
                default:
                    return SimAnswer::kOtherError;
            }
        case End::kError:
        case End::kMalformed:
            return SimAnswer::kBusy;  // some modems refuse +CPIN? while they start
        case End::kCmsError:
        case End::kPrompt:
            return SimAnswer::kOtherError;
        case End::kTimeout:
        case End::kTooLong:
        case End::kLinkLost:
        case End::kNotWritten:
            return SimAnswer::kUnanswered;
    }
    return SimAnswer::kUnanswered;
}

}  // namespace

void ModemEngine::RunStartup() {
    State& s = *state_;
    s.enabled = true;
    {
        std::lock_guard lock(s.textMutex);
        s.detectedScNumber.clear();
    }
    const auto fail = [&s](std::optional<Notification> reason, std::string text) {
        s.enabled = false;
        if (s.closing.load()) return;
        SetFailure(s, std::move(text));
        if (reason) PostNotification(s, *reason);
        PostNotification(s, Notification::kStartupFailed);
    };
    // The receive path has told the controller already.
    const auto linkLost = [&s] { s.enabled = false; };
    std::unique_lock line(s.lineMutex);

    // The leading CR flushes any half-typed line.
    bool answered = false;
    for (int i = 0; i < kResetLines && !answered && !s.closing.load(); ++i) {
        const CommandResult r = RunCommand(
            s, timing_, "\rATZ", {.idleMs = kResetIdleMs, .expect = {.lateAnswerHarmless = true}});
        if (r.end == End::kLinkLost) return linkLost();
        answered = r.Answered();
    }
    if (s.closing.load()) return fail(std::nullopt, "");
    if (!answered) {
        if (s.bytesReceived.load() > 0)
            return fail(Notification::kNotAModem,
                        "the device on this port answers, but not as a modem: check the port");
        return fail(Notification::kModemSilent,
                    "the modem does not answer: check the port and the cable");
    }

    SimAnswer sim = SimAnswer::kUnanswered;
    CommandResult last;
    const auto checkSim = [&] {
        for (int check = 0, unanswered = 0; check < kSimChecks && !s.closing.load(); ++check) {
            // This loop asks again itself, for ERROR and silence as well.
            last = RunCommand(
                s, timing_, "AT+CMEE=1;+CPIN?",
                {.expect = {.infoKeyword = "+CPIN:", .endsOnInfo = true}, .simBusyTries = 1});
            if (last.end == End::kLinkLost) return;
            sim = ReadSimAnswer(last);
            if (sim == SimAnswer::kUnanswered && ++unanswered < kUnansweredSimChecks) continue;
            if (sim != SimAnswer::kBusy) break;
            Pause(kSimBusyPauseMs);
        }
    };
    checkSim();
    if (last.end == End::kLinkLost) return linkLost();
    if (sim == SimAnswer::kPin || sim == SimAnswer::kPuk) {
        const bool puk = sim == SimAnswer::kPuk;
        QuerySimAttempts(s, timing_);
        if (const std::optional<CommandResult> sent = SendSimCode(s, timing_, puk)) {
            if (sent->end == End::kLinkLost) return linkLost();
            // Silence is no refusal: the code may not even have reached the SIM.
            if (!sent->Answered())
                return fail(Notification::kSimNotReady,
                            std::string(puk ? "the PUK" : "the PIN") +
                                " got no answer: " + DescribeEnd(*sent, kSimCodeIdleMs));
            if (!sent->Ok()) {
                QuerySimAttempts(s, timing_);
                const int32_t left = puk ? s.pukAttempts.load() : s.pinAttempts.load();
                const bool nowPuk = !puk && s.pinAttempts.load() == 0;
                std::string text =
                    puk ? "the SIM card refused the PUK" : "the SIM card refused the PIN";
                if (nowPuk)
                    text += " and is now blocked: it needs its PUK";
                else if (left >= 0)
                    text += " (" + std::to_string(left) + " attempts left)";
                return fail(
                    nowPuk || puk ? Notification::kSimPukRequired : Notification::kSimPinRequired,
                    text);
            }
            checkSim();
            if (last.end == End::kLinkLost) return linkLost();
        }
    }
    switch (sim) {
        case SimAnswer::kReady:
            break;
        case SimAnswer::kAbsent:
            // The dispatcher has told the controller "no SIM" from the error itself.
            return fail(std::nullopt, "no SIM card in the modem");
        case SimAnswer::kPin:
            return fail(Notification::kSimPinRequired, "the SIM card needs its PIN");
        case SimAnswer::kPuk:
            return fail(Notification::kSimPukRequired, "the SIM card is blocked and needs its PUK");
        case SimAnswer::kPhoneLock:
            return fail(Notification::kSimNotReady,
                        "the modem is locked and asks for a code of its own, not the SIM's PIN: "
                        "unlock it with its maker's tool");
        case SimAnswer::kBusy:
        case SimAnswer::kOtherError:
            return fail(Notification::kSimNotReady,
                        "the SIM card did not become ready (" + DescribeEnd(last, 0) + ")");
        case SimAnswer::kUnanswered:
            return fail(Notification::kModemSilent, "the modem stopped answering");
    }
    // The dispatcher sets it too, from the same answer; registration reports need it now.
    s.simState = 1;

    for (const Step& step : kConfigure) {
        if (s.closing.load()) return fail(std::nullopt, "");
        const CommandResult r =
            RunCommand(s, timing_, step.command, {.expect = {.infoKeyword = step.infoKeyword}});
        if (r.end == End::kLinkLost) return linkLost();
        // Refusals are not checked (a modem may lack one of these); silence is.
        if (!r.Answered()) return fail(Notification::kModemSilent, "the modem stopped answering");
    }
    if (s.closing.load()) return fail(std::nullopt, "");
    ConfigureLiveLink(s, timing_);
    EnableIndicatorReports(s, timing_);
    if (s.closing.load()) return fail(std::nullopt, "");
    s.events.Signal(engine_event::kStartupDone);
}

}  // namespace telvane
