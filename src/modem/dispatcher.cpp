// The dispatcher: each signalled engine event becomes a state change and, maybe, a notification.

#include <deque>
#include <optional>
#include <string_view>

#include "modem/answer_parsers.h"
#include "modem/engine_state.h"
#include "platform/text.h"

namespace telvane {
namespace {

using namespace engine_event;
using State = ModemEngine::State;
// An event's notification, if it has one.
using Result = std::optional<Notification>;

std::string KeptText(const State& s, const std::string State::*field) {
    std::lock_guard lock(s.textMutex);
    return s.*field;
}

std::string SmsText(const State& s, int event) {
    std::lock_guard lock(s.textMutex);
    return s.smsText[static_cast<size_t>(event)];
}

// The command waiting for this "OK" has it already (its transaction); the flags of the jobs
// are theirs to clear, since this event may be handled after the next job has set them.
Result OnOk(ModemEngine&, State& s) {
    if (s.toolkitAwaiting.exchange(0)) {
        s.okEvent.Signal();
        return Notification::kToolkitInfo;
    }
    int32_t dialling = 1;
    if (s.callState.compare_exchange_strong(dialling, 2)) return Notification::kCallConnected;
    s.okEvent.Signal();
    return std::nullopt;
}

Result OnSimReady(ModemEngine&, State& s) {
    s.simState = 1;
    return Notification::kSimReady;
}

// What a "+CME ERROR" says of the SIM or the network holds only when it answers a command
// about them; to any other command it is that command's failure alone, which its job reports.
Result OnCmeError(ModemEngine&, State& s) {
    std::string text, command;
    {
        std::lock_guard lock(s.textMutex);
        text = s.cmeText;
        command = s.cmeCommand;
    }
    const CmeKind kind = ParseCmeError(std::string_view(text), s.parseState);
    s.lastCmeError = s.parseState.lastCmeError;
    const bool aboutSimOrNetwork = command.find("+CPIN") != std::string::npos ||
                                   command.find("+CREG") != std::string::npos ||
                                   command.find("+COPS") != std::string::npos;
    if (!aboutSimOrNetwork) return std::nullopt;
    const auto noNetwork = [&s] {
        std::lock_guard lock(s.textMutex);
        s.operatorText = u"No network";
    };
    switch (kind) {
        case CmeKind::kNotAllowed:
        case CmeKind::kNoNetwork:
            noNetwork();
            s.callState = 0;
            return Notification::kCmeError;
        case CmeKind::kModuleBusy:
            s.simState = 0;
            s.registered = s.parseState.registered = false;
            return std::nullopt;
        case CmeKind::kSimMissing:
            s.simState = -1;
            s.registered = s.parseState.registered = false;
            return Notification::kNoSim;
        case CmeKind::kOther:
            s.callState = 0;
            return Notification::kCmeError;
    }
    return std::nullopt;
}

Result OnRing(ModemEngine&, State& s) {
    s.callState = 3;
    return Notification::kRinging;
}

Result OnCallerId(ModemEngine&, State& s) {
    std::u16string number = Widen(ExtractQuoted(std::string_view(KeptText(s, &State::clipText))));
    std::lock_guard lock(s.textMutex);
    s.callerNumber = std::move(number);
    return Notification::kCallerNumber;
}

Result OnSignalQuality(ModemEngine&, State& s) {
    const bool changed =
        ParseSignalQuality(std::string_view(KeptText(s, &State::csqText)), s.parseState);
    s.signalLevel = s.parseState.signalLevel;
    s.rssi = s.parseState.rssi;
    if (!changed) return std::nullopt;
    return Notification::kSignalChanged;
}

Result OnRegistration(ModemEngine&, State& s) {
    if (s.simState.load() == 0) return std::nullopt;
    const bool registered =
        ParseRegistration(std::string_view(KeptText(s, &State::cregText)), s.parseState);
    s.registered = registered;
    s.registrationStat = s.parseState.registrationStat;
    return registered ? Notification::kRegistered : Notification::kNotRegistered;
}

// Every report queued, in order: a signal change and a registration change may come in one block.
Result OnIndicator(ModemEngine&, State& s) {
    std::deque<std::string> lines;
    IndicatorMap map;
    {
        std::lock_guard lock(s.textMutex);
        lines.swap(s.indicatorLines);
        map = s.indicators;
    }
    // As OnRegistration: no network state while the SIM is not known to be there.
    const bool simKnown = s.simState.load() != 0;
    IndicatorEffect effect;
    for (const std::string& line : lines) {
        IndicatorReport report = ParseIndicatorEvent(line, map);
        if (!simKnown) report.service = report.roam = -1;
        const IndicatorEffect one = ApplyIndicator(report, {s.parseState, s.indicatedRoaming});
        effect.signal |= one.signal;
        effect.registration |= one.registration;
    }
    s.signalLevel = s.parseState.signalLevel;
    s.rssi = s.parseState.rssi;
    s.registered = s.parseState.registered;
    s.registrationStat = s.parseState.registrationStat;
    if (effect.signal && effect.registration) PostNotification(s, Notification::kSignalChanged);
    if (effect.registration)
        return s.parseState.registered ? Notification::kRegistered : Notification::kNotRegistered;
    if (effect.signal) return Notification::kSignalChanged;
    return std::nullopt;
}

Result OnWind(ModemEngine&, State& s) {
    const WindKind kind =
        ParseWindIndication(std::string_view(KeptText(s, &State::windText)), s.parseState);
    s.windIndication = s.parseState.windIndication;
    switch (kind) {
        case WindKind::kOther:
            return Notification::kWindOther;
        case WindKind::kSimRemoved:
            return Notification::kWindSimRemoved;
        case WindKind::kSimInserted:
            return Notification::kWindSimInserted;
        case WindKind::kRinging:
            return Notification::kWindRinging;
        case WindKind::kReadyNoSim:
            return Notification::kWindReadyNoSim;
        case WindKind::kReady:
            return Notification::kWindReady;
        case WindKind::kCallCreated:
            return Notification::kWindCallCreated;
        case WindKind::kCallReleased:
            s.callState = 0;
            return Notification::kWindCallReleased;
    }
    return Notification::kWindOther;
}

// The receive path has queued the announced indexes; a reader of its own fetches them when the
// line is free.
Result OnNewMessage(ModemEngine& engine, State& s) {
    StartArrivalReader(s, engine.GetTiming());
    return Notification::kNewMessage;
}

// A stored status report is read by the same reader, when the line is free.
Result OnReportStored(ModemEngine& engine, State& s) {
    StartArrivalReader(s, engine.GetTiming());
    return std::nullopt;
}

Result OnStoreStatus(ModemEngine&, State& s) {
    // The read form names its store first; the answer to choosing a store ("+CPMS: 3,30,...")
    // may be of another store than the one counted.
    const std::string text = SmsText(s, kStoreStatus);
    if (text.find(": \"") != std::string::npos)
        s.storeUsed = ValueAfterComma(std::string_view(text));
    s.okEvent.Signal();
    return std::nullopt;
}

Result OnCmsError(ModemEngine&, State& s) {
    switch (ParseCmsError(std::string_view(SmsText(s, kCmsError)))) {
        case CmsKind::kOther:
            return Notification::kCmsOther;
        case CmsKind::kSendFailed:
            return Notification::kCmsSendFailed;
        case CmsKind::kInvalidIndex:
            return Notification::kCmsInvalidIndex;
        case CmsKind::kUnknownCentre:
            return Notification::kCmsNoServiceCentre;
        case CmsKind::kNotAllowed:
            return Notification::kCmsNotAllowed;
    }
    return Notification::kCmsOther;
}

Result OnToolkitIndication(ModemEngine& engine, State& s) {
    if (!s.started.load()) return std::nullopt;
    const int32_t n = ValueAfterColon(std::string_view(KeptText(s, &State::stinText)));
    if (n == 98 || n == 99) {
        s.toolkitCommand = 0;
        return n == 98 ? Notification::kToolkitEnded : Notification::kToolkitTimedOut;
    }
    if (n >= 1 && n <= 9) engine.StartToolkitInformation(n);
    return std::nullopt;
}

Result OnStartupDone(ModemEngine&, State& s) {
    s.started = true;
    return Notification::kStarted;
}

Result OnActivityStatus(ModemEngine&, State& s) {
    s.activityStatus = ValueAfterColon(std::string_view(KeptText(s, &State::cpasText)));
    return std::nullopt;
}

// The next notification a thread posted; the rest stay for the next round, in order.
Result OnPosted(ModemEngine&, State& s) {
    std::lock_guard lock(s.postedMutex);
    if (s.posted.empty()) return std::nullopt;
    const Notification code = s.posted.front().code;
    s.delivering = std::move(s.posted.front().job);
    s.posted.pop_front();
    if (!s.posted.empty()) s.events.Signal(kPosted);
    return code;
}

struct Action {
    Result (*handle)(ModemEngine&, State&);  // null: the fixed notification alone
    Result code;
};

// Indexed by engine event number.  A job's answers and its end are the job's own (its worker
// reads them and posts its end), so their events carry nothing here.
constexpr Action kActions[kCount] = {
    /* 0 kStop */ {nullptr, std::nullopt},
    /* 1 kOk */ {OnOk, std::nullopt},
    /* 2 kSimReady */ {OnSimReady, std::nullopt},
    /* 3 kCmeError */ {OnCmeError, std::nullopt},
    /* 4 kOperator */ {nullptr, Notification::kOperator},
    /* 5 kRing */ {OnRing, std::nullopt},
    /* 6 kCallerId */ {OnCallerId, std::nullopt},
    /* 7 kCallEnded */ {nullptr, std::nullopt},
    /* 8 kHungUp */ {nullptr, Notification::kHungUp},
    /* 9 kSignalQuality */ {OnSignalQuality, std::nullopt},
    /* 10 kRegistration */ {OnRegistration, std::nullopt},
    /* 11 kWind */ {OnWind, std::nullopt},
    /* 12 kMessageSent */ {nullptr, std::nullopt},
    /* 13 kNewMessage */ {OnNewMessage, std::nullopt},
    /* 14 kStoreStatus */ {OnStoreStatus, std::nullopt},
    /* 15 kMessageRead */ {nullptr, std::nullopt},
    /* 16 kListing */ {nullptr, std::nullopt},
    /* 17 kReportStored */ {OnReportStored, std::nullopt},
    /* 18 kReadDone */ {nullptr, std::nullopt},
    /* 19 kReadFailed */ {nullptr, std::nullopt},
    /* 20 kListingArrived */ {nullptr, std::nullopt},
    /* 21 kListingRefused */ {nullptr, std::nullopt},
    /* 22 kCmsError */ {OnCmsError, std::nullopt},
    /* 23 kDeleted */ {nullptr, std::nullopt},
    /* 24 kSendDone */ {nullptr, std::nullopt},
    /* 25 kToolkitMenu */ {nullptr, std::nullopt},
    /* 26 kToolkitIndication */ {OnToolkitIndication, std::nullopt},
    /* 27 kToolkitAnswerDone */ {nullptr, Notification::kToolkitAccepted},
    /* 28 kToolkitAnswerFailed */ {nullptr, Notification::kToolkitFailed},
    /* 29 kStartupDone */ {OnStartupDone, std::nullopt},
    /* 30 kActivityStatus */ {OnActivityStatus, std::nullopt},
    /* 31 kStartupFailed */ {nullptr, Notification::kStartupFailed},
    /* 32 kMessageWritten */ {nullptr, std::nullopt},
    /* 33 kStoredMessageSent */ {nullptr, std::nullopt},
    /* 34 kWriteDone */ {nullptr, std::nullopt},
    /* 35 kStoreSendDone */ {nullptr, std::nullopt},
    /* 36 kPhonebook */ {nullptr, std::nullopt},
    /* 37 kPhonebookWritten */ {nullptr, std::nullopt},
    /* 38 kPosted */ {OnPosted, std::nullopt},
    /* 39 kIndicator */ {OnIndicator, std::nullopt},
};

}  // namespace

std::optional<Notification> ModemEngine::HandleEvent(int event) {
    if (event <= kStop || event >= kCount) return std::nullopt;
    const Action& action = kActions[event];
    return action.handle ? action.handle(*this, *state_) : action.code;
}

void ModemEngine::RunDispatcher() {
    State& s = *state_;
    for (;;) {
        const int event = s.events.WaitAny();
        if (event < 0) continue;
        if (event == kStop) {
            std::lock_guard lock(s.lock);
            if (s.callback) s.callback(Notification::kStopping);
            return;
        }
        const std::optional<Notification> notification = HandleEvent(event);
        if (!notification) continue;
        std::shared_ptr<JobEnd> job = std::move(s.delivering);
        std::lock_guard lock(s.lock);
        if (s.callback) s.callback(*notification);
        if (job && job->done) job->done(job->result);
    }
}

}  // namespace telvane
