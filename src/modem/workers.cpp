// The starters and workers of the message and phonebook jobs, and the toolkit information thread.
// Each job holds the line for its sequence, goes to its next command as soon as the modem has
// answered the one before, reads its own answers and ends with its own result.

#include <functional>
#include <memory>
#include <string>

#include "modem/answer_parsers.h"
#include "modem/command_text.h"
#include "modem/engine_state.h"
#include "modem/info_parsers.h"
#include "platform/text.h"

namespace telvane {
namespace {

using namespace engine_event;
using State = ModemEngine::State;
using End = CommandResult::End;

constexpr int32_t kAnswerIdleMs = 5000;
// Once a PDU went out, the network takes what it takes before the modem answers: a wait cut
// short here would report failed a message the recipient gets, and a resend deliver it twice.
constexpr int32_t kSubmitAnswerMs = 90000;
constexpr int32_t kStoreSendIdleMs = 90000;
// A full listing of 200 messages is about 80 KB; a phonebook of 10 000 entries under 1 MB.
constexpr size_t kListingMaxBytes = 256 * 1024;
constexpr size_t kPhonebookMaxBytes = 1024 * 1024;

JobResult Succeeded(Notification end) {
    JobResult r;
    r.status = JobStatus::kDone;
    r.end = end;
    return r;
}

JobResult Failed(Notification end, std::string reason) {
    JobResult r;
    r.status = JobStatus::kFailed;
    r.end = end;
    r.reason = std::move(reason);
    return r;
}

// How a PDU is handed to the modem.
struct PduJob {
    std::string_view command;              // "AT+CMGF=0;+CMGS=" or "AT+CMGF=0;+CMGW="
    std::atomic<int32_t> State::*waiting;  // sendWaiting or writeWaiting
    Notification done;                     // its end when it went through
    Notification failure;                  // when it did not
    std::string_view answer;               // "+CMGS:" or "+CMGW:"
    bool keepsReferences;                  // the result's references are the send's
};

constexpr PduJob kSendJob{"AT+CMGF=0;+CMGS=",
                          &State::sendWaiting,
                          Notification::kSendDone,
                          Notification::kSendFailed,
                          "+CMGS:",
                          true};
constexpr PduJob kWriteJob{"AT+CMGF=0;+CMGW=",
                           &State::writeWaiting,
                           Notification::kWriteDone,
                           Notification::kWriteFailed,
                           "+CMGW:",
                           false};

// Announces the PDU's length, waits for the modem's "> ", writes the PDU and Ctrl-Z, and waits
// for the result.  The caller holds lineMutex.  The answer's value (TP-MR, or the index
// written), or why the PDU did not go through, and whether it may have.
struct Submitted {
    std::optional<int32_t> value;
    std::string failure;
    bool unconfirmed = false;  // the PDU went out and no answer came
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
        RunCommand(s, timing, Narrow(pdu) + '\x1a', {.idleMs = kSubmitAnswerMs});
    (s.*job.waiting) = 0;
    const std::optional<std::string_view> line = result.LineWith(job.answer);
    // The answer line says the network took the part, whatever became of the final result:
    // sending it again would deliver it twice.
    if (line) return {ValueAfterColon(*line), {}};
    if (result.Ok()) return {-1, {}};
    const bool unanswered =
        result.end == End::kTimeout || result.end == End::kTooLong || result.end == End::kLinkLost;
    return {std::nullopt, DescribeEnd(result, kSubmitAnswerMs), unanswered};
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

// A part that went out unanswered ends the job "not confirmed": it must not be sent again
// without the user's word.
JobResult SubmitFailure(const PduJob& job, const Submitted& sent, const std::string& which) {
    JobResult r = Failed(
        job.failure, which + (sent.unconfirmed ? "not confirmed: " : "not sent: ") + sent.failure);
    if (sent.unconfirmed) r.status = JobStatus::kNotConfirmed;
    return r;
}

// Every part of the text, in order, each confirmed before the next; the first part that fails
// ends the job, and the parts before it stay confirmed (the result's references).
JobResult SendTextWorker(const Timing& timing, State& s, const PduJob& job,
                         const std::u16string& number, const std::u16string& text,
                         const SubmitOptions& options) {
    if (auto refusal = SubmitRefusal(s, number)) return Failed(job.failure, *refusal);
    const TextSubmit encoded = s.codec.EncodeTextMessage(ScNumber(s), number, text, options);
    // Nothing is written for a text the codec refused: an empty PDU would go out as a message.
    if (!encoded.ok() || encoded.parts.empty() || encoded.parts.front().tpduLength <= 0) {
        const std::string reason =
            encoded.reason.empty() ? "the message is empty" : U16ToUtf8(encoded.reason);
        return Failed(job.failure, "not sent: " + reason);
    }
    const size_t total = encoded.parts.size();
    std::vector<int32_t> references;
    std::lock_guard line(s.lineMutex);
    for (size_t i = 0; i < total; ++i) {
        const Submitted sent =
            SubmitPdu(timing, s, job, encoded.parts[i].pdu, encoded.parts[i].tpduLength);
        if (!sent.value) {
            const std::string which =
                total == 1 ? std::string()
                           : "part " + std::to_string(i + 1) + " of " + std::to_string(total) + " ";
            JobResult r = SubmitFailure(job, sent, which);
            if (job.keepsReferences) r.references = std::move(references);
            return r;
        }
        references.push_back(*sent.value);
    }
    JobResult r = Succeeded(job.done);
    r.value = references.back();  // a write: the index the last part went to
    if (job.keepsReferences) r.references = std::move(references);
    return r;
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

// After a read that failed: what the reader still holds of it is dropped with it.
void DiscardAnswer(State& s) {
    s.discardPending = true;
}

JobResult ReadPhonebookWorker(const Timing& timing, State& s) {
    std::lock_guard line(s.lineMutex);
    const auto failed = [](const std::string& what) {
        return Failed(Notification::kPhonebookReadFailed,
                      "the SIM phonebook could not be read: " + what);
    };
    const CommandResult select = RunCommand(s, timing, SelectPhonebookCommand(s), {});
    if (!select.Ok()) return failed(DescribeEnd(select, kAnswerIdleMs));
    const CommandResult range =
        RunCommand(s, timing, "AT+CPBR=?", {.expect = {.infoKeyword = "+CPBR:"}});
    if (!range.Ok()) return failed("its size: " + DescribeEnd(range, kAnswerIdleMs));
    const ParsedAnswer<PhonebookLimits> size = ParsePhonebookRangeAnswer(range.lines);
    if (!size.ok()) return failed(size.failure);
    const PhonebookLimits* limits = &size.data;
    auto table = std::make_shared<PhonebookTable>();
    if (!table->SetLimits(limits->numberLimit, limits->textLimit, limits->capacity))
        return failed("its size (" + std::to_string(limits->capacity) +
                      " entries) is more than this program can hold");
    // Entries are read in UCS2 where the modem has it.  The limits stay those of the modem's
    // own set: the table cuts names typed here by them, and a plain name takes a byte a
    // character on the SIM whatever set it travels in.
    const PhonebookCharsetScope charset(s, timing);
    // A SIM without room holds nothing to read: "AT+CPBR=1,0" asks for nothing.
    if (limits->capacity >= 1) {
        const CommandResult read =
            RunCommand(s, timing, "AT+CPBR=1," + std::to_string(limits->capacity),
                       {.maxBytes = kPhonebookMaxBytes});
        // "Not found": some SIMs answer so for a range without any entry.
        const bool empty = read.end == End::kCmeError && read.code == 22;
        if (!read.Ok() && !empty) {
            DiscardAnswer(s);
            return failed(DescribeEnd(read, kAnswerIdleMs));
        }
        if (!empty) {
            const ParsedAnswer<std::vector<PhonebookEntry>> entries =
                ParsePhonebookAnswer(read.lines, 1, limits->capacity, s.phonebookCharset.load());
            if (!entries.ok()) return failed(entries.failure);
            for (const PhonebookEntry& entry : entries.data)
                table->StoreFromSim(entry.index, entry.name, entry.number);
        }
    }
    {
        std::lock_guard lock(s.phonebookMutex);
        s.phonebook = *table;
    }
    JobResult r = Succeeded(Notification::kPhonebookRead);
    r.phonebook = std::move(table);
    return r;
}

JobResult WritePhonebookWorker(const Timing& timing, State& s) {
    std::lock_guard line(s.lineMutex);
    std::vector<PhonebookRefusal> refusals;
    const auto finish = [&refusals] {
        if (refusals.empty()) return Succeeded(Notification::kPhonebookWritten);
        JobResult r = Failed(Notification::kPhonebookWriteFailed,
                             "some SIM phonebook entries were not written");
        r.refusals = std::move(refusals);
        return r;
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
    return finish();
}

constexpr std::string_view kListCommands[] = {
    "AT+CMGL=\"REC UNREAD\"", "AT+CMGL=\"REC READ\"", "AT+CMGL=\"STO UNSENT\"",
    "AT+CMGL=\"STO SENT\"",   "AT+CMGF=0;+CMGL=4",
};

// The stores a full listing reads: what AT+CPMS=? offers for reading, asked once; MT (SM and
// ME together) would list each message twice, BM and SR hold no messages of the user's.  Empty
// when the modem names none.  Caller holds lineMutex.
std::vector<std::string> ListedStores(const Timing& timing, State& s) {
    {
        std::lock_guard lock(s.arrivalMutex);
        if (s.storesAsked) return s.readableStores;
    }
    const CommandResult r =
        RunCommand(s, timing, "AT+CPMS=?", {.expect = {.infoKeyword = "+CPMS:"}});
    std::vector<std::string> stores;
    if (r.Ok()) {
        for (std::string& name : ParseStoreOffer(AnswerLine(r.lines, "+CPMS:").value_or("")))
            if (name != "MT" && name != "BM" && name != "SR") stores.push_back(std::move(name));
    }
    std::lock_guard lock(s.arrivalMutex);
    // A modem that did not answer is asked again by the next listing.
    if (r.Answered()) s.storesAsked = true;
    s.readableStores = stores;
    return stores;
}

// One listing command in the store chosen now; the parts name `store`.
JobResult ListInStore(const Timing& timing, State& s, std::string_view command,
                      const std::string& store) {
    s.expectPdu = 1;
    const CommandResult r = RunCommand(s, timing, command, {.maxBytes = kListingMaxBytes});
    s.expectPdu = 0;
    const std::string where = store.empty() ? std::string() : " (store " + store + ")";
    if (!r.Ok()) {
        DiscardAnswer(s);
        return Failed(Notification::kListingFailed, "the messages could not be listed" + where +
                                                        ": " + DescribeEnd(r, kAnswerIdleMs));
    }
    ParsedAnswer<std::vector<SmsPart>> listed = ParseListingAnswer(r.lines);
    if (!listed.ok())
        return Failed(Notification::kListingFailed,
                      "the messages could not be listed" + where + ": " + listed.failure);
    JobResult result = Succeeded(Notification::kListingFinished);
    result.listing = std::move(listed.data);
    for (SmsPart& part : result.listing)
        part.record.store = store;
    return result;
}

JobResult ListWorker(const Timing& timing, State& s, int32_t mode) {
    const std::string_view command =
        mode >= 0 && mode <= 4 ? kListCommands[mode] : std::string_view();
    std::lock_guard line(s.lineMutex);
    const std::vector<std::string> stores =
        mode == 4 ? ListedStores(timing, s) : std::vector<std::string>{};
    if (stores.size() <= 1) {
        std::string store = stores.empty() ? std::string() : stores.front();
        if (store.empty()) {
            std::lock_guard lock(s.arrivalMutex);
            store = s.readStore;
        }
        if (stores.empty()) return ListInStore(timing, s, command, store);
        JobResult only;
        const std::optional<std::string> refused = RunInStore(
            s, timing, {store, 0}, [&] { only = ListInStore(timing, s, command, store); });
        if (refused)
            return Failed(Notification::kListingFailed,
                          "the messages could not be listed: " + *refused);
        return only;
    }
    // Every store, or none: a listing without one store would read as its messages deleted.
    JobResult all = Succeeded(Notification::kListingFinished);
    for (size_t i = 0; i < stores.size(); ++i) {
        const std::string& store = stores[i];
        JobResult one;
        const std::optional<std::string> refused = RunInStore(
            s, timing, {store, 0}, [&] { one = ListInStore(timing, s, command, store); });
        // A store the modem offers but will not choose has never been listed either: it is
        // left out from now on.  The first, the one reads use, is the listing's own.
        if (refused && i > 0) {
            std::lock_guard lock(s.arrivalMutex);
            std::erase(s.readableStores, store);
            continue;
        }
        if (refused)
            return Failed(Notification::kListingFailed,
                          "the messages could not be listed: " + *refused);
        if (!one.Ok()) return one;
        for (SmsPart& part : one.listing)
            all.listing.push_back(std::move(part));
    }
    return all;
}

JobResult DeleteWorker(const Timing& timing, State& s, int32_t mode, int32_t index) {
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
        return Failed(Notification::kDeleteFailed, "not deleted: " + DescribeEnd(r, kAnswerIdleMs));
    return Succeeded(Notification::kDeleted);
}

JobResult DeleteStoredWorker(const Timing& timing, State& s, const std::string& store,
                             int32_t index) {
    std::lock_guard line(s.lineMutex);
    CommandResult r;
    s.deleteWaiting = 1;
    const std::optional<std::string> refused = RunInStore(s, timing, {store, index}, [&] {
        r = RunCommand(s, timing, "AT+CMGD=" + std::to_string(index), {});
    });
    s.deleteWaiting = 0;
    if (refused) return Failed(Notification::kDeleteFailed, "not deleted: " + *refused);
    if (!r.Ok())
        return Failed(Notification::kDeleteFailed, "not deleted: " + DescribeEnd(r, kAnswerIdleMs));
    return Succeeded(Notification::kDeleted);
}

JobResult ReadOneWorker(const Timing& timing, State& s, int32_t index) {
    std::lock_guard line(s.lineMutex);
    s.expectPdu = 1;
    const CommandResult r = RunCommand(s, timing, "AT+CMGF=0;+CMGR=" + std::to_string(index), {});
    s.expectPdu = 0;
    if (!r.Ok())
        return Failed(Notification::kReadFailed,
                      "the message could not be read: " + DescribeEnd(r, kAnswerIdleMs));
    ParsedAnswer<SmsPart> message = ParseReadAnswer(r.lines, index);
    if (!message.ok())
        return Failed(Notification::kReadFailed,
                      "the message could not be read: " + message.failure);
    JobResult result = Succeeded(Notification::kMessageRead);
    result.message = std::move(message.data);
    return result;
}

}  // namespace

// Runs `body` on `slot` as a job of `kind`; its result goes to `done` once the slot is free, so
// that whoever starts the next job on that end finds the slot free.
JobHandle StartJob(State& s, WorkerSlot& slot, JobKind kind, JobDone done,
                   std::function<JobResult()> body) {
    if (s.closing.load()) return {};
    const JobId id = s.nextJobId.fetch_add(1);
    const bool started = slot.StartThen(
        [&s, id, kind, done = std::move(done), body = std::move(body)]() -> std::function<void()> {
            JobResult result = body();
            result.id = id;
            result.kind = kind;
            return [&s, result = std::move(result), done]() mutable {
                PostJobEnd(s, std::move(result), std::move(done));
            };
        });
    return started ? JobHandle{id} : JobHandle{};
}

JobHandle ModemEngine::SendTextMessage(std::u16string number, std::u16string text,
                                       SubmitOptions options, JobDone done) {
    State& s = *state_;
    if (!s.registered.load()) return {};
    return StartJob(s, s.textSend, JobKind::kSendText, std::move(done),
                    [this, &s, number = std::move(number), text = std::move(text), options] {
                        return SendTextWorker(timing_, s, kSendJob, number, text, options);
                    });
}

JobHandle ModemEngine::WriteTextToSim(std::u16string number, std::u16string text, JobDone done) {
    State& s = *state_;
    if (!s.registered.load()) return {};
    return StartJob(s, s.writeSim, JobKind::kWriteSim, std::move(done),
                    [this, &s, number = std::move(number), text = std::move(text)] {
                        return SendTextWorker(timing_, s, kWriteJob, number, text, {});
                    });
}

JobHandle ModemEngine::SendSmartSegment(std::u16string number, int32_t segment, JobDone done) {
    State& s = *state_;
    if (!s.registered.load()) return {};
    // The part is taken now: a later build must not change what this worker sends.
    std::u16string userData = s.smartBuilder.GetPart(segment);
    return StartJob(
        s, s.segmentSend, JobKind::kSendSegment, std::move(done),
        [this, &s, number = std::move(number), userData = std::move(userData)] {
            if (auto refusal = SubmitRefusal(s, number)) return Failed(kSendJob.failure, *refusal);
            int32_t length = 0;
            const std::u16string pdu =
                s.codec.EncodeBinarySubmit(telvane::ScNumber(s), number, userData, length);
            if (pdu.empty() || length <= 0)
                return Failed(kSendJob.failure, "not sent: the segment cannot be encoded");
            std::lock_guard line(s.lineMutex);
            const Submitted sent = SubmitPdu(timing_, s, kSendJob, pdu, length);
            if (!sent.value) return SubmitFailure(kSendJob, sent, {});
            JobResult r = Succeeded(kSendJob.done);
            r.references.push_back(*sent.value);
            return r;
        });
}

JobHandle ModemEngine::SendFromStore(int32_t index, JobDone done) {
    State& s = *state_;
    if (!s.registered.load()) return {};
    return StartJob(s, s.storeSend, JobKind::kStoreSend, std::move(done), [this, &s, index] {
        if (!s.registered.load())
            return Failed(Notification::kStoreSendFailed, "not sent: not registered on a network");
        std::lock_guard line(s.lineMutex);
        const CommandResult r = RunCommand(s, timing_, "AT+CMGF=0;+CMSS=" + std::to_string(index),
                                           {.idleMs = kStoreSendIdleMs});
        if (const auto answer = r.LineWith("+CMSS:")) {
            JobResult sent = Succeeded(Notification::kStoreSendDone);
            sent.value = ValueAfterColon(*answer);
            return sent;
        }
        if (r.Ok()) return Succeeded(Notification::kStoreSendDone);
        JobResult failed =
            Failed(Notification::kStoreSendFailed, "not sent: " + DescribeEnd(r, kStoreSendIdleMs));
        if (r.end == End::kTimeout || r.end == End::kLinkLost)
            failed.status = JobStatus::kNotConfirmed;
        return failed;
    });
}

JobHandle ModemEngine::ListMessages(int32_t mode, JobDone done) {
    State& s = *state_;
    return StartJob(s, s.lister, JobKind::kListing, std::move(done),
                    [this, &s, mode] { return ListWorker(timing_, s, mode); });
}

JobHandle ModemEngine::DeleteMessages(int32_t mode, int32_t index, JobDone done) {
    State& s = *state_;
    return StartJob(s, s.deleter, JobKind::kDelete, std::move(done),
                    [this, &s, mode, index] { return DeleteWorker(timing_, s, mode, index); });
}

JobHandle ModemEngine::DeleteStoredMessage(std::string store, int32_t index, JobDone done) {
    State& s = *state_;
    // Only a store's name goes into the command line.
    if (store.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789") != std::string::npos)
        return {};
    return StartJob(s, s.deleter, JobKind::kDelete, std::move(done),
                    [this, &s, store = std::move(store), index] {
                        return DeleteStoredWorker(timing_, s, store, index);
                    });
}

JobHandle ModemEngine::ReadPhonebook(JobDone done) {
    State& s = *state_;
    return StartJob(s, s.phonebookRead, JobKind::kPhonebookRead, std::move(done),
                    [this, &s] { return ReadPhonebookWorker(timing_, s); });
}

JobHandle ModemEngine::WritePhonebook(JobDone done) {
    State& s = *state_;
    return StartJob(s, s.phonebookWrite, JobKind::kPhonebookWrite, std::move(done),
                    [this, &s] { return WritePhonebookWorker(timing_, s); });
}

JobHandle ModemEngine::ReadOneMessage(int32_t index, JobDone done) {
    State& s = *state_;
    return StartJob(s, s.readOne, JobKind::kReadOne, std::move(done),
                    [this, &s, index] { return ReadOneWorker(timing_, s, index); });
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
