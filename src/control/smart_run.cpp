#include "control/smart_run.h"

#include "control/recipients.h"

namespace telvane {

namespace {

// Job starters are asked this many times in a row before a request counts as refused.
constexpr int kStartAttempts = 201;

}  // namespace

void SmartRun::Start(const std::u16string& recipients, PictureKind kind,
                     const std::u16string& hex) {
    LinkEngine* engine = host_.Engine();
    if (!host_.Online() || engine == nullptr) return;
    if (host_.Busy() || host_.SendRunActive()) {
        host_.Window().Beep();
        return;
    }
    host_.PostBusy(true);
    segmentCount_ = engine->BuildSmartMessage(kind, hex);
    recipients_ = recipients;
    TrimLeadingSeparators(recipients_);
    segmentNumber_ = 1;
    submissions_.Reset();
    running_ = true;
    if (Step()) {
        End();
    } else {
        host_.StartTimer(kTimerSmartStep, 10000);
    }
}

void SmartRun::Tick() {
    if (!running_) {
        host_.Window().KillTimer(kTimerSmartStep);
    } else if (Step()) {
        End();
    }
}

void SmartRun::Stop() {
    if (!running_) return;
    Finish();
    End();
}

void SmartRun::Confirmed() {
    if (segmentCount_ == 0) host_.ShowStatus(LoadUiString(ui_text::kSendComplete));
}

bool SmartRun::Finish() {
    segmentNumber_ = 1;
    segmentCount_ = 0;
    return true;
}

bool SmartRun::Step() {
    bool silent = false;
    if (submissions_.TakeFailure(SendRun::kSmart, &silent)) {
        if (silent) host_.ShowStatus(LoadUiString(ui_text::kSendFailed));
        return Finish();
    }
    LinkEngine* engine = host_.Engine();
    if (segmentCount_ == 0 || recipients_.empty() || !host_.Online() || engine == nullptr)
        return Finish();
    host_.ShowStatus(LoadUiString(ui_text::kPleaseWait));

    std::u16string rest = recipients_;
    const std::u16string recipient = TakeRecipient(rest);
    bool started = false;
    for (int attempt = 0; attempt < kStartAttempts && !started; ++attempt) {
        started = engine->SendSmartSegment(recipient, segmentNumber_) != 0;
    }
    if (!started) return Finish();
    submissions_.Submitted(SendRun::kSmart);

    if (segmentNumber_ == segmentCount_) {
        segmentNumber_ = 1;
        recipients_ = rest;
        if (rest.empty()) segmentCount_ = 0;
    } else {
        ++segmentNumber_;
    }
    return false;
}

void SmartRun::End() {
    host_.Window().KillTimer(kTimerSmartStep);
    running_ = false;
    submissions_.Forget(SendRun::kSmart);
    host_.PostBusy(false);
}

}  // namespace telvane
