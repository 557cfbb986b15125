#include <gtest/gtest.h>

#include <random>
#include <string>
#include <utility>
#include <vector>

#include "modem/response_framer.h"

namespace telvane {
namespace {

// Every non-empty response cut after each batch, in order.
std::vector<std::string> Cut(ResponseFramer& framer, const std::vector<std::string>& batches,
                             bool waiting = false) {
    std::vector<std::string> responses;
    std::string response;
    for (const std::string& batch : batches) {
        framer.Append(batch);
        while (framer.Extract(response, waiting))
            if (!response.empty()) responses.push_back(response);
        framer.Trim();
    }
    return responses;
}

struct FramingCase {
    const char* name;
    std::vector<std::string> batches;
    std::vector<std::string> responses;
};

TEST(ResponseFramer, CutsResponsesFromRawText) {
    const FramingCase cases[] = {
        {"single line", {"\r\n+CSQ: 20,99\r\n"}, {"+CSQ: 20,99"}},
        {"OK split after its O", {"\r\nO", "K\r\n"}, {"OK"}},
        {"CR and LF in different batches", {"\r", "\nOK\r", "\n"}, {"OK"}},
        {"unsolicited line, then OK in one batch",
         {"\r\n+CMTI: \"SM\",3\r\n\r\nOK\r\n"},
         {"+CMTI: \"SM\",3\r\n", "OK"}},
        {"echo before the first CR LF is dropped",
         {"AT+CSQ\r\r\n+CSQ: 20,99\r\n\r\nOK\r\n"},
         {"+CSQ: 20,99\r\n", "OK"}},
        {"two unsolicited lines with a later OK form one block",
         {"\r\n+CREG: 1\r\n\r\n+CMTI: \"SM\",4\r\n\r\nOK\r\n"},
         {"+CREG: 1\r\n\r\n+CMTI: \"SM\",4\r\n", "OK"}},
        {"listing held back until its OK",
         {"\r\n+CMGL: 1,1,,5\r\n0791AB\r\n", "\r\n+CMGL: 2,0,,5\r\n0791CD\r\n", "\r\nOK\r\n"},
         {"+CMGL: 1,1,,5\r\n0791AB\r\n\r\n+CMGL: 2,0,,5\r\n0791CD\r\n", "OK"}},
        {"phonebook read held back until its OK",
         {"\r\n+CPBR: 1,\"555\",129,\"Ann\"\r\n", "\r\nOK\r\n"},
         {"+CPBR: 1,\"555\",129,\"Ann\"\r\n", "OK"}},
        {"message read: header, then its PDU line on its own",
         {"\r\n+CMGR: 0,,23\r\n", "0791AB\r\n\r\nOK\r\n"},
         {"+CMGR: 0,,23", "0791AB\r\n", "OK"}},
        {"a control byte is dropped, the rest of its batch kept",
         {std::string("\r\n+CSQ: 2\0"
                      "0,99\r\n\r\nO\x01K\r\n",
                      23)},
         {"+CSQ: 20,99\r\n", "OK"}},
        {"OK ends a listing only as a whole line",
         {"\r\n+CPBR: 1,\"5\",129,\"A\"\r\nNOTOK\r\n"},
         {}},
        {"bare LFs frame nothing", {"\nOK\n\n+CSQ: 1,1\n"}, {}},
        {"an OK that arrived before later lines stays a result of its own",
         {"\r\nOK\r\n\r\n+CMTI: \"SM\",5\r\n\r\nOK\r\n"},
         {"OK", "\r\n+CMTI: \"SM\",5\r\n", "OK"}},
        {"half a response waits", {"\r\n+CSQ: 20"}, {}},
        {"text before any CR LF waits", {"garbage without line end"}, {}},
    };
    for (const FramingCase& c : cases) {
        ResponseFramer framer;
        EXPECT_EQ(Cut(framer, c.batches), c.responses) << c.name;
    }
}

TEST(ResponseFramer, StripsBitSeven) {
    ResponseFramer framer;
    const uint8_t bytes[] = {0x0D, 0x8A, 0xCF, 0x4B, 0x8D, 0x0A};  // CR LF "OK" CR LF, noisy
    framer.Append(bytes, sizeof bytes);
    std::string response;
    ASSERT_TRUE(framer.Extract(response, false));
    EXPECT_EQ(response, "OK");
}

TEST(ResponseFramer, FinalOkOfASendStaysOutsideLineByLineCutting) {
    ResponseFramer framer;
    framer.Append("\r\n+CMGS: 12\r\n\r\nOK\r\n");
    std::string response;
    ASSERT_TRUE(framer.Extract(response, true));
    EXPECT_EQ(response, "+CMGS: 12\r\n");
    EXPECT_EQ(framer.ListMode(), 1);
    std::vector<std::string> rest;
    while (framer.Extract(response, true))
        rest.push_back(response);
    ASSERT_FALSE(rest.empty());
    EXPECT_EQ(rest.back(), "OK");
    EXPECT_EQ(framer.ListMode(), 0);  // so the "OK" counts as the send's final result
}

TEST(ResponseFramer, BoundsTextThatNeverCompletesAResponse) {
    ResponseFramer framer;
    const std::string chunk(60000, 'A');
    framer.Append("\r\n+CMGL: 1,1,,5\r\n");  // a listing that never ends
    for (int i = 0; i < 40; ++i) {
        framer.Append(chunk + "\r\n");
        framer.Trim();
        ASSERT_LE(framer.PendingSize(), ResponseFramer::kMaxPending + chunk.size() + 2);
    }
    // Framing goes on after the drop.
    framer.Append("\r\n\r\n+CSQ: 9,99\r\n");
    std::string response, last;
    while (framer.Extract(response, false))
        if (!response.empty()) last = response;
    EXPECT_EQ(last, "+CSQ: 9,99");
}

// A listing cut into any batches comes out as the same block.
TEST(ResponseFramer, ListingBatchBoundariesDoNotMatter) {
    std::string stream = "AT+CMGF=0;+CMGL=4\r\r\n";
    for (int i = 1; i <= 150; ++i)
        stream += "+CMGL: " + std::to_string(i) +
                  ",1,,23\r\n07911326040000F0040B911346610089F60000208062917314080CC8329BFD\r\n";
    stream += "\r\nOK\r\n";

    ResponseFramer whole;
    const std::vector<std::string> expected = Cut(whole, {stream});
    ASSERT_EQ(expected.size(), 2u);
    EXPECT_EQ(expected[1], "OK");

    std::mt19937 random(11);
    for (int round = 0; round < 20; ++round) {
        std::vector<std::string> batches;
        for (size_t at = 0; at < stream.size();) {
            const size_t n =
                std::uniform_int_distribution<size_t>(1, round < 10 ? 7 : 4096)(random);
            batches.push_back(stream.substr(at, n));
            at += n;
        }
        ResponseFramer framer;
        EXPECT_TRUE(Cut(framer, batches) == expected) << "round " << round;
    }
}

// The response a control byte fell in is damaged, and only that one.
TEST(ResponseFramer, ControlBytesDamageTheirResponse) {
    ResponseFramer framer;
    framer.Append(
        std::string("\r\n+CSQ: 20,99\r\n\r\n+CREG: \0"
                    "1\r\n\r\n+CSQ: 1,1\r\n",
                    42));
    std::string response;
    std::vector<std::pair<std::string, bool>> damaged;
    while (framer.Extract(response, false)) {
        const bool damage = framer.TakeDamaged();
        if (!response.empty()) damaged.emplace_back(response, damage);
    }
    EXPECT_EQ(damaged, (std::vector<std::pair<std::string, bool>>{
                           {"+CSQ: 20,99", false}, {"+CREG: 1", true}, {"+CSQ: 1,1", false}}));
    EXPECT_FALSE(framer.TakeDamaged());
}

}  // namespace
}  // namespace telvane
