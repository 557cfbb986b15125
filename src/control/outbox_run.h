// The Outbox run: every message of the Outbox to each of its recipients, the newest message
// first, each send started as soon as the engine reported the one before.  A recipient is
// struck off the saved record once every part of the message reached the network, so that no
// later run sends to anyone twice.  When a send fails, the message is marked with the reason and
// left for the next run, and the run goes on with the message's other recipients.  A
// submission that got no answer holds its recipient back until the user's word.  A message
// every recipient has moves to Sent.
#pragma once

#include <set>
#include <string>
#include <vector>

#include "control/controller_host.h"
#include "store/message_store.h"

namespace telvane {

// Why the message was last not sent to some of its recipients; empty when nothing failed.
std::u16string SendFailureOf(const SmsRecord& record);
// The recipients whose submission went out without an answer (';'-separated): no run sends to
// them again until ReleaseUnconfirmed, the user's moving the message into the Outbox.
std::u16string UnconfirmedOf(const SmsRecord& record);
void ReleaseUnconfirmed(SmsRecord& record);
// What the reading pane says of a message not everyone got: not confirmed, failed; or empty.
std::u16string SendStateOf(const SmsRecord& record);
// The text as the message list shows it: a message some recipient did not get says why first.
std::u16string TextWithSendFailure(const SmsRecord& record);

class OutboxRun {
  public:
    explicit OutboxRun(ControllerHost& host) : host_(host) {}

    // Moves messages every recipient has to Sent, then starts a run when some message still
    // has a recipient.  Beeps when the window is busy or another run goes on.
    void Start();
    // Start, queued behind the idle message that was just posted.
    void StartLater();
    // Ends the run now (the link went down).
    void Stop();
    // The engine sent every part to the recipient being served; `references` are the parts'
    // message references.
    void Confirmed(const std::vector<int>& references);
    // The send to the recipient being served failed.
    void Failed(const std::u16string& reason);
    // The send's end, as the engine reported it.
    void SendEnded(const JobResult& result);
    // The submission to the recipient being served got no answer: held back, not failed.
    void NotConfirmed(const std::u16string& reason);
    // The recipient being tried is held back, not confirmed, in the saved record; false when that
    // could not be saved.
    [[nodiscard]] bool HoldUnconfirmed(const std::u16string& reason);
    // A new link: no message is being served.
    void Forget() { slot_ = -1; }

    bool Running() const { return running_; }

  private:
    // Starts the next send, or ends the run when there is none.
    void Next();
    // False when the run ended.
    [[nodiscard]] bool SubmitNext();
    void End();
    void MoveServedToSent();
    // Moves the served message at `position` to Sent, unless Sent holds it already; false when
    // a save failed.  `show`: Sent is shown after.
    [[nodiscard]] bool MoveToSent(int position, const SmsRecord& served, bool show);
    bool SentHolds(const SmsRecord& record);
    // The recipient being tried did not get the message: the reason is kept with the message
    // and shown, and the run leaves the message.  False when that could not be saved.
    [[nodiscard]] bool MarkFailed(const std::u16string& reason);
    // Saves `record` at the served position; on failure the run stops, since going on would
    // send to a confirmed recipient again.
    [[nodiscard]] bool Record(const SmsRecord& record);
    void ShowProgress();

    ControllerHost& host_;
    bool running_ = false;
    // The send whose end has not come yet, 0 for none.
    JobId awaiting_ = 0;
    // The Outbox position being served, -1 for none, and its recipients still to try in this
    // run, the first being tried now.
    int slot_ = -1;
    std::vector<std::u16string> queue_;
    // The number the last send went to, as sent, and whether it asked for delivery reports.
    std::u16string sentTo_;
    bool reportsAsked_ = false;
    // Every failure of this run, a line each, for the message at its end.
    std::u16string runFailures_;
    // Messages this run is done with, served or not: a failed one is not tried again until the
    // next run.
    std::set<int> finished_;
    int sendsStarted_ = 0;
    int sendsTotal_ = 0;
};

}  // namespace telvane
