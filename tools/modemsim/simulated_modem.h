// A GSM modem on the master side of a pseudo-terminal, for tests and for running without
// hardware.  It answers AT commands the way a real modem does (echo, CR LF framing, PDU mode,
// "> " prompt) from the state of a Scenario, and injects that scenario's faults.
//
//   modemsim::SimulatedModem modem(*modemsim::ParseScenario(text, &error));
//   std::string device = modem.Start();          // e.g. "/dev/pts/7"; empty on failure
//   ... open `device` with the serial port, talk to it ...
//   modem.PushUnsolicited("RING");
//   modem.DeliverMessage("+886912345678", "26/12/10,08:00:00+32", u"Hi");   // stored + "+CMTI:"
//   EXPECT_TRUE(modem.WaitForCommand("+CMGL", std::chrono::seconds(2)));
//   auto lines = modem.Transcript();
//   modem.Stop();                                 // also done by the destructor
//
// Every public operation may be called from any thread.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "modemsim/at_command.h"
#include "modemsim/line_pacer.h"
#include "modemsim/scenario.h"

namespace telvane::modemsim {

struct TranscriptEntry {
    enum class Kind {
        Command,      // a command line as received, without its CR
        Pdu,          // what was typed after the "> " prompt, without Ctrl-Z
        Submitted,    // a PDU sent to the network (+CMGS, +CMSS)
        Written,      // a PDU stored by +CMGW
        Unsolicited,  // an unsolicited line the modem sent
        Event,        // the modem's own events: link dropped, message cancelled
    };
    int64_t ms = 0;  // since Start()
    Kind kind = Kind::Command;
    std::string text;
};

const char* KindName(TranscriptEntry::Kind kind);

class SimulatedModem {
  public:
    explicit SimulatedModem(Scenario scenario);
    ~SimulatedModem();
    SimulatedModem(const SimulatedModem&) = delete;
    SimulatedModem& operator=(const SimulatedModem&) = delete;

    // Opens a fresh pty pair, sets the slave raw, starts the modem's thread and returns the
    // slave's path; empty (and Error() says why) on failure or when already started.
    std::string Start();
    // Stops the thread and closes the pty; idempotent.
    void Stop();
    std::string Error() const;
    std::string DevicePath() const;
    // False once the link was dropped (a fault or DropLink) or after Stop().
    bool LinkUp() const;

    // Appends every transcript entry to this file as it happens ("12.345 command AT+CSQ").
    // Set before Start().
    void SetTranscriptFile(const std::string& path);

    // Sends "CR LF line CR LF" as soon as the output queue allows.
    void PushUnsolicited(const std::string& line);
    // A message arrives from the network: stored and announced as the client's AT+CNMI asks
    // (+CMTI: "SM",<index>), or handed over at once with +CMT: and not stored.  Returns the
    // index, 0 when handed over, -1 when the store is full or the message cannot be encoded.
    // `store` ("SM", "ME") overrides where the scenario files arrivals; a store the modem does
    // not offer is refused (-1).  A text too long for one message arrives as the parts of a
    // concatenated one, each announced; the last part's index is returned.
    int DeliverMessage(const std::string& sender, const std::string& timestamp,
                       const std::u16string& text, const std::string& store = "");
    int DeliverPdu(const std::string& pduHex, const std::string& store = "");
    // The network reports on an earlier submission (the reference its +CMGS: gave) with TP-ST
    // `status`, routed as AT+CNMI's <ds> asks.  False when no submission had that reference.
    // Submissions that ask for a report get one by themselves after the scenario's delay.
    bool ReportStatus(int reference, int status);
    // Changes the network: the registration (+CREG stat) is announced with "+CREG: <stat>"
    // (and the cell with n=2) when the client asked for reports with AT+CREG=1 or 2.  Both
    // announce what changes of the service, roaming and signal indicators with "+CIEV:" when
    // the client asked for that with AT+CMER.
    void SetRegistration(int stat);
    void SetSignal(int rssi);
    // Hangs the line up: the client sees the device vanish.
    void DropLink();

    std::vector<TranscriptEntry> Transcript() const;
    std::vector<std::string> Commands() const;       // Command entries only
    std::vector<std::string> SubmittedPdus() const;  // in order
    // The submissions as messages: the parts of a concatenated one joined by recipient and
    // reference, in the order their first part arrived.
    struct SubmittedMessage {
        std::string recipient;
        std::string text;  // UTF-8; the parts there are, in part order
        int parts = 1;     // as the header says
        int received = 1;  // parts submitted (a part sent twice counts once)
    };
    std::vector<SubmittedMessage> SubmittedMessages() const;
    std::vector<std::string> WrittenPdus() const;  // in order
    std::vector<StoredMessage> Messages() const;   // the SIM's store (SM) now, by index
    // "SM", "ME" or "SR"; empty for a store the modem does not offer.
    std::vector<StoredMessage> Messages(const std::string& store) const;
    std::vector<Contact> Phonebook() const;  // by index
    // Waits until a received command line contains `text` (case-sensitive); counts earlier lines.
    bool WaitForCommand(const std::string& text, std::chrono::milliseconds timeout) const;
    int CountCommands(const std::string& text) const;

  private:
    struct Output {
        std::string bytes;
        std::chrono::steady_clock::time_point notBefore;
        bool dropAfter = false;
        bool unsolicited = false;  // lines due at once go out in one block
        int pauseMs = 0;           // after the bytes before it left
    };

    void Run();
    void OnInput(const char* data, size_t count);
    void ExecuteLine(const std::string& line);
    AtResult Execute(const AtCommand& command);
    void FinishPdu(bool cancelled);
    // Puts the scenario's lines for `command` after its `entry` (0: before the first, -1: after
    // the final result) into `answer`; `breaks` marks those that go out on their own.
    void Inject(const std::string& command, int entry, std::string& answer,
                std::vector<size_t>& breaks);
    void SendAnswer(const std::string& answer, std::vector<size_t> breaks, int delayMs);
    void HoldAnswer(std::string bytes, std::vector<size_t> breaks, int delayMs,
                    std::vector<std::string> triggers, bool releaseIndications);
    void ReleaseHeldAnswer();
    std::optional<int> CmeFaultFor(const std::string& command);
    enum class Prompt { None, Send, Write, SendText, WriteText };
    AtResult FinishMessage(Prompt kind, const std::string& body);
    void Send(std::string bytes, int delayMs = 0, bool dropAfter = false);
    void SendLine(const std::string& line);
    void Record(TranscriptEntry::Kind kind, const std::string& text);
    bool WriteSome();
    void CloseLink(const std::string& why);
    void BeginDrop(const std::string& why);
    int StoreMessage(const std::string& store, MessageStat stat, const std::string& pdu);
    int Arrive(const std::string& pdu, const std::string& store = "");
    // The message stores by name ("SM", "ME", "SR"); nothing for one not offered.
    std::vector<StoredMessage>* StoreNamed(const std::string& name);
    int CapacityOf(const std::string& name) const;
    std::string ArrivalStore() const;
    void Indicate(const std::string& text);
    void ReleaseHeldIndications();
    void SendReport(int reference, int status);
    int NextMessageReference();
    std::string CmeError(int code) const;
    std::string CmsError(int code) const;

    // One handler per command, found by name in the table of modem_commands.cpp; general
    // commands live there, the message store's in message_commands.cpp, the phonebook's in
    // phonebook_commands.cpp.
    using Handler = AtResult (SimulatedModem::*)(const AtCommand&);
    enum class Needs { Nothing, SimForMessages, Sim };
    struct CommandEntry {
        std::string_view name;
        Needs needs;
        Handler handler;
    };
    static const CommandEntry* FindCommand(const std::string& name);

    AtResult Reset(const AtCommand& command);
    AtResult Echo(const AtCommand& command);
    AtResult Verbose(const AtCommand& command);
    AtResult Quiet(const AtCommand& command);
    AtResult Accept(const AtCommand& command);
    AtResult SRegister(const AtCommand& command);
    AtResult Information(const AtCommand& command);
    AtResult Identity(const AtCommand& command);
    AtResult Capabilities(const AtCommand& command);
    AtResult Imsi(const AtCommand& command);
    AtResult ErrorMode(const AtCommand& command);
    AtResult Pin(const AtCommand& command);
    AtResult PinRetries(const AtCommand& command);
    AtResult PinCounters(const AtCommand& command);
    AtResult Signal(const AtCommand& command);
    AtResult Registration(const AtCommand& command);
    AtResult Indicators(const AtCommand& command);
    AtResult EventReporting(const AtCommand& command);
    // The indicator values +CIND? gives and +CIEV reports: signal bars, service, roaming.
    std::vector<int> IndicatorValues() const;
    // "+CIEV:" for each indicator whose value differs from `before`, when AT+CMER asked for them.
    void ReportIndicators(const std::vector<int>& before);
    AtResult Operator(const AtCommand& command);
    AtResult Charset(const AtCommand& command);
    AtResult ActivityStatus(const AtCommand& command);
    AtResult Functionality(const AtCommand& command);
    AtResult Battery(const AtCommand& command);
    AtResult Clock(const AtCommand& command);
    AtResult CallerId(const AtCommand& command);
    AtResult Wind(const AtCommand& command);
    AtResult Toolkit(const AtCommand& command);
    AtResult Dial(const AtCommand& command);
    AtResult HangUp(const AtCommand& command);
    AtResult Answer(const AtCommand& command);
    AtResult Ussd(const AtCommand& command);
    // "+CUSD: <m>,<str>,<dcs>" for `text` in the scenario's form.
    std::string UssdLine(int status, const std::string& text) const;

    AtResult MessageFormat(const AtCommand& command);
    AtResult MessageStorage(const AtCommand& command);
    AtResult ServiceCentre(const AtCommand& command);
    AtResult TextParameters(const AtCommand& command);
    AtResult NewMessageIndications(const AtCommand& command);
    AtResult MessageService(const AtCommand& command);
    AtResult ListMessages(const AtCommand& command);
    AtResult ReadMessage(const AtCommand& command);
    AtResult SendOrWrite(const AtCommand& command);
    AtResult SendFromStorage(const AtCommand& command);
    AtResult DeleteMessage(const AtCommand& command);

    AtResult PhonebookStorage(const AtCommand& command);
    AtResult PhonebookRead(const AtCommand& command);
    AtResult PhonebookWrite(const AtCommand& command);

    AtResult Submit(const std::string& pdu);
    std::string ListingHeader(const std::string& prefix, const StoredMessage& message) const;
    std::string ListingBody(const StoredMessage& message) const;
    std::string SimError() const;  // empty when the SIM is usable

    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    Scenario scenario_;
    std::string error_;
    std::string devicePath_;
    std::string transcriptPath_;
    int master_ = -1;
    int slave_ = -1;
    int wakeRead_ = -1;
    int wakeWrite_ = -1;
    bool stopping_ = false;
    bool linkUp_ = false;
    bool dropping_ = false;
    std::string dropReason_;
    std::chrono::steady_clock::time_point dropDeadline_;
    std::thread thread_;
    std::chrono::steady_clock::time_point started_;
    std::vector<TranscriptEntry> transcript_;
    std::deque<Output> output_;
    std::mt19937 random_;
    int64_t bytesSent_ = 0;
    LinePacer pacer_;
    std::string endlessBody_;  // repeated while the client stays quiet (the endless fault)
    size_t nextTimedLine_ = 0;
    size_t nextIncoming_ = 0;

    // Modem settings and the command reader's state.
    std::string lineBuffer_;
    bool echo_ = true;
    int cmee_ = 0;
    bool pduMode_ = true;
    int cregMode_ = 0;
    int cmerMode_ = 0, cmerInd_ = 0;  // AT+CMER's <mode> and <ind>
    std::map<int, int> sRegisters_;
    int copsFormat_ = 0;
    std::string charset_ = "GSM";
    std::string csmp_ = "17,167,0,0";
    Indications cnmi_;
    std::string memories_[3] = {"SM", "SM",
                                "SM"};  // +CPMS: read and delete, write and send, receive
    std::vector<std::string> heldIndications_;
    // Lines the network sends after the answer to the command that asked (+CUSD).
    std::vector<std::string> afterAnswer_;
    // The open USSD session: the code and the replies so far; empty when none is open.
    std::vector<std::string> ussdSession_;
    bool releaseAfterAnswer_ = false;  // +CNMI mode 0, or mode 2 while the line is busy
    struct PendingReport {
        std::chrono::steady_clock::time_point at;
        int reference = 0;
    };
    std::vector<PendingReport> pendingReports_;
    struct Submission {
        std::string recipient;
        std::string time;  // "YY/MM/DD,hh:mm:ss+zz"
    };
    std::map<int, Submission> submittedTo_;  // by message reference
    int cpinQueries_ = 0;
    int submissions_ = 0;
    int messageReference_ = 0;
    // Concatenation references of delivered long texts, apart from those the scenario's
    // messages take from 0 up.
    static constexpr int kFirstDeliverReference = 128;
    int deliverReference_ = kFirstDeliverReference;
    std::map<std::string, int> muted_;  // command -> answers swallowed so far
    std::vector<int> cmeGiven_;         // by fault in Faults::cme: errors answered so far
    Prompt prompt_ = Prompt::None;
    int promptLength_ = 0;
    int promptStat_ = 2;
    std::string promptAddress_;
    std::string promptBuffer_;
    std::string promptCommand_;
    int promptDelayMs_ = 0;
    std::vector<std::string> pendingTriggers_;
    // A submission's result waiting for the network; the modem reads no command meanwhile.
    struct HeldAnswer {
        bool active = false;
        std::chrono::steady_clock::time_point at;
        std::string bytes;
        std::vector<size_t> breaks;
        std::vector<std::string> triggers;
        bool releaseIndications = false;
    };
    HeldAnswer held_;
    std::string heldInput_;        // what the client sent while the answer was held
    bool reachedNetwork_ = false;  // the command being answered went to the network
};

}  // namespace telvane::modemsim
