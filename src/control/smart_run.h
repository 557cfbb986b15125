// The smart-message run: a picture message, operator logo or screen saver, every segment to
// each recipient in turn, each segment sent as soon as the engine reported the one before.  A
// failed segment ends that recipient's attempt (the rest would never complete a picture) and
// the run goes on with the next.  The recipients who got every segment are kept in Sent.
#pragma once

#include <string>
#include <vector>

#include "control/controller_host.h"
#include "control/window_interface.h"

namespace telvane {

class SmartRun {
  public:
    explicit SmartRun(ControllerHost& host) : host_(host) {}

    // Builds the message from the picture's hex digits and starts sending it to the
    // ';'-separated recipients.  Nothing while offline; beeps when the window is busy or another
    // run goes on.
    void Start(const std::u16string& recipients, PictureKind kind, const std::u16string& hex);
    // Ends the run now (the link went down).
    void Stop();
    // The engine sent the segment.
    void Confirmed();
    // The segment was not sent.
    void Failed(const std::u16string& reason);

    bool Running() const { return running_; }

  private:
    void Next();
    // False when there is nothing more to send.
    [[nodiscard]] bool SubmitNext();
    // The recipient being served is done with, served or not.
    void NextRecipient();
    void NoteFailure(const std::u16string& reason);
    void End();

    ControllerHost& host_;
    bool running_ = false;
    PictureKind kind_ = PictureKind::kPictureMessage;
    // The recipients not yet served, the first being served now.
    std::vector<std::u16string> queue_;
    // Those who got every segment, as the numbers were sent.
    std::vector<std::u16string> served_;
    std::u16string sentTo_;
    std::u16string failures_;
    int segmentCount_ = 0;
    int segmentNumber_ = 1;
    int sendsStarted_ = 0;
    int sendsTotal_ = 0;
};

}  // namespace telvane
