// telvane-tool modem: a headless session with a modem for diagnosis and scripting.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdlib>
#include <ctime>
#include <deque>
#include <iostream>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "cli.h"
#include "cli_events.h"
#include "codec/message_joiner.h"
#include "codec/pdu_codec.h"
#include "codec/phone_number.h"
#include "codec/ussd_text.h"
#include "modem/info_parsers.h"
#include "modem/job_waiter.h"
#include "modem/modem_engine.h"
#include "platform/modem_manager_client.h"
#include "platform/serial_devices.h"
#include "platform/text.h"

namespace telvane::cli {

namespace {

constexpr int kFailed = 1;
constexpr int kStartupFailed = 3;
constexpr int kReadFailed = 4;
// USSD: the network refused the code, or nothing answered it.
constexpr int kUssdRefused = 1;
constexpr int kUssdUnanswered = 4;
// The port name the device is opened under.
constexpr int kPort = 1;
// How long a send waits for the modem to find its network.
constexpr int64_t kRegistrationWaitMs = 30000;

volatile std::sig_atomic_t g_interrupted = 0;

void OnInterrupt(int) {
    g_interrupted = 1;
}

// Notifications, in the order the dispatcher delivered them.
class CodeQueue {
  public:
    EngineCallback Callback() {
        return [this](Notification code) {
            {
                std::lock_guard lock(mutex_);
                codes_.push_back(code);
            }
            changed_.notify_all();
        };
    }
    // What a torn-down engine posted is no news about the next one.
    void Clear() {
        std::lock_guard lock(mutex_);
        codes_.clear();
    }
    std::optional<Notification> Next(std::chrono::milliseconds timeout) {
        std::unique_lock lock(mutex_);
        if (!changed_.wait_for(lock, timeout, [this] { return !codes_.empty(); }))
            return std::nullopt;
        const Notification code = codes_.front();
        codes_.pop_front();
        return code;
    }

  private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Notification> codes_;
};

struct Session {
    std::string device;
    std::string pin, puk;  // for a SIM that asks; sent once
    double scale = 1.0;
    std::optional<std::u16string> serviceCentre;  // normalised
    SubmitOptions submit;                         // send: reference and delivery report
    bool reconnect = false;                       // listen: reopen the link when it is lost
    std::string command;
    Args rest;
};

Session ParseArgs(const Args& args) {
    Session session;
    // Without --ref, consecutive sends from here should not share a reference a phone joins by.
    session.submit.reference = static_cast<int32_t>(std::time(nullptr) & 0xFF);
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--report") {
            session.submit.statusReport = true;
        } else if (arg == "--reconnect") {
            session.reconnect = true;
        } else if (arg == "--device" || arg == "--scale" || arg == "--sc" || arg == "--pin" ||
                   arg == "--puk" || arg == "--ref") {
            if (i + 1 >= args.size()) throw UsageError{arg + " needs a value"};
            const std::string& value = args[++i];
            if (arg == "--device") {
                session.device = value;
            } else if (arg == "--pin" || arg == "--puk") {
                const size_t most = 8;
                const size_t least = arg == "--pin" ? 4 : 8;
                if (value.size() < least || value.size() > most ||
                    value.find_first_not_of("0123456789") != std::string::npos)
                    throw UsageError{arg +
                                     (arg == "--pin" ? " needs 4 to 8 digits" : " needs 8 digits")};
                (arg == "--pin" ? session.pin : session.puk) = value;
            } else if (arg == "--sc") {
                // Refused here, before anything reaches the line.
                const PhoneNumber centre = NormaliseServiceCentre(Utf8ToU16(value));
                if (!centre.ok()) throw UsageError{"--sc: " + U16ToUtf8(centre.Reason())};
                session.serviceCentre = centre.number;
            } else if (arg == "--ref") {
                char* end = nullptr;
                const unsigned long ref = std::strtoul(value.c_str(), &end, 10);
                if (value.empty() || *end != '\0' || value[0] == '-' || ref > 0xFFFF)
                    throw UsageError{"--ref needs a number from 0 to 65535, not '" + value + "'"};
                session.submit.reference = static_cast<int32_t>(ref);
                session.submit.sixteenBitReference = ref > 0xFF;
            } else {
                char* end = nullptr;
                session.scale = std::strtod(value.c_str(), &end);
                if (value.empty() || *end != '\0' || !(session.scale > 0.0))
                    throw UsageError{"--scale needs a positive number, not '" + value + "'"};
            }
        } else if (session.command.empty()) {
            session.command = arg;
        } else {
            session.rest.push_back(arg);
        }
    }
    if (session.device.empty()) throw UsageError{"--device PATH is required"};
    if (session.command == "send") {
        if (session.rest.size() != 2) throw UsageError{"expected modem send NUMBER TEXT"};
        const PhoneNumber number = NormalisePhoneNumber(Utf8ToU16(session.rest[0]));
        if (!number.ok()) throw UsageError{U16ToUtf8(number.Reason())};
        session.rest[0] = U16ToUtf8(number.number);
    } else if (session.command == "phonebook" && !session.rest.empty() &&
               session.rest[0] == "write") {
        if (session.rest.size() != 4)
            throw UsageError{"expected modem phonebook write INDEX NUMBER NAME"};
        const std::string& index = session.rest[1];
        if (index.empty() || index.size() > 5 ||
            index.find_first_not_of("0123456789") != std::string::npos || std::stoi(index) < 1)
            throw UsageError{"'" + index + "' is no phonebook position"};
        const PhoneNumber number = NormalisePhoneNumber(Utf8ToU16(session.rest[2]));
        if (!number.ok()) throw UsageError{U16ToUtf8(number.Reason())};
    } else if (session.reconnect && session.command != "listen") {
        throw UsageError{"--reconnect is for listen"};
    } else if (session.command == "ussd") {
        if (session.rest.empty()) throw UsageError{"expected modem ussd CODE [REPLY...]"};
        // Refused here, before the modem is touched.
        if (!IsUssdCode(Utf8ToU16(session.rest[0])))
            throw UsageError{"'" + session.rest[0] + "' is no USSD code (digits, *, # and +)"};
        for (size_t i = 1; i < session.rest.size(); ++i)
            if (!IsUssdReply(Utf8ToU16(session.rest[i])))
                throw UsageError{"'" + session.rest[i] +
                                 "' is no USSD reply (digits, letters A-Z, *, # and +)"};
    } else if (session.command == "listen" || session.command == "list" ||
               session.command == "phonebook" || session.command == "info") {
        if (!session.rest.empty())
            throw UsageError{"unexpected argument '" + session.rest[0] + "'"};
    } else {
        throw UsageError{session.command.empty()
                             ? "expected listen, list, info, ussd, phonebook or send"
                             : "unknown modem command '" + session.command + "'"};
    }
    return session;
}

// The engine state that a notification refers to, as JSON fields.
std::string NotificationJson(Notification code, const ModemEngine& engine) {
    std::string fields;
    switch (code) {
        case Notification::kRegistered:
        case Notification::kNotRegistered:
            fields = ", \"registered\": " + std::string(engine.Registered() ? "true" : "false");
            break;
        case Notification::kSignalChanged:
            fields = ", \"signalLevel\": " + std::to_string(engine.SignalLevel());
            break;
        case Notification::kOperator:
            fields = ", \"operator\": " + JsonString(engine.OperatorText());
            break;
        case Notification::kCallerNumber:
            fields = ", \"callerNumber\": " + JsonString(engine.CallerNumber());
            break;
        case Notification::kNewMessage:
            fields = ", \"newMessageIndex\": " + std::to_string(engine.NewMessageIndex());
            break;
        case Notification::kSimPinRequired:
        case Notification::kSimPukRequired:
            fields = ", \"failure\": " + JsonString(std::string_view(engine.LastFailure())) +
                     ", \"pinAttempts\": " + std::to_string(engine.PinAttempts()) +
                     ", \"pukAttempts\": " + std::to_string(engine.PukAttempts());
            break;
        case Notification::kCmeError:
        case Notification::kNoSim:
            fields = ", \"cmeError\": " + std::to_string(engine.LastCmeError());
            break;
        case Notification::kModemSilent:
        case Notification::kNotAModem:
        case Notification::kSimNotReady:
        case Notification::kLinkLost:
            fields = ", \"failure\": " + JsonString(std::string_view(engine.LastFailure()));
            break;
        case Notification::kWindOther:
        case Notification::kWindSimRemoved:
        case Notification::kWindSimInserted:
        case Notification::kWindRinging:
        case Notification::kWindReadyNoSim:
        case Notification::kWindReady:
        case Notification::kWindCallCreated:
        case Notification::kWindCallReleased:
            fields = ", \"wind\": " + std::to_string(engine.WindIndication());
            break;
        case Notification::kStarted: {
            // The modem's own centre, as far as it told it; null when it did not.
            const std::u16string centre = engine.DetectedScNumber();
            fields =
                ", \"smsCentre\": " + (centre.empty() ? std::string("null") : JsonString(centre));
            break;
        }
        // A job's failure travels with the job.
        case Notification::kReadFailed:
        case Notification::kSendFailed:
        case Notification::kWriteFailed:
        case Notification::kStoreSendFailed:
        case Notification::kDeleteFailed:
        case Notification::kPhonebookReadFailed:
        case Notification::kPhonebookWriteFailed:
        case Notification::kMessageSent:
        case Notification::kMessageWritten:
        case Notification::kStoredMessageSent:
        case Notification::kStopping:
        case Notification::kStartupFailed:
        case Notification::kPhonebookRead:
        case Notification::kPhonebookWritten:
        case Notification::kRinging:
        case Notification::kHungUp:
        case Notification::kCallConnected:
        case Notification::kMessageRead:
        case Notification::kMessageArrived:
        case Notification::kStatusReport:
        case Notification::kInformation:
        case Notification::kUssd:
        case Notification::kListingFinished:
        case Notification::kListingFailed:
        case Notification::kDeleted:
        case Notification::kSendDone:
        case Notification::kWriteDone:
        case Notification::kStoreSendDone:
        case Notification::kToolkitInfo:
        case Notification::kToolkitAccepted:
        case Notification::kToolkitFailed:
        case Notification::kToolkitEnded:
        case Notification::kToolkitTimedOut:
        case Notification::kSimReady:
        case Notification::kCmsOther:
        case Notification::kCmsInvalidIndex:
        case Notification::kCmsNoServiceCentre:
        case Notification::kCmsNotAllowed:
        case Notification::kCmsSendFailed:
            break;
    }
    return "{\"event\": " + JsonString(NotificationEventName(code)) +
           ", \"code\": " + std::to_string(NotificationNumber(code)) + fields + "}";
}

// One message of a listing: the parts of a long one joined, "index" its first part's and
// "indexes" every part's.
std::string MessageJson(const JoinedMessage& message) {
    const SmsRecord& record = message.record;
    std::string indexes;
    for (int32_t index : message.indexes)
        indexes += (indexes.empty() ? "" : ", ") + std::to_string(index);
    return "{\"index\": " + std::to_string(record.index) + ", \"indexes\": [" + indexes +
           "], \"store\": " +
           (record.store.empty() ? std::string("null")
                                 : JsonString(std::string_view(record.store))) +
           ", \"status\": " + JsonString(record.status) +
           ", \"number\": " + JsonString(record.number) + ", \"time\": " + JsonString(record.time) +
           ", \"text\": " + JsonString(record.text) + "}";
}

template <typename T>
std::string JsonOrNull(const std::optional<T>& value) {
    if (!value) return "null";
    if constexpr (std::is_same_v<T, int32_t>)
        return std::to_string(*value);
    else
        return JsonString(*value);
}

// The modem as it is, one line.
std::string InformationJson(const ModemInfo& info) {
    std::string stores;
    for (const StoreUse& store : info.stores)
        stores += (stores.empty() ? "" : ", ") + std::string("{\"name\": ") +
                  JsonString(std::string_view(store.name)) +
                  ", \"used\": " + JsonOrNull(store.used) +
                  ", \"total\": " + JsonOrNull(store.total) + "}";
    const std::string technology =
        info.technology ? TechnologyName(*info.technology) : std::string();
    return "{\"manufacturer\": " + JsonOrNull(info.manufacturer) +
           ", \"model\": " + JsonOrNull(info.model) +
           ", \"revision\": " + JsonOrNull(info.revision) + ", \"imei\": " + JsonOrNull(info.imei) +
           ", \"imsi\": " + JsonOrNull(info.imsi) +
           ", \"smsCentre\": " + JsonOrNull(info.smsCentre) +
           ", \"operator\": " + JsonOrNull(info.operatorName) +
           ", \"operatorCode\": " + JsonOrNull(info.operatorCode) + ", \"technology\": " +
           (technology.empty() ? std::string("null") : JsonString(std::string_view(technology))) +
           ", \"registration\": \"" + RegistrationName(info.registration) +
           "\", \"signal\": {\"rssi\": " + JsonOrNull(info.rssi) +
           ", \"dbm\": " + JsonOrNull(SignalDbm(info.rssi)) +
           ", \"bars\": " + std::to_string(SignalBarsOf(info.rssi)) + "}, \"stores\": [" + stores +
           "]}";
}

std::string UssdJson(const UssdAnswer& answer) {
    return "{\"event\": \"ussd\", \"status\": \"" + std::string(UssdStatusName(answer.status)) +
           "\", \"text\": " +
           (answer.text.empty() && answer.status != UssdStatus::kDone &&
                    answer.status != UssdStatus::kMore
                ? std::string("null")
                : JsonString(answer.text)) +
           "}";
}

// A new message; a part of a long one says which, its text is its own.
std::string ArrivalJson(const SmsPart& part) {
    const SmsRecord& record = part.record;
    std::string json = "{\"event\": \"message\", \"index\": " + std::to_string(record.index) +
                       ", \"number\": " + JsonString(record.number) +
                       ", \"time\": " + JsonString(record.time) +
                       ", \"text\": " + JsonString(record.text);
    if (part.concat)
        json += ", \"part\": " + std::to_string(part.concat->sequence) +
                ", \"parts\": " + std::to_string(part.concat->total);
    return json + "}";
}

// A status report: the reference of the submission it is about, and what became of it.
std::string ReportJson(const StatusReport& report) {
    std::string state;
    switch (DeliveryStatusOf(report.status)) {
        case DeliveryStatus::kDelivered:
            state = "delivered";
            break;
        case DeliveryStatus::kPending:
            state = "pending";
            break;
        case DeliveryStatus::kFailed:
            state = "failed";
            break;
    }
    return "{\"event\": \"statusReport\", \"messageReference\": " +
           std::to_string(report.reference) + ", \"number\": " + JsonString(report.recipient) +
           ", \"status\": " + std::to_string(report.status) + ", \"state\": \"" + state +
           "\", \"time\": " + JsonString(report.time) + "}";
}

// The engine names every failure it reports; the rest is a fallback.
std::string Reason(const ModemEngine& engine, const char* fallback) {
    const std::string reason = engine.LastFailure();
    return reason.empty() ? fallback : reason;
}

// How a start-up ended.
enum class Start { kStarted, kRefused, kInterrupted };

// Waits for the start-up of an opened engine, printing its notifications when `print`; on a
// failure says why on stderr when `tell`.
Start AwaitStartup(CodeQueue& codes, const ModemEngine& engine, const Session& session,
                   std::chrono::milliseconds ceiling, bool print, bool tell) {
    std::optional<Notification> simCode;
    const auto deadline = std::chrono::steady_clock::now() + ceiling;
    while (std::chrono::steady_clock::now() < deadline && !g_interrupted) {
        const std::optional<Notification> code = codes.Next(std::chrono::milliseconds(100));
        if (!code) continue;
        if (print) std::cout << NotificationJson(*code, engine) << std::endl;
        if (*code == Notification::kStartupFailed) {
            if (!tell) return Start::kRefused;
            std::cerr << "telvane-tool modem: start-up failed: "
                      << Reason(engine, "the modem did not start");
            if (simCode == Notification::kSimPinRequired && session.pin.empty())
                std::cerr << " (give it with --pin PIN)";
            if (simCode == Notification::kSimPukRequired && session.puk.empty())
                std::cerr << " (give it with --puk PUK --pin NEWPIN)";
            std::cerr << "\n";
            return Start::kRefused;
        }
        if (*code == Notification::kSimPinRequired || *code == Notification::kSimPukRequired)
            simCode = *code;
        if (*code == Notification::kStarted) return Start::kStarted;
    }
    if (g_interrupted) return Start::kInterrupted;
    if (tell) std::cerr << "telvane-tool modem: start-up failed: no result from the modem\n";
    return Start::kRefused;
}

// A new engine on the session's device, opened; null (and `error` set) when the port would not
// open.
std::unique_ptr<ModemEngine> OpenEngine(const Session& session, const Timing& timing,
                                        CodeQueue& codes, std::string& error) {
    auto engine = std::make_unique<ModemEngine>(timing);
    engine->SetSimCodes(session.pin, session.puk);
    // The same call the window makes for a centre set in its settings.
    if (session.serviceCentre) engine->SetScNumber(*session.serviceCentre);
    if (!engine->Open(kPort, codes.Callback())) {
        error = engine->OpenError();
        return nullptr;
    }
    return engine;
}

// After a lost link: a new engine once the device is back and has started, or null when
// interrupted.  Every attempt that fails is followed by a pause; the first failure of each kind
// is told on stderr.
std::unique_ptr<ModemEngine> Reconnect(const Session& session, const Timing& timing,
                                       CodeQueue& codes, std::chrono::milliseconds ceiling) {
    std::string told;
    const auto pause = std::chrono::milliseconds(timing.ScaledMilliseconds(1000));
    for (;;) {
        const auto resume = std::chrono::steady_clock::now() + pause;
        while (!g_interrupted && std::chrono::steady_clock::now() < resume)
            std::this_thread::sleep_for(std::min(pause, std::chrono::milliseconds(50)));
        if (g_interrupted) return nullptr;
        std::string error;
        // A device that is not back is no news.
        if (::access(session.device.c_str(), F_OK) != 0) continue;
        codes.Clear();
        std::unique_ptr<ModemEngine> engine = OpenEngine(session, timing, codes, error);
        if (engine) {
            const Start start = AwaitStartup(codes, *engine, session, ceiling, true, false);
            if (start == Start::kStarted) return engine;
            if (start == Start::kInterrupted) return nullptr;
            error = "start-up failed: " + Reason(*engine, "the modem did not start");
        }
        if (error != told) std::cerr << "telvane-tool modem: waiting: " << error << "\n";
        told = error;
    }
}

int Run(const Args& args) {
    const Session session = ParseArgs(args);
    SerialDeviceTable::Instance().Register("COM" + std::to_string(kPort), session.device);
    const Timing timing(session.scale);
    // The engine bounds every wait by the modem's answers; this only ends a hang.
    const auto ceiling = std::chrono::milliseconds(timing.ScaledMilliseconds(600000) + 2000);

    // ModemManager, where it manages the modem, holds its port: it is asked to let go for as
    // long as this run lasts (the inhibition ends with the object, or with the process).
    ModemManagerInhibition::Outcome outcome = ModemManagerInhibition::Outcome::kNotManaged;
    std::string letGo;
    const std::unique_ptr<ModemManagerInhibition> inhibition =
        ModemManagerInhibition::Begin(session.device, outcome, letGo);
    if (outcome == ModemManagerInhibition::Outcome::kRefused) {
        std::cerr << "telvane-tool modem: ModemManager would not let go of the modem: " << letGo
                  << "\ntelvane-tool modem: add the udev rule in the README's \"Connecting a real "
                     "modem\" so that ModemManager leaves this modem alone\n";
        return kStartupFailed;
    }

    CodeQueue codes;
    std::string openError;
    std::unique_ptr<ModemEngine> opened = OpenEngine(session, timing, codes, openError);
    if (!opened) {
        // The reason names the device (and whoever holds it).
        std::cerr << "telvane-tool modem: " << openError << "\n";
        return kStartupFailed;
    }
    const bool listen = session.command == "listen";
    if (listen) {
        std::signal(SIGINT, OnInterrupt);
        std::signal(SIGTERM, OnInterrupt);
    }
    const Start start = AwaitStartup(codes, *opened, session, ceiling, listen, true);
    if (start == Start::kInterrupted) return 0;
    if (start == Start::kRefused) return kStartupFailed;

    if (listen) {
        while (!g_interrupted) {
            const std::optional<Notification> code = codes.Next(std::chrono::milliseconds(100));
            if (!code) continue;
            if (*code == Notification::kStatusReport) {
                for (const StatusReport& report : opened->TakeStatusReports())
                    std::cout << ReportJson(report) << std::endl;
                continue;
            }
            if (*code == Notification::kMessageArrived) {
                for (const SmsPart& part : opened->TakeArrivedMessages())
                    std::cout << ArrivalJson(part) << std::endl;
                continue;
            }
            std::cout << NotificationJson(*code, *opened) << std::endl;
            // Nothing more can come once the link is gone.
            if (*code != Notification::kStartupFailed) continue;
            if (!session.reconnect) {
                std::cerr << "telvane-tool modem: the link to the modem was lost\n";
                return 1;
            }
            // The old engine goes first: one engine at a time holds the port.
            opened.reset();
            opened = Reconnect(session, timing, codes, ceiling);
            if (!opened) return 0;
            std::cout << "{\"event\": \"reconnected\"}" << std::endl;
        }
        return 0;
    }
    ModemEngine& engine = *opened;

    // Waits for one of `wanted`; other notifications pass.  None on time-out.
    // A job's end, or nullopt when the link went down first (or nothing came at all).
    const auto waitForJob = [&](const JobWaiter& waiter) -> std::optional<JobResult> {
        const auto end = std::chrono::steady_clock::now() + ceiling;
        while (std::chrono::steady_clock::now() < end) {
            if (std::optional<JobResult> result = waiter.Result()) return result;
            if (codes.Next(std::chrono::milliseconds(50)) == Notification::kStartupFailed)
                return waiter.Result();
        }
        return waiter.Result();
    };
    const auto jobFailure = [&](const std::optional<JobResult>& result) {
        if (!result) return Reason(engine, "no result from the modem");
        return result->reason.empty() ? std::string("no result from the modem") : result->reason;
    };

    if (session.command == "list") {
        const JobWaiter listing;
        if (!engine.ListMessages(4, listing.Done())) {
            std::cerr << "telvane-tool modem: the listing could not be started\n";
            return kReadFailed;
        }
        const std::optional<JobResult> result = waitForJob(listing);
        if (!result || !result->Ok()) {
            std::cerr << "telvane-tool modem: listing failed: " << jobFailure(result) << "\n";
            return kReadFailed;
        }
        for (const JoinedMessage& message : JoinParts(result->listing))
            std::cout << MessageJson(message) << "\n";
        return 0;
    }

    if (session.command == "info") {
        const JobWaiter query;
        if (!engine.QueryInformation(query.Done())) {
            std::cerr << "telvane-tool modem: the information query could not be started\n";
            return kReadFailed;
        }
        const std::optional<JobResult> result = waitForJob(query);
        if (!result || !result->Ok() || !result->information) {
            std::cerr << "telvane-tool modem: information failed: " << jobFailure(result) << "\n";
            return kReadFailed;
        }
        std::cout << InformationJson(*result->information) << "\n";
        return 0;
    }

    if (session.command == "ussd") {
        // The code, then each reply while the network's menu waits for one.
        int exit = 0;
        bool open = false;
        for (size_t i = 0; i < session.rest.size(); ++i) {
            if (i > 0 && !open) break;
            const JobWaiter ussd;
            if (!engine.SendUssd(Utf8ToU16(session.rest[i]), ussd.Done())) {
                std::cerr << "telvane-tool modem: the USSD request could not be started\n";
                return kFailed;
            }
            const std::optional<JobResult> result = waitForJob(ussd);
            const UssdAnswer answer =
                result && result->ussd ? *result->ussd : UssdAnswer{UssdStatus::kNoAnswer, {}, -1};
            // Nothing came: no answer to print.
            if (answer.status == UssdStatus::kNoAnswer) {
                std::cerr << "telvane-tool modem: no USSD answer: " << jobFailure(result) << "\n";
                exit = kUssdUnanswered;
                open = false;
                break;
            }
            std::cout << UssdJson(answer) << std::endl;
            if (answer.status == UssdStatus::kRefused && result)
                std::cerr << "telvane-tool modem: " << result->reason << "\n";
            open = answer.status == UssdStatus::kMore;
            exit =
                answer.status == UssdStatus::kRefused || answer.status == UssdStatus::kUnsupported
                    ? kUssdRefused
                    : 0;
            if (exit != 0) break;
        }
        // A menu left open would hold the network's session until it times out.
        if (open || engine.UssdSessionOpen()) {
            const JobWaiter end;
            if (engine.EndUssd(end.Done())) waitForJob(end);
        }
        return exit;
    }

    if (session.command == "phonebook") {
        const JobWaiter read;
        if (!engine.ReadPhonebook(read.Done())) {
            std::cerr << "telvane-tool modem: the phonebook read could not be started\n";
            return kReadFailed;
        }
        const std::optional<JobResult> readResult = waitForJob(read);
        if (!readResult || !readResult->Ok()) {
            std::cerr << "telvane-tool modem: phonebook read failed: " << jobFailure(readResult)
                      << "\n";
            return kReadFailed;
        }
        if (session.rest.size() == 4) {
            // The window's path: the entry changes in the engine's table, then the changed
            // entries are written.
            const int32_t index = std::stoi(session.rest[1]);
            const PhoneNumber checked = NormalisePhoneNumber(Utf8ToU16(session.rest[2]));
            if (!checked.ok()) {
                std::cerr << "telvane-tool modem: not written: " << U16ToUtf8(checked.Reason())
                          << "\n";
                return kFailed;
            }
            const std::u16string number = checked.number;
            int updated = 0;
            {
                auto lock = engine.LockPhonebook();
                updated = engine.Phonebook().UpdateEntry(index, Utf8ToU16(session.rest[3]), number);
            }
            if (!updated) {
                std::cerr << "telvane-tool modem: the SIM phonebook has no position " << index
                          << "\n";
                return kFailed;
            }
            const JobWaiter write;
            if (!engine.WritePhonebook(write.Done())) {
                std::cerr << "telvane-tool modem: the phonebook write could not be started\n";
                return kFailed;
            }
            const std::optional<JobResult> written = waitForJob(write);
            if (!written || !written->Ok()) {
                std::string reason = jobFailure(written);
                if (written)
                    for (const PhonebookRefusal& refusal : written->refusals)
                        reason += "; position " + std::to_string(refusal.position) + ": " +
                                  refusal.reason;
                std::cerr << "telvane-tool modem: not written: " << reason << "\n";
                return kFailed;
            }
        }
        auto lock = engine.LockPhonebook();
        const PhonebookLimits limits = engine.Phonebook().Limits();
        std::cout << "{\"numberLimit\": " << limits.numberLimit
                  << ", \"textLimit\": " << limits.textLimit
                  << ", \"capacity\": " << limits.capacity << "}\n";
        for (const PhonebookEntry& entry : engine.Phonebook().Entries()) {
            if (entry.IsEmpty()) continue;
            std::cout << "{\"index\": " << entry.index << ", \"name\": " << JsonString(entry.name)
                      << ", \"number\": " << JsonString(entry.number) << "}\n";
        }
        return 0;
    }

    // send NUMBER TEXT: a modem just switched on may still be looking for its network.
    if (!engine.Registered()) {
        const auto end = std::chrono::steady_clock::now() +
                         std::chrono::milliseconds(timing.ScaledMilliseconds(kRegistrationWaitMs));
        while (!engine.Registered() && std::chrono::steady_clock::now() < end) {
            const std::optional<Notification> code = codes.Next(std::chrono::milliseconds(50));
            if (code == Notification::kStartupFailed) break;
        }
    }
    if (!engine.Registered()) {
        std::cerr << "telvane-tool modem: not sent: not registered on a network\n";
        return kFailed;
    }
    const JobWaiter send;
    if (!engine.SendTextMessage(Utf8ToU16(session.rest[0]), Utf8ToU16(session.rest[1]),
                                session.submit, send.Done())) {
        std::cerr << "telvane-tool modem: the send could not be started\n";
        return kFailed;
    }
    const std::optional<JobResult> sent = waitForJob(send);
    if (!sent || !sent->Ok()) {
        std::cerr << "telvane-tool modem: "
                  << (sent ? jobFailure(sent)
                           : Reason(engine, "not sent: no result from the modem"))
                  << "\n";
        return kFailed;
    }
    // One reference per part, in sending order; the last is kept under its old name.
    std::string references;
    for (const int32_t reference : sent->references)
        references += (references.empty() ? "" : ", ") + std::to_string(reference);
    std::cout << "{\"messageReference\": "
              << (sent->references.empty() ? -1 : sent->references.back())
              << ", \"messageReferences\": [" << references << "]}\n";
    return 0;
}

const CommandGroup group(
    "modem",
    "  modem --device PATH [--scale X] [--sc NUMBER] [--pin PIN] [--puk PUK]\n"
    "        listen [--reconnect]|list|info|ussd CODE [REPLY...]|phonebook|\n"
    "        phonebook write INDEX NUMBER NAME|send [--ref N] [--report] NUMBER TEXT\n"
    "                               a session with the modem: its reports and new\n"
    "                               messages (--reconnect: the link is reopened\n"
    "                               when the device returns, {\"event\": \"reconnected\"}),\n"
    "                               the messages of every store, what the modem, SIM\n"
    "                               and network are (one JSON line), a USSD code and\n"
    "                               the replies to its menus (a JSON line per answer;\n"
    "                               exit 1 when refused, 4 when unanswered), the SIM\n"
    "                               phonebook (or one entry written), or one send\n"
    "                               (through SMS centre NUMBER; a long text in parts\n"
    "                               joined by reference N, 16-bit above 255; --report\n"
    "                               asks for\n"
    "                               a delivery report); a SIM that asks for its PIN gets\n"
    "                               --pin once; ModemManager, when it manages the\n"
    "                               modem, is asked to let go of it while the session\n"
    "                               lasts; exit 3 when the modem does not start,\n"
    "                               another program holds its port (named) or\n"
    "                               ModemManager would not let go, 4 when a read fails\n",
    Run);

}  // namespace

}  // namespace telvane::cli
