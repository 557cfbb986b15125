// The engine's fields, shared by its source files and its tests.  Not part of the interface.
//
// Ownership by thread: the receive path (framer, response) belongs to the port's reader thread,
// parseState to the dispatcher.  Numbers read across threads are atomics; texts sit under
// textMutex, the toolkit slots under toolkitMutex, the phonebook under phonebookMutex.  A job's
// answer and result are its own (Transaction, JobResult), in no shared field.
//
// Lock order (a thread holding one may take only those after it; none is taken twice):
//   commandMutex -> lineMutex -> phonebookMutex -> textMutex, toolkitMutex, arrivalMutex,
//   postedMutex (each of these last a leaf).
// lineMutex is held across I/O by the job that owns the line; no other lock is held while
// waiting for it, and the window's thread never takes it.  `lock` is the dispatcher's alone,
// around the callbacks, which only post; nothing else is held with it.
#pragma once

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "codec/pdu_codec.h"
#include "codec/phonebook_charset.h"
#include "codec/response_parsers.h"
#include "codec/smart_message_builder.h"
#include "codec/toolkit_parser.h"
#include "modem/indicators.h"
#include "modem/modem_engine.h"
#include "modem/response_framer.h"
#include "modem/transaction.h"
#include "platform/event_set.h"
#include "platform/worker_slot.h"
#include "serial/serial_port.h"

namespace telvane {

inline constexpr int32_t kListingCapacity = 200;
inline constexpr int32_t kToolkitSlots = 15;
// A SIM checks a code before it answers: its answer may take a while.
inline constexpr int32_t kSimCodeIdleMs = 10000;
// A command line, CR included.
inline constexpr size_t kMaxCommandLine = 1024;
// A modem that is still reading its SIM says so (+CME ERROR: 515, or 14 "SIM busy") to any
// command and wants to be asked again a little later: asking at once only brings the same answer.
inline constexpr int kSimBusyTries = 5;
inline constexpr int32_t kSimBusyPauseMs = 1000;

// A message or status report the modem announced in one of its stores ("+CMTI: \"ME\",5").
struct StoredAt {
    std::string store;  // "SM", "ME", "SR", ...; "" when the modem named none
    int32_t index = -1;
    bool operator==(const StoredAt&) const = default;
};

// A job's end on its way to the dispatcher: the result and whom to hand it to.
struct JobEnd {
    JobResult result;
    JobDone done;
};
struct Posted {
    Notification code;
    std::shared_ptr<JobEnd> job;  // null: a notification alone
};

struct ModemEngine::State {
    // Link and channel.
    std::atomic<int32_t> portNumber{0};
    SmartMessageBuilder smartBuilder;
    PduCodec codec;
    std::unique_ptr<SerialPort> serialPort;  // set by Open before any thread starts
    std::string openError;

    // Receive path (reader thread).
    ResponseFramer framer;
    std::string response;
    std::string responseCommand;  // the command waiting while `response` came; "" when none

    EventSet events{engine_event::kCount};
    std::mutex lock;  // held around every call of callback
    EngineCallback callback;
    std::atomic<bool> closing{false};
    std::atomic<bool> enabled{true};
    std::mutex commandMutex;  // one SendCommand at a time
    // One command on the line at a time, from its writing to its final result; a job holds it
    // for its whole sequence.  A PDU job holds it from its send command until the PDU's
    // result: any other command line written after the modem's "> " prompt would become part
    // of the message.
    std::mutex lineMutex;
    Transaction transaction;
    std::atomic<uint64_t> bytesReceived{0};
    // Set by a read that failed: the reader drops the text it holds, so that the rest of a cut
    // answer never completes into a listing or phonebook later.
    std::atomic<bool> discardPending{false};
    Event okEvent;
    Event pauseEvent;  // never signalled: the engine's pauses; abandoned at teardown

    // Threads.
    WorkerSlot dispatcher, startup, commandWriter;
    WorkerSlot textSend, segmentSend, writeSim, storeSend, readOne, lister, deleter;
    WorkerSlot phonebookRead, phonebookWrite, toolkitInfo;
    WorkerSlot information, ussd;

    // Modem state.
    std::atomic<bool> started{false};
    std::atomic<int32_t> simState{0};
    std::atomic<bool> registered{false};
    std::atomic<int32_t> signalLevel{0};
    std::atomic<int32_t> rssi{-1};              // 0..31; -1 not known
    std::atomic<int32_t> registrationStat{-1};  // the last +CREG <stat>
    std::atomic<int32_t> callState{0};
    std::atomic<int32_t> windIndication{0};
    std::atomic<int32_t> activityStatus{-1};
    std::atomic<int32_t> lastCmeError{0};
    std::atomic<int32_t> storeUsed{-1};
    ModemParseState parseState;     // dispatcher
    bool indicatedRoaming = false;  // dispatcher: the last "roam" indicator

    mutable std::mutex textMutex;
    std::u16string scNumber;
    std::u16string detectedScNumber;  // from the modem at start-up; empty: not known
    std::u16string operatorText;
    std::u16string callerNumber;
    std::string cmeText, csqText, cregText, windText, cpasText, stinText, clipText;
    std::string cmeCommand;  // the command cmeText answered; "" when none waited
    // Indicator reports: what start-up found in AT+CIND=?, and the "+CIEV:" lines not yet read.
    IndicatorMap indicators;
    std::deque<std::string> indicatorLines;
    std::string lastFailure;  // of the start-up, or the lost link
    // Message and phonebook responses, one text per event: a "+CMTI:" right behind a listing
    // must not replace the listing before the dispatcher has read it.
    std::array<std::string, engine_event::kCount> smsText;

    // Message jobs: the workers read their own answers; these only steer the receive path.
    std::atomic<int32_t> newMessageIndex{-1};
    std::atomic<int32_t> expectPdu{0};
    std::atomic<int32_t> sendWaiting{0}, writeWaiting{0}, deleteWaiting{0};

    mutable std::mutex phonebookMutex;
    PhonebookTable phonebook;

    // Notifications and job ends posted by the threads in order, delivered by the dispatcher in
    // that order.
    std::mutex postedMutex;
    std::deque<Posted> posted;
    // The job end whose notification the dispatcher is delivering (dispatcher thread only).
    std::shared_ptr<JobEnd> delivering;
    std::atomic<JobId> nextJobId{1};
    // SIM toolkit.
    std::atomic<int32_t> toolkitCommand{0};
    std::atomic<int32_t> toolkitAwaiting{0};
    std::atomic<int32_t> toolkitPending{0};
    mutable std::mutex toolkitMutex;
    int32_t toolkitItemCounter = -1;
    int32_t toolkitLines = 0;
    int32_t toolkitResult = 0;
    std::array<ToolkitItem, kToolkitSlots> toolkitItems;
    ToolkitFields toolkitFields;

    // Live link: messages announced while connected, SIM codes, the phonebook's character set.
    std::mutex arrivalMutex;
    std::deque<StoredAt> announced;          // "+CMTI:" places not yet read
    std::deque<SmsPart> arrived;             // read, not yet taken by the owner
    bool arrivalReading = false;             // a reader takes `announced` (under arrivalMutex)
    std::deque<StoredAt> reportsAnnounced;   // "+CDSI:" places not yet read
    std::optional<StoredAt> arrivalCurrent;  // the place the reader reads now
    // The store reads and deletes use (the first of "+CPMS:"), as start-up found it; "" when the
    // modem did not say.  Under arrivalMutex.
    std::string readStore;
    std::deque<StatusReport> reports;  // not yet taken by the owner
    bool reportPduNext = false;  // reader thread: "+CDS:" came alone, its PDU is the next line
    WorkerSlot arrivalReader;
    std::string pin, puk;  // given before Open; each is sent at most once
    std::atomic<int32_t> pinAttempts{-1}, pukAttempts{-1};
    std::atomic<int32_t> storeCapacity{-1};
    std::atomic<bool> charsetAsked{false};
    std::atomic<PhonebookCharset> phonebookCharset{PhonebookCharset::kIra};
    std::atomic<bool> charsetSwitch{false};  // the modem offered a set worth switching to
    std::string charsetBefore;               // what the modem used before (phonebook worker)

    // The stores AT+CPMS=? offers for reading, asked once by the first listing; empty when the
    // modem names none.  Under arrivalMutex.
    std::vector<std::string> readableStores;
    bool storesAsked = false;

    // USSD: the network's "+CUSD:" lines as they came, for the job that waits (ussdMutex, a
    // leaf); whether a session waits for a reply.
    std::mutex ussdMutex;
    std::condition_variable ussdChanged;
    std::deque<std::string> ussdLines;
    // Reader thread: a "+CUSD:" whose quoted text goes on over further lines, so far.
    std::string ussdPartial;
    std::atomic<bool> ussdOpen{false};
};

// How long a command may stay without an answer, and how much its answer may hold.
struct CommandWait {
    int32_t idleMs = 5000;  // restarts with every byte received
    size_t maxBytes = 64 * 1024;
    Transaction::Expect expect{};
    // Tries while the modem answers "SIM busy" (+CME ERROR: 515 or 14), kSimBusyPauseMs apart.
    // A PDU (a line with Ctrl-Z) is written once whatever this says.
    int simBusyTries = kSimBusyTries;
};

// Writes `line` (CR appended) and waits for its end.  The caller holds lineMutex.
CommandResult RunCommand(ModemEngine::State& s, const Timing& timing, std::string_view line,
                         const CommandWait& wait);
// Hands `code` to the dispatcher, behind every code posted before it.
void PostNotification(ModemEngine::State& s, Notification code);
// Hands a job's end to the dispatcher likewise: its notification to the engine's callback, then
// the result to `done`.
void PostJobEnd(ModemEngine::State& s, JobResult result, JobDone done);
// Runs `body` on `slot` as a job of `kind`; its result goes to `done` once the slot is free.
JobHandle StartJob(ModemEngine::State& s, WorkerSlot& slot, JobKind kind, JobDone done,
                   std::function<JobResult()> body);
// Keeps the reason of the job or start-up that failed, for LastFailure().
void SetFailure(ModemEngine::State& s, std::string reason);

// Live link (live_link.cpp).
// Takes every "+CMTI:" line out of `response` and queues its place unless that waits already;
// true when one was queued.
bool TakeNewMessageLines(ModemEngine::State& s, std::string& response);
// Takes every "+CDS:" (with its PDU line, here or in the next response) and "+CDSI:" line out
// of `response`: reports are kept, stored ones queued for reading.  Reader thread.
// Returns true when a stored one was queued (a place that waits already is not queued again).
bool TakeStatusReportLines(ModemEngine::State& s, std::string& response);
// Takes every "+CUSD:" line out of `response` for the USSD job; true when one was taken.
bool TakeUssdLines(ModemEngine::State& s, std::string& response);
// Runs `work` with the store of `at` chosen for reading and deleting, and the store before chosen
// again after.  Caller holds lineMutex.  Why the store could not be chosen (nothing ran), or
// nothing.
std::optional<std::string> RunInStore(ModemEngine::State& s, const Timing& timing,
                                      const StoredAt& at, const std::function<void()>& work);
// Starts the reader of announced messages (and stored status reports) unless one runs.
void StartArrivalReader(ModemEngine::State& s, const Timing& timing);
// Start-up, when the SIM asks for a code: what the SIM says of its tries (AT+CPINR, or the
// vendor's AT+CPINC?), and the code the caller gave, sent once.  Caller holds lineMutex.
void QuerySimAttempts(ModemEngine::State& s, const Timing& timing);
// nullopt when no code was given for this request (or it was sent already).
std::optional<CommandResult> SendSimCode(ModemEngine::State& s, const Timing& timing, bool puk);
// After start-up: new-message indications and the message store's fill.  Caller holds lineMutex.
void ConfigureLiveLink(ModemEngine::State& s, const Timing& timing);
// Asks which indicators the modem has (AT+CIND=?) and, when the signal, the service or roaming is
// among them, for their "+CIEV:" reports.  Caller holds lineMutex.
void EnableIndicatorReports(ModemEngine::State& s, const Timing& timing);
// Around a phonebook job: switch to the set names travel in, and back.  Caller holds lineMutex.
void EnterPhonebookCharset(ModemEngine::State& s, const Timing& timing);
void LeavePhonebookCharset(ModemEngine::State& s, const Timing& timing);
// "AT+CPBW=..." with the name in the set in use; nullopt and `reason` when it cannot be written.
std::optional<std::string> PhonebookWriteLine(ModemEngine::State& s, int position,
                                              std::u16string_view number, std::u16string_view name,
                                              int32_t textLimit, std::string& reason);

// What tests reach inside the engine.
struct ModemEngineTestAccess {
    static ModemEngine::State& Of(ModemEngine& engine) { return *engine.state_; }
    static std::optional<Notification> HandleEvent(ModemEngine& engine, int event) {
        return engine.HandleEvent(event);
    }
    static std::string& Response(ModemEngine& engine) { return engine.state_->response; }
};

}  // namespace telvane
