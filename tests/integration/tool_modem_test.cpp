// telvane-tool modem against the simulated modem.

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <map>
#include <string>

#include "modemsim/simulated_modem.h"
#include "support/testdata.h"
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

TEST(ToolModem, ListsPhonebookAndSends) {
    modemsim::SimulatedModem modem(Load(R"([sim]
message_capacity = 200
[messages]
4 = REC UNREAD | +886912345678 | 26/12/01,09:15:00+32 | See you at 7
130 = STO UNSENT | 5550100 | | Call me
[phonebook]
capacity = 20
2 = +886912345678 | Ann
)"));
    const std::string device = modem.Start();
    ASSERT_FALSE(device.empty());
    const std::string session = "modem --device " + device + " --scale 0.1 ";

    Result list = RunTool(session + "list");
    EXPECT_EQ(list.status, 0) << list.out;
    EXPECT_EQ(list.out,
              "{\"index\": 4, \"indexes\": [4], \"store\": \"SM\", \"status\": \"REC UNREAD\", "
              "\"number\": "
              "\"+886912345678\", \"time\": \"26/12/01,09:15:00\", \"text\": \"See you at 7\"}\n"
              "{\"index\": 130, \"indexes\": [130], \"store\": \"SM\", \"status\": \"STO UNSENT\", "
              "\"number\": "
              "\"5550100\", \"time\": \"\", \"text\": \"Call me\"}\n");

    Result book = RunTool(session + "phonebook");
    EXPECT_EQ(book.status, 0) << book.out;
    EXPECT_EQ(book.out,
              "{\"numberLimit\": 20, \"textLimit\": 14, \"capacity\": 20}\n"
              "{\"index\": 2, \"name\": \"Ann\", \"number\": \"+886912345678\"}\n");

    Result send = RunTool(session + "send +886912345678 'Hello there'");
    EXPECT_EQ(send.status, 0) << send.out;
    EXPECT_NE(send.out.find("{\"messageReference\": "), std::string::npos) << send.out;
    EXPECT_EQ(modem.SubmittedPdus().size(), 1u);

    EXPECT_EQ(RunTool(session + "send 555-O100 x").status, 2);  // a letter O: no number
}

// Two-part messages made by other encoders, stored out of order with a message between.
TEST(ToolModem, ListJoinsTheParts) {
    SKIP_WITHOUT_TESTDATA();
    std::map<std::string, std::string> pdus;
    std::ifstream table(testing::TestData() / "pdus.tsv");
    for (std::string line; std::getline(table, line);) {
        const size_t id = line.find('\t');
        const size_t pdu = line.find('\t', id + 1);
        if (id == std::string::npos || pdu == std::string::npos) continue;
        pdus[line.substr(0, id)] = line.substr(pdu + 1, line.find('\t', pdu + 1) - pdu - 1);
    }
    ASSERT_TRUE(pdus.contains("P007") && pdus.contains("P008") && pdus.contains("P021") &&
                pdus.contains("P022"));
    modemsim::SimulatedModem modem(
        Load("[messages]\n"
             "3 = REC READ | PDU | " +
             pdus["P008"] +
             "\n"
             "4 = REC UNREAD | +886912345678 | 26/12/01,09:15:00+32 | "
             "Between\n"
             "5 = REC UNREAD | PDU | " +
             pdus["P022"] +
             "\n"
             "6 = REC READ | PDU | " +
             pdus["P007"] +
             "\n"
             "8 = REC READ | PDU | " +
             pdus["P021"] + "\n"));
    const std::string device = modem.Start();
    ASSERT_FALSE(device.empty());
    const Result list = RunTool("modem --device " + device + " --scale 0.1 list");
    EXPECT_EQ(list.status, 0) << list.out;
    const std::string lines[] = {
        "{\"index\": 6, \"indexes\": [6, 3], \"store\": \"SM\", \"status\": \"REC READ\", "
        "\"number\": "
        "\"+16175046925\", \"time\": \"12/04/25,19:56:50\", \"text\": \"This is a very long "
        "test designed to exercise multi part capability. It should show up as one message, not "
        "as two, as the underlying encoding represents that the parts are related to one "
        "another. \"}",
        "{\"index\": 4, \"indexes\": [4], \"store\": \"SM\", \"status\": \"REC UNREAD\"",
        "{\"index\": 8, \"indexes\": [8, 5], \"store\": \"SM\", \"status\": \"REC UNREAD\", "
        "\"number\": "
        "\"12220\"",
    };
    size_t at = 0;
    for (const std::string& line : lines) {
        const size_t found = list.out.find(line, at);
        ASSERT_NE(found, std::string::npos) << line << "\nin\n" << list.out;
        at = found + line.size();
    }
    EXPECT_EQ(std::count(list.out.begin(), list.out.end(), '\n'), 3);
    EXPECT_NE(list.out.find("zahl"), std::string::npos);
    EXPECT_NE(list.out.find("+4917212220."), std::string::npos);
}

TEST(ToolModem, StartUpFailuresExitWithThree) {
    modemsim::SimulatedModem absent(Load("[sim]\nstate = absent\n"));
    const std::string device = absent.Start();
    ASSERT_FALSE(device.empty());
    Result noSim = RunTool("modem --device " + device + " --scale 0.1 list");
    EXPECT_EQ(noSim.status, 3);
    EXPECT_NE(noSim.out.find("no SIM"), std::string::npos) << noSim.out;

    Result missing = RunTool("modem --device /dev/telvane-no-such-device list");
    EXPECT_EQ(missing.status, 3);
    EXPECT_NE(missing.out.find("no such device"), std::string::npos) << missing.out;
}

TEST(ToolModem, StartUpFailuresSayWhy) {
    modemsim::SimulatedModem silent(Load("[faults]\nsilent = yes\n"));
    const std::string device = silent.Start();
    ASSERT_FALSE(device.empty());
    Result result = RunTool("modem --device " + device + " --scale 0.1 list");
    EXPECT_EQ(result.status, 3);
    EXPECT_NE(result.out.find("the modem does not answer: check the port and the cable"),
              std::string::npos)
        << result.out;

    modemsim::SimulatedModem locked(Load("[sim]\nstate = pin\n"));
    result = RunTool("modem --device " + locked.Start() + " --scale 0.1 list");
    EXPECT_EQ(result.status, 3);
    EXPECT_NE(result.out.find("needs its PIN"), std::string::npos) << result.out;
}

// A read that gets no answer, or no end, is a failure with its reason: never an empty store.
TEST(ToolModem, ReadsThatFailExitWithFour) {
    struct Case {
        const char* faults;
        const char* command;
        const char* reason;
    } cases[] = {
        {"mute = +CMGL", "list", "no answer from the modem"},
        {"endless = +CMGL", "list", "the answer did not end"},
        {"cut = +CMGL 40", "list", "stopped before its end"},
        {"mute = +CPBR", "phonebook", "no answer from the modem"},
    };
    for (const Case& c : cases) {
        // Enough messages that an endless answer soon passes what any store could hold.
        std::string scenario = "[modem]\nbaud = 0\n[faults]\n" + std::string(c.faults) +
                               "\n[sim]\nmessage_capacity = 200\n[messages]\n";
        for (int i = 1; i <= 150; ++i)
            scenario += std::to_string(i) +
                        " = REC READ | +886912345678 | 26/12/01,09:15:00+32 | Message " +
                        std::to_string(i) + "\n";
        scenario += "[phonebook]\n1 = 5550100 | Ann\n";
        modemsim::SimulatedModem modem(Load(scenario));
        const std::string device = modem.Start();
        ASSERT_FALSE(device.empty());
        const Result result =
            RunTool("modem --device " + device + " --scale 0.1 " + std::string(c.command));
        EXPECT_EQ(result.status, 4) << c.faults << result.out;
        EXPECT_NE(result.out.find(c.reason), std::string::npos) << c.faults << result.out;
    }
}

// A modem that answers the range query late: the read waits and lists every entry.
TEST(ToolModem, PhonebookWaitsForALateRangeAnswer) {
    std::string scenario = "[faults]\ndelay +CPBR = 1500\n[phonebook]\ncapacity = 40\n";
    for (int i = 1; i <= 20; ++i)
        scenario += std::to_string(i) + " = 55501" + std::to_string(10 + i) + " | P" +
                    std::to_string(i) + "\n";
    modemsim::SimulatedModem modem(Load(scenario));
    const std::string device = modem.Start();
    ASSERT_FALSE(device.empty());
    const Result book = RunTool("modem --device " + device + " phonebook");
    EXPECT_EQ(book.status, 0) << book.out;
    EXPECT_EQ(std::count(book.out.begin(), book.out.end(), '\n'), 21) << book.out;
    EXPECT_EQ(modem.CountCommands("AT+CPBR=1,40"), 1);
}

// The centre goes through the same check as every number: separators are taken out, anything
// else refuses it before the line is touched.
TEST(ToolModem, ServiceCentreIsCheckedAndUsed) {
    modemsim::SimulatedModem modem(modemsim::Scenario{});
    const std::string device = modem.Start();
    ASSERT_FALSE(device.empty());
    const std::string session = "modem --device " + device + " --scale 0.1 ";

    const Result refused =
        RunTool(session + "--sc \"$(printf '12\\033AT+CMGD=1,4')\" send 5550100 x");
    EXPECT_EQ(refused.status, 2) << refused.out;
    EXPECT_TRUE(modem.Commands().empty());  // the tool has ended: nothing reached the line

    const Result sent = RunTool(session + "--sc '+886 932-400821' send '0912 345-678' x");
    EXPECT_EQ(sent.status, 0) << sent.out;
    ASSERT_EQ(modem.SubmittedPdus().size(), 1u);
    EXPECT_EQ(modem.SubmittedPdus()[0].rfind("0791889623048012", 0), 0u)
        << modem.SubmittedPdus()[0];
}

TEST(ToolModem, SendRefusedByTheNetworkFails) {
    modemsim::SimulatedModem modem(Load("[faults]\ncms_error = 1:111\n"));
    const std::string device = modem.Start();
    ASSERT_FALSE(device.empty());
    Result send = RunTool("modem --device " + device + " --scale 0.1 send 5550100 x");
    EXPECT_EQ(send.status, 1) << send.out;
    EXPECT_NE(send.out.find("not sent: +CMS ERROR: 111"), std::string::npos) << send.out;
}

// The network may take many seconds to answer a submission: the tool waits for it and the
// modem sees one submission.  One that never answers is "not confirmed", never "sent".
TEST(ToolModem, ASubmissionWaitsForTheNetworksAnswer) {
    modemsim::SimulatedModem slow(Load("[network]\nsubmit_delay = 6500\n"));
    const Result sent = RunTool("modem --device " + slow.Start() + " send 5550100 x");
    EXPECT_EQ(sent.status, 0) << sent.out;
    EXPECT_EQ(slow.SubmittedPdus().size(), 1u);

    modemsim::SimulatedModem silent(Load("[network]\nsubmit_delay = 600000\n"));
    Watchdog watchdog(silent);
    const Result unanswered =
        RunTool("modem --device " + silent.Start() + " --scale 0.01 send 5550100 x");
    EXPECT_EQ(unanswered.status, 1) << unanswered.out;
    EXPECT_NE(unanswered.out.find("not confirmed"), std::string::npos) << unanswered.out;
    EXPECT_EQ(silent.SubmittedPdus().size(), 1u);
}

// A "SIM busy" error to a command about the message store fails that command alone: the SIM is
// not taken for not ready, and the send still goes.
TEST(ToolModem, SimBusyToAStoreQueryDoesNotStopTheSend) {
    modemsim::SimulatedModem modem(Load("[faults]\ncme = +CPMS 515 1\n"));
    const Result sent = RunTool("modem --device " + modem.Start() + " --scale 0.1 send 5550100 x");
    EXPECT_EQ(sent.status, 0) << sent.out;
    EXPECT_EQ(modem.SubmittedPdus().size(), 1u);
}

// Words that end a call are names like any other inside a phonebook entry read in the modem's
// own character set.
TEST(ToolModem, CallEndWordsInNamesAreNames) {
    modemsim::SimulatedModem modem(Load(R"([faults]
refuse = +CSCS
[phonebook]
capacity = 10
1 = 5550101 | BUSY BEE CAFE
2 = 5550102 | NO CARRIER X
3 = 5550103 | NO ANSWER
4 = 5550104 | NO DIALTONE
5 = 5550105 | OK Corral
)"));
    const Result book = RunTool("modem --device " + modem.Start() + " --scale 0.1 phonebook");
    EXPECT_EQ(book.status, 0) << book.out;
    for (const char* name :
         {"BUSY BEE CAFE", "NO CARRIER X", "NO ANSWER", "NO DIALTONE", "OK Corral"})
        EXPECT_NE(book.out.find(std::string("\"name\": \"") + name + "\""), std::string::npos)
            << name << "\n"
            << book.out;
}

// A hostile modem: lines of its own between the entries of an answer, a NUL inside it, a
// malformed entry.  Every well-formed entry is listed with exit 0, or the read fails with exit 4;
// never exit 0 with entries missing.
TEST(ToolModem, HostileAnswersListEverythingOrFail) {
    std::string messages = "[sim]\nmessage_capacity = 30\n[messages]\n";
    for (int i = 1; i <= 6; ++i)
        messages += std::to_string(i) + " = REC READ | +886912345678 | 26/12/01,09:15:00+32 | M" +
                    std::to_string(i) + "\n";
    std::string book = "[phonebook]\ncapacity = 10\n";
    for (int i = 1; i <= 6; ++i)
        book +=
            std::to_string(i) + " = 555010" + std::to_string(i) + " | P" + std::to_string(i) + "\n";
    struct Case {
        const char* name;
        std::string scenario;
        const char* command;
        int entries;  // lines a whole read prints
    } cases[] = {
        {"+CREG between messages", "[faults]\ninject = +CMGL 2 +CREG: 1\n" + messages, "list", 6},
        {"+CSQ and +CREG apart",
         "[faults]\ninject_apart = +CMGL 3 +CSQ: 20,99\ninject = +CMGL 1 +CREG: 1,1\n" + messages,
         "list", 6},
        {"NO CARRIER between messages", "[faults]\ninject = +CMGL 4 NO CARRIER\n" + messages,
         "list", 6},
        {"NUL in a listing", "[faults]\nnul = +CMGL 2\n" + messages, "list", 6},
        {"+CREG between entries", "[faults]\ninject = +CPBR 2 +CREG: 1\n" + book, "phonebook", 7},
        {"BUSY between entries", "[faults]\ninject = +CPBR 3 BUSY\n" + book, "phonebook", 7},
        // Entry 2 malformed: the five others, or a failure.
        {"malformed entry", book + "2 = raw:+CPBR: 2,\"0912000002\"\n", "phonebook", 6},
        {"range too large", book + "cpbr_range = (1-20000),20,14\n", "phonebook", 7},
    };
    for (const Case& c : cases) {
        modemsim::SimulatedModem modem(Load(c.scenario));
        const Result result =
            RunTool("modem --device " + modem.Start() + " --scale 0.1 " + c.command);
        const long lines = std::count(result.out.begin(), result.out.end(), '\n');
        if (result.status == 0)
            EXPECT_EQ(lines, c.entries) << c.name << "\n" << result.out;
        else
            EXPECT_EQ(result.status, 4) << c.name << "\n" << result.out;
    }
}

TEST(ToolModem, ListenPrintsNotificationsUntilTheLinkIsLost) {
    modemsim::SimulatedModem modem(modemsim::Scenario{});
    const std::string device = modem.Start();
    ASSERT_FALSE(device.empty());
    // Once started the modem announces a message; once that is printed it goes away with its
    // side of the line.  A watchdog ends a listen that hangs.
    Watchdog watchdog(modem);
    Result listen = RunTool("modem --device " + device + " --scale 0.1 listen",
                            [&modem](const std::string& line) {
                                if (line.starts_with("{\"event\": \"started\""))
                                    modem.PushUnsolicited("+CMTI: \"SM\",5");
                                if (line.starts_with("{\"event\": \"newMessage\"")) modem.Stop();
                            });
    EXPECT_EQ(listen.status, 1) << listen.out;
    EXPECT_NE(listen.out.find(
                  "{\"event\": \"started\", \"code\": 2, \"smsCentre\": \"+886932400821\"}\n"),
              std::string::npos)
        << listen.out;
    EXPECT_NE(listen.out.find("{\"event\": \"operator\", \"code\": 9, \"operator\": \"46692\"}\n"),
              std::string::npos)
        << listen.out;
    EXPECT_NE(
        listen.out.find("{\"event\": \"newMessage\", \"code\": 17, \"newMessageIndex\": 5}\n"),
        std::string::npos)
        << listen.out;
    EXPECT_NE(listen.out.find("link to the modem was lost"), std::string::npos) << listen.out;
}

}  // namespace
}  // namespace telvane
