// The starters and workers of the message and phonebook jobs, and the toolkit information thread.

#include <string>

#include "modem/command_text.h"
#include "modem/engine_state.h"
#include "platform/text.h"

namespace telvane {
namespace {

using namespace engine_event;
using State = ModemEngine::State;

// How a PDU is handed to the modem.
struct PduJob {
    std::string_view command;              // "AT+CMGF=0;+CMGS=" or "AT+CMGF=0;+CMGW="
    std::atomic<int32_t> State::*waiting;  // sendWaiting or writeWaiting
    int endEvent;
};

// Announce the PDU's length, give the modem time for its prompt, write the PDU and Ctrl-Z, and
// wait for the final "OK".
bool SubmitPdu(ModemEngine& engine, State& s, const PduJob& job, const std::u16string& pdu,
               int32_t tpduLength) {
    bool ok = false;
    {
        std::unique_lock prompt(s.promptMutex);
        if (!engine.SendCommand(std::string(job.command) + std::to_string(tpduLength)))
            return false;
        engine.Pause(500);
        (s.*job.waiting) = 1;
        s.okEvent.Reset();  // only an "OK" to this PDU counts
        ok = engine.SendCommand(Narrow(pdu) + '\x1a') != 0;
    }
    if (ok) ok = engine.WaitForOk(5000) != 0;
    (s.*job.waiting) = 0;
    return ok;
}

std::u16string ScNumber(const State& s) {
    std::lock_guard lock(s.textMutex);
    return s.scNumber;
}

void SendTextWorker(ModemEngine& engine, State& s, const PduJob& job, const std::u16string& number,
                    const std::u16string& text) {
    if (!s.registered.load() || !IsDialableNumber(number)) return;
    int32_t length = 0;
    const std::u16string pdu = s.codec.EncodeTextSubmit(ScNumber(s), number, text, length);
    if (SubmitPdu(engine, s, job, pdu, length)) s.events.Signal(static_cast<size_t>(job.endEvent));
}

// The phonebook memory the table mirrors.
std::string SelectPhonebookCommand(State& s) {
    std::lock_guard lock(s.phonebookMutex);
    return s.phonebook.UseSimMemory() ? "AT+CPBS=\"SM\"" : "AT+CPBS=\"ME\"";
}

void ForgetSmsText(State& s, int event) {
    std::lock_guard lock(s.textMutex);
    s.smsText[static_cast<size_t>(event)].clear();
}

void ReadPhonebookWorker(ModemEngine& engine, State& s) {
    ForgetSmsText(s, kPhonebook);  // entries of an earlier read are no answer to this one
    if (!engine.SendCommand(SelectPhonebookCommand(s))) return;
    engine.Pause(200);
    const int32_t ranges = s.phonebookRanges.load();
    engine.SendCommand("AT+CPBR=?");
    engine.Pause(200);
    // A late range answer would make the read ask for the wrong range: give it a while longer.
    for (int i = 0; i < 20 && s.phonebookRanges.load() == ranges; ++i)
        engine.Pause(50);
    int32_t capacity = 0;
    {
        std::lock_guard lock(s.phonebookMutex);
        capacity = s.phonebook.Capacity();
    }
    const int32_t answers = s.phonebookEntryAnswers.load();
    if (!engine.SendCommand("AT+CPBR=1," + std::to_string(capacity))) return;
    for (int i = 0; i < 20 && s.phonebookEntryAnswers.load() == answers; ++i)
        engine.Pause(1000);
    // Entries bring their own event; without any, the controller must still hear of the end.
    if (s.phonebookEntryAnswers.load() == answers) {
        s.phonebookReadEmpty = true;
        s.events.Signal(kPhonebook);
    }
}

void WritePhonebookWorker(ModemEngine& engine, State& s) {
    if (!engine.SendCommand(SelectPhonebookCommand(s))) return;
    engine.Pause(200);
    int32_t capacity = 0;
    {
        std::lock_guard lock(s.phonebookMutex);
        capacity = s.phonebook.Capacity();
    }
    for (int32_t position = 0; position < capacity; ++position) {
        std::optional<std::string> command;
        {
            std::lock_guard lock(s.phonebookMutex);
            const auto& entries = s.phonebook.Entries();
            if (static_cast<size_t>(position) >= entries.size()) break;
            const PhonebookEntry& entry = entries[static_cast<size_t>(position)];
            if (!entry.changed) continue;
            command = PhonebookWriteCommand(position + 1, entry.number, entry.name);
        }
        // A number that would break the command line stays pending, unwritten.
        if (!command) continue;
        if (!engine.SendCommand(*command)) return;
        engine.Pause(200);
        std::lock_guard lock(s.phonebookMutex);
        s.phonebook.MarkWritten(position);
    }
    s.events.Signal(kPhonebookWritten);
}

constexpr std::string_view kListCommands[] = {
    "AT+CMGL=\"REC UNREAD\"", "AT+CMGL=\"REC READ\"", "AT+CMGL=\"STO UNSENT\"",
    "AT+CMGL=\"STO SENT\"",   "AT+CMGF=0;+CMGL=4",
};

void ListWorker(ModemEngine& engine, State& s, int32_t mode) {
    const std::string_view command =
        mode >= 0 && mode <= 4 ? kListCommands[mode] : std::string_view();
    s.expectPdu = 1;
    s.pduToListing = 1;
    s.listingCount = -1;
    ForgetSmsText(s, kListing);  // an empty store must not list an earlier listing again
    int result = 0;
    if (engine.SendCommand(command)) {
        for (int i = 0; i < 20 && s.listingCount.load() == -1; ++i)
            engine.Pause(1000);
        result = 1;
    }
    s.expectPdu = 0;
    if (!result)
        s.events.Signal(kListingRefused);
    else if (s.listingCount.load() == -1)
        s.events.Signal(kListing);  // an empty store: the parse finds nothing and reports 20
    else
        s.events.Signal(kListingArrived);
}

void DeleteWorker(ModemEngine& engine, State& s, int32_t mode, int32_t index) {
    std::string command;
    if (mode == 0)
        command = "AT+CMGD=" + std::to_string(index);
    else if (mode >= 1 && mode <= 4)
        command = "AT+CMGD=1," + std::to_string(mode);
    s.deleteWaiting = 1;
    s.okEvent.Reset();
    if (!engine.SendCommand(command)) {
        s.deleteWaiting = 0;
        return;
    }
    const bool ok = engine.WaitForOk(2000) != 0;
    s.deleteWaiting = 0;
    if (!ok) return;
    // The listing no longer matches the store.
    s.listingCount = -1;
    s.events.Signal(kDeleted);
}

void ReadOneWorker(ModemEngine& engine, State& s, int32_t index) {
    {
        std::lock_guard lock(s.listingMutex);
        ClearSmsRecord(s.readMessage);
    }
    s.readIndex = index;
    s.expectPdu = 1;
    s.pduToListing = 0;
    s.okEvent.Reset();
    bool ok = engine.SendCommand("AT+CMGF=0;+CMGR=" + std::to_string(index)) != 0;
    if (ok) ok = engine.WaitForOk(1500) != 0;
    s.expectPdu = 0;
    if (!ok) s.readIndex = -1;
    s.events.Signal(ok ? kReadDone : kReadFailed);
}

}  // namespace

int ModemEngine::SendTextMessage(std::u16string number, std::u16string text) {
    State& s = *state_;
    if (!s.registered.load() || s.closing.load()) return 0;
    return s.textSend.Start([this, &s, number = std::move(number), text = std::move(text)] {
        static constexpr PduJob kJob{"AT+CMGF=0;+CMGS=", &State::sendWaiting, kSendDone};
        SendTextWorker(*this, s, kJob, number, text);
    });
}

int ModemEngine::WriteTextToSim(std::u16string number, std::u16string text) {
    State& s = *state_;
    if (!s.registered.load() || s.closing.load()) return 0;
    return s.writeSim.Start([this, &s, number = std::move(number), text = std::move(text)] {
        static constexpr PduJob kJob{"AT+CMGF=0;+CMGW=", &State::writeWaiting, kWriteDone};
        SendTextWorker(*this, s, kJob, number, text);
    });
}

int ModemEngine::SendSmartSegment(std::u16string number, int32_t segment) {
    State& s = *state_;
    if (!s.registered.load() || s.closing.load()) return 0;
    // The part is taken now: a later build must not change what this worker sends.
    std::u16string userData = s.smartBuilder.GetPart(segment);
    return s.segmentSend.Start(
        [this, &s, number = std::move(number), userData = std::move(userData)] {
            if (!s.registered.load() || !IsDialableNumber(number)) return;
            int32_t length = 0;
            const std::u16string pdu =
                s.codec.EncodeBinarySubmit(telvane::ScNumber(s), number, userData, length);
            static constexpr PduJob kJob{"AT+CMGF=0;+CMGS=", &State::sendWaiting, kSendDone};
            if (SubmitPdu(*this, s, kJob, pdu, length)) s.events.Signal(kSendDone);
        });
}

int ModemEngine::SendFromStore(int32_t index) {
    State& s = *state_;
    if (!s.registered.load() || s.closing.load()) return 0;
    return s.storeSend.Start([this, &s, index] {
        if (!s.registered.load()) return;
        s.okEvent.Reset();
        if (!SendCommand("AT+CMGF=0;+CMSS=" + std::to_string(index))) return;
        const bool ok = WaitForOk(8000) != 0;
        Pause(500);
        if (ok) s.events.Signal(kStoreSendDone);
    });
}

int ModemEngine::ListMessages(int32_t mode) {
    State& s = *state_;
    if (s.closing.load()) return 0;
    return s.lister.Start([this, &s, mode] { ListWorker(*this, s, mode); });
}

int ModemEngine::DeleteMessages(int32_t mode, int32_t index) {
    State& s = *state_;
    if (s.closing.load()) return 0;
    return s.deleter.Start([this, &s, mode, index] { DeleteWorker(*this, s, mode, index); });
}

int ModemEngine::ReadPhonebook() {
    State& s = *state_;
    if (s.closing.load()) return 0;
    return s.phonebookRead.Start([this, &s] { ReadPhonebookWorker(*this, s); });
}

int ModemEngine::WritePhonebook() {
    State& s = *state_;
    if (s.closing.load()) return 0;
    return s.phonebookWrite.Start([this, &s] { WritePhonebookWorker(*this, s); });
}

int ModemEngine::ReadOneMessage(int32_t index) {
    State& s = *state_;
    if (s.closing.load()) return 0;
    return s.readOne.Start([this, &s, index] { ReadOneWorker(*this, s, index); });
}

int ModemEngine::StartToolkitInformation(int32_t type) {
    State& s = *state_;
    if (s.closing.load()) return 0;
    return s.toolkitInfo.Start([this, &s, type] {
        s.toolkitPending = type;
        s.toolkitCommand = type;
        s.toolkitAwaiting = 1;
        {
            std::lock_guard lock(s.toolkitMutex);
            s.toolkitItemCounter = -1;
            s.toolkitLines = 0;
        }
        s.okEvent.Reset();
        if (SendCommand("AT+STGI=" + std::to_string(type))) WaitForOk(2000);
        s.toolkitAwaiting = 0;
    });
}

}  // namespace telvane
