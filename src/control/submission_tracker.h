// The one submission the engine took and has not confirmed yet, and whether a failure was
// reported for it.  The Outbox run and the smart-message run share it, so that neither acts on
// the other's confirmations.
#pragma once

#include "modem/notification.h"

namespace telvane {

enum class SendRun { kNone, kOutbox, kSmart };

class SubmissionTracker {
  public:
    // Forgets any submission and failure (a new link, or a new run).
    void Reset() {
        awaiting_ = SendRun::kNone;
        failed_ = false;
    }

    // The engine took a submission of `run`.
    void Submitted(SendRun run) { awaiting_ = run; }

    // A reference arrived: the run whose submission it confirms (kNone: nobody's).
    SendRun Confirm() {
        const SendRun run = awaiting_;
        awaiting_ = SendRun::kNone;
        return run;
    }

    // A "+CMS ERROR:" kind.  The send-failure kind always counts; the others only while a
    // submission waits.  True when it was taken as a failure.
    bool Fail(Notification notification) {
        if (notification != Notification::kCmsSendFailed && awaiting_ == SendRun::kNone)
            return false;
        failed_ = true;
        return true;
    }

    // At a run's tick: whether its last submission failed, counting one that got no answer at
    // all (the engine reports nothing then).  `silent` tells which of the two it was.  Clears
    // both.
    bool TakeFailure(SendRun run, bool* silent) {
        const bool unconfirmed = awaiting_ == run;
        *silent = unconfirmed && !failed_;
        const bool failed = failed_ || unconfirmed;
        failed_ = false;
        awaiting_ = SendRun::kNone;
        return failed;
    }

    // A run ended: a late confirmation of its submission belongs to nobody.
    void Forget(SendRun run) {
        if (awaiting_ == run) awaiting_ = SendRun::kNone;
    }

  private:
    SendRun awaiting_ = SendRun::kNone;
    bool failed_ = false;
};

}  // namespace telvane
