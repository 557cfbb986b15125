// The faults a scenario injects, seen from a client on the pty.
#include <gtest/gtest.h>

#include <memory>
#include <thread>

#include "modemsim/line_pacer.h"
#include "modemsim/simulated_modem.h"
#include "pty_client.h"

namespace telvane::modemsim {
namespace {

using namespace std::chrono_literals;
using testing::Boot;
using testing::Booted;
using testing::PtyClient;

TEST(SimFaults, SimStatesAnswerThePinQuery) {
    struct Case {
        const char* scenario;
        std::vector<std::string> answers;  // to successive "AT+CMEE=1;+CPIN?"
    } cases[] = {
        {"[sim]\nstate = absent\n", {"\r\n+CME ERROR: 10\r\n"}},
        {"[sim]\nstate = pin\n", {"\r\n+CPIN: SIM PIN\r\n\r\nOK\r\n"}},
        {"[faults]\ncpin_busy = 2\n",
         {"\r\n+CME ERROR: 515\r\n", "\r\n+CME ERROR: 515\r\n", "\r\n+CPIN: READY\r\n\r\nOK\r\n"}},
    };
    for (const Case& c : cases) {
        Booted b = Boot(std::string(c.scenario) + "[modem]\n");
        b.client->Command("ATE0");
        for (const std::string& answer : c.answers) {
            EXPECT_EQ(b.client->Command("AT+CMEE=1;+CPIN?"), answer) << c.scenario;
        }
    }
}

TEST(SimFaults, PinUnlocksTheSimAndGatesMessageCommands) {
    Booted b = Boot("[sim]\nstate = pin\npin = 4321\n");
    b.client->Command("ATE0;+CMEE=1");
    EXPECT_EQ(b.client->Command("AT+CMGL=4"), "\r\n+CMS ERROR: 311\r\n");
    EXPECT_EQ(b.client->Command("AT+CPBR=1,10"), "\r\n+CME ERROR: 11\r\n");
    EXPECT_EQ(b.client->Command("AT+CPIN=\"0000\""), "\r\n+CME ERROR: 16\r\n");
    EXPECT_EQ(b.client->Command("AT+CPIN=\"4321\""), "\r\nOK\r\n");
    EXPECT_EQ(b.client->Command("AT+CPIN?"), "\r\n+CPIN: READY\r\n\r\nOK\r\n");
}

TEST(SimFaults, ProfileWithoutEcho) {
    Booted b = Boot("[modem]\necho = off\n");
    EXPECT_EQ(b.client->Command("ATE1"), "\r\nOK\r\n");
    EXPECT_EQ(b.client->Command("AT"), "AT\r\r\nOK\r\n");
    EXPECT_EQ(b.client->Command("ATZ"), "ATZ\r\r\nOK\r\n");
    EXPECT_EQ(b.client->Command("AT"), "\r\nOK\r\n");
}

TEST(SimFaults, SilentModemRecordsButNeverAnswers) {
    Booted b = Boot("[faults]\nsilent = yes\n");
    b.client->Send("\rATZ\r");
    EXPECT_EQ(b.client->Drain(150), "");
    EXPECT_TRUE(b.modem->WaitForCommand("ATZ", telvane::testing::kHangCeiling));
}

TEST(SimFaults, MuteSwallowsTheFirstAnswersOnly) {
    Booted b = Boot("[faults]\nmute = +CSQ 2\n");
    b.client->Command("ATE0");
    b.client->Send("AT+CSQ\r");
    EXPECT_EQ(b.client->Drain(100), "");
    b.client->Send("AT+CSQ\r");
    EXPECT_EQ(b.client->Drain(100), "");
    EXPECT_EQ(b.client->Command("AT+CSQ"), "\r\n+CSQ: 20,99\r\n\r\nOK\r\n");
}

TEST(SimFaults, CmeErrorToTheNamedCommand) {
    const std::string cpms = "\r\n+CPMS: \"SM\",1,30,\"SM\",1,30,\"SM\",1,30\r\n\r\nOK\r\n";
    struct Case {
        const char* faults;
        std::vector<std::pair<std::string, std::string>> steps;  // command, answer
    } cases[] = {
        {"cme = +CPMS 515 1\n", {{"AT+CPMS?", "\r\n+CME ERROR: 515\r\n"}, {"AT+CPMS?", cpms}}},
        {"cme = at+cpms 10\n",
         {{"AT+CPMS?", "\r\n+CME ERROR: 10\r\n"}, {"AT+CPMS?", "\r\n+CME ERROR: 10\r\n"}}},
        // Lines for one command apply in turn; other commands are untouched.
        {"cme = +CPMS 515 2\ncme = +CPMS 14 1\n",
         {{"AT+CSQ;+CPMS?", "\r\n+CSQ: 20,99\r\n\r\n+CME ERROR: 515\r\n"},
          {"AT+CPMS?", "\r\n+CME ERROR: 515\r\n"},
          {"AT+CPMS?", "\r\n+CME ERROR: 14\r\n"},
          {"AT+CPMS?", cpms}}},
        {"cme = +CPMS 515\n", {{"AT+CMEE=0;+CPMS?", "\r\nERROR\r\n"}}},
        // A refused command does nothing: the message is still there to read.
        {"cme = +CMGD 515 1\n",
         {{"AT+CMGD=1", "\r\n+CME ERROR: 515\r\n"},
          {"AT+CPMS?", cpms},
          {"AT+CMGD=1;+CPMS?", "\r\n+CPMS: \"SM\",0,30,\"SM\",0,30,\"SM\",0,30\r\n\r\nOK\r\n"}}},
    };
    for (const Case& c : cases) {
        Booted b = Boot(std::string("[messages]\n1 = REC READ | +1234567 | 01/07/20,11:52:45 | "
                                    "abc\n[faults]\n") +
                            c.faults,
                        "ATE0;+CMEE=1");
        for (const auto& [command, answer] : c.steps)
            EXPECT_EQ(b.Ask(command), answer) << c.faults << command;
    }
    std::string error;
    for (const char* bad :
         {"cme = +CPMS", "cme = +CPMS x", "cme = +CPMS 515 -1", "cme = +CPMS 515 1 2"}) {
        EXPECT_FALSE(ParseScenario(std::string("[faults]\n") + bad + "\n", &error)) << bad;
    }
}

TEST(SimFaults, CmsErrorOnTheChosenSubmission) {
    Booted b = Boot("[faults]\ncms_error = 2:330\n");
    b.client->Command("ATE0");
    const std::string pdu = "0001000B818096214365F7000003C1E110";
    std::vector<std::string> answers;
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(b.client->Command("AT+CMGF=0;+CMGS=16"), "\r\n> ");
        b.client->Send(pdu + "\x1A\r");
        answers.push_back(b.client->ReadUntilFinal());
    }
    EXPECT_EQ(answers[0], "\r\n+CMGS: 1\r\n\r\nOK\r\n");
    EXPECT_EQ(answers[1], "\r\n+CMS ERROR: 330\r\n");
    EXPECT_EQ(answers[2], "\r\n+CMGS: 2\r\n\r\nOK\r\n");
    EXPECT_EQ(b.modem->SubmittedPdus().size(), 2u);
}

// The network takes its time over a submission: the prompt comes at once, the result only after
// the delay; lines the modem sends on its own still go out meanwhile, and a command typed in the
// wait is answered after the result.
TEST(SimFaults, SubmissionResultWaitsForTheNetwork) {
    const std::string pdu = "0001000B818096214365F7000003C1E110";
    struct Case {
        const char* name;
        const char* command;  // the submission; its PDU follows when it prompts
        const char* result;
    } cases[] = {
        {"from the prompt", "AT+CMGS=16", "\r\n+CMGS: 1\r\n\r\nOK\r\n"},
        {"from the store", "AT+CMSS=1", "\r\n+CMSS: 1\r\n\r\nOK\r\n"},
    };
    for (const Case& c : cases) {
        Booted b =
            Boot("[network]\nsubmit_delay = 700\n[messages]\n1 = STO UNSENT | PDU | " + pdu + "\n");
        b.client->Command("ATE0");
        auto start = std::chrono::steady_clock::now();
        if (std::string(c.command) == "AT+CMGS=16") {
            EXPECT_EQ(b.client->Command(c.command), "\r\n> ") << c.name;
            start = std::chrono::steady_clock::now();
            b.client->Send(pdu + "\x1A");
        } else {
            b.client->Send(std::string(c.command) + "\r");
        }
        b.client->Send("AT+CSQ\r");
        b.modem->PushUnsolicited("+CREG: 1");
        EXPECT_EQ(b.client->Drain(250), "\r\n+CREG: 1\r\n") << c.name;
        EXPECT_EQ(b.client->ReadUntil("+CSQ: 20,99\r\n\r\nOK\r\n"),
                  std::string(c.result) + "\r\n+CSQ: 20,99\r\n\r\nOK\r\n")
            << c.name;
        EXPECT_GE(std::chrono::steady_clock::now() - start, 700ms) << c.name;
        EXPECT_EQ(b.modem->SubmittedPdus().size(), 1u) << c.name;
    }
}

TEST(SimFaults, BatchesAndBit7NoiseKeepTheBytes) {
    Booted b = Boot("[faults]\nbatches = 1 5\nbit7 = 0.5\nseed = 3\n");
    b.client->Send("AT+CPBR=?\r");
    std::string noisy = b.client->Drain(400);
    bool sawBit7 = false;
    for (char& c : noisy) {
        sawBit7 |= (c & 0x80) != 0;
        c = static_cast<char>(c & 0x7F);
    }
    EXPECT_TRUE(sawBit7);
    EXPECT_EQ(noisy.substr(0, noisy.find("OK\r") + 3),
              "AT+CPBR=?\r\r\n+CPBR: (1-250),20,14\r\n\r\nOK\r");
}

TEST(SimFaults, DelayHoldsTheAnswer) {
    Booted b = Boot("[faults]\ndelay +CSQ = 1000\n");
    b.client->Command("ATE0");
    b.client->Send("AT+CSQ\r");
    EXPECT_EQ(b.client->Drain(100), "");
    EXPECT_EQ(b.client->ReadUntilFinal(), "\r\n+CSQ: 20,99\r\n\r\nOK\r\n");
}

TEST(SimFaults, LinkDropsInsideTheListing) {
    Booted b = Boot(
        "[messages]\n1 = REC READ | +1234567 | 01/07/20,11:52:45 | abc\n"
        "2 = REC READ | +1234567 | 01/07/20,11:52:45 | def\n[faults]\ndrop_at = +CMGL 40\n");
    b.client->Command("ATE0");
    b.client->Send("AT+CMGL=4\r");
    std::string got = b.client->ReadUntil("never", 1s);
    EXPECT_EQ(got, "\r\n+CMGL: 1,1,,20\r\n0791889623048012040791");
    EXPECT_TRUE(b.client->HungUp());
    EXPECT_FALSE(b.modem->LinkUp());

    Booted counted = Boot("[faults]\ndrop_after_bytes = 7\n");
    counted.client->Send("AT\r");
    EXPECT_EQ(counted.client->ReadUntil("never", 1s), "AT\r\r\nOK");
    EXPECT_TRUE(counted.client->HungUp());
}

TEST(SimFaults, CutAndEndlessAnswers) {
    const std::string store =
        "[messages]\n1 = REC READ | +1234567 | 01/07/20,11:52:45 | abc\n"
        "2 = REC READ | +1234567 | 01/07/20,11:52:45 | def\n[faults]\n";
    Booted cut = Boot(store + "cut = +CMGL 40\n");
    cut.client->Command("ATE0");
    cut.client->Send("AT+CMGL=4\r");
    EXPECT_EQ(cut.client->Drain(300), "\r\n+CMGL: 1,1,,20\r\n0791889623048012040791");
    EXPECT_TRUE(cut.modem->LinkUp());
    EXPECT_EQ(cut.client->Command("AT"), "\r\nOK\r\n");

    // The listing's lines come round again and again, never a final result, until the client
    // sends something.
    Booted endless = Boot(store + "endless = +CMGL\n");
    endless.client->Command("ATE0");
    endless.client->Send("AT+CMGL=4\r");
    std::string first = endless.client->ReadUntil("+CMGL: 2,");
    const std::string round = endless.client->ReadUntil("+CMGL: 2,");
    std::string more = endless.client->ReadUntil("+CMGL: 2,");
    EXPECT_EQ(first.rfind("\r\n+CMGL: 1,1,,20\r\n", 0), 0u) << first;
    EXPECT_NE(round.find("+CMGL: 1,1,,20\r\n"), std::string::npos) << round;
    EXPECT_EQ((first + round + more).find("OK"), std::string::npos);
    endless.client->Send("AT\r");
    EXPECT_NE(endless.client->ReadUntil("\r\nOK\r\n").find("\r\nOK\r\n"), std::string::npos);
    EXPECT_EQ(endless.client->Drain(100), "");
}

TEST(SimFaults, PacedLineKeepsEveryByte) {
    // A slow line with its answers cut into pieces still carries them whole and in order.
    Booted b = Boot("[modem]\nbaud = 9600\n[faults]\nbatches = 1 7\n");
    EXPECT_EQ(b.client->Command("AT+CPBR=?;+CSQ"),
              "AT+CPBR=?;+CSQ\r\r\n+CPBR: (1-250),20,14\r\n\r\n+CSQ: 20,99\r\n\r\nOK\r\n");
    EXPECT_EQ(b.client->Command("AT+CGMI"), "AT+CGMI\r\r\nTelvane\r\n\r\nOK\r\n");
}

TEST(LinePacer, NeverFasterThanTheLine) {
    using namespace std::chrono;
    const LinePacer::Clock::time_point t0{seconds(100)};
    LinePacer unpaced(0);
    EXPECT_EQ(unpaced.Allowance(t0), SIZE_MAX);

    struct Case {
        int baud;
        size_t slice;           // bytes allowed at once
        nanoseconds sliceTime;  // their line time, 10 bits a byte
    } cases[] = {{9600, 3, 3125000ns}, {115200, 46, 3993055ns}, {300, 1, 33333333ns}};
    for (const Case& c : cases) {
        LinePacer pacer(c.baud);
        EXPECT_EQ(pacer.Allowance(t0), c.slice) << c.baud;
        pacer.Wrote(c.slice, t0);
        EXPECT_EQ(pacer.FreeAt() - t0, c.sliceTime) << c.baud;
        EXPECT_EQ(pacer.Allowance(pacer.FreeAt() - 1ns), 0u) << c.baud;
        EXPECT_EQ(pacer.Allowance(pacer.FreeAt()), c.slice) << c.baud;
    }
    // A writer that wakes a little late keeps the line's schedule; after an idle spell the line
    // starts afresh instead of sending the pause's worth at once.
    LinePacer pacer(9600);
    pacer.Wrote(960, t0);
    EXPECT_EQ(pacer.FreeAt(), t0 + seconds(1));
    pacer.Wrote(3, t0 + seconds(1) + 2ms);
    EXPECT_EQ(pacer.FreeAt(), t0 + seconds(1) + 3125000ns);
    pacer.Wrote(3, t0 + seconds(10));
    EXPECT_EQ(pacer.FreeAt(), t0 + seconds(10) + 3125000ns);
}

TEST(SimFaults, UnsolicitedLinesByTimeCommandAndDemand) {
    Booted b = Boot(
        "[unsolicited]\nat 300 = +CREG: 1,5\nafter +CSQ = RING\n"
        "incoming at 400 = +886955000111 | 26/12/10,08:00:00+32 | Hi\n");
    b.client->Command("ATE0;+CNMI=2,1");
    EXPECT_EQ(b.client->ReadUntil("+CMTI: \"SM\",1\r\n"),
              "\r\n+CREG: 1,5\r\n\r\n+CMTI: \"SM\",1\r\n");
    b.client->Send("AT+CSQ\r");
    EXPECT_EQ(b.client->ReadUntil("RING\r\n"), "\r\n+CSQ: 20,99\r\n\r\nOK\r\n\r\nRING\r\n");
    b.modem->SetRegistration(5);  // no reports asked for yet: silent
    EXPECT_EQ(b.client->Command("AT+CREG=1;+CREG?"), "\r\n+CREG: 1,5\r\n\r\nOK\r\n");
    b.modem->SetRegistration(2);
    EXPECT_EQ(b.client->ReadUntil("+CREG: 2\r\n"), "\r\n+CREG: 2\r\n");
    b.modem->SetSignal(7);
    b.client->Send("AT+CSQ\r");
    EXPECT_EQ(b.client->ReadUntil("RING\r\n"), "\r\n+CSQ: 7,99\r\n\r\nOK\r\n\r\nRING\r\n");
    b.modem->PushUnsolicited("+STIN: 3");
    EXPECT_EQ(b.client->ReadUntil("\r\n+STIN: 3\r\n"), "\r\n+STIN: 3\r\n");
    EXPECT_EQ(b.modem->DeliverMessage("+886912345678", "26/12/10,09:00:00+32", u"早安"), 2);
    EXPECT_EQ(b.client->ReadUntil("+CMTI: \"SM\",2\r\n"), "\r\n+CMTI: \"SM\",2\r\n");
    EXPECT_EQ(b.client->Command("AT+CMGR=2"),
              "\r\n+CMGR: 0,,23\r\n0791889623048012040C918896214365870008622101900000230"
              "465E95B89\r\n\r\nOK\r\n");
}

TEST(SimFaults, StopIsPromptWithAClientAttached) {
    Booted b = Boot("[faults]\ndelay = 60000\n");
    b.client->Send("AT\r");
    auto start = std::chrono::steady_clock::now();
    b.modem->Stop();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
    EXPECT_FALSE(b.modem->LinkUp());
}

}  // namespace
}  // namespace telvane::modemsim
