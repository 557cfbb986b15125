// The faults a scenario injects, seen from a client on the pty.
#include <gtest/gtest.h>

#include <memory>
#include <thread>

#include "modemsim/simulated_modem.h"
#include "pty_client.h"

namespace telvane::modemsim {
namespace {

using namespace std::chrono_literals;
using testing::PtyClient;

struct Booted {
    std::unique_ptr<SimulatedModem> modem;
    std::unique_ptr<PtyClient> client;
};

Booted Boot(const std::string& text) {
    std::string error;
    auto scenario = ParseScenario(text, &error);
    EXPECT_TRUE(scenario) << error;
    if (!scenario) return {};
    Booted b;
    b.modem = std::make_unique<SimulatedModem>(std::move(*scenario));
    b.client = std::make_unique<PtyClient>(b.modem->Start());
    return b;
}

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
    EXPECT_TRUE(b.modem->WaitForCommand("ATZ", 1s));
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

TEST(SimFaults, UnsolicitedLinesByTimeCommandAndDemand) {
    Booted b = Boot(
        "[unsolicited]\nat 300 = +CREG: 1,5\nafter +CSQ = RING\n"
        "incoming at 400 = +886955000111 | 26/12/10,08:00:00+32 | Hi\n");
    b.client->Command("ATE0");
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
