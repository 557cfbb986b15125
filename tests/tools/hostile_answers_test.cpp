// Answers a careless or hostile modem gives: lines of its own between the entries, a NUL, an
// entry that is not one, a range too large.
#include <gtest/gtest.h>

#include <string>

#include "modemsim/simulated_modem.h"
#include "pty_client.h"

namespace telvane::modemsim {
namespace {

using testing::Boot;
using testing::Booted;

// Three stored messages with one short PDU, so that every entry reads the same.
const std::string kPdu = "0001000B818096214365F7000003C1E110";
const std::string kStore = "[messages]\n1 = STO UNSENT | PDU | " + kPdu +
                           "\n2 = STO UNSENT | PDU | " + kPdu + "\n3 = STO UNSENT | PDU | " + kPdu +
                           "\n[phonebook]\n1 = 0911 | Al\n2 = 0922 | Bo\n[faults]\n";

std::string Entry(int index) {
    return "+CMGL: " + std::to_string(index) + ",2,,16\r\n" + kPdu + "\r\n";
}

TEST(SimHostileAnswers, LinesAndNulsPutBetweenTheEntries) {
    const std::string e1 = Entry(1), e2 = Entry(2), e3 = Entry(3);
    const std::string ok = "\r\nOK\r\n";
    const std::string creg = "\r\n+CREG: 1\r\n";
    struct Case {
        const char* faults;
        const char* command;
        std::string answer;
    } cases[] = {
        {"inject = +CMGL 2 +CREG: 1", "AT+CMGL=4", "\r\n" + e1 + e2 + creg + e3 + ok},
        {"inject = at+cmgl 0 +CREG: 1", "AT+CMGL=4", creg + "\r\n" + e1 + e2 + e3 + ok},
        {"inject = +CMGL ok +CREG: 1", "AT+CMGL=4", "\r\n" + e1 + e2 + e3 + ok + creg},
        {"inject = +CMGL 1 NO CARRIER\ninject = +CMGL 3 +CSQ: 9,99", "AT+CMGL=4",
         "\r\n" + e1 + "\r\nNO CARRIER\r\n" + e2 + e3 + "\r\n+CSQ: 9,99\r\n" + ok},
        // An answer with fewer entries gets none.
        {"inject = +CMGL 4 +CREG: 1", "AT+CMGL=4", "\r\n" + e1 + e2 + e3 + ok},
        {"nul = +CMGL 1", "AT+CMGL=4", "\r\n" + e1 + std::string(1, '\0') + e2 + e3 + ok},
        {"inject = +CMGR 1 +CREG: 1", "AT+CMGR=2",
         "\r\n+CMGR: 2,,16\r\n" + kPdu + "\r\n" + creg + ok},
        {"inject = +CPBR 1 BUSY", "AT+CPBR=1,10",
         "\r\n+CPBR: 1,\"0911\",129,\"Al\"\r\n\r\nBUSY\r\n+CPBR: 2,\"0922\",129,\"Bo\"\r\n" + ok},
        // Only the command named: the +CSQ before it in the line is left alone.
        {"inject = +CPBR ok +CREG: 1", "AT+CSQ;+CPBR=2",
         "\r\n+CSQ: 20,99\r\n\r\n+CPBR: 2,\"0922\",129,\"Bo\"\r\n" + ok + creg},
    };
    for (const Case& c : cases) {
        Booted b = Boot(kStore + c.faults + "\n", "ATE0");
        b.client->Send(std::string(c.command) + "\r");
        EXPECT_EQ(b.client->ReadUntil(c.answer), c.answer) << c.faults;
    }
}

// A submission's result gets its lines too, held with it while the network takes its time.
TEST(SimHostileAnswers, LinesAroundASubmissionsResult) {
    struct Case {
        const char* scenario;
        const char* answer;
    } cases[] = {
        {"[faults]\ninject = +CMGS ok +CREG: 1\ninject = +CMGS 1 +CSQ: 9,99\n",
         "\r\n+CMGS: 1\r\n\r\n+CSQ: 9,99\r\n\r\nOK\r\n\r\n+CREG: 1\r\n"},
        {"[faults]\ninject_apart = +CMGS 0 +CREG: 1\n[network]\nsubmit_delay = 300\n",
         "\r\n+CREG: 1\r\n\r\n+CMGS: 1\r\n\r\nOK\r\n"},
    };
    for (const Case& c : cases) {
        Booted b = Boot(c.scenario, "ATE0");
        EXPECT_EQ(b.Ask("AT+CMGS=16"), "\r\n> ") << c.scenario;
        b.client->Send(kPdu + "\x1A");
        EXPECT_EQ(b.client->ReadUntil(c.answer), c.answer) << c.scenario;
    }
}

// Entries that are not what they say: a header that is no header, a length that lies.
TEST(SimHostileAnswers, RawMessageEntries) {
    Booted b = Boot("[messages]\n1 = STO UNSENT | PDU | " + kPdu +
                        "\n2 = raw:+CMGL: abc | 0011\n3 = RAW:+CMGL: 3,1,,99 | " + kPdu +
                        "\n4 = raw:+CMGR: 0,,5 |\n",
                    "ATE0");
    const std::string listing = "\r\n" + Entry(1) + "+CMGL: abc\r\n0011\r\n+CMGL: 3,1,,99\r\n" +
                                kPdu + "\r\n+CMGR: 0,,5\r\n\r\n\r\nOK\r\n";
    struct Case {
        const char* command;
        std::string answer;
    } cases[] = {
        {"AT+CMGL=4", listing},
        // Whatever status is asked for, they are listed.
        {"AT+CMGL=0", "\r\n+CMGL: abc\r\n0011\r\n+CMGL: 3,1,,99\r\n" + kPdu +
                          "\r\n+CMGR: 0,,5\r\n\r\n\r\nOK\r\n"},
        {"AT+CMGR=3", "\r\n+CMGL: 3,1,,99\r\n" + kPdu + "\r\n\r\nOK\r\n"},
        {"AT+CMSS=2", "\r\n+CMS ERROR: 304\r\n"},
        {"AT+CMGD=2;+CMGR=2", "\r\n+CMS ERROR: 321\r\n"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(b.Ask(c.command), c.answer) << c.command;
    std::string error;
    for (const char* bad : {"[messages]\n1 = raw:+CMGL: 1\n", "[messages]\n1 = raw: | 00\n"})
        EXPECT_FALSE(ParseScenario(bad, &error)) << bad;
}

// The line comes in a write of its own: the entries before it arrive first, then the line,
// then the rest.
TEST(SimHostileAnswers, InjectedLineApartFromTheEntries) {
    Booted b = Boot(kStore + "inject_apart = +CPBR 1 +CSQ: 9,99\n", "ATE0");
    b.client->Send("AT+CPBR=1,10\r");
    EXPECT_EQ(b.client->ReadUntil("\"Al\"\r\n"), "\r\n+CPBR: 1,\"0911\",129,\"Al\"\r\n");
    EXPECT_EQ(b.client->ReadUntil("+CSQ: 9,99\r\n"), "\r\n+CSQ: 9,99\r\n");
    EXPECT_EQ(b.client->ReadUntil("OK\r\n"), "+CPBR: 2,\"0922\",129,\"Bo\"\r\n\r\nOK\r\n");
}

TEST(SimHostileAnswers, RawPhonebookEntryAndForeignRange) {
    Booted raw = Boot(
        "[phonebook]\n1 = 0911 | Al\n2 = raw:+CPBR: 2,\"0912000002\"\n3 = 0933 | Cy\n", "ATE0");
    EXPECT_EQ(raw.Ask("AT+CPBR=1,3"),
              "\r\n+CPBR: 1,\"0911\",129,\"Al\"\r\n+CPBR: 2,\"0912000002\"\r\n"
              "+CPBR: 3,\"0933\",129,\"Cy\"\r\n\r\nOK\r\n");
    // Written over, the entry is an ordinary one.
    EXPECT_EQ(raw.Ask("AT+CPBW=2,\"0922\",129,\"Bo\""), "\r\nOK\r\n");
    EXPECT_EQ(raw.Ask("AT+CPBR=2"), "\r\n+CPBR: 2,\"0922\",129,\"Bo\"\r\n\r\nOK\r\n");

    struct Case {
        const char* phonebook;
        const char* command;
        const char* answer;
    } cases[] = {
        {"cpbr_range = (1-20000),20,14", "AT+CPBR=?", "\r\n+CPBR: (1-20000),20,14\r\n\r\nOK\r\n"},
        {"cpbr_range = (0-0", "AT+CPBR=?", "\r\n+CPBR: (0-0\r\n\r\nOK\r\n"},
        {"capacity = 20000", "AT+CPBR=?", "\r\n+CPBR: (1-20000),20,14\r\n\r\nOK\r\n"},
        {"capacity = 20000\n19999 = 0919 | Zed", "AT+CPBR=1,20000",
         "\r\n+CPBR: 19999,\"0919\",129,\"Zed\"\r\n\r\nOK\r\n"},
    };
    for (const Case& c : cases) {
        Booted b = Boot(std::string("[phonebook]\n") + c.phonebook + "\n", "ATE0");
        EXPECT_EQ(b.Ask(c.command), c.answer) << c.phonebook;
    }
    std::string error;
    for (const char* bad : {"[phonebook]\n2 = raw:\n", "[faults]\ninject = +CMGL 1\n",
                            "[faults]\ninject = +CMGL x +CREG: 1\n", "[faults]\nnul = +CMGL\n",
                            "[faults]\nnul = +CMGL ok\n", "[phonebook]\ncapacity = 65536\n"}) {
        EXPECT_FALSE(ParseScenario(bad, &error)) << bad;
    }
}

}  // namespace
}  // namespace telvane::modemsim
