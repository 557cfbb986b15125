// The dispatcher: each signalled engine event becomes a state change and, maybe, a notification.

#include <optional>
#include <string_view>

#include "modem/engine_state.h"
#include "platform/text.h"

namespace telvane {
namespace {

using namespace engine_event;
using State = ModemEngine::State;

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
int OnOk(ModemEngine&, State& s) {
    if (s.toolkitAwaiting.exchange(0)) {
        s.okEvent.Signal();
        return notify::kToolkitInfo;
    }
    int32_t dialling = 1;
    if (s.callState.compare_exchange_strong(dialling, 2)) return notify::kCallConnected;
    s.okEvent.Signal();
    return 0;
}

int OnSimReady(ModemEngine&, State& s) {
    s.simState = 1;
    return notify::kSimReady;
}

int OnCmeError(ModemEngine&, State& s) {
    const int32_t kind =
        ParseCmeError(std::string_view(KeptText(s, &State::cmeText)), s.parseState);
    s.lastCmeError = s.parseState.lastCmeError;
    const auto noNetwork = [&s] {
        std::lock_guard lock(s.textMutex);
        s.operatorText = u"No network";
    };
    switch (kind) {
        case event::kCmeNotAllowed:
        case event::kCmeNoNetwork:
            noNetwork();
            s.callState = 0;
            return notify::kCmeError;
        case event::kCmeModuleBusy:
            s.simState = 0;
            s.registered = s.parseState.registered = false;
            return 0;
        case event::kCmeSimMissing:
            s.simState = -1;
            s.registered = s.parseState.registered = false;
            return notify::kNoSim;
        default:
            s.callState = 0;
            return notify::kCmeError;
    }
}

int OnRing(ModemEngine&, State& s) {
    s.callState = 3;
    return notify::kRinging;
}

int OnCallerId(ModemEngine&, State& s) {
    std::u16string number = Widen(ExtractQuoted(std::string_view(KeptText(s, &State::clipText))));
    std::lock_guard lock(s.textMutex);
    s.callerNumber = std::move(number);
    return notify::kCallerNumber;
}

int OnSignalQuality(ModemEngine&, State& s) {
    const bool changed =
        ParseSignalQuality(std::string_view(KeptText(s, &State::csqText)), s.parseState);
    s.signalLevel = s.parseState.signalLevel;
    return changed ? notify::kSignalChanged : 0;
}

int OnRegistration(ModemEngine&, State& s) {
    if (s.simState.load() == 0) return 0;
    const bool registered =
        ParseRegistration(std::string_view(KeptText(s, &State::cregText)), s.parseState);
    s.registered = registered;
    return registered ? notify::kRegistered : notify::kNotRegistered;
}

int OnWind(ModemEngine&, State& s) {
    const int32_t code =
        ParseWindIndication(std::string_view(KeptText(s, &State::windText)), s.parseState);
    s.windIndication = s.parseState.windIndication;
    if (code == event::kWind6Ready) s.callState = 0;
    return code;
}

int OnMessageSent(ModemEngine&, State& s) {
    s.messageReference = ValueAfterColon(std::string_view(SmsText(s, kMessageSent)));
    return notify::kMessageSent;
}

int OnNewMessage(ModemEngine&, State& s) {
    s.newMessageIndex = ValueAfterComma(std::string_view(SmsText(s, kNewMessage)));
    return notify::kNewMessage;
}

int OnStoreStatus(ModemEngine&, State& s) {
    s.storeUsed = ValueAfterComma(std::string_view(SmsText(s, kStoreStatus)));
    s.okEvent.Signal();
    return 0;
}

int OnMessageRead(ModemEngine&, State& s) {
    SmsRecord record =
        ParseStoredMessage(std::string_view(SmsText(s, kMessageRead)), s.readIndex.load());
    std::lock_guard lock(s.listingMutex);
    s.readMessage = std::move(record);
    return 0;
}

constexpr std::u16string_view kStatusNames[] = {u"REC UNREAD", u"REC READ", u"STO UNSENT",
                                                u"STO SENT", u"ALL"};

// Each "+CMGL:" header starts an entry: the index up to the first comma, the status number up to
// the second, and the text up to the next header is the entry's block.
int OnListing(ModemEngine&, State& s) {
    const std::string text = SmsText(s, kListing);
    const std::string_view all(text);
    constexpr std::string_view kHeader = "+CMGL:";
    std::lock_guard lock(s.listingMutex);
    size_t position = 0;
    while (s.listingCount.load() < kListingCapacity - 1) {
        const size_t header = all.find(kHeader, position);
        if (header == std::string_view::npos) break;
        const size_t comma = all.find(',', header + kHeader.size());
        if (comma == std::string_view::npos) break;
        const int32_t slot = s.listingCount.load() + 1;
        s.listingCount = slot;
        SmsRecord& entry = s.listing[static_cast<size_t>(slot)];
        // The whole index: indexes above 99 must not lose their leading digits.
        const int32_t index =
            ReadNumber(all.substr(header + kHeader.size(), comma - header - kHeader.size()));
        ClearSmsRecord(entry);
        entry.index = index;
        const size_t comma2 = all.find(',', comma + 1);
        if (comma2 == std::string_view::npos) break;
        const int32_t status = ReadNumber(all.substr(comma + 1, comma2 - comma - 1));
        const size_t next = all.find(kHeader, comma + 1);
        const size_t entryEnd = next == std::string_view::npos ? all.size() : next;
        entry = ParseStoredMessage(all.substr(comma + 1, entryEnd - comma - 1), index);
        if (status >= 0 && status <= 4) entry.status = kStatusNames[status];
        if (next == std::string_view::npos) break;
        position = next;
    }
    return notify::kListingFinished;
}

int OnCmsError(ModemEngine&, State& s) {
    return ParseCmsError(std::string_view(SmsText(s, kCmsError)));
}

int OnToolkitIndication(ModemEngine& engine, State& s) {
    if (!s.started.load()) return 0;
    const int32_t n = ValueAfterColon(std::string_view(KeptText(s, &State::stinText)));
    if (n == 98 || n == 99) {
        s.toolkitCommand = 0;
        return n == 98 ? notify::kToolkitEnded : notify::kToolkitTimedOut;
    }
    if (n >= 1 && n <= 9) engine.StartToolkitInformation(n);
    return 0;
}

int OnStartupDone(ModemEngine&, State& s) {
    s.started = true;
    return notify::kStarted;
}

int OnActivityStatus(ModemEngine&, State& s) {
    s.activityStatus = ValueAfterColon(std::string_view(KeptText(s, &State::cpasText)));
    return 0;
}

int OnMessageWritten(ModemEngine&, State& s) {
    s.writtenIndex = ValueAfterColon(std::string_view(SmsText(s, kMessageWritten)));
    return notify::kMessageWritten;
}

int OnStoredMessageSent(ModemEngine&, State& s) {
    s.storeSendReference = ValueAfterColon(std::string_view(SmsText(s, kStoredMessageSent)));
    return notify::kStoredMessageSent;
}

// The number that starts at `from` in `text`, or -1 when there is no digit there.
int32_t NumberAt(std::string_view text, size_t from) {
    if (from >= text.size()) return -1;
    const std::string_view rest = text.substr(from);
    const size_t digit = rest.find_first_not_of(' ');
    if (digit == std::string_view::npos || rest[digit] < '0' || rest[digit] > '9') return -1;
    return ReadNumber(rest);
}

}  // namespace

std::optional<PhonebookLimits> ParsePhonebookRange(std::string_view all) {
    constexpr std::string_view kRange = "+CPBR: (";
    const size_t range = all.find(kRange);
    if (range == std::string_view::npos) return std::nullopt;
    const size_t open = range + kRange.size();
    const size_t close = all.find(')', open);
    if (close == std::string_view::npos) return std::nullopt;
    const size_t dash = all.find('-', open);
    const size_t comma = all.find(',', close + 2);
    const int32_t capacity =
        NumberAt(all, dash != std::string_view::npos && dash < close ? dash + 1 : open);
    const int32_t numberLimit = NumberAt(all, close + 2);
    const int32_t textLimit = comma == std::string_view::npos ? -1 : NumberAt(all, comma + 1);
    if (capacity < 0 || numberLimit < 0 || textLimit < 0) return std::nullopt;
    return PhonebookLimits{numberLimit, textLimit, capacity};
}

namespace {

// A range answer sets the table's limits; entries fill the table.  Both may be pending at once.
int OnPhonebook(ModemEngine&, State& s) {
    std::string range, text;
    {
        std::lock_guard lock(s.textMutex);
        range.swap(s.phonebookRangeText);
        text.swap(s.smsText[kPhonebook]);
    }
    if (!range.empty()) {
        // An answer of another form leaves the table as it is.
        if (const auto limits = ParsePhonebookRange(range)) {
            std::lock_guard lock(s.phonebookMutex);
            s.phonebook.SetLimits(limits->numberLimit, limits->textLimit, limits->capacity);
        }
        ++s.phonebookRanges;
    }
    if (text.find("+CPBR:") != std::string::npos) {
        std::lock_guard lock(s.phonebookMutex);
        ParsePhonebookRead(text, s.phonebook);
        return notify::kPhonebookRead;
    }
    // The reader found no entries: the controller must still hear of the end.
    return s.phonebookReadEmpty.exchange(false) ? notify::kPhonebookRead : 0;
}

// The next notification a thread posted; the rest stay for the next round, in order.
int OnPosted(ModemEngine&, State& s) {
    std::lock_guard lock(s.postedMutex);
    if (s.posted.empty()) return 0;
    const int32_t code = s.posted.front();
    s.posted.pop_front();
    if (!s.posted.empty()) s.events.Signal(kPosted);
    return code;
}

struct Action {
    int (*handle)(ModemEngine&, State&);  // null: the fixed code alone
    int code;
};

// Indexed by engine event number.
constexpr Action kActions[kCount] = {
    /* 0 kStop */ {nullptr, 0},
    /* 1 kOk */ {OnOk, 0},
    /* 2 kSimReady */ {OnSimReady, 0},
    /* 3 kCmeError */ {OnCmeError, 0},
    /* 4 kOperator */ {nullptr, notify::kOperator},
    /* 5 kRing */ {OnRing, 0},
    /* 6 kCallerId */ {OnCallerId, 0},
    /* 7 kCallEnded */ {nullptr, 0},
    /* 8 kHungUp */ {nullptr, notify::kHungUp},
    /* 9 kSignalQuality */ {OnSignalQuality, 0},
    /* 10 kRegistration */ {OnRegistration, 0},
    /* 11 kWind */ {OnWind, 0},
    /* 12 kMessageSent */ {OnMessageSent, 0},
    /* 13 kNewMessage */ {OnNewMessage, 0},
    /* 14 kStoreStatus */ {OnStoreStatus, 0},
    /* 15 kMessageRead */ {OnMessageRead, 0},
    /* 16 kListing */ {OnListing, 0},
    /* 17 kUnused */ {nullptr, 0},
    /* 18 kReadDone */ {nullptr, notify::kMessageRead},
    /* 19 kReadFailed */ {nullptr, notify::kReadFailed},
    /* 20 kListingArrived */ {nullptr, 0},
    /* 21 kListingRefused */ {nullptr, notify::kListingFailed},
    /* 22 kCmsError */ {OnCmsError, 0},
    /* 23 kDeleted */ {nullptr, notify::kDeleted},
    /* 24 kSendDone */ {nullptr, notify::kSendDone},
    /* 25 kToolkitMenu */ {nullptr, 0},
    /* 26 kToolkitIndication */ {OnToolkitIndication, 0},
    /* 27 kToolkitAnswerDone */ {nullptr, notify::kToolkitAccepted},
    /* 28 kToolkitAnswerFailed */ {nullptr, notify::kToolkitFailed},
    /* 29 kStartupDone */ {OnStartupDone, 0},
    /* 30 kActivityStatus */ {OnActivityStatus, 0},
    /* 31 kStartupFailed */ {nullptr, notify::kStartupFailed},
    /* 32 kMessageWritten */ {OnMessageWritten, 0},
    /* 33 kStoredMessageSent */ {OnStoredMessageSent, 0},
    /* 34 kWriteDone */ {nullptr, notify::kWriteDone},
    /* 35 kStoreSendDone */ {nullptr, notify::kStoreSendDone},
    /* 36 kPhonebook */ {OnPhonebook, 0},
    /* 37 kPhonebookWritten */ {nullptr, notify::kPhonebookWritten},
    /* 38 kPosted */ {OnPosted, 0},
};

}  // namespace

int ModemEngine::HandleEvent(int event) {
    if (event <= kStop || event >= kCount) return 0;
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
            if (s.callback) s.callback(notify::kStopping);
            return;
        }
        const int code = HandleEvent(event);
        if (code == 0) continue;
        std::lock_guard lock(s.lock);
        if (s.callback) s.callback(code);
    }
}

}  // namespace telvane
