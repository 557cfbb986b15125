// The message stores a modem offers besides the SIM's: the phone's (ME) and the status reports'
// (SR), chosen with AT+CPMS, filled by arrivals and reports.
#include <gtest/gtest.h>

#include <string>

#include "modemsim/simulated_modem.h"
#include "pty_client.h"

namespace telvane::modemsim {
namespace {

using testing::Boot;
using testing::Booted;

const char kStores[] = R"(
[messages.ME]
2 = REC UNREAD | +1234567 | 01/07/20,11:52:45 | on the phone
[messages]
1 = REC READ | +1234567 | 01/07/20,11:52:45 | on the SIM
[sim]
message_capacity = 5
me_capacity = 10
sr_capacity = 3
[network]
report_delay = 0
)";

bool Has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

TEST(SimMessageStores, ReadListAndDeleteActOnTheChosenStore) {
    Booted b = Boot(kStores, "ATE0");
    struct Step {
        const char* command;
        const char* answer;  // whole, or nullptr when `contains` says what to find
        const char* contains = nullptr;
        const char* lacks = nullptr;
    } steps[] = {
        {"AT+CPMS=?",
         "\r\n+CPMS: (\"SM\",\"ME\",\"SR\"),(\"SM\",\"ME\"),(\"SM\",\"ME\")\r\n\r\nOK\r\n"},
        {"AT+CPMS?", "\r\n+CPMS: \"SM\",1,5,\"SM\",1,5,\"SM\",1,5\r\n\r\nOK\r\n"},
        {"AT+CPMS=\"ME\"", "\r\n+CPMS: 1,10,1,5,1,5\r\n\r\nOK\r\n"},
        {"AT+CPMS?", "\r\n+CPMS: \"ME\",1,10,\"SM\",1,5,\"SM\",1,5\r\n\r\nOK\r\n"},
        {"AT+CMGL=4", nullptr, "\r\n+CMGL: 2,0,,", "+CMGL: 1,"},
        {"AT+CMGR=1", "\r\n+CMS ERROR: 321\r\n"},
        {"AT+CMGR=2", nullptr, "\r\n+CMGR: 1,,"},
        {"AT+CMGD=?", "\r\n+CMGD: (2),(0-4)\r\n\r\nOK\r\n"},
        {"AT+CMGD=2", "\r\nOK\r\n"},
        // SR is read from only; a store not offered is refused, and nothing changes.
        {"AT+CPMS=\"SM\",\"SR\"", "\r\n+CMS ERROR: 302\r\n"},
        {"AT+CPMS=\"SM\",\"SM\",\"MT\"", "\r\n+CMS ERROR: 302\r\n"},
        {"AT+CPMS?", "\r\n+CPMS: \"ME\",0,10,\"SM\",1,5,\"SM\",1,5\r\n\r\nOK\r\n"},
        {"AT+CPMS=\"sm\",\"ME\",\"ME\"", "\r\n+CPMS: 1,5,0,10,0,10\r\n\r\nOK\r\n"},
        {"AT+CMGR=1", nullptr, "\r\n+CMGR: 1,,"},
    };
    for (const Step& s : steps) {
        std::string got = b.Ask(s.command);
        if (s.answer) {
            EXPECT_EQ(got, s.answer) << s.command;
        }
        if (s.contains) {
            EXPECT_TRUE(Has(got, s.contains)) << s.command << ": " << got;
        }
        if (s.lacks) {
            EXPECT_FALSE(Has(got, s.lacks)) << s.command << ": " << got;
        }
    }
    EXPECT_TRUE(b.modem->Messages("ME").empty());
    EXPECT_EQ(b.modem->Messages().size(), 1u);

    // +CMGW writes to the second store.
    const std::string pdu = "0001000B818096214365F7000003C1E110";
    EXPECT_EQ(b.Ask("AT+CMGW=16"), "\r\n> ");
    b.client->Send(pdu + "\x1A");
    EXPECT_EQ(b.client->ReadUntilFinal(), "\r\n+CMGW: 1\r\n\r\nOK\r\n");
    ASSERT_EQ(b.modem->Messages("ME").size(), 1u);
    EXPECT_EQ(b.modem->Messages("ME")[0].pdu, pdu);
    EXPECT_EQ(b.modem->Messages().size(), 1u);
}

TEST(SimMessageStores, ArrivalsAndReportsAnnounceTheirStore) {
    struct Case {
        std::string scenario;
        const char* setup;     // after the indications are asked for
        std::string store;     // for a delivery on demand; empty: the scenario's
        const char* arrived;   // what announces the arrival
        const char* reported;  // what announces a stored status report
    } cases[] = {
        {kStores, "AT", "", "+CMTI: \"SM\",2", "+CDSI: \"SR\",1"},
        {std::string(kStores) + "[sim]\nnew_message_store = ME\n", "AT", "", "+CMTI: \"ME\",1",
         "+CDSI: \"SR\",1"},
        {std::string(kStores) + "[sim]\nnew_message_store = ME\n", "AT", "SM", "+CMTI: \"SM\",2",
         "+CDSI: \"SR\",1"},
        {kStores, "AT+CPMS=\"SM\",\"SM\",\"ME\"", "", "+CMTI: \"ME\",1", "+CDSI: \"SR\",1"},
        // Without an SR store, reports are stored where arrivals go.
        {"[sim]\nme_capacity = 4\nnew_message_store = ME\n[network]\nreport_delay = 0\n", "AT", "",
         "+CMTI: \"ME\",1", "+CDSI: \"ME\",2"},
    };
    for (const Case& c : cases) {
        Booted b = Boot(c.scenario, "ATE0");
        EXPECT_EQ(b.Ask("AT+CNMI=2,1,0,2,0"), "\r\nOK\r\n");
        EXPECT_TRUE(b.Ask(c.setup).ends_with("\r\nOK\r\n")) << c.setup;
        EXPECT_GT(b.modem->DeliverMessage("+886955000111", "26/12/10,08:00:00+32", u"Hi", c.store),
                  0);
        std::string arrived = std::string("\r\n") + c.arrived + "\r\n";
        EXPECT_EQ(b.client->ReadUntil(arrived), arrived) << c.scenario;

        // A submission asking for a report: the report is stored and announced.
        EXPECT_EQ(b.Ask("AT+CMGS=16"), "\r\n> ");
        b.client->Send("0021000B818096214365F7000003C1E110\x1A");
        std::string reported = std::string("\r\n") + c.reported + "\r\n";
        std::string seen = b.client->ReadUntil(reported);
        EXPECT_TRUE(seen.ends_with(reported)) << c.scenario << seen;
    }
}

// A report kept in SR is read there like a message and deleted there, the SIM's messages
// untouched.
TEST(SimMessageStores, StatusReportReadFromItsStore) {
    Booted b = Boot(kStores, "ATE0");
    EXPECT_EQ(b.Ask("AT+CNMI=2,1,0,2,0"), "\r\nOK\r\n");
    EXPECT_EQ(b.Ask("AT+CMGS=16"), "\r\n> ");
    b.client->Send("0021000B818096214365F7000003C1E110\x1A");
    b.client->ReadUntil("+CDSI: \"SR\",1\r\n");
    EXPECT_EQ(b.Ask("AT+CPMS=\"SR\""), "\r\n+CPMS: 1,3,1,5,1,5\r\n\r\nOK\r\n");
    std::string report = b.Ask("AT+CMGR=1");
    EXPECT_TRUE(report.starts_with("\r\n+CMGR: 0,,25\r\n079188962304801206010B818096214365F7"))
        << report;
    EXPECT_EQ(b.Ask("AT+CMGD=1"), "\r\nOK\r\n");
    EXPECT_TRUE(b.modem->Messages("SR").empty());
    EXPECT_EQ(b.modem->Messages().size(), 1u);
    EXPECT_EQ(b.modem->Messages("ME").size(), 1u);
}

TEST(SimMessageStores, StoresNeedTheirCapacity) {
    std::string error;
    for (const char* bad :
         {"[messages.ME]\n1 = REC READ | PDU | 0001000B818096214365F7000003C1E110\n",
          "[messages.SR]\n1 = REC READ | PDU | 0001000B818096214365F7000003C1E110\n",
          "[sim]\nnew_message_store = ME\n", "[sim]\nnew_message_store = SR\n",
          "[sim]\nme_capacity = 1001\n", "[messages.XX]\n"}) {
        EXPECT_FALSE(ParseScenario(bad, &error)) << bad;
    }
    // A modem with the SIM's store only refuses the others, as before.
    Booted b = Boot("[sim]\nmessage_capacity = 5\n", "ATE0");
    EXPECT_EQ(b.Ask("AT+CPMS=?"), "\r\n+CPMS: (\"SM\"),(\"SM\"),(\"SM\")\r\n\r\nOK\r\n");
    EXPECT_EQ(b.Ask("AT+CPMS=\"ME\""), "\r\n+CMS ERROR: 302\r\n");
    EXPECT_EQ(b.modem->DeliverMessage("+886955000111", "26/12/10,08:00:00+32", u"Hi", "ME"), -1);
}

}  // namespace
}  // namespace telvane::modemsim
