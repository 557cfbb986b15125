// The simulator answering a client on a real pty: framing, start-up answers, the message store
// and the phonebook.
#include "modemsim/simulated_modem.h"

#include <gtest/gtest.h>

#include <memory>
#include <random>

#include "modemsim/sim_pdu.h"
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

// Entries come before the settings they depend on: sections may come in any order.
const char kSmallSim[] = R"(
[messages]
1 = REC READ | +1234567 | 01/07/20,11:52:45 | abc
2 = REC UNREAD | +886912345678 | 26/12/03,07:30:45+32 | late
4 = STO UNSENT | 0912345678 | | draft
[sim]
service_centre = +123456789012
message_capacity = 5
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

TEST_F(SimTest, MessageStoreCommands) {
    Boot(kSmallSim);
    Ask("ATE0;+CMEE=1");
    const std::string pdu1 = "0791214365870921040791214365F70000107002112554000361F118";
    // Only the unread one, by number and by text-mode name; listing marks it read.
    std::string unread = Ask("AT+CMGL=0");
    EXPECT_NE(unread.find("\r\n+CMGL: 2,0,,"), std::string::npos) << unread;
    EXPECT_EQ(unread.find("+CMGL: 1,"), std::string::npos);
    EXPECT_EQ(Ask("AT+CMGL=\"REC UNREAD\""), "\r\nOK\r\n");
    EXPECT_EQ(Ask("AT+CMGR=1"), "\r\n+CMGR: 1,,20\r\n" + pdu1 + "\r\n\r\nOK\r\n");
    EXPECT_EQ(Ask("AT+CMGR=3"), "\r\n+CMS ERROR: 321\r\n");
    EXPECT_EQ(Ask("AT+CMGL=9"), "\r\n+CMS ERROR: 302\r\n");

    // Written messages land in the first free slot with stat 2; the PDU may omit the SC field.
    const std::string submit = "01000B818096214365F7000003C1E110";
    EXPECT_EQ(Ask("AT+CMGW=16"), "\r\n> ");
    client_->Send(submit + "\x1A");
    EXPECT_EQ(client_->ReadUntilFinal(), "\r\n+CMGW: 3\r\n\r\nOK\r\n");
    EXPECT_EQ(modem_->WrittenPdus(), std::vector<std::string>{"00" + submit});
    EXPECT_NE(Ask("AT+CMGL=2").find("+CMGL: 3,2,,16\r\n00" + submit), std::string::npos);
    // A length that does not match, and Esc, store nothing.
    Ask("AT+CMGW=15");
    client_->Send(submit + "\x1A");
    EXPECT_EQ(client_->ReadUntilFinal(), "\r\n+CMS ERROR: 304\r\n");
    Ask("AT+CMGS=16");
    client_->Send("0001\x1B");
    EXPECT_EQ(client_->ReadUntilFinal(), "\r\nOK\r\n");
    EXPECT_TRUE(modem_->SubmittedPdus().empty());

    // Send from store marks an unsent message sent.
    EXPECT_EQ(Ask("AT+CMSS=4"), "\r\n+CMSS: 1\r\n\r\nOK\r\n");
    EXPECT_EQ(Ask("AT+CMSS=5"), "\r\n+CMS ERROR: 321\r\n");
    EXPECT_EQ(Ask("AT+CMGD=?"), "\r\n+CMGD: (1,2,3,4),(0-4)\r\n\r\nOK\r\n");

    // Delete flags: 1 read; 2 also sent; 3 also unsent; 4 everything.
    struct {
        const char* command;
        std::vector<int> left;
    } deletes[] = {{"AT+CMGD=1", {2, 3, 4}}, {"AT+CMGD=1,2", {3}}, {"AT+CMGD=1,3", {}}};
    for (const auto& d : deletes) {
        EXPECT_EQ(Ask(d.command), "\r\nOK\r\n");
        std::vector<int> left;
        for (const StoredMessage& m : modem_->Messages())
            left.push_back(m.index);
        EXPECT_EQ(left, d.left) << d.command;
    }
    EXPECT_EQ(Ask("AT+CMGD=9"), "\r\n+CMS ERROR: 321\r\n");
}

TEST_F(SimTest, TextModeReadsAndSends) {
    Boot(kSmallSim);
    Ask("ATE0;+CMGF=1");
    EXPECT_EQ(
        Ask("AT+CMGR=1"),
        "\r\n+CMGR: \"REC READ\",\"+1234567\",,\"01/07/20,11:52:45+00\"\r\nabc\r\n\r\nOK\r\n");
    EXPECT_EQ(Ask("AT+CMGL=\"STO UNSENT\""),
              "\r\n+CMGL: 4,\"STO UNSENT\",\"0912345678\",\r\ndraft\r\n\r\nOK\r\n");
    EXPECT_EQ(Ask("AT+CMGS=\"+886912345678\""), "\r\n> ");
    client_->Send("two\rlines\x1A");
    // A CR opens a new line of the message with another prompt.
    EXPECT_EQ(client_->ReadUntil("OK\r\n"), "\r\n> \r\n+CMGS: 1\r\n\r\nOK\r\n");
    auto sent = modem_->SubmittedPdus();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(DecodeForTextMode(sent[0]).number, "+886912345678");
    EXPECT_EQ(DecodeForTextMode(sent[0]).text, "two\nlines");
}

TEST_F(SimTest, SubmissionNeedsTheNetwork) {
    Boot("[network]\nregistration = 3\n");
    Ask("ATE0");
    EXPECT_EQ(Ask("AT+CREG?"), "\r\n+CREG: 0,3\r\n\r\nOK\r\n");
    EXPECT_EQ(Ask("AT+COPS?"), "\r\n+COPS: 0\r\n\r\nOK\r\n");
    Ask("AT+CMGS=16");
    client_->Send("0001000B818096214365F7000003C1E110\x1A");
    EXPECT_EQ(client_->ReadUntilFinal(), "\r\n+CMS ERROR: 331\r\n");
}

TEST_F(SimTest, PhonebookCommands) {
    Boot(kSmallSim);
    Ask("ATE0;+CMEE=1");
    EXPECT_EQ(Ask("AT+CPBS=\"SM\";+CPBS?"), "\r\n+CPBS: \"SM\",2,10\r\n\r\nOK\r\n");
    EXPECT_EQ(Ask("AT+CPBR=?"), "\r\n+CPBR: (1-10),12,6\r\n\r\nOK\r\n");
    EXPECT_EQ(Ask("AT+CPBR=1,10"),
              "\r\n+CPBR: 2,\"+886912345678\",145,\"Ann\"\r\n"
              "+CPBR: 5,\"0227001234\",129,\"Office\"\r\n\r\nOK\r\n");
    EXPECT_EQ(Ask("AT+CPBR=3"), "\r\nOK\r\n");
    struct {
        const char* command;
        const char* answer;
    } writes[] = {
        {"AT+CPBW=3,\"5550100\",129,\"Bo\"", "\r\nOK\r\n"},
        {"AT+CPBW=,\"886900\",145,\"Cy\"", "\r\nOK\r\n"},  // first free: 1, '+' added
        {"AT+CPBW=5,\"\",129,\"\"", "\r\nOK\r\n"},         // empty fields clear
        {"AT+CPBW=2", "\r\nOK\r\n"},                       // index alone clears
        {"AT+CPBW=4,\"1234567890123\",129,\"x\"", "\r\n+CME ERROR: 26\r\n"},
        {"AT+CPBW=4,\"123\",129,\"Seven77\"", "\r\n+CME ERROR: 24\r\n"},
        {"AT+CPBW=4,\"12-3\",129,\"x\"", "\r\n+CME ERROR: 27\r\n"},
        {"AT+CPBW=11,\"123\",129,\"x\"", "\r\n+CME ERROR: 21\r\n"},
        {"AT+CPBR=0,3", "\r\n+CME ERROR: 21\r\n"},
    };
    for (const auto& w : writes)
        EXPECT_EQ(Ask(w.command), w.answer) << w.command;
    EXPECT_EQ(Ask("AT+CPBR=1,10"),
              "\r\n+CPBR: 1,\"+886900\",145,\"Cy\"\r\n"
              "+CPBR: 3,\"5550100\",129,\"Bo\"\r\n\r\nOK\r\n");
    // Names travel as UCS2 hex once the client selects that character set.
    EXPECT_EQ(Ask("AT+CSCS=\"UCS2\";+CPBW=4,\"123\",129,\"738B660E\""), "\r\nOK\r\n");
    EXPECT_EQ(modem_->Phonebook()[2].name, "王明");
    EXPECT_EQ(Ask("AT+CPBR=3"), "\r\n+CPBR: 3,\"5550100\",129,\"0042006F\"\r\n\r\nOK\r\n");
}

// Arguments no register or store holds: each gets an error, and the modem goes on answering.
TEST_F(SimTest, OutOfRangeArgumentsAreRefusedNotFatal) {
    Boot(kSmallSim);
    Ask("ATE0;+CMEE=1");
    struct {
        const char* command;
        const char* answer;
    } cases[] = {
        {"ATS99999999999?", "\r\nERROR\r\n"},
        {"ATS99999999999=1", "\r\nERROR\r\n"},
        {"ATS256?", "\r\nERROR\r\n"},
        {"ATS7=99999999999", "\r\nERROR\r\n"},
        {"ATS7=40;S7?", "\r\n040\r\n\r\nOK\r\n"},
        {"ATS3?", "\r\n013\r\n\r\nOK\r\n"},
        {"AT+CMGR=99999999999", "\r\n+CMS ERROR: 302\r\n"},
        {"AT+CMGD=999999999", "\r\n+CMS ERROR: 321\r\n"},
        {"AT+CMGS=99999999999", "\r\n+CMS ERROR: 304\r\n"},
        {"AT+CPBR=1,99999999999", "\r\n+CME ERROR: 4\r\n"},
        {"AT+CPBW=-1,\"1\",129,\"x\"", "\r\n+CME ERROR: 21\r\n"},
        {"AT+CREG=99999999999", "\r\n+CME ERROR: 4\r\n"},
        {"AT+STGI=99999999999", "\r\n+CME ERROR: 3\r\n"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Ask(c.command), c.answer) << c.command;
    EXPECT_EQ(Ask("AT"), "\r\nOK\r\n");
}

// Every command the modem knows, in every form, with arguments drawn from the edges of what a
// client may send: each gets an answer and the modem goes on answering.
TEST_F(SimTest, RandomCommandLinesAlwaysGetAnAnswer) {
    Boot(kSmallSim);
    Ask("ATE0;+CMEE=2");
    const char* const names[] = {"+CMGL",  "+CMGR", "+CMGD", "+CMSS", "+CPMS", "+CNMI", "+CSCA",
                                 "+CSMP",  "+CPBS", "+CPBR", "+CPBW", "+CSCS", "+CPIN", "+CPINR",
                                 "+CPINC", "+CREG", "+COPS", "+CMEE", "+CSQ",  "+STGI", "S7",
                                 "S300",   "+CGMI", "+CIMI", "+CMGF", "+CSMS", "+CFUN", "+CCLK"};
    const char* const forms[] = {"", "?", "=?", "="};
    const char* const args[] = {"",
                                "0",
                                "-1",
                                "99999999999",
                                "4294967296",
                                "1,",
                                ",,,,",
                                "\"\"",
                                "\"SM\",\"SM\",\"SM\",\"SM\"",
                                "1,2,3,4,5,6",
                                "\"*\"",
                                "\"FFFF\"",
                                "255,255",
                                "1,\"+\",145,\"0041\""};
    std::mt19937 random(5);
    auto pick = [&](const auto& table) {
        return table[std::uniform_int_distribution<size_t>(0, std::size(table) - 1)(random)];
    };
    for (int i = 0; i < 300; ++i) {
        std::string form = pick(forms);
        std::string line = std::string("AT") + pick(names) + form + (form == "=" ? pick(args) : "");
        std::string answer = Ask(line);
        EXPECT_TRUE(answer.ends_with("OK\r\n") || answer.ends_with("ERROR\r\n") ||
                    answer.find("ERROR: ") != std::string::npos || answer.ends_with("> "))
            << line << " -> " << answer;
        // A message prompt is left with Esc, as a client that changes its mind does.
        if (answer.ends_with("> ")) {
            EXPECT_EQ(client_->Command("\x1B"), "\r\nOK\r\n") << line;
        }
    }
    EXPECT_EQ(Ask("AT"), "\r\nOK\r\n");
}

TEST(ScenarioText, FaultKeysAsTestsWriteThem) {
    std::string error;
    auto s = ParseScenario(
        "[faults]\ndelay +CPBR = 1500\ndelay AT+cmgs = 20\nmute = +CMGL\nmute = AT+CSQ 2\n"
        "cut = +CPBR 100\nendless = +CMGL\n",
        &error);
    ASSERT_TRUE(s) << error;
    EXPECT_EQ(s->faults.commandDelayMs,
              (std::map<std::string, int>{{"+CMGS", 20}, {"+CPBR", 1500}}));
    EXPECT_EQ(s->faults.mute, (std::map<std::string, int>{{"+CMGL", 0}, {"+CSQ", 2}}));
    EXPECT_EQ(s->faults.cutAfterBytes, (std::map<std::string, int>{{"+CPBR", 100}}));
    EXPECT_EQ(s->faults.endlessCommand, "+CMGL");
    EXPECT_EQ(s->baud, 115200);
}

TEST(ScenarioText, MalformedLinesAreReportedWithTheirNumber) {
    struct {
        std::string text;
        const char* error;
    } cases[] = {
        {"key = 1\n", "line 1: a key outside any section"},
        {"[sim]\n\nstate = maybe\n", "line 3: state must be ready, pin, puk, blocked or absent"},
        {"[nosuch]\n", "line 1: unknown section [nosuch]"},
        {"[messages]\n1 = REC READ | PDU | 0791XYZ\n", "line 2: malformed PDU"},
        {"[messages]\n1 = REC READ | +1 | 01/07/20 | abc\n",
         "line 2: cannot encode this message (number, time or length)"},
        {"[messages]\n31 = REC READ | PDU | 00\n", "line 2: index outside the store"},
        {"[faults]\ncms_error = 330\n", "line 2: cms_error must be SUBMISSION:ERROR"},
        {"[faults]\nbatches = 9 2\n", "line 2: batches must be MIN MAX"},
        {"[faults]\ncut = +CMGL\n", "line 2: cut must be COMMAND BYTES"},
        {"[modem]\nbaud = fast\n", "line 2: baud must be 0-4000000"},
        {"[unsolicited]\nsoon = RING\n", "line 2: expected at MS, after COMMAND or incoming at MS"},
        {"[sim]\nmessage_capacity = 2\n[messages]\n2 = REC READ | +1 | 01/07/20,11:52:45 | " +
             std::string(161, 'a') + "\n",
         "line 4: the parts run past the store"},
        {"[messages]\n2 = REC READ | +1 | 01/07/20,11:52:45 | x\n1 = REC READ | +1 | "
         "01/07/20,11:52:45 | " +
             std::string(161, 'a') + "\n",
         "line 3: index 2 used twice"},
        {"[unsolicited]\nincoming at 5 = PDU | 07\n", "line 2: malformed PDU"},
    };
    for (const auto& c : cases) {
        std::string error;
        EXPECT_FALSE(ParseScenario(c.text, &error)) << c.text;
        EXPECT_EQ(error, c.error) << c.text;
    }
}

TEST(ScenarioText, DemoSimMatchesItsDescription) {
    std::string error;
    auto demo = LoadScenarioFile(std::string(TELVANE_SOURCE_DATA_DIR) + "/demo-sim.ini", &error);
    ASSERT_TRUE(demo) << error;
    EXPECT_EQ(demo->messages.size(), 12u);
    EXPECT_EQ(demo->phonebook.size(), 20u);
    EXPECT_EQ(demo->phonebookCapacity, 250);
    EXPECT_EQ(demo->numberLimit, 20);
    EXPECT_EQ(demo->textLimit, 14);
    EXPECT_EQ(demo->operatorCode, "46692");
    EXPECT_EQ(demo->signal, 20);
    int unread = 0;
    int unsent = 0;
    for (const StoredMessage& m : demo->messages) {
        unread += m.stat == MessageStat::RecUnread;
        unsent += m.stat == MessageStat::StoUnsent;
    }
    EXPECT_GT(unread, 0);
    EXPECT_EQ(unsent, 1);

    // The variant: the same SIM with Chinese names and a sent message.
    auto zh = LoadScenarioFile(std::string(TELVANE_SOURCE_DATA_DIR) + "/demo-sim-zh.ini", &error);
    ASSERT_TRUE(zh) << error;
    ASSERT_EQ(zh->messages.size(), 18u);
    EXPECT_EQ(zh->messages[12].stat, MessageStat::StoSent);
    // Two long messages: 14-15 from gammu's encoder, 16-18 from ours.
    struct Long {
        size_t first, parts;
        int reference;
        const char* text;
    } longs[] = {
        {13, 2, 0xEE,
         "Long messages arrive in parts: this one was cut in two by gammu's own encoder, so the "
         "reader has to join the parts again by their reference before it shows the whole text."},
        {15, 3, 1,
         "今天的會議改到下午三點，在四樓大會議室。請大家準備好上個月的銷售報告和下一季的計畫，"
         "會議大約兩個小時。會後我們一起去吃晚餐，地點在公司對面的餐廳，已經訂好位子了。如果有人"
         "不能來，請在中午以前告訴我，我好通知餐廳改人數。另外，下週一開始新的打卡系統，請記得帶"
         "員工證。謝謝大家的配合！"},
    };
    for (const Long& l : longs) {
        std::string joined;
        for (size_t i = 0; i < l.parts; ++i) {
            const std::string& pdu = zh->messages[l.first + i].pdu;
            auto header = ConcatenationOf(pdu);
            ASSERT_TRUE(header) << l.first + i;
            EXPECT_EQ(header->reference, l.reference);
            EXPECT_EQ(header->part, static_cast<int>(i) + 1);
            joined += DecodeForTextMode(pdu).text;
        }
        EXPECT_EQ(joined, l.text);
    }
    ASSERT_EQ(zh->phonebook.size(), 20u);
    EXPECT_EQ(zh->phonebook[3].name, "媽媽");
    EXPECT_EQ(zh->phonebook.back().name, "爸爸 Dad");
}

}  // namespace
}  // namespace telvane::modemsim
