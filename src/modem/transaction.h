// One command on the line and how it ended.  The job that wrote the command waits here; the
// port's reader fills in the modem's answer as it is cut: the information lines, then the final
// result (OK, ERROR, +CME ERROR, +CMS ERROR) or, for a message, the "> " prompt.
//
// The wait is bounded by an idle time that restarts whenever bytes arrive, so that a long answer
// on a slow line never times out while it is still coming, and a silent modem is found out in
// that time.  A byte limit ends an answer that never ends.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace telvane {

struct CommandResult {
    enum class End {
        kOk,
        kError,       // "ERROR"
        kCmeError,    // "+CME ERROR: n"
        kCmsError,    // "+CMS ERROR: n"
        kPrompt,      // "> ": the modem waits for the message
        kTimeout,     // nothing more came within the idle time
        kTooLong,     // the answer went on past its byte limit
        kLinkLost,    // the port's reader ended
        kNotWritten,  // the command never reached the line (closing, port refused)
        kMalformed    // an "OK" ended an answer that was damaged on the line (`damage` says how)
    };
    End end = End::kNotWritten;
    int32_t code = -1;               // the number of a +CME/+CMS error; -1 without one
    std::string finalLine;           // the final result as received
    std::vector<std::string> lines;  // the responses before it
    bool anyBytes = false;           // something came back while the command was on the line
    // Why the answer cannot be trusted ("a NUL byte in the modem's answer"); empty when whole.
    // A damaged answer that the modem ended with "OK" ends as kMalformed; other ends stay.
    std::string damage;

    bool Ok() const { return end == End::kOk; }
    // The modem gave a final result (as opposed to silence or a lost line).
    bool Answered() const;
    // The first line that contains `keyword`, or nullopt.
    std::optional<std::string_view> LineWith(std::string_view keyword) const;
};

// What a final-result line is: OK is left to the caller, which knows the framing mode.
struct FinalResult {
    CommandResult::End end;
    int32_t code;
    std::string line;
};
// The error final result among the lines of `response`, if any ("ERROR", "+CME ERROR...",
// "+CMS ERROR...", the whole line).
std::optional<FinalResult> FindErrorResult(std::string_view response);

// For reports: "the modem did not answer within 5 s", "+CME ERROR: 20 (memory full)", ...
std::string DescribeEnd(const CommandResult& result, int32_t idleMs);
// The 3GPP TS 27.007 9.2 text of a +CME ERROR number; empty when not in the table.
std::string_view CmeErrorText(int32_t code);

class Transaction {
  public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::milliseconds kTrailingFinalGrace{300};

    struct Expect {
        bool prompt = false;
        // An "OK" that comes before any line containing this is an earlier command's late
        // answer, not this one's (e.g. the second "OK" of two reset lines).
        std::string_view infoKeyword{};
        // The line with infoKeyword may be the whole answer: some modems send no "OK" behind
        // it. A final that follows within kTrailingFinalGrace still belongs to this command,
        // so that it cannot end the next one.
        bool endsOnInfo = false;
        // A late answer to this command cannot be taken for the next one's (reset lines: the
        // command after them waits for its own line).
        bool lateAnswerHarmless = false;
    };

    // Opens the slot for `command`, about to be written; `echoBytes` of what comes back may be
    // the modem's echo of it, no answer yet.
    void Begin(const Expect& expect, size_t echoBytes = 0, std::string_view command = {});
    // Closes the slot without a wait (the command was not written).
    void Cancel();
    // Waits for the end: `idle` restarts with each byte received; `maxBytes` received without
    // an end make it kTooLong.
    CommandResult Wait(std::chrono::nanoseconds idle, size_t maxBytes);
    // Every wait, present or future, ends at once (teardown).
    void Abandon();
    // True once after a wait that ended before the modem's answer did: that answer may still
    // come and would end the next command.
    bool TakeUnfinished();

    // Reader side.
    bool Open() const;
    // The command line waiting for its answer; empty when none waits.
    std::string OpenCommand() const;
    // The answer being received is damaged: it cannot end in success.  The first reason stays.
    void MarkDamaged(std::string_view reason);
    // The open command's answer is damaged so far.
    bool Damaged() const;
    bool WantsPrompt() const;
    void OnBytes(size_t count);
    // A cut response: `finalOk` when the framing made it a final "OK".
    void OnResponse(std::string_view response, bool finalOk);
    void OnPrompt();
    void OnLinkLost();

  private:
    void Finish(CommandResult::End end, int32_t code, std::string_view line);

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    bool open_ = false;
    bool done_ = false;
    bool abandoned_ = false;
    bool linkLost_ = false;
    bool wantPrompt_ = false;
    bool endsOnInfo_ = false;
    bool lateAnswerHarmless_ = false;
    std::string infoKeyword_;
    std::string command_;
    bool sawInfo_ = false;
    bool unfinished_ = false;  // the last wait ended before the modem's answer did
    size_t bytes_ = 0;
    size_t maxBytes_ = SIZE_MAX;
    size_t echoBytes_ = 0;
    Clock::time_point lastActivity_{};
    CommandResult result_;
};

}  // namespace telvane
