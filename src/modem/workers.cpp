// The starters and workers of the message and phonebook jobs, and the toolkit information thread.
// Each job holds the line for its sequence and goes to its next command as soon as the modem has
// answered the one before.

#include <functional>
#include <string>

#include "modem/command_text.h"
#include "modem/engine_state.h"
#include "platform/text.h"

namespace telvane {
namespace {

using namespace engine_event;
using State = ModemEngine::State;
using End = CommandResult::End;

constexpr int32_t kAnswerIdleMs = 5000;
// A submission goes through the network before the modem answers.
constexpr int32_t kSubmitIdleMs = 5000;
constexpr int32_t kStoreSendIdleMs = 8000;
// A full listing of 200 messages is about 80 KB; a phonebook of 10 000 entries under 1 MB.
constexpr size_t kListingMaxBytes = 256 * 1024;
constexpr size_t kPhonebookMaxBytes = 1024 * 1024;

void Fail(State& s, Notification code, std::string reason) {
    SetFailure(s, std::move(reason));
    PostNotification(s, code);
}

// What a send job announces at its end; it runs once the job's slot is free (StartThen).
using Announce = std::function<void()>;

Announce Done(State& s, int event) {
    return [&s, event] { s.events.Signal(static_cast<size_t>(event)); };
}

Announce Failed(State& s, Notification code, std::string reason) {
    SetFailure(s, std::move(reason));
    return [&s, code] { PostNotification(s, code); };
}

// How a PDU is handed to the modem.
struct PduJob {
    std::string_view command;              // "AT+CMGF=0;+CMGS=" or "AT+CMGF=0;+CMGW="
    std::atomic<int32_t> State::*waiting;  // sendWaiting or writeWaiting
    int endEvent;
    Notification failure;     // when it did not go through
    std::string_view answer;  // "+CMGS:" or "+CMGW:"
    bool keepsReferences;     // SentReferences() are the send's
};

constexpr PduJob kSendJob{
    "AT+CMGF=0;+CMGS=", &State::sendWaiting, kSendDone, Notification::kSendFailed, "+CMGS:", true};
constexpr PduJob kWriteJob{"AT+CMGF=0;+CMGW=", &State::writeWaiting,
                           kWriteDone,         Notification::kWriteFailed,
                           "+CMGW:",           false};

// Announces the PDU's length, waits for the modem's "> ", writes the PDU and Ctrl-Z, and waits
// for the result.  The caller holds lineMutex.  The answer's value (TP-MR, or the index
// written), or why the PDU did not go through.
struct Submitted {
    std::optional<int32_t> value;
    std::string failure;
};

Submitted SubmitPdu(const Timing& timing, State& s, const PduJob& job, const std::u16string& pdu,
                    int32_t tpduLength) {
    const CommandResult prompt =
        RunCommand(s, timing, std::string(job.command) + std::to_string(tpduLength),
                   {.idleMs = kAnswerIdleMs, .expect = {.prompt = true}});
    if (prompt.end != End::kPrompt) {
        // A prompt that came unseen must not take the next command line for the message.
        if (prompt.end == End::kTimeout || prompt.end == End::kTooLong) {
            static constexpr uint8_t kEscape[] = {0x1B};
            if (s.serialPort && !s.closing.load()) s.serialPort->Write(kEscape, 1);
        }
        return {std::nullopt, DescribeEnd(prompt, kAnswerIdleMs)};
    }
    (s.*job.waiting) = 1;
    const CommandResult result =
        RunCommand(s, timing, Narrow(pdu) + '\x1a', {.idleMs = kSubmitIdleMs});
    (s.*job.waiting) = 0;
    const std::optional<std::string_view> line = result.LineWith(job.answer);
    // The answer line says the network took the part, whatever became of the final result:
    // sending it again would deliver it twice.
    if (!result.Ok() && !line) return {std::nullopt, DescribeEnd(result, kSubmitIdleMs)};
    return {line ? ValueAfterColon(*line) : -1, {}};
}

std::u16string ScNumber(const State& s) {
    std::lock_guard lock(s.textMutex);
    return s.scNumber;
}

// The checks before a PDU job: why it cannot go, or nothing.
std::optional<std::string> SubmitRefusal(State& s, const std::u16string& number) {
    if (!s.registered.load()) return "not sent: not registered on a network";
    if (!IsDialableNumber(number)) return "not sent: '" + Narrow(number) + "' is no number";
    return std::nullopt;
}

void KeepSentReference(State& s, int32_t reference) {
    std::lock_guard lock(s.textMutex);
    s.sentReferences.push_back(reference);
}

// Every part of the text, in order, each confirmed before the next; the first part that fails
// ends the job, and the parts before it stay confirmed (SentReferences).
Announce SendTextWorker(const Timing& timing, State& s, const PduJob& job,
                        const std::u16string& number, const std::u16string& text,
                        const SubmitOptions& options) {
    if (job.keepsReferences) {
        std::lock_guard lock(s.textMutex);
        s.sentReferences.clear();
    }
    if (auto refusal = SubmitRefusal(s, number)) return Failed(s, job.failure, *refusal);
    const TextSubmit encoded = s.codec.EncodeTextMessage(ScNumber(s), number, text, options);
    // Nothing is written for a text the codec refused: an empty PDU would go out as a message.
    if (!encoded.ok() || encoded.parts.empty() || encoded.parts.front().tpduLength <= 0) {
        const std::string reason =
            encoded.reason.empty() ? "the message is empty" : U16ToUtf8(encoded.reason);
        return Failed(s, job.failure, "not sent: " + reason);
    }
    const size_t total = encoded.parts.size();
    std::lock_guard line(s.lineMutex);
    for (size_t i = 0; i < total; ++i) {
        const Submitted sent =
            SubmitPdu(timing, s, job, encoded.parts[i].pdu, encoded.parts[i].tpduLength);
        if (!sent.value) {
            const std::string which =
                total == 1 ? std::string()
                           : "part " + std::to_string(i + 1) + " of " + std::to_string(total) + " ";
            return Failed(s, job.failure, which + "not sent: " + sent.failure);
        }
        if (job.keepsReferences) KeepSentReference(s, *sent.value);
    }
    return Done(s, job.endEvent);
}

// The phonebook memory the table mirrors.
std::string SelectPhonebookCommand(State& s) {
    std::lock_guard lock(s.phonebookMutex);
    return s.phonebook.UseSimMemory() ? "AT+CPBS=\"SM\"" : "AT+CPBS=\"ME\"";
}

// Phonebook names travel in the modem's UCS2 set where it has one, for the job's length only.
class PhonebookCharsetScope {
  public:
    PhonebookCharsetScope(State& state, const Timing& timing) : s_(state), timing_(timing) {
        EnterPhonebookCharset(s_, timing_);
    }
    ~PhonebookCharsetScope() { LeavePhonebookCharset(s_, timing_); }
    PhonebookCharsetScope(const PhonebookCharsetScope&) = delete;
    PhonebookCharsetScope& operator=(const PhonebookCharsetScope&) = delete;

  private:
    State& s_;
    const Timing& timing_;
};

void ForgetSmsText(State& s, int event) {
    std::lock_guard lock(s.textMutex);
    s.smsText[static_cast<size_t>(event)].clear();
}

// After a read that failed: what the reader still holds of it is dropped with it.
void DiscardAnswer(State& s) {
    s.discardPending = true;
}

void ReadPhonebookWorker(const Timing& timing, State& s) {
    std::lock_guard line(s.lineMutex);
    ForgetSmsText(s, kPhonebook);  // entries of an earlier read are no answer to this one
    const auto failed = [&s](const std::string& what, const CommandResult& r) {
        Fail(s, Notification::kPhonebookReadFailed,
             "the SIM phonebook could not be read: " + what + DescribeEnd(r, kAnswerIdleMs));
    };
    const CommandResult select = RunCommand(s, timing, SelectPhonebookCommand(s), {});
    if (!select.Ok()) return failed("", select);
    const CommandResult range =
        RunCommand(s, timing, "AT+CPBR=?", {.expect = {.infoKeyword = "+CPBR:"}});
    if (!range.Ok()) return failed("its size: ", range);
    const auto limits = ParsePhonebookRange(range.LineWith("+CPBR:").value_or(""));
    if (!limits) {
        SetFailure(s, "the SIM phonebook could not be read: its size came in an unknown form");
        return PostNotification(s, Notification::kPhonebookReadFailed);
    }
    {
        std::lock_guard lock(s.phonebookMutex);
        s.phonebook.SetLimits(limits->numberLimit, limits->textLimit, limits->capacity);
    }
    // Entries are read in UCS2 where the modem has it.  The limits stay those of the modem's
    // own set: the table cuts names typed here by them, and a plain name takes a byte a
    // character on the SIM whatever set it travels in.
    const PhonebookCharsetScope charset(s, timing);
    const int32_t answers = s.phonebookEntryAnswers.load();
    // A SIM without room holds nothing to read: "AT+CPBR=1,0" asks for nothing.
    if (limits->capacity >= 1) {
        s.phonebookAccepting = true;
        const CommandResult read =
            RunCommand(s, timing, "AT+CPBR=1," + std::to_string(limits->capacity),
                       {.maxBytes = kPhonebookMaxBytes});
        s.phonebookAccepting = false;
        // "Not found": some SIMs answer so for a range without any entry.
        const bool empty = read.end == End::kCmeError && read.code == 22;
        if (!read.Ok() && !empty) {
            DiscardAnswer(s);
            return failed("", read);
        }
    }
    // Entries bring their own event; without any, the controller must still hear of the end.
    if (s.phonebookEntryAnswers.load() == answers) {
        s.phonebookReadEmpty = true;
        s.events.Signal(kPhonebook);
    }
}

void WritePhonebookWorker(const Timing& timing, State& s) {
    std::lock_guard line(s.lineMutex);
    std::vector<PhonebookRefusal> refusals;
    const auto finish = [&s, &refusals] {
        const bool all = refusals.empty();
        {
            std::lock_guard lock(s.phonebookMutex);
            s.phonebookRefusals = std::move(refusals);
        }
        if (all) return s.events.Signal(kPhonebookWritten);
        Fail(s, Notification::kPhonebookWriteFailed, "some SIM phonebook entries were not written");
    };
    int32_t capacity = 0;
    {
        std::lock_guard lock(s.phonebookMutex);
        capacity = s.phonebook.Capacity();
    }
    const CommandResult select = RunCommand(s, timing, SelectPhonebookCommand(s), {});
    bool lineUsable = select.Ok();
    std::optional<PhonebookCharsetScope> charset;
    if (lineUsable) charset.emplace(s, timing);
    std::string nameRefusal;
    for (int32_t position = 0; position < capacity; ++position) {
        std::optional<std::string> command;
        {
            std::lock_guard lock(s.phonebookMutex);
            const auto& entries = s.phonebook.Entries();
            if (static_cast<size_t>(position) >= entries.size()) break;
            const PhonebookEntry& entry = entries[static_cast<size_t>(position)];
            if (!entry.changed) continue;
            nameRefusal.clear();
            command = PhonebookWriteLine(s, position + 1, entry.number, entry.name,
                                         s.phonebook.Limits().textLimit, nameRefusal);
        }
        if (!lineUsable) {
            refusals.push_back(
                {position + 1, "not written: " + DescribeEnd(select, kAnswerIdleMs)});
            continue;
        }
        // A number that would break the command line, or a name the set cannot hold, stays
        // pending, unwritten.
        if (!command) {
            refusals.push_back({position + 1, nameRefusal});
            continue;
        }
        const CommandResult r = RunCommand(s, timing, *command, {});
        if (r.Ok()) {
            std::lock_guard lock(s.phonebookMutex);
            s.phonebook.MarkWritten(position);
            continue;
        }
        refusals.push_back({position + 1, DescribeEnd(r, kAnswerIdleMs)});
        // Without an answer the rest would only wait in turn: they stay pending.
        if (!r.Answered()) {
            lineUsable = false;
            continue;
        }
    }
    finish();
}

constexpr std::string_view kListCommands[] = {
    "AT+CMGL=\"REC UNREAD\"", "AT+CMGL=\"REC READ\"", "AT+CMGL=\"STO UNSENT\"",
    "AT+CMGL=\"STO SENT\"",   "AT+CMGF=0;+CMGL=4",
};

void ListWorker(const Timing& timing, State& s, int32_t mode) {
    const std::string_view command =
        mode >= 0 && mode <= 4 ? kListCommands[mode] : std::string_view();
    std::lock_guard line(s.lineMutex);
    s.expectPdu = 1;
    s.pduToListing = 1;
    s.listingCount = -1;
    ForgetSmsText(s, kListing);  // an empty store must not list an earlier listing again
    const int32_t blocks = s.listingBlocks.load();
    s.listingAccepting = true;
    const CommandResult r = RunCommand(s, timing, command, {.maxBytes = kListingMaxBytes});
    s.listingAccepting = false;
    s.expectPdu = 0;
    if (r.end == End::kNotWritten) return s.events.Signal(kListingRefused);
    if (!r.Ok()) {
        DiscardAnswer(s);
        SetFailure(s, "the messages could not be listed: " + DescribeEnd(r, kAnswerIdleMs));
        return s.events.Signal(kListingRefused);
    }
    if (s.listingBlocks.load() == blocks)
        s.events.Signal(kListing);  // an empty store: the parse finds nothing and reports 20
    else
        s.events.Signal(kListingArrived);
}

void DeleteWorker(const Timing& timing, State& s, int32_t mode, int32_t index) {
    std::string command;
    if (mode == 0)
        command = "AT+CMGD=" + std::to_string(index);
    else if (mode >= 1 && mode <= 4)
        command = "AT+CMGD=1," + std::to_string(mode);
    std::lock_guard line(s.lineMutex);
    s.deleteWaiting = 1;
    const CommandResult r = RunCommand(s, timing, command, {});
    s.deleteWaiting = 0;
    if (!r.Ok())
        return Fail(s, Notification::kDeleteFailed,
                    "not deleted: " + DescribeEnd(r, kAnswerIdleMs));
    // The listing no longer matches the store.
    s.listingCount = -1;
    s.events.Signal(kDeleted);
}

void ReadOneWorker(const Timing& timing, State& s, int32_t index) {
    std::lock_guard line(s.lineMutex);
    {
        std::lock_guard lock(s.listingMutex);
        ClearSmsRecord(s.readMessage);
    }
    s.readIndex = index;
    s.expectPdu = 1;
    s.pduToListing = 0;
    const CommandResult r = RunCommand(s, timing, "AT+CMGF=0;+CMGR=" + std::to_string(index), {});
    s.expectPdu = 0;
    if (!r.Ok()) s.readIndex = -1;
    s.events.Signal(r.Ok() ? kReadDone : kReadFailed);
}

}  // namespace

int ModemEngine::SendTextMessage(std::u16string number, std::u16string text,
                                 SubmitOptions options) {
    State& s = *state_;
    if (!s.registered.load() || s.closing.load()) return 0;
    return s.textSend.StartThen(
        [this, &s, number = std::move(number), text = std::move(text), options] {
            return SendTextWorker(timing_, s, kSendJob, number, text, options);
        });
}

int ModemEngine::WriteTextToSim(std::u16string number, std::u16string text) {
    State& s = *state_;
    if (!s.registered.load() || s.closing.load()) return 0;
    return s.writeSim.StartThen([this, &s, number = std::move(number), text = std::move(text)] {
        return SendTextWorker(timing_, s, kWriteJob, number, text, {});
    });
}

int ModemEngine::SendSmartSegment(std::u16string number, int32_t segment) {
    State& s = *state_;
    if (!s.registered.load() || s.closing.load()) return 0;
    // The part is taken now: a later build must not change what this worker sends.
    std::u16string userData = s.smartBuilder.GetPart(segment);
    return s.segmentSend.StartThen(
        [this, &s, number = std::move(number), userData = std::move(userData)] {
            {
                std::lock_guard lock(s.textMutex);
                s.sentReferences.clear();
            }
            if (auto refusal = SubmitRefusal(s, number))
                return Failed(s, kSendJob.failure, *refusal);
            int32_t length = 0;
            const std::u16string pdu =
                s.codec.EncodeBinarySubmit(telvane::ScNumber(s), number, userData, length);
            if (pdu.empty() || length <= 0)
                return Failed(s, kSendJob.failure, "not sent: the segment cannot be encoded");
            std::lock_guard line(s.lineMutex);
            const Submitted sent = SubmitPdu(timing_, s, kSendJob, pdu, length);
            if (!sent.value) return Failed(s, kSendJob.failure, "not sent: " + sent.failure);
            KeepSentReference(s, *sent.value);
            return Done(s, kSendJob.endEvent);
        });
}

int ModemEngine::SendFromStore(int32_t index) {
    State& s = *state_;
    if (!s.registered.load() || s.closing.load()) return 0;
    return s.storeSend.StartThen([this, &s, index] {
        if (!s.registered.load())
            return Failed(s, Notification::kStoreSendFailed,
                          "not sent: not registered on a network");
        std::lock_guard line(s.lineMutex);
        const CommandResult r = RunCommand(s, timing_, "AT+CMGF=0;+CMSS=" + std::to_string(index),
                                           {.idleMs = kStoreSendIdleMs});
        if (r.Ok()) return Done(s, kStoreSendDone);
        return Failed(s, Notification::kStoreSendFailed,
                      "not sent: " + DescribeEnd(r, kStoreSendIdleMs));
    });
}

std::vector<int32_t> ModemEngine::SentReferences() const {
    std::lock_guard lock(state_->textMutex);
    return state_->sentReferences;
}

int ModemEngine::ListMessages(int32_t mode) {
    State& s = *state_;
    if (s.closing.load()) return 0;
    return s.lister.Start([this, &s, mode] { ListWorker(timing_, s, mode); });
}

int ModemEngine::DeleteMessages(int32_t mode, int32_t index) {
    State& s = *state_;
    if (s.closing.load()) return 0;
    return s.deleter.Start([this, &s, mode, index] { DeleteWorker(timing_, s, mode, index); });
}

int ModemEngine::ReadPhonebook() {
    State& s = *state_;
    if (s.closing.load()) return 0;
    return s.phonebookRead.Start([this, &s] { ReadPhonebookWorker(timing_, s); });
}

int ModemEngine::WritePhonebook() {
    State& s = *state_;
    if (s.closing.load()) return 0;
    return s.phonebookWrite.Start([this, &s] { WritePhonebookWorker(timing_, s); });
}

int ModemEngine::ReadOneMessage(int32_t index) {
    State& s = *state_;
    if (s.closing.load()) return 0;
    return s.readOne.Start([this, &s, index] { ReadOneWorker(timing_, s, index); });
}

int ModemEngine::StartToolkitInformation(int32_t type) {
    State& s = *state_;
    if (s.closing.load()) return 0;
    return s.toolkitInfo.Start([this, &s, type] {
        std::lock_guard line(s.lineMutex);
        s.toolkitPending = type;
        s.toolkitCommand = type;
        s.toolkitAwaiting = 1;
        {
            std::lock_guard lock(s.toolkitMutex);
            s.toolkitItemCounter = -1;
            s.toolkitLines = 0;
        }
        const CommandResult r =
            RunCommand(s, timing_, "AT+STGI=" + std::to_string(type), {.idleMs = 2000});
        // Its "OK" is still the dispatcher's to handle: that clears the flag and reports.
        if (!r.Ok()) s.toolkitAwaiting = 0;
    });
}

}  // namespace telvane
