// The Outbox run: every message of the Outbox to each of its recipients, one submission a tick,
// the newest message first.  A confirmed recipient is struck off the saved record at once, so
// that no later run sends to anyone twice; the last one moves the message to Sent.
#pragma once

#include "control/controller_host.h"
#include "control/submission_tracker.h"
#include "store/message_store.h"

namespace telvane {

class OutboxRun {
  public:
    OutboxRun(ControllerHost& host, SubmissionTracker& submissions)
        : host_(host), submissions_(submissions) {}

    // Moves messages every recipient has to Sent, then starts a run when some message still
    // has a recipient.  Beeps when the window is busy or another run goes on.
    void Start();
    // Start, queued behind the idle message that was just posted.
    void StartLater();
    // A tick of the run's timer.
    void Tick();
    // Ends the run now (the link went down).
    void Stop();
    // The engine confirmed the run's submission.
    void Confirmed();
    // A new link: no message is being served.
    void Forget() { slot_ = -1; }

    bool Running() const { return running_; }

  private:
    // True when the run is over.
    bool Step();
    void End();
    void MoveServedToSent();
    // Saves `record` at the served position; on failure the run stops, since the next tick
    // would send to the confirmed recipient again.
    bool Record(const SmsRecord& record);

    ControllerHost& host_;
    SubmissionTracker& submissions_;
    MessageStore store_;
    bool running_ = false;
    // The Outbox position being served, -1 for none.
    int slot_ = -1;
};

}  // namespace telvane
