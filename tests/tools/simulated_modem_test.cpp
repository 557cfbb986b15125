// The simulator answering a client on a real pty: framing, start-up answers, the message store
// and the phonebook.
#include "modemsim/simulated_modem.h"

#include <gtest/gtest.h>

#include <memory>

#include "pty_client.h"

namespace telvane::modemsim {
namespace {

using testing::PtyClient;

class SimTest : public ::testing::Test {
  protected:
    void Boot(const std::string& scenarioText) {
        std::string error;
        auto scenario = ParseScenario(scenarioText, &error);
        ASSERT_TRUE(scenario) << error;
        modem_ = std::make_unique<SimulatedModem>(std::move(*scenario));
        std::string path = modem_->Start();
        ASSERT_FALSE(path.empty()) << modem_->Error();
        client_ = std::make_unique<PtyClient>(path);
        ASSERT_TRUE(client_->Ok());
    }
    std::string Ask(const std::string& line) { return client_->Command(line); }

    std::unique_ptr<SimulatedModem> modem_;
    std::unique_ptr<PtyClient> client_;
};

const char kSmallSim[] = R"(
[sim]
service_centre = +886932400821
message_capacity = 5
[messages]
1 = REC READ | +1234567 | 01/07/20,11:52:45 | abc
2 = REC UNREAD | +886912345678 | 26/12/03,07:30:45+32 | late
4 = STO UNSENT | 0912345678 | | draft
[phonebook]
capacity = 10
number_limit = 12
text_limit = 6
2 = +886912345678 | Ann
5 = 0227001234 | Office
)";

TEST_F(SimTest, AnswersTheStartUpSequenceWithEchoAndFraming) {
    Boot(kSmallSim);
    // The engine opens with "ATZ" LF, then CR "ATZ" CR: a line ends at CR, LF is skipped.
    client_->Send("ATZ\n");
    client_->Send("\rATZ\r");
    EXPECT_EQ(client_->ReadUntil("ATZ\r\r\nOK\r\nATZ\r\r\nOK\r\n"),
              "ATZ\r\r\nOK\r\nATZ\r\r\nOK\r\n");
    struct Case {
        const char* command;
        const char* answer;  // after the echo
    } cases[] = {
        {"AT+CMEE=1;+CPIN?", "\r\n+CPIN: READY\r\n\r\nOK\r\n"},
        {"AT+CSQ", "\r\n+CSQ: 20,99\r\n\r\nOK\r\n"},
        {"AT+CREG=1", "\r\nOK\r\n"},
        {"AT+CREG?", "\r\n+CREG: 1,1\r\n\r\nOK\r\n"},
        {"AT+CSMP=17,169,0,0;+CMGF=0", "\r\nOK\r\n"},
        {"AT+COPS?", "\r\n+COPS: 0,0,\"LDTA\"\r\n\r\nOK\r\n"},
        {"AT+COPS=3,2;+COPS?", "\r\n+COPS: 0,2,\"46692\"\r\n\r\nOK\r\n"},
        {"AT+CPMS?", "\r\n+CPMS: \"SM\",3,5,\"SM\",3,5,\"SM\",3,5\r\n\r\nOK\r\n"},
        {"AT+CPAS", "\r\n+CPAS: 0\r\n\r\nOK\r\n"},
        {"AT+CMEE=1;+CPBS=\"ME\"", "\r\n+CME ERROR: 3\r\n"},
        {"AT+NOSUCH", "\r\nERROR\r\n"},
        {"AT+CSQ;+NOSUCH;+CPAS", "\r\n+CSQ: 20,99\r\n\r\nERROR\r\n"},
        {"ATE0", "\r\nOK\r\n"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Ask(c.command), std::string(c.command) + "\r" + c.answer) << c.command;
    }
    // Echo is off now.
    EXPECT_EQ(Ask("AT"), "\r\nOK\r\n");
    EXPECT_EQ(Ask("AT+CMEE=0;+CPBR=11"), "\r\nERROR\r\n");
    EXPECT_EQ(modem_->Commands().front(), "ATZ");
    EXPECT_EQ(modem_->CountCommands("ATZ"), 2);
}

}  // namespace
}  // namespace telvane::modemsim
