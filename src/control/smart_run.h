// The smart-message run: a picture message, operator logo or screen saver, every segment to
// each recipient in turn, one submission a tick.  A failed segment ends the run, since its
// recipient would be left with a message that never completes.
#pragma once

#include <string>

#include "control/controller_host.h"
#include "control/submission_tracker.h"
#include "control/window_interface.h"

namespace telvane {

class SmartRun {
  public:
    SmartRun(ControllerHost& host, SubmissionTracker& submissions)
        : host_(host), submissions_(submissions) {}

    // Builds the message from the picture's hex digits and starts sending it to the
    // ';'-separated recipients.  Nothing while offline; beeps when the window is busy or another
    // run goes on.
    void Start(const std::u16string& recipients, PictureKind kind, const std::u16string& hex);
    // A tick of the run's timer.
    void Tick();
    // Ends the run now (the link went down).
    void Stop();
    // The engine confirmed the run's submission.
    void Confirmed();

    bool Running() const { return running_; }

  private:
    // True when the run is over.
    bool Step();
    bool Finish();
    void End();

    ControllerHost& host_;
    SubmissionTracker& submissions_;
    bool running_ = false;
    // The recipients not yet served whole, the first being served now.
    std::u16string recipients_;
    int segmentCount_ = 0;
    int segmentNumber_ = 1;
};

}  // namespace telvane
