#include "control/smart_run.h"

#include "codec/phone_number.h"
#include "control/recipients.h"
#include "platform/text.h"
#include "store/list_date.h"
#include "store/message_store.h"

namespace telvane {

namespace {

// Job starters are asked this many times in a row before a request counts as refused.
constexpr int kStartAttempts = 201;

UiText KindLabel(PictureKind kind) {
    switch (kind) {
        case PictureKind::kPictureMessage:
            return ui_text::kPictureMessage;
        case PictureKind::kOperatorLogo:
            return ui_text::kPhoneLogo;
        case PictureKind::kScreenSaver:
            return ui_text::kScreenSaver;
    }
    return ui_text::kPictureMessage;
}

// "46692" or "310260": a network's MCC and MNC, as the engine asks the operator to be named.
bool IsNetworkCode(std::u16string_view code) {
    if (code.size() != 5 && code.size() != 6) return false;
    for (const char16_t c : code)
        if (c < u'0' || c > u'9') return false;
    return true;
}

}  // namespace

void SmartRun::Start(const std::u16string& recipients, PictureKind kind,
                     const std::u16string& hex) {
    LinkEngine* engine = host_.Engine();
    if (!host_.Online() || engine == nullptr) return;
    if (host_.Busy() || host_.SendRunActive()) {
        host_.Window().Beep();
        return;
    }
    kind_ = kind;
    // Without the network's own code the logo would go out for network 000/00.
    const bool logoWithoutNetwork =
        kind == PictureKind::kOperatorLogo && !IsNetworkCode(engine->OperatorText());
    segmentCount_ = logoWithoutNetwork ? 0 : engine->BuildSmartMessage(kind, hex);
    if (segmentCount_ <= 0) {
        const std::u16string reason =
            LoadUiString(kind == PictureKind::kOperatorLogo ? ui_text::kLogoNeedsNetworkCode
                                                            : ui_text::kPleaseInputMessage);
        host_.ShowStatus(LoadUiString(ui_text::kSendFailed) + u": " + reason);
        host_.Window().ShowMessageText(LoadUiString(ui_text::kSendFailed) + u"\n" + reason);
        return;
    }
    host_.PostBusy(BusyHolder::kSmartRun, true);
    queue_.clear();
    std::u16string list = recipients;
    while (!list.empty()) {
        std::u16string recipient = TakeRecipient(list);
        if (!recipient.empty()) queue_.push_back(std::move(recipient));
    }
    served_.clear();
    failures_.clear();
    segmentNumber_ = 1;
    sendsStarted_ = 0;
    sendsTotal_ = static_cast<int>(queue_.size()) * segmentCount_;
    running_ = true;
    Next();
}

void SmartRun::Stop() {
    if (running_) End();
}

void SmartRun::Next() {
    if (!SubmitNext()) End();
}

bool SmartRun::SubmitNext() {
    for (;;) {
        LinkEngine* engine = host_.Engine();
        if (segmentCount_ <= 0 || queue_.empty() || !host_.Online() || engine == nullptr)
            return false;
        const PhoneNumber number = NormalisePhoneNumber(queue_.front());
        if (!number.ok()) {
            NoteFailure(number.Reason());
            NextRecipient();
            continue;
        }
        ++sendsStarted_;
        host_.ShowStatus(FormatUiString(
            ui_text::kSendingCount,
            {Widen(std::to_string(sendsStarted_)), Widen(std::to_string(sendsTotal_))}));
        const int segment = segmentNumber_;
        for (int attempt = 0; attempt < kStartAttempts; ++attempt) {
            const JobHandle job = host_.RunJob(
                [&number, segment](LinkEngine& link, JobDone done) {
                    return link.SendSmartSegment(number.number, segment, std::move(done));
                },
                [this](const JobResult& result) {
                    if (result.Ok())
                        Confirmed();
                    else
                        Failed(result.status == JobStatus::kNotConfirmed
                                   ? LoadUiString(ui_text::kNotConfirmed)
                                   : Utf8ToU16(result.reason));
                });
            if (job) {
                sentTo_ = number.number;
                return true;
            }
        }
        // The engine would not take it: this recipient and the rest are told, not served.
        while (!queue_.empty()) {
            NoteFailure(LoadUiString(ui_text::kModemRefusedJob));
            NextRecipient();
        }
        return false;
    }
}

void SmartRun::NextRecipient() {
    if (!queue_.empty()) queue_.erase(queue_.begin());
    // What this recipient did not get is not sent to anyone.
    sendsTotal_ = sendsStarted_ + static_cast<int>(queue_.size()) * segmentCount_;
    segmentNumber_ = 1;
}

void SmartRun::Confirmed() {
    if (!running_) return;
    if (segmentNumber_ < segmentCount_) {
        ++segmentNumber_;
    } else {
        served_.push_back(sentTo_);
        NextRecipient();
    }
    Next();
}

void SmartRun::Failed(const std::u16string& reason) {
    if (!running_) return;
    NoteFailure(reason);
    NextRecipient();
    Next();
}

void SmartRun::NoteFailure(const std::u16string& reason) {
    const std::u16string line = (queue_.empty() ? u"" : queue_.front() + u": ") + reason;
    host_.ShowStatus(LoadUiString(ui_text::kSendFailed) + u": " + line);
    failures_ += (failures_.empty() ? u"" : u"\n") + line;
}

void SmartRun::End() {
    running_ = false;
    segmentCount_ = 0;
    segmentNumber_ = 1;
    queue_.clear();
    if (!served_.empty()) {
        // Kept in Sent like a text, under the kind's name: the picture itself is not stored.
        SmsRecord record;
        record.index = -1;
        for (const std::u16string& number : served_)
            record.number += (record.number.empty() ? u"" : u";") + number;
        record.time = MakeLocalTimeStamp();
        record.text = LoadUiString(KindLabel(kind_));
        bool full = false;
        const bool saved = host_.Tables().Change(FolderId::Sent, [&](FolderTable& sent) {
            full = sent.Add(record) == 0;
            return !full;
        });
        if (full) {
            host_.Window().Beep();
            host_.ShowStatus(LoadUiString(ui_text::kSentFull));
        } else if (saved) {
            host_.ShowFolder(static_cast<int>(FolderId::Sent));
        }
        served_.clear();
    }
    if (!failures_.empty()) {
        host_.ShowStatus(LoadUiString(ui_text::kSendFailed));
        host_.Window().ShowMessageText(LoadUiString(ui_text::kSomeNotSent) + u"\n" + failures_);
    } else if (sendsStarted_ > 0) {
        host_.ShowStatus(LoadUiString(ui_text::kSendComplete));
    }
    host_.PostBusy(BusyHolder::kSmartRun, false);
}

}  // namespace telvane
