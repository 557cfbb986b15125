// The one send the engine took and has not reported the end of yet, and the run it belongs to.
// The Outbox run and the smart-message run share it, so that neither acts on the other's
// reports.
#pragma once

namespace telvane {

enum class SendRun { kNone, kOutbox, kSmart };

class SubmissionTracker {
  public:
    // Forgets any send (a new link, or a new run).
    void Reset() { awaiting_ = SendRun::kNone; }

    // The engine took a send of `run`.
    void Submitted(SendRun run) { awaiting_ = run; }
    bool Awaiting() const { return awaiting_ != SendRun::kNone; }

    // The engine reported the end of a send, done or failed: the run it belongs to (kNone:
    // nobody's).
    SendRun Take() {
        const SendRun run = awaiting_;
        awaiting_ = SendRun::kNone;
        return run;
    }

    // A run ended: a late report of its send belongs to nobody.
    void Forget(SendRun run) {
        if (awaiting_ == run) awaiting_ = SendRun::kNone;
    }

  private:
    SendRun awaiting_ = SendRun::kNone;
};

}  // namespace telvane
