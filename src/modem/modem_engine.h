// The AT command layer between the link controller and the modem.
//
// The engine opens the serial port, writes each command line from a short-lived thread, cuts the
// received text into responses, classifies them by keyword and signals one of 38 engine events.
// Its dispatcher thread turns those events into state changes and calls the controller's callback
// with a notification code.  Multi-step jobs (sending, listing, phonebook) run on worker threads
// of their own, one per kind at a time; their starters return at once.
//
// One engine at a time is open: the port's receive handler, a plain function, reaches the engine
// through a process-wide pointer that Open sets.
//
// Threads: the caller's (Open, starters, accessors, destruction), the port's reader (receive
// path: framing, classification, kept texts), the dispatcher (event actions, callbacks), the
// start-up thread, command writers and workers.  Accessors may be called from any thread.
//
// Example:
//     ModemEngine engine(Timing(1.0));
//     if (!engine.Open(1, [](Notification n) { PostToWindow(n); }))
//         ShowError(engine.OpenError());
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "codec/pdu_codec.h"
#include "codec/phonebook_charset.h"
#include "codec/sms_record.h"
#include "modem/job.h"
#include "modem/notification.h"
#include "platform/timing.h"
#include "store/phonebook_table.h"

namespace telvane {

class SmartMessageBuilder;
struct Classification;

// Engine event numbers: the index of the event flag that a kind of response (or a worker's end)
// signals.  When several are set, the dispatcher takes the lowest first.
namespace engine_event {
enum Number : int {
    kStop = 0,                // teardown
    kOk = 1,                  // final "OK" (or a type-9 "+STGI:" answering a toolkit request)
    kSimReady = 2,            // "+CPIN: READY"
    kCmeError = 3,            // "+CME ERROR"
    kOperator = 4,            // "+COPS:"
    kRing = 5,                // "CRING: VOICE"
    kCallerId = 6,            // "+CLIP:"
    kCallEnded = 7,           // "NO CARRIER", "BUSY"
    kHungUp = 8,              // hang-up command sent
    kSignalQuality = 9,       // "+CSQ:"
    kRegistration = 10,       // "+CREG:"
    kWind = 11,               // "+WIND:"
    kMessageSent = 12,        // "+CMGS:"
    kNewMessage = 13,         // "+CMTI:"
    kStoreStatus = 14,        // "+CPMS:"
    kMessageRead = 15,        // "+CMGR:"
    kListing = 16,            // "+CMGL:", or the listing worker when nothing arrived
    kReportStored = 17,       // "+CDSI:"
    kReadDone = 18,           // single-message reader, success
    kReadFailed = 19,         // single-message reader, failure
    kListingArrived = 20,     // listing worker, entries arrived
    kListingRefused = 21,     // listing worker, command refused
    kCmsError = 22,           // "+CMS ERROR:"
    kDeleted = 23,            // delete worker, success
    kSendDone = 24,           // text-send or smart-segment worker, success
    kToolkitMenu = 25,        // "+STGI:" menu line
    kToolkitIndication = 26,  // "+STIN:"
    kToolkitAnswerDone = 27,  // toolkit answer accepted
    kToolkitAnswerFailed = 28,
    kStartupDone = 29,
    kActivityStatus = 30,     // "+CPAS:"
    kStartupFailed = 31,      // start-up failed, or the link was lost
    kMessageWritten = 32,     // "+CMGW:"
    kStoredMessageSent = 33,  // "+CMSS:"
    kWriteDone = 34,          // write-to-SIM worker, success
    kStoreSendDone = 35,      // send-from-store worker, success
    kPhonebook = 36,          // "+CPBR:", or the phonebook reader when no entry arrived
    kPhonebookWritten = 37,   // phonebook writer, success
    kPosted = 38,             // notifications posted in order (failures, their reasons)
    kIndicator = 39,          // "+CIEV:"
    kCount = 40,
};
}  // namespace engine_event

// Called on the dispatcher thread with a notification, under the engine's lock.  It must not
// destroy the engine or wait for the dispatcher; the controller's only posts it to its own
// thread.
using EngineCallback = std::function<void(Notification notification)>;

class ModemEngine {
  public:
    explicit ModemEngine(Timing timing = Timing());
    // Teardown: stops the dispatcher, ends every thread (their pauses are cut short), closes the
    // port.  Safe while a callback runs or the device has vanished.
    ~ModemEngine();
    ModemEngine(const ModemEngine&) = delete;
    ModemEngine& operator=(const ModemEngine&) = delete;

    static constexpr int32_t kMaxPortNumber = 99;
    // Opens "COM<portNumber>" (1-kMaxPortNumber, resolved through the serial-device table), writes
    // "ATZ" LF, starts the dispatcher and the start-up sequence.  1 on success; 0 for a port number
    // out of range or a device that could not be opened (OpenError() says why).  There is no
    // reopen.
    int Open(int32_t portNumber, EngineCallback callback);
    // Why Open failed, for the user ("no such device ...", "permission denied ...: the user must
    // be in the dialout group", ...); empty after a successful Open.
    std::string OpenError() const;
    const Timing& GetTiming() const { return timing_; }

    // Writes `text` and CR from a short-lived thread, once the line is free, and waits there for
    // its answer.  1 when the writer was started; 0 when commands are disabled, the engine is
    // closing, the line is too long, or the previous writer is still busy after 500 ms (the
    // command is dropped, not queued).
    int SendCommand(std::string_view text);
    // A pause of `milliseconds` (scaled); cut short only by teardown.
    void Pause(int32_t milliseconds);
    // 1 when a final "OK" arrived within `milliseconds` (scaled).
    int WaitForOk(int32_t milliseconds);
    // "AT+CSQ"; notification 8 follows when the level changed.  Never waits: 0 (skipped) while
    // the previous poll still waits for the line.
    int RequestSignalQuality();

    // Why the start-up failed or the link was lost, for the user; empty when neither.  A job's
    // failure travels with the job's result.
    std::string LastFailure() const;

    // Job starters: the job's handle, or a zero handle when one of its kind still runs (and,
    // for the send, write and send-from-store starters, while not registered).  `done` is called
    // once with the job's result; the job's end notification goes to the engine's callback too.
    // A text of any length goes as its parts, in order, each confirmed before the next; a
    // text the codec refuses fails before anything is written.  A part whose submission went
    // out but was never answered ends the job "not confirmed".
    JobHandle SendTextMessage(std::u16string number, std::u16string text,
                              SubmitOptions options = {}, JobDone done = {});
    // `segment` is the 1-based part of SmartBuilder()'s message.
    JobHandle SendSmartSegment(std::u16string number, int32_t segment, JobDone done = {});
    JobHandle WriteTextToSim(std::u16string number, std::u16string text, JobDone done = {});
    JobHandle SendFromStore(int32_t index, JobDone done = {});
    // 0 unread, 1 read, 2 unsent, 3 sent, 4 all (PDU mode; the one the controller uses).  The
    // result holds every listed entry, or the listing failed whole.  Mode 4 lists every store
    // the modem offers for reading (AT+CPMS=?: SM, ME, ...), each part naming its store.
    JobHandle ListMessages(int32_t mode, JobDone done = {});
    // Mode 0 deletes `index`; modes 1-4 use the delete flags 1-4.
    JobHandle DeleteMessages(int32_t mode, int32_t index, JobDone done = {});
    // Deletes `index` of `store` ("SM", "ME"; "": the one reads use), choosing that store for
    // the job only.
    JobHandle DeleteStoredMessage(std::string store, int32_t index, JobDone done = {});
    // Fills Phonebook() once the whole read succeeded; the result carries a copy.
    JobHandle ReadPhonebook(JobDone done = {});
    // Writes every entry of Phonebook() marked changed; the result names those left unwritten.
    JobHandle WritePhonebook(JobDone done = {});
    // Reads one stored message into the result.
    JobHandle ReadOneMessage(int32_t index, JobDone done = {});
    // The modem, its SIM, network and stores as they are now (modem_info.h); fields the modem
    // does not give stay empty.  The job ends kDone whenever the modem answered at all.
    JobHandle QueryInformation(JobDone done = {});
    // Sends a USSD code ("*100#") or, while a session waits (UssdSessionOpen()), a reply, and
    // waits for the network's answer.  A code or reply unfit to send ends the job at once,
    // refused, before anything is written.
    JobHandle SendUssd(std::u16string text, JobDone done = {});
    // Ends the USSD session ("AT+CUSD=2").
    JobHandle EndUssd(JobDone done = {});
    bool UssdSessionOpen() const;

    // Asks for the details of toolkit command `type` ("AT+STGI="); the dispatcher calls it on
    // "+STIN:".  0 while the previous request's thread still runs.
    int StartToolkitInformation(int32_t type);

    // The receive handler: strips bit 7, appends to the received text and classifies every
    // complete response.  A count of 0 reports loss of the link.  Called on the port's reader
    // thread (and directly by tests and the fuzz target).
    void OnReceive(const uint8_t* bytes, uint32_t count);
    // Cuts the next response from the received text into the current response: 1 when one was
    // cut.  ClassifyResponse keeps its text and signals its event.  Reader thread only.
    int ExtractResponse();
    void ClassifyResponse();

    // Service-centre number for the PDU encoder; empty: the modem's own.  A number that is no
    // number (letters, control characters) is refused (false) and the centre stays as it was;
    // blanks, dashes, dots and brackets are taken out.
    bool SetScNumber(std::u16string_view number);
    std::u16string ScNumber() const;
    // The centre the modem itself holds, asked once at start-up; empty when it gave none (or
    // one that is no number).  Only for showing: sends use ScNumber().
    std::u16string DetectedScNumber() const;

    // State, readable from any thread.
    std::u16string OperatorText() const;
    int32_t SignalLevel() const;             // 0-5
    int32_t Rssi() const;                    // 0-31 of the last +CSQ; -1 not known
    Registration RegistrationState() const;  // from the last +CREG
    int32_t NewMessageIndex() const;         // last "+CMTI:"
    int32_t StoreUsed() const;               // last "+CPMS:"
    int32_t SimState() const;                // 1 ready, 0 unknown, -1 no SIM
    bool Registered() const;
    bool Started() const;
    bool Enabled() const;
    int32_t CallState() const;  // 0 idle, 1 dialling, 2 connected, 3 ringing
    std::u16string CallerNumber() const;
    int32_t WindIndication() const;
    int32_t ActivityStatus() const;
    int32_t LastCmeError() const;

    // The SIM's PIN, or its PUK and the new PIN, for a SIM that asks for one at start-up.  Set
    // before Open; each is sent once, never again after the SIM refused it.
    void SetSimCodes(std::string pin, std::string puk = {});
    // Tries left before the SIM wants its PUK / is blocked for good; -1 when the modem did not
    // tell (valid after kSimPinRequired or kSimPukRequired).
    int32_t PinAttempts() const;
    int32_t PukAttempts() const;
    // Messages announced while connected ("+CMTI:") and read from the store, oldest first, each
    // with its place in a long message when it is a part of one; each is handed out once.
    // Notification kMessageArrived tells that there are some.
    std::vector<SmsPart> TakeArrivedMessages();
    // Status reports on submitted messages, as the modem routed them ("+CDS:", or stored and
    // announced with "+CDSI:", then read and deleted), oldest first; each handed out once.
    // Notification kStatusReport tells that there are some.
    std::vector<StatusReport> TakeStatusReports();
    // The message store's size from "AT+CPMS?" at start-up; -1 when not known.  StoreUsed()
    // gives how many it holds.
    int32_t StoreCapacity() const;
    // The character set phonebook names travel in (UCS2 where the modem offers it).
    PhonebookCharset NameCharset() const;

    // The engine's SIM phonebook.  The dispatcher and the phonebook workers use it under
    // LockPhonebook(); hold that lock too while using the table from another thread.
    PhonebookTable& Phonebook();
    [[nodiscard]] std::unique_lock<std::mutex> LockPhonebook() const;

    SmartMessageBuilder& SmartBuilder();

    struct State;  // internal
    friend struct ModemEngineTestAccess;

  private:
    // The dispatcher's action for one event: a notification, or none.
    std::optional<Notification> HandleEvent(int event);
    void RunDispatcher();
    void RunStartup();
    static void ReceiveHandler(const uint8_t* bytes, uint32_t count);
    // Keeps the current response's text and signals its event: true when it stood in for a
    // toolkit request's final "OK".
    bool ClassifyKept(const Classification& kind);

    const Timing timing_;
    std::unique_ptr<State> state_;
};

}  // namespace telvane
