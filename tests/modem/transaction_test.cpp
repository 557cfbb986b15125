// A command's end as the reader sees it: final results, late answers, silence, endless answers.

#include "modem/transaction.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace telvane {
namespace {

using namespace std::chrono_literals;
using End = CommandResult::End;

TEST(FinalResult, ErrorLinesAmongTheResponse) {
    struct Case {
        const char* response;
        bool found;
        End end;
        int32_t code;
    } cases[] = {
        {"ERROR", true, End::kError, -1},
        {"+CME ERROR: 10", true, End::kCmeError, 10},
        {"+CME ERROR: 515", true, End::kCmeError, 515},
        {"+CME ERROR: SIM busy", true, End::kCmeError, -1},  // verbose form
        {"+CME ERROR", true, End::kCmeError, -1},
        {"+CMS ERROR: 321", true, End::kCmsError, 321},
        {"+CREG: 1\r\nERROR", true, End::kError, -1},  // an unsolicited line in the same block
        {"+CMGS: 5", false, End::kOk, 0},
        {"NO ERROR here", false, End::kOk, 0},
        {"ERRORS", false, End::kOk, 0},
        {"", false, End::kOk, 0},
    };
    for (const Case& c : cases) {
        const auto result = FindErrorResult(c.response);
        ASSERT_EQ(result.has_value(), c.found) << c.response;
        if (!c.found) continue;
        EXPECT_EQ(result->end, c.end) << c.response;
        EXPECT_EQ(result->code, c.code) << c.response;
    }
}

TEST(FinalResult, DescriptionsNameTheCause) {
    CommandResult r;
    r.end = End::kCmeError;
    r.code = 20;
    r.finalLine = "+CME ERROR: 20";
    EXPECT_EQ(DescribeEnd(r, 5000), "+CME ERROR: 20 (memory full)");
    r.end = End::kTimeout;
    EXPECT_EQ(DescribeEnd(r, 5000), "no answer from the modem within 5 s");
    r.anyBytes = true;
    EXPECT_EQ(DescribeEnd(r, 5000), "the answer stopped before its end (nothing more for 5 s)");
    EXPECT_EQ(CmeErrorText(515), "the modem is still initialising");
    EXPECT_EQ(CmeErrorText(9999), "");
}

TEST(Transaction, EndsOnTheFinalResultWithTheLinesBeforeIt) {
    Transaction t;
    t.Begin({});
    t.OnResponse("+CSQ: 20,99", false);
    t.OnResponse("", false);
    t.OnResponse("OK", true);
    t.OnResponse("+CREG: 1", false);  // after the end: not this command's
    const CommandResult r = t.Wait(10s, 1000);
    EXPECT_EQ(r.end, End::kOk);
    EXPECT_EQ(r.lines, std::vector<std::string>{"+CSQ: 20,99"});
    EXPECT_FALSE(t.Open());
}

TEST(Transaction, AnOkBeforeTheExpectedLineIsAnEarlierCommandsLateAnswer) {
    Transaction t;
    t.Begin({.infoKeyword = "+CPIN:"});
    t.OnResponse("OK", true);  // the second reset line's
    EXPECT_TRUE(t.Open());
    t.OnResponse("+CPIN: READY", false);
    t.OnResponse("OK", true);
    const CommandResult r = t.Wait(10s, 1000);
    EXPECT_EQ(r.end, End::kOk);
    EXPECT_EQ(r.LineWith("+CPIN:").value_or(""), "+CPIN: READY");

    // A modem that sends no "OK" behind the line: the line ends it once nothing follows, and
    // an "OK" that comes later still cannot end a next command that waits for its own line.
    t.Begin({.infoKeyword = "+CPIN:", .endsOnInfo = true});
    t.OnResponse("+CPIN: READY", false);
    EXPECT_EQ(t.Wait(10s, 1000).end, End::kOk);

    // The usual modem sends its "OK" behind the line: it is this command's, not the next's.
    t.Begin({.infoKeyword = "+CPIN:", .endsOnInfo = true});
    t.OnResponse("+CPIN: SIM PIN", false);
    t.OnResponse("OK", true);
    EXPECT_EQ(t.Wait(10s, 1000).finalLine, "OK");
    t.Begin({});
    EXPECT_TRUE(t.Open());
    t.OnResponse("+CME ERROR: 16", false);
    EXPECT_EQ(t.Wait(10s, 1000).code, 16);
    t.Begin({.infoKeyword = "+CSQ:"});
    t.OnResponse("OK", true);
    t.OnResponse("+CSQ: 20,99", false);
    t.OnResponse("OK", true);
    EXPECT_EQ(t.Wait(10s, 1000).lines, std::vector<std::string>{"+CSQ: 20,99"});

    // An error ends it whatever came before.
    t.Begin({.infoKeyword = "+CPIN:"});
    t.OnResponse("+CME ERROR: 10", false);
    EXPECT_EQ(t.Wait(10s, 1000).code, 10);
}

TEST(Transaction, PromptOnlyWhenOneIsAwaited) {
    Transaction t;
    t.Begin({});
    EXPECT_FALSE(t.WantsPrompt());
    t.OnPrompt();
    EXPECT_TRUE(t.Open());
    t.OnResponse("OK", true);
    EXPECT_EQ(t.Wait(10s, 1000).end, End::kOk);

    t.Begin({.prompt = true});
    EXPECT_TRUE(t.WantsPrompt());
    t.OnPrompt();
    EXPECT_EQ(t.Wait(10s, 1000).end, End::kPrompt);
}

TEST(Transaction, EndsWithoutAnAnswer) {
    Transaction t;
    t.Begin({});
    CommandResult r = t.Wait(1ms, 1000);
    EXPECT_EQ(r.end, End::kTimeout);
    EXPECT_FALSE(r.anyBytes);

    t.Begin({}, 7);
    t.OnBytes(7);  // "AT+CSQ" CR echoed: still no answer
    r = t.Wait(1ms, 1000);
    EXPECT_EQ(r.end, End::kTimeout);
    EXPECT_FALSE(r.anyBytes);

    t.Begin({});
    t.OnBytes(600);
    t.OnBytes(600);  // past the limit without an end: an answer that never ends
    EXPECT_EQ(t.Wait(10s, 1000).end, End::kTooLong);

    // What may still come after a wait that ended early is remembered once; an answered wait,
    // or a command whose late answer harms no one, leaves nothing behind.
    t.Begin({});
    EXPECT_EQ(t.Wait(1ms, 1000).end, End::kTimeout);
    EXPECT_TRUE(t.TakeUnfinished());
    EXPECT_FALSE(t.TakeUnfinished());
    t.Begin({});
    t.OnResponse("OK", true);
    EXPECT_EQ(t.Wait(10s, 1000).end, End::kOk);
    EXPECT_FALSE(t.TakeUnfinished());
    t.Begin({.lateAnswerHarmless = true});
    EXPECT_EQ(t.Wait(1ms, 1000).end, End::kTimeout);
    EXPECT_FALSE(t.TakeUnfinished());

    t.Begin({});
    t.OnLinkLost();
    EXPECT_EQ(t.Wait(10s, 1000).end, End::kLinkLost);

    Transaction closing;
    closing.Abandon();
    closing.Begin({});
    EXPECT_EQ(closing.Wait(10s, 1000).end, End::kNotWritten);
}

// A long answer on a slow line: bytes keep coming for several idle times, and the wait lasts.
TEST(Transaction, BytesStillArrivingKeepTheWaitGoing) {
    Transaction t;
    t.Begin({});
    std::atomic<bool> stop{false};
    std::thread line([&] {
        const auto until = std::chrono::steady_clock::now() + 1200ms;
        while (std::chrono::steady_clock::now() < until) {
            t.OnBytes(1);
            std::this_thread::sleep_for(10ms);
        }
        t.OnResponse("OK", true);
    });
    const CommandResult r = t.Wait(400ms, 1 << 20);
    line.join();
    EXPECT_EQ(r.end, End::kOk);
    EXPECT_TRUE(r.anyBytes);
}

}  // namespace
}  // namespace telvane
