// A scripted engine for the controller's own logic: it records every request, accepts or
// refuses as the test says, and lets the test deliver notification codes.
#pragma once

#include <algorithm>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "control/link_engine.h"

namespace telvane::testing {

// Outlives the engines the controller makes and destroys.
struct EngineScript {
    int openResult = 1;
    std::string openError;
    int openedPort = -1;
    int opens = 0;
    int destroyed = 0;
    LinkEngine::Callback callback;

    std::u16string operatorText = u"46692";
    std::u16string detectedCentre;
    int signal = 3;
    int reference = 0;
    std::u16string serviceCentre = u"unset";
    int signalRequests = 0;

    bool acceptSend = true;
    bool acceptDelete = true;
    bool acceptPhonebookWrite = true;
    std::vector<PhonebookRefusal> phonebookRefusals;
    int smartSegments = 3;
    std::vector<std::pair<std::u16string, std::u16string>> texts;  // number, text
    std::vector<SubmitOptions> textOptions;                        // of each text
    std::vector<int> sentReferences;                               // a send's result carries these
    std::string lastFailure;                      // a failed job's result carries this reason
    JobStatus failedStatus = JobStatus::kFailed;  // how a failed send ends
    std::vector<std::pair<std::u16string, int>> segments;       // number, segment
    std::vector<std::pair<PictureKind, std::u16string>> built;  // kind, hex
    std::vector<int> deletes;
    int listings = 0;
    int phonebookReads = 0;
    int phonebookWrites = 0;
    std::vector<PhonebookEntry> toWrite;  // the changed entries when the last write started
    std::vector<std::string> calls;       // every job started, in order

    std::vector<SmsRecord> listing;
    // The place in a long message of the listed entry at a SIM index, if it is a part.
    std::map<int, ConcatInfo> concat;
    std::vector<SmsPart> arrived;       // handed out by the next TakeArrivedMessages
    std::vector<StatusReport> reports;  // handed out by the next TakeStatusReports
    PhonebookTable phonebook;
    // Held by whoever uses `phonebook`, as the engine's workers hold the engine's lock.
    std::mutex phonebookMutex;

    // Jobs started and not ended yet, oldest first.
    struct PendingJob {
        JobId id;
        JobKind kind;
        JobDone done;
    };
    std::vector<PendingJob> pending;
    JobId nextJob = 1;

    JobHandle Begin(JobKind kind, JobDone done) {
        const JobId id = nextJob++;
        pending.push_back({id, kind, std::move(done)});
        return JobHandle{id};
    }

    // The end of the oldest pending job that `end` names, with a result made from the script;
    // false when no job of that kind is pending.
    bool EndJob(Notification end) {
        std::vector<JobKind> kinds;
        bool ok = false;
        switch (end) {
            case Notification::kListingFinished:
                ok = true;
                [[fallthrough]];
            case Notification::kListingFailed:
                kinds = {JobKind::kListing};
                break;
            case Notification::kSendDone:
                ok = true;
                [[fallthrough]];
            case Notification::kSendFailed:
                kinds = {JobKind::kSendText, JobKind::kSendSegment};
                break;
            case Notification::kDeleted:
                ok = true;
                [[fallthrough]];
            case Notification::kDeleteFailed:
                kinds = {JobKind::kDelete};
                break;
            case Notification::kPhonebookRead:
                ok = true;
                [[fallthrough]];
            case Notification::kPhonebookReadFailed:
                kinds = {JobKind::kPhonebookRead};
                break;
            case Notification::kPhonebookWritten:
                ok = true;
                [[fallthrough]];
            case Notification::kPhonebookWriteFailed:
                kinds = {JobKind::kPhonebookWrite};
                break;
            default:
                return false;
        }
        for (auto it = pending.begin(); it != pending.end(); ++it) {
            if (std::find(kinds.begin(), kinds.end(), it->kind) == kinds.end()) continue;
            JobResult result;
            result.id = it->id;
            result.kind = it->kind;
            result.end = end;
            result.status = ok ? JobStatus::kDone : failedStatus;
            if (!ok) result.reason = lastFailure;
            if (it->kind == JobKind::kSendText || it->kind == JobKind::kSendSegment)
                result.references.assign(sentReferences.begin(), sentReferences.end());
            if (it->kind == JobKind::kListing && ok) {
                for (const SmsRecord& record : listing) {
                    const auto c = concat.find(record.index);
                    result.listing.push_back({record, c == concat.end()
                                                          ? std::nullopt
                                                          : std::optional<ConcatInfo>(c->second)});
                }
            }
            if (it->kind == JobKind::kPhonebookWrite && !ok) result.refusals = phonebookRefusals;
            if (it->kind == JobKind::kPhonebookRead && ok) {
                std::lock_guard lock(phonebookMutex);
                result.phonebook = std::make_shared<PhonebookTable>(phonebook);
            }
            JobDone done = std::move(it->done);
            pending.erase(it);
            if (done) done(result);
            return true;
        }
        return false;
    }
};

class FakeEngine : public LinkEngine {
  public:
    explicit FakeEngine(std::shared_ptr<EngineScript> script) : script_(std::move(script)) {}
    ~FakeEngine() override {
        ++script_->destroyed;
        script_->callback = nullptr;
        script_->pending.clear();  // its jobs end with it, unreported
    }

    int Open(int portNumber, Callback callback) override {
        ++script_->opens;
        script_->openedPort = portNumber;
        if (portNumber < 1 || script_->openResult == 0) return 0;
        script_->callback = std::move(callback);
        return 1;
    }
    std::string OpenError() const override { return script_->openError; }
    void SetServiceCentre(const std::u16string& number) override {
        script_->serviceCentre = number;
    }
    std::u16string OperatorText() const override { return script_->operatorText; }
    std::u16string DetectedServiceCentre() const override { return script_->detectedCentre; }
    int SignalLevel() const override { return script_->signal; }
    void RequestSignalQuality() override { ++script_->signalRequests; }
    JobHandle ListMessages(int mode, JobDone done) override {
        ++script_->listings;
        script_->calls.push_back("list " + std::to_string(mode));
        return script_->Begin(JobKind::kListing, std::move(done));
    }
    JobHandle DeleteMessages(int mode, int index, JobDone done) override {
        if (!script_->acceptDelete) return {};
        script_->deletes.push_back(index);
        script_->calls.push_back("delete " + std::to_string(mode) + "," + std::to_string(index));
        return script_->Begin(JobKind::kDelete, std::move(done));
    }
    JobHandle ReadPhonebook(JobDone done) override {
        ++script_->phonebookReads;
        script_->calls.push_back("read phonebook");
        return script_->Begin(JobKind::kPhonebookRead, std::move(done));
    }
    JobHandle WritePhonebook(JobDone done) override {
        if (!script_->acceptPhonebookWrite) return {};
        ++script_->phonebookWrites;
        script_->calls.push_back("write phonebook");
        {
            std::lock_guard lock(script_->phonebookMutex);
            script_->toWrite.clear();
            for (const PhonebookEntry& entry : script_->phonebook.Entries())
                if (entry.changed) script_->toWrite.push_back(entry);
        }
        return script_->Begin(JobKind::kPhonebookWrite, std::move(done));
    }
    JobHandle SendTextMessage(const std::u16string& number, const std::u16string& text,
                              const SubmitOptions& options, JobDone done) override {
        if (!script_->acceptSend) return {};
        script_->texts.emplace_back(number, text);
        script_->textOptions.push_back(options);
        script_->calls.push_back("send");
        return script_->Begin(JobKind::kSendText, std::move(done));
    }
    JobHandle SendSmartSegment(const std::u16string& number, int segment, JobDone done) override {
        if (!script_->acceptSend) return {};
        script_->segments.emplace_back(number, segment);
        script_->calls.push_back("segment");
        return script_->Begin(JobKind::kSendSegment, std::move(done));
    }
    int BuildSmartMessage(PictureKind kind, const std::u16string& hex) override {
        script_->built.emplace_back(kind, hex);
        return script_->smartSegments;
    }
    std::vector<SmsPart> TakeArrivedMessages() override {
        return std::exchange(script_->arrived, {});
    }
    std::vector<StatusReport> TakeStatusReports() override {
        return std::exchange(script_->reports, {});
    }
    PhonebookTable& Phonebook() override { return script_->phonebook; }
    std::unique_lock<std::mutex> LockPhonebook() override {
        return std::unique_lock<std::mutex>(script_->phonebookMutex);
    }

  private:
    std::shared_ptr<EngineScript> script_;
};

}  // namespace telvane::testing
