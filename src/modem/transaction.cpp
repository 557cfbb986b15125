#include "modem/transaction.h"

#include <algorithm>
#include <array>
#include <utility>

#include "platform/text.h"

namespace telvane {
namespace {

using End = CommandResult::End;

struct CmeText {
    int32_t code;
    std::string_view text;
};

// 3GPP TS 27.007 9.2.1, the errors a SIM, its phonebook or the network give; 515 is the
// common vendor code for "still initialising".
constexpr CmeText kCmeTexts[] = {
    {0, "phone failure"},
    {3, "operation not allowed"},
    {4, "operation not supported"},
    {5, "PH-SIM PIN required"},
    {10, "SIM not inserted"},
    {11, "SIM PIN required"},
    {12, "SIM PUK required"},
    {13, "SIM failure"},
    {14, "SIM busy"},
    {15, "SIM wrong"},
    {16, "incorrect password"},
    {17, "SIM PIN2 required"},
    {18, "SIM PUK2 required"},
    {20, "memory full"},
    {21, "invalid index"},
    {22, "not found"},
    {23, "memory failure"},
    {24, "text string too long"},
    {25, "invalid characters in text string"},
    {26, "dial string too long"},
    {27, "invalid characters in dial string"},
    {30, "no network service"},
    {31, "network timeout"},
    {32, "network not allowed, emergency calls only"},
    {100, "unknown"},
    {515, "the modem is still initialising"},
};
static_assert(std::is_sorted(std::begin(kCmeTexts), std::end(kCmeTexts),
                             [](const CmeText& a, const CmeText& b) { return a.code < b.code; }));

// The number after the colon of an error line; -1 without one.
int32_t ErrorNumber(std::string_view line) {
    const size_t colon = line.find(':');
    if (colon == std::string_view::npos) return -1;
    const std::string_view rest = line.substr(colon + 1);
    const size_t digit = rest.find_first_not_of(' ');
    if (digit == std::string_view::npos || rest[digit] < '0' || rest[digit] > '9') return -1;
    return ReadNumber(rest);
}

}  // namespace

bool CommandResult::Answered() const {
    switch (end) {
        case End::kOk:
        case End::kError:
        case End::kCmeError:
        case End::kCmsError:
        case End::kPrompt:
        case End::kMalformed:
            return true;
        case End::kTimeout:
        case End::kTooLong:
        case End::kLinkLost:
        case End::kNotWritten:
            return false;
    }
    return false;
}

std::optional<std::string_view> CommandResult::LineWith(std::string_view keyword) const {
    for (const std::string& line : lines)
        if (line.find(keyword) != std::string::npos) return std::string_view(line);
    return std::nullopt;
}

std::optional<FinalResult> FindErrorResult(std::string_view response) {
    std::optional<FinalResult> found;
    size_t start = 0;
    while (start <= response.size()) {
        size_t end = response.find("\r\n", start);
        if (end == std::string_view::npos) end = response.size();
        const std::string_view line = response.substr(start, end - start);
        if (line == "ERROR")
            found = FinalResult{End::kError, -1, std::string(line)};
        else if (line.starts_with("+CME ERROR"))
            found = FinalResult{End::kCmeError, ErrorNumber(line), std::string(line)};
        else if (line.starts_with("+CMS ERROR"))
            found = FinalResult{End::kCmsError, ErrorNumber(line), std::string(line)};
        start = end + 2;
    }
    return found;
}

std::string_view CmeErrorText(int32_t code) {
    const auto* hit = std::lower_bound(std::begin(kCmeTexts), std::end(kCmeTexts), code,
                                       [](const CmeText& e, int32_t c) { return e.code < c; });
    return hit != std::end(kCmeTexts) && hit->code == code ? hit->text : std::string_view();
}

std::string DescribeEnd(const CommandResult& result, int32_t idleMs) {
    switch (result.end) {
        case End::kOk:
            return "done";
        case End::kPrompt:
            return "the modem waits for the message";
        case End::kError:
            return "the modem answered ERROR";
        case End::kCmeError: {
            const std::string_view text = CmeErrorText(result.code);
            return result.finalLine + (text.empty() ? "" : " (" + std::string(text) + ")");
        }
        case End::kCmsError:
            return result.finalLine;
        case End::kTimeout: {
            const std::string seconds = idleMs % 1000 == 0 ? std::to_string(idleMs / 1000) + " s"
                                                           : std::to_string(idleMs) + " ms";
            return result.anyBytes
                       ? "the answer stopped before its end (nothing more for " + seconds + ")"
                       : "no answer from the modem within " + seconds;
        }
        case End::kTooLong:
            return "the answer did not end";
        case End::kLinkLost:
            return "the link to the modem was lost";
        case End::kNotWritten:
            return "the command could not be written to the modem";
        case End::kMalformed:
            return "the modem's answer was damaged: " + result.damage;
    }
    return {};
}

void Transaction::Begin(const Expect& expect, size_t echoBytes, std::string_view command) {
    std::lock_guard lock(mutex_);
    command_ = std::string(command);
    echoBytes_ = echoBytes;
    open_ = true;
    done_ = false;
    wantPrompt_ = expect.prompt;
    endsOnInfo_ = expect.endsOnInfo;
    lateAnswerHarmless_ = expect.lateAnswerHarmless;
    infoKeyword_ = std::string(expect.infoKeyword);
    sawInfo_ = false;
    bytes_ = 0;
    lastActivity_ = Clock::now();
    result_ = CommandResult{};
}

void Transaction::Cancel() {
    std::lock_guard lock(mutex_);
    open_ = false;
}

CommandResult Transaction::Wait(std::chrono::nanoseconds idle, size_t maxBytes) {
    std::unique_lock lock(mutex_);
    maxBytes_ = maxBytes;
    // The idle time counts from the write, not from the last answer to an earlier command.
    lastActivity_ = std::max(lastActivity_, Clock::now());
    for (;;) {
        if (done_) break;
        if (abandoned_) {
            result_.end = End::kNotWritten;
            break;
        }
        if (linkLost_) {
            result_.end = End::kLinkLost;
            break;
        }
        if (bytes_ > maxBytes) {
            result_.end = End::kTooLong;
            break;
        }
        // A line-ended answer is whole once its trailing final has had time to come.
        const bool lineEnded = endsOnInfo_ && sawInfo_;
        const auto deadline =
            lastActivity_ +
            (lineEnded ? std::min<std::chrono::nanoseconds>(idle, kTrailingFinalGrace) : idle);
        if (Clock::now() >= deadline) {
            if (lineEnded) {
                Finish(End::kOk, -1, "");
                break;
            }
            result_.end = End::kTimeout;
            break;
        }
        changed_.wait_until(lock, deadline);
    }
    open_ = false;
    wantPrompt_ = false;
    unfinished_ =
        !lateAnswerHarmless_ && (result_.end == End::kTimeout || result_.end == End::kTooLong);
    result_.anyBytes = bytes_ > echoBytes_;
    return std::exchange(result_, CommandResult{});
}

bool Transaction::TakeUnfinished() {
    std::lock_guard lock(mutex_);
    return std::exchange(unfinished_, false);
}

void Transaction::Abandon() {
    {
        std::lock_guard lock(mutex_);
        abandoned_ = true;
    }
    changed_.notify_all();
}

bool Transaction::Open() const {
    std::lock_guard lock(mutex_);
    return open_ && !done_;
}

std::string Transaction::OpenCommand() const {
    std::lock_guard lock(mutex_);
    return open_ && !done_ ? command_ : std::string();
}

void Transaction::MarkDamaged(std::string_view reason) {
    std::lock_guard lock(mutex_);
    if (!open_ || done_ || !result_.damage.empty()) return;
    result_.damage = std::string(reason);
}

bool Transaction::Damaged() const {
    std::lock_guard lock(mutex_);
    return open_ && !done_ && !result_.damage.empty();
}

bool Transaction::WantsPrompt() const {
    std::lock_guard lock(mutex_);
    return open_ && !done_ && wantPrompt_;
}

void Transaction::OnBytes(size_t count) {
    std::lock_guard lock(mutex_);
    lastActivity_ = Clock::now();
    if (!open_ || done_) return;
    bytes_ += count;
    // A waiter sees a new deadline when its old one passes; the byte limit needs a look now.
    if (bytes_ > maxBytes_) changed_.notify_all();
}

void Transaction::OnResponse(std::string_view response, bool finalOk) {
    {
        std::lock_guard lock(mutex_);
        if (!open_ || done_) return;
        if (!finalOk) {
            if (std::optional<FinalResult> error = FindErrorResult(response)) {
                Finish(error->end, error->code, error->line);
            } else if (!response.empty()) {
                result_.lines.emplace_back(response);
                if (infoKeyword_.empty() || response.find(infoKeyword_) == std::string_view::npos)
                    return;
                sawInfo_ = true;
                if (!endsOnInfo_) return;
            } else {
                return;
            }
        } else {
            // An "OK" before the expected line answers an earlier command.
            if (!infoKeyword_.empty() && !sawInfo_) return;
            Finish(End::kOk, -1, "OK");
        }
    }
    changed_.notify_all();
}

void Transaction::OnPrompt() {
    {
        std::lock_guard lock(mutex_);
        if (!open_ || done_ || !wantPrompt_) return;
        Finish(End::kPrompt, -1, "> ");
    }
    changed_.notify_all();
}

void Transaction::OnLinkLost() {
    {
        std::lock_guard lock(mutex_);
        linkLost_ = true;
    }
    changed_.notify_all();
}

void Transaction::Finish(End end, int32_t code, std::string_view line) {
    done_ = true;
    result_.end = end == End::kOk && !result_.damage.empty() ? End::kMalformed : end;
    result_.code = code;
    result_.finalLine = std::string(line);
}

}  // namespace telvane
