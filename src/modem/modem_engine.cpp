#include "modem/modem_engine.h"

#include <algorithm>
#include <chrono>
#include <thread>

#include "codec/phone_number.h"
#include "modem/engine_state.h"
#include "platform/text.h"

namespace telvane {
namespace {

constexpr int32_t kIdleFloorMs = 500;
constexpr int32_t kProbeIdleMs = 15000;

// The one engine whose port delivers to ReceiveHandler.
std::atomic<ModemEngine*> g_engine{nullptr};

}  // namespace

ModemEngine::ModemEngine(Timing timing) : timing_(timing), state_(std::make_unique<State>()) {
    state_->response.reserve(32768);
}

ModemEngine::~ModemEngine() {
    State& s = *state_;
    {
        std::lock_guard lock(s.lock);
        s.closing = true;
        s.callback = nullptr;
    }
    // Never under `lock`: the dispatcher takes it around each callback.
    s.events.Signal(engine_event::kStop);
    s.dispatcher.Join();
    s.events.ResetAll();

    // Cut every pause and wait short so that the workers end promptly.
    s.pauseEvent.Abandon();
    s.okEvent.Abandon();
    s.transaction.Abandon();
    {
        std::lock_guard lock(s.ussdMutex);
        s.ussdChanged.notify_all();
    }
    for (WorkerSlot* slot :
         {&s.startup, &s.phonebookRead, &s.phonebookWrite, &s.segmentSend, &s.textSend, &s.writeSim,
          &s.storeSend, &s.deleter, &s.readOne, &s.lister, &s.toolkitInfo, &s.arrivalReader,
          &s.information, &s.ussd, &s.commandWriter})
        slot->Join();

    // Closing the port joins its reader, which ignores what it still receives.
    if (s.serialPort) s.serialPort->Close();
    ModemEngine* self = this;
    g_engine.compare_exchange_strong(self, nullptr);
    s.serialPort.reset();
}

void ModemEngine::ReceiveHandler(const uint8_t* bytes, uint32_t count) {
    if (ModemEngine* engine = g_engine.load()) engine->OnReceive(bytes, count);
}

int ModemEngine::Open(int32_t portNumber, EngineCallback callback) {
    State& s = *state_;
    // Every COM name the serial-device table gives out opens; what it does not know is said so
    // by the port itself.
    if (portNumber < 1 || portNumber > kMaxPortNumber) {
        s.openError = "no serial port COM" + std::to_string(portNumber);
        return 0;
    }
    if (s.serialPort || s.closing.load()) {
        s.openError = "the engine was opened already";
        return 0;
    }
    // The receive handler is a plain function that reaches one engine: a second open engine
    // would silently take the first one's bytes.
    ModemEngine* none = nullptr;
    if (!g_engine.compare_exchange_strong(none, this)) {
        s.openError = "another modem connection is already open in this program";
        return 0;
    }
    s.portNumber = portNumber;
    auto port = std::make_unique<SerialPort>("COM" + std::to_string(portNumber));
    if (!port->IsOpen()) {
        s.openError = port->OpenError();
        if (s.openError.empty()) s.openError = "cannot open COM" + std::to_string(portNumber);
        ModemEngine* self = this;
        g_engine.compare_exchange_strong(self, nullptr);
        return 0;
    }
    s.openError.clear();
    s.serialPort = std::move(port);
    {
        std::lock_guard lock(s.lock);
        s.callback = std::move(callback);
    }
    // Before the handler goes live: a reset afterwards could swallow the first answer's event.
    s.events.ResetAll();
    s.serialPort->SetReceiveHandler(&ModemEngine::ReceiveHandler);
    // Wakes the modem and resets it before the start-up sequence.
    static constexpr uint8_t kWake[] = {'A', 'T', 'Z', '\n'};
    s.serialPort->Write(kWake, sizeof kWake);
    s.dispatcher.Start([this] { RunDispatcher(); });
    s.startup.Start([this] { RunStartup(); });
    return 1;
}

std::string ModemEngine::OpenError() const {
    return state_->openError;
}

int ModemEngine::SendCommand(std::string_view text) {
    State& s = *state_;
    if (!s.enabled.load() || s.closing.load() || !s.serialPort) return 0;
    if (text.size() + 1 > kMaxCommandLine) return 0;
    std::lock_guard serialise(s.commandMutex);
    if (!s.commandWriter.WaitFree(timing_.Scaled(500))) return 0;
    const bool started = s.commandWriter.Start([this, &s, line = std::string(text)] {
        std::lock_guard onTheLine(s.lineMutex);
        if (s.closing.load()) return;
        RunCommand(s, timing_, line, {});
    });
    return started ? 1 : 0;
}

namespace {

// After a command the modem did not finish answering, its late answer would end the next
// command. Modems answer in order, so once a probe has its own answer (a line no other command
// gives, then its "OK"), whatever came late has come. An error may still be the late one's:
// the probe is asked once more.
void ProbeLine(ModemEngine::State& s, const Timing& timing) {
    for (int attempt = 0; attempt < 2; ++attempt) {
        // The late answer comes first, and it was slow already.
        const CommandResult probe = RunCommand(
            s, timing, "AT+CSQ", {.idleMs = kProbeIdleMs, .expect = {.infoKeyword = "+CSQ:"}});
        if (probe.Ok() || !probe.Answered()) break;
    }
    // An unanswered probe is not probed again: the next command finds out for itself.
    s.transaction.TakeUnfinished();
}

}  // namespace

namespace {

bool SimBusy(const CommandResult& r) {
    return r.end == CommandResult::End::kCmeError && (r.code == 515 || r.code == 14);
}

CommandResult RunCommandOnce(ModemEngine::State& s, const Timing& timing, std::string_view line,
                             const CommandWait& wait);

}  // namespace

CommandResult RunCommand(ModemEngine::State& s, const Timing& timing, std::string_view line,
                         const CommandWait& wait) {
    // A PDU went out with its Ctrl-Z: written again it would be a second message.
    const int tries = line.find('\x1a') == std::string_view::npos ? wait.simBusyTries : 1;
    CommandResult r = RunCommandOnce(s, timing, line, wait);
    for (int attempt = 1; attempt < tries && SimBusy(r) && !s.closing.load(); ++attempt) {
        s.pauseEvent.Wait(timing.Scaled(kSimBusyPauseMs));
        r = RunCommandOnce(s, timing, line, wait);
    }
    return r;
}

namespace {

CommandResult RunCommandOnce(ModemEngine::State& s, const Timing& timing, std::string_view line,
                             const CommandWait& wait) {
    // After a failed start-up the modem is not spoken to again.
    if (s.closing.load() || !s.enabled.load() || !s.serialPort || line.size() + 1 > kMaxCommandLine)
        return {};
    std::string bytes(line);
    bytes.push_back('\r');
    if (s.transaction.TakeUnfinished()) ProbeLine(s, timing);
    // Open before writing: a fast modem may answer before the write returns.
    s.transaction.Begin(wait.expect, bytes.size(), line);
    SerialPort* port = s.serialPort.get();
    const auto* data = reinterpret_cast<const uint8_t*>(bytes.data());
    const auto length = static_cast<int32_t>(bytes.size());
    bool written = false;
    // The port refuses while its previous write is still on the line; a command must not
    // vanish for that, so it is offered again for a while.
    for (int attempt = 0; attempt < 2000 && !s.closing.load(); ++attempt) {
        if (port->Write(data, length) > 0) {
            written = true;
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    if (!written) {
        s.transaction.Cancel();
        return {};
    }
    // On a short time scale a loaded machine must still not pass for a silent modem: the waits
    // only end failures, so a floor costs a working modem nothing.
    const auto floor = std::chrono::milliseconds(std::min(wait.idleMs, kIdleFloorMs));
    return s.transaction.Wait(std::max<std::chrono::nanoseconds>(timing.Scaled(wait.idleMs), floor),
                              wait.maxBytes);
}

}  // namespace

void PostNotification(ModemEngine::State& s, Notification code) {
    {
        std::lock_guard lock(s.postedMutex);
        s.posted.push_back({code, nullptr});
    }
    s.events.Signal(engine_event::kPosted);
}

void PostJobEnd(ModemEngine::State& s, JobResult result, JobDone done) {
    const Notification code = result.end;
    auto end = std::make_shared<JobEnd>(JobEnd{std::move(result), std::move(done)});
    {
        std::lock_guard lock(s.postedMutex);
        s.posted.push_back({code, std::move(end)});
    }
    s.events.Signal(engine_event::kPosted);
}

void SetFailure(ModemEngine::State& s, std::string reason) {
    std::lock_guard lock(s.textMutex);
    s.lastFailure = std::move(reason);
}

void ModemEngine::Pause(int32_t milliseconds) {
    state_->pauseEvent.Wait(timing_.Scaled(milliseconds));
}

int ModemEngine::WaitForOk(int32_t milliseconds) {
    return state_->okEvent.Wait(timing_.Scaled(milliseconds)) ? 1 : 0;
}

int ModemEngine::RequestSignalQuality() {
    // The window thread polls: it skips a poll rather than wait for a busy line.
    if (state_->commandWriter.Running()) return 0;
    return SendCommand("AT+CSQ");
}

std::string ModemEngine::LastFailure() const {
    std::lock_guard lock(state_->textMutex);
    return state_->lastFailure;
}

bool ModemEngine::SetScNumber(std::u16string_view number) {
    PhoneNumber centre = NormaliseServiceCentre(number);
    if (!centre.ok()) return false;
    std::lock_guard lock(state_->textMutex);
    state_->scNumber = std::move(centre.number);
    return true;
}

std::u16string ModemEngine::ScNumber() const {
    std::lock_guard lock(state_->textMutex);
    return state_->scNumber;
}

std::u16string ModemEngine::OperatorText() const {
    std::lock_guard lock(state_->textMutex);
    return state_->operatorText;
}

std::u16string ModemEngine::CallerNumber() const {
    std::lock_guard lock(state_->textMutex);
    return state_->callerNumber;
}

int32_t ModemEngine::SignalLevel() const {
    return state_->signalLevel.load();
}
int32_t ModemEngine::NewMessageIndex() const {
    return state_->newMessageIndex.load();
}
int32_t ModemEngine::StoreUsed() const {
    return state_->storeUsed.load();
}
int32_t ModemEngine::SimState() const {
    return state_->simState.load();
}
bool ModemEngine::Registered() const {
    return state_->registered.load();
}
bool ModemEngine::Started() const {
    return state_->started.load();
}
bool ModemEngine::Enabled() const {
    return state_->enabled.load();
}
int32_t ModemEngine::CallState() const {
    return state_->callState.load();
}
int32_t ModemEngine::WindIndication() const {
    return state_->windIndication.load();
}
int32_t ModemEngine::ActivityStatus() const {
    return state_->activityStatus.load();
}
int32_t ModemEngine::LastCmeError() const {
    return state_->lastCmeError.load();
}

PhonebookTable& ModemEngine::Phonebook() {
    return state_->phonebook;
}

std::unique_lock<std::mutex> ModemEngine::LockPhonebook() const {
    return std::unique_lock(state_->phonebookMutex);
}

SmartMessageBuilder& ModemEngine::SmartBuilder() {
    return state_->smartBuilder;
}

}  // namespace telvane
