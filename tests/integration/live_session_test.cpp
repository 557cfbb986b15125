// telvane-tool modem on a live link: messages that arrive while it listens, a SIM that wants
// its PIN, and phonebook names in the modem's UCS2 set.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "modemsim/sim_pdu.h"
#include "modemsim/simulated_modem.h"
#include "support/tool_session.h"

namespace telvane {
namespace {

using Result = testing::ToolResult;
using Watchdog = testing::ModemWatchdog;

Result RunTool(const std::string& arguments,
               const std::function<void(const std::string&)>& onLine = nullptr) {
    return testing::RunToolLive(arguments, onLine);
}

modemsim::Scenario Load(const std::string& text) {
    return testing::LoadScenario(text);
}

TEST(LiveSession, ListenPrintsEachMessageAsItArrives) {
    modemsim::SimulatedModem modem(Load("[modem]\nbaud = 0\n[sim]\nmessage_capacity = 30\n"));
    const std::string device = modem.Start();
    ASSERT_FALSE(device.empty());
    Watchdog watchdog(modem);
    int messages = 0;
    Result listen =
        RunTool("modem --device " + device + " --scale 0.1 listen", [&](const std::string& line) {
            if (line.starts_with("{\"event\": \"started\"")) {
                // A registration report and the announcement leave the modem together.
                modem.SetRegistration(5);
                modem.DeliverMessage("+886955000111", "26/12/10,08:00:08+32", u"Hi 媽");
            }
            if (line.starts_with("{\"event\": \"message\"") && ++messages == 1)
                modem.DeliverMessage("+886912345678", "26/12/10,08:00:09+32", u"Second");
            if (messages == 2) modem.Stop();
        });
    EXPECT_NE(listen.out.find("{\"event\": \"message\", \"index\": 1, \"number\": "
                              "\"+886955000111\", \"time\": \"26/12/10,08:00:08\", \"text\": "
                              "\"Hi 媽\"}\n"),
              std::string::npos)
        << listen.out;
    EXPECT_NE(listen.out.find("\"index\": 2, \"number\": \"+886912345678\""), std::string::npos)
        << listen.out;
    EXPECT_NE(listen.out.find("{\"event\": \"newMessage\", \"code\": 17, \"newMessageIndex\": 1}"),
              std::string::npos)
        << listen.out;
    EXPECT_GE(modem.CountCommands("AT+CNMI=2,1"), 1);
}

// A long message's parts are printed as they come, each with its place; a status report is an
// event of its own.
TEST(LiveSession, ListenPrintsPartsAndStatusReports) {
    modemsim::SimulatedModem modem(Load("[modem]\nbaud = 0\n[sim]\nmessage_capacity = 30\n"));
    const std::string device = modem.Start();
    ASSERT_FALSE(device.empty());
    Watchdog watchdog(modem);
    const auto parts = modemsim::EncodeDeliverParts(
        "+886932400821", "+886955000111", "26/12/10,08:00:08+32", std::u16string(200, u'x'), 5);
    ASSERT_TRUE(parts && parts->size() == 2u);
    int seen = 0;
    Result listen =
        RunTool("modem --device " + device + " --scale 0.1 listen", [&](const std::string& line) {
            if (line.starts_with("{\"event\": \"started\"")) {
                modem.DeliverPdu((*parts)[1]);
                modem.PushUnsolicited(
                    "+CDS: 25\r\n0006D60B911326880736F4111011719551401110117195714000");
            }
            if (line.starts_with("{\"event\": \"message\"") ||
                line.starts_with("{\"event\": \"statusReport\""))
                ++seen;
            if (seen == 2) modem.Stop();
        });
    EXPECT_NE(
        listen.out.find("\"text\": \"" + std::string(47, 'x') + "\", \"part\": 2, \"parts\": 2}\n"),
        std::string::npos)
        << listen.out;
    EXPECT_NE(
        listen.out.find("{\"event\": \"statusReport\", \"messageReference\": 214, \"number\": "
                        "\"+31628870634\", \"status\": 0, \"state\": \"delivered\", \"time\": "
                        "\"11/01/11,17:59:17\"}\n"),
        std::string::npos)
        << listen.out;
}

TEST(LiveSession, PinIsSentOnceAndNeverGuessed) {
    struct Case {
        const char* state;
        std::string codes;
        int status;
        const char* says;
        int codeCommands;  // AT+CPIN= lines the modem received
    } cases[] = {
        {"pin", "--pin 1234", 0, "", 1},
        {"pin", "--pin 0000", 3, "the SIM card refused the PIN (2 attempts left)", 1},
        {"pin", "", 3, "the SIM card needs its PIN (give it with --pin PIN)", 0},
        {"puk", "--puk 12345678 --pin 4321", 0, "", 1},
        {"puk", "--pin 1234", 3, "needs its PUK", 0},
    };
    for (const Case& c : cases) {
        modemsim::SimulatedModem modem(
            Load(std::string("[modem]\nbaud = 0\n[sim]\nstate = ") + c.state + "\npin = 1234\n"));
        const std::string device = modem.Start();
        ASSERT_FALSE(device.empty());
        Watchdog watchdog(modem);
        const Result list =
            RunTool("modem --device " + device + " --scale 0.1 " + c.codes + " list");
        EXPECT_EQ(list.status, c.status) << c.codes << ": " << list.out;
        EXPECT_NE(list.out.find(c.says), std::string::npos) << c.codes << ": " << list.out;
        EXPECT_EQ(modem.CountCommands("AT+CPIN="), c.codeCommands) << c.codes;
    }
}

TEST(LiveSession, PhonebookNamesTravelInUcs2) {
    for (const char* form : {"plain", "80", "81", "82"}) {
        modemsim::SimulatedModem modem(Load(std::string("[modem]\nbaud = 0\n[phonebook]\n"
                                                        "capacity = 30\nucs2_form = ") +
                                            form +
                                            "\n4 = +886933222111 | 媽媽\n"
                                            "30 = +886919876543 | 爸爸 Dad\n"
                                            "8 = 0800080123 | Customer Care\n"));
        const std::string device = modem.Start();
        ASSERT_FALSE(device.empty());
        Watchdog watchdog(modem);
        const std::string session = "modem --device " + device + " --scale 0.1 ";

        const Result book = RunTool(session + "phonebook");
        EXPECT_EQ(book.status, 0) << form << ": " << book.out;
        for (const char* line :
             {"{\"index\": 4, \"name\": \"媽媽\", \"number\": \"+886933222111\"}\n",
              "{\"index\": 8, \"name\": \"Customer Care\", \"number\": \"0800080123\"}\n",
              "{\"index\": 30, \"name\": \"爸爸 Dad\", \"number\": \"+886919876543\"}\n"})
            EXPECT_NE(book.out.find(line), std::string::npos) << form << ": " << book.out;

        const Result write = RunTool(session + "phonebook write 4 +886933222111 'Mom 媽咪'");
        EXPECT_EQ(write.status, 0) << form << ": " << write.out;
        EXPECT_NE(write.out.find("{\"index\": 4, \"name\": \"Mom 媽咪\""), std::string::npos)
            << form << ": " << write.out;
        EXPECT_GE(modem.CountCommands("AT+CSCS=\"UCS2\""), 1) << form;
        EXPECT_GE(
            modem.CountCommands("AT+CPBW=4,\"+886933222111\",145,\"004D006F006D00205ABD54AA\""), 1)
            << form;

        // Too long for the SIM in UCS2: the modem refuses it, the SIM keeps its entry.
        const Result tooLong =
            RunTool(session + "phonebook write 4 +886933222111 '媽媽媽媽媽媽媽媽媽媽媽媽媽媽媽'");
        EXPECT_EQ(tooLong.status, 1) << form << ": " << tooLong.out;
        EXPECT_NE(tooLong.out.find("position 4: +CME ERROR: 24"), std::string::npos)
            << form << ": " << tooLong.out;
        const Result again = RunTool(session + "phonebook");
        EXPECT_NE(again.out.find("{\"index\": 4, \"name\": \"Mom 媽咪\""), std::string::npos)
            << form << ": " << again.out;
    }
}

}  // namespace
}  // namespace telvane
