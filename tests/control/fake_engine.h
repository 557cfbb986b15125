// A scripted engine for the controller's own logic: it records every request, accepts or
// refuses as the test says, and lets the test deliver notification codes.
#pragma once

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
    std::vector<int> sentReferences;                               // what SentReferences() gives
    std::string lastFailure;                                       // what LastFailure() gives
    std::vector<std::pair<std::u16string, int>> segments;          // number, segment
    std::vector<std::pair<PictureKind, std::u16string>> built;     // kind, hex
    std::vector<int> deletes;
    int listings = 0;
    int phonebookReads = 0;
    int phonebookWrites = 0;
    std::vector<std::string> calls;  // every job started, in order

    std::vector<SmsRecord> listing;
    // The place in a long message of the listed entry at a SIM index, if it is a part.
    std::map<int, ConcatInfo> concat;
    std::vector<SmsPart> arrived;       // handed out by the next TakeArrivedMessages
    std::vector<StatusReport> reports;  // handed out by the next TakeStatusReports
    PhonebookTable phonebook;
    // Held by whoever uses `phonebook`, as the engine's workers hold the engine's lock.
    std::mutex phonebookMutex;
};

class FakeEngine : public LinkEngine, public MessageListing {
  public:
    explicit FakeEngine(std::shared_ptr<EngineScript> script) : script_(std::move(script)) {}
    ~FakeEngine() override {
        ++script_->destroyed;
        script_->callback = nullptr;
    }

    int Open(int portNumber, Callback callback) override {
        ++script_->opens;
        script_->openedPort = portNumber;
        if (portNumber < 1 || portNumber > 4 || script_->openResult == 0) return 0;
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
    int MessageReference() const override { return script_->reference; }
    void RequestSignalQuality() override { ++script_->signalRequests; }
    int ListMessages(int mode) override {
        ++script_->listings;
        script_->calls.push_back("list " + std::to_string(mode));
        return 1;
    }
    int DeleteMessages(int mode, int index) override {
        if (!script_->acceptDelete) return 0;
        script_->deletes.push_back(index);
        script_->calls.push_back("delete " + std::to_string(mode) + "," + std::to_string(index));
        return 1;
    }
    int ReadPhonebook() override {
        ++script_->phonebookReads;
        script_->calls.push_back("read phonebook");
        return 1;
    }
    int WritePhonebook() override {
        if (!script_->acceptPhonebookWrite) return 0;
        ++script_->phonebookWrites;
        script_->calls.push_back("write phonebook");
        return 1;
    }
    std::vector<int> SentReferences() const override { return script_->sentReferences; }
    std::string LastFailure() const override { return script_->lastFailure; }
    int SendTextMessage(const std::u16string& number, const std::u16string& text,
                        const SubmitOptions& options) override {
        if (!script_->acceptSend) return 0;
        script_->texts.emplace_back(number, text);
        script_->textOptions.push_back(options);
        script_->calls.push_back("send");
        return 1;
    }
    int SendSmartSegment(const std::u16string& number, int segment) override {
        if (!script_->acceptSend) return 0;
        script_->segments.emplace_back(number, segment);
        script_->calls.push_back("segment");
        return 1;
    }
    int BuildSmartMessage(PictureKind kind, const std::u16string& hex) override {
        script_->built.emplace_back(kind, hex);
        return script_->smartSegments;
    }
    const MessageListing& Listing() const override { return *this; }
    std::vector<SmsPart> ListedParts() const override {
        std::vector<SmsPart> parts;
        for (const SmsRecord& record : script_->listing) {
            const auto it = script_->concat.find(record.index);
            parts.push_back({record, it == script_->concat.end()
                                         ? std::nullopt
                                         : std::optional<ConcatInfo>(it->second)});
        }
        return parts;
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
    std::vector<PhonebookRefusal> PhonebookRefusals() const override {
        return script_->phonebookRefusals;
    }

    int32_t ListingSize() const override { return static_cast<int32_t>(script_->listing.size()); }
    SmsRecord ListingEntry(int32_t position) const override {
        if (position < 0 || position >= ListingSize()) return {};
        return script_->listing[position];
    }

  private:
    std::shared_ptr<EngineScript> script_;
};

}  // namespace telvane::testing
