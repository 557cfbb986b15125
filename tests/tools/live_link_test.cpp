// What a connected client meets on a live link: new messages announced as AT+CNMI asks, status
// reports for its submissions, PIN and PUK entry, and phonebook names in each character set.
#include <gtest/gtest.h>

#include <memory>
#include <regex>
#include <thread>

#include "modemsim/control.h"
#include "modemsim/sim_pdu.h"
#include "modemsim/simulated_modem.h"
#include "pty_client.h"

namespace telvane::modemsim {
namespace {

using namespace std::chrono_literals;
using testing::Booted;
using testing::PtyClient;

Booted Boot(const std::string& text) {
    return testing::Boot(text, "ATE0;+CMEE=1");
}

int Deliver(Booted& b, const std::u16string& text) {
    return b.modem->DeliverMessage("+886955000111", "26/12/10,08:00:00+32", text);
}

TEST(LiveLink, NewMessagesAreAnnouncedAsTheClientAsks) {
    Booted b = Boot("[sim]\nmessage_capacity = 10\n");
    EXPECT_EQ(b.Ask("AT+CNMI=?"), "\r\n+CNMI: (0-2),(0-3),(0,2),(0-2),(0,1)\r\n\r\nOK\r\n");
    // The profile announces nothing: the message is stored all the same.
    EXPECT_EQ(b.Ask("AT+CNMI?"), "\r\n+CNMI: 0,0,0,0,0\r\n\r\nOK\r\n");
    EXPECT_EQ(Deliver(b, u"one"), 1);
    EXPECT_EQ(b.Ask("AT+CPMS?"), "\r\n+CPMS: \"SM\",1,10,\"SM\",1,10,\"SM\",1,10\r\n\r\nOK\r\n");

    EXPECT_EQ(b.Ask("AT+CNMI=2,1"), "\r\nOK\r\n");
    EXPECT_EQ(Deliver(b, u"two"), 2);
    EXPECT_EQ(b.client->ReadUntil("+CMTI: \"SM\",2\r\n"), "\r\n+CMTI: \"SM\",2\r\n");
    EXPECT_NE(b.Ask("AT+CMGR=2").find("\r\n+CMGR: 0,,"), std::string::npos);

    // Handed over whole with +CMT and not stored.
    EXPECT_EQ(b.Ask("AT+CNMI=2,2;+CNMI?"), "\r\n+CNMI: 2,2,0,0,0\r\n\r\nOK\r\n");
    auto pdu = EncodeDeliver("+886932400821", "+886955000111", "26/12/10,08:00:00+32", u"three");
    ASSERT_TRUE(pdu);
    EXPECT_EQ(Deliver(b, u"three"), 0);
    EXPECT_EQ(b.client->ReadUntil(*pdu + "\r\n"),
              "\r\n+CMT: ," + std::to_string(TpduLength(*pdu)) + "\r\n" + *pdu + "\r\n");
    EXPECT_EQ(b.modem->Messages().size(), 2u);

    // Kept in the modem (mode 0), then passed on after the OK that leaves mode 0 ...
    EXPECT_EQ(b.Ask("AT+CNMI=0,1"), "\r\nOK\r\n");
    EXPECT_EQ(Deliver(b, u"four"), 3);
    b.client->Send("AT+CNMI=2,1\r");
    EXPECT_EQ(b.client->ReadUntil("+CMTI: \"SM\",3\r\n"), "\r\nOK\r\n\r\n+CMTI: \"SM\",3\r\n");
    // ... or dropped when the client asks so (<bfr> 1).
    EXPECT_EQ(b.Ask("AT+CNMI=0"), "\r\nOK\r\n");
    EXPECT_EQ(Deliver(b, u"five"), 4);
    EXPECT_EQ(b.Ask("AT+CNMI=2,1,0,0,1"), "\r\nOK\r\n");
    EXPECT_EQ(Deliver(b, u"six"), 5);
    EXPECT_EQ(b.client->ReadUntil("+CMTI: \"SM\",5\r\n"), "\r\n+CMTI: \"SM\",5\r\n");

    for (const char* refused : {"AT+CNMI=3", "AT+CNMI=2,4", "AT+CNMI=2,1,1", "AT+CNMI=x"})
        EXPECT_EQ(b.Ask(refused), "\r\n+CMS ERROR: 303\r\n") << refused;
    EXPECT_EQ(b.Ask("AT+CNMI?"), "\r\n+CNMI: 2,1,0,0,1\r\n\r\nOK\r\n");
    // ATZ brings the profile back.
    EXPECT_EQ(b.Ask("ATZ;E0;+CNMI?"), "\r\n+CNMI: 0,0,0,0,0\r\n\r\nOK\r\n");
}

// While the client types a message after "> ", mode 2 holds an indication until the message
// is done and mode 1 drops it; the message itself is stored either way.
TEST(LiveLink, IndicationsWhileTheLineIsBusy) {
    const std::string submit = "0001000B818096214365F7000003C1E110";
    struct Case {
        const char* cnmi;
        const char* after;  // what follows the submission's answer
    } cases[] = {{"AT+CNMI=2,1", "\r\n+CMTI: \"SM\",1\r\n"}, {"AT+CNMI=1,1", ""}};
    for (const Case& c : cases) {
        Booted b = Boot("[modem]\ncnmi = 2,1\n");
        b.Ask(c.cnmi);
        EXPECT_EQ(b.Ask("AT+CMGS=16"), "\r\n> ");
        EXPECT_EQ(Deliver(b, u"while typing"), 1);
        b.client->Send(submit + "\x1A");
        std::string seen = b.client->ReadUntil(*c.after ? c.after : "OK\r\n");
        // The next command's answer marks the end of what came unasked.
        seen += b.Ask("AT");
        EXPECT_EQ(seen, std::string("\r\n+CMGS: 1\r\n\r\nOK\r\n") + c.after + "\r\nOK\r\n")
            << c.cnmi;
        EXPECT_EQ(b.modem->Messages().size(), 1u);
    }
}

TEST(LiveLink, StatusReportsCarryTheSubmissionsReference) {
    Booted b = Boot("[network]\nreport_delay = 0\n");
    // TP-SRR is bit 5 of the first octet: 01 asks for no report, 21 for one.
    const std::string plain = "0001000B818096214365F7000003C1E110";
    const std::string report = "0021000B818096214365F7000003C1E110";
    // Sends a PDU and reads until `until`: the report may follow the answer in the same read.
    auto submit = [&](const std::string& pdu, const std::string& until) {
        EXPECT_EQ(b.Ask("AT+CMGS=16"), "\r\n> ");
        b.client->Send(pdu + "\x1A");
        return b.client->ReadUntil(until);
    };
    EXPECT_EQ(b.Ask("AT+CNMI=2,1,0,1,0"), "\r\nOK\r\n");
    EXPECT_EQ(submit(plain, "OK\r\n"), "\r\n+CMGS: 1\r\n\r\nOK\r\n");
    // +CDS: <length> and the report: service centre, first octet 06, reference 02, the
    // recipient, two time stamps, status 00 (delivered).  Nothing came for reference 1.
    const std::regex cds(
        "^\r\n\\+CMGS: 2\r\n\r\nOK\r\n\r\n\\+CDS: 25\r\n"
        "079188962304801206020B818096214365F7[0-9]{28}00\r\n$");
    std::string seen = submit(report, "00\r\n");
    EXPECT_TRUE(std::regex_match(seen, cds)) << seen;

    // Stored and announced with +CDSI; one asked for on demand carries its own status.
    EXPECT_EQ(b.Ask("AT+CNMI=2,1,0,2,0"), "\r\nOK\r\n");
    EXPECT_EQ(submit(report, "+CDSI: \"SM\",1\r\n"),
              "\r\n+CMGS: 3\r\n\r\nOK\r\n\r\n+CDSI: \"SM\",1\r\n");
    EXPECT_TRUE(std::regex_match(
        b.Ask("AT+CMGR=1"),
        std::regex("\r\n\\+CMGR: 0,,25\r\n079188962304801206030B818096214365F7[0-9]{28}00"
                   "\r\n\r\nOK\r\n")));
    EXPECT_TRUE(b.modem->ReportStatus(1, 0x46));
    EXPECT_FALSE(b.modem->ReportStatus(99, 0));
    EXPECT_EQ(b.client->ReadUntil("+CDSI: \"SM\",2\r\n"), "\r\n+CDSI: \"SM\",2\r\n");
    std::string failed = b.Ask("AT+CMGR=2");
    EXPECT_NE(failed.find("06010B818096214365F7"), std::string::npos) << failed;
    EXPECT_NE(failed.find("46\r\n\r\nOK"), std::string::npos) << failed;
}

TEST(LiveLink, PinAndPukWithTheirAttempts) {
    Booted b = Boot("[sim]\nstate = pin\npin = 4321\npuk = 87654321\n");
    struct Step {
        const char* command;
        const char* answer;
    } steps[] = {
        {"AT+CPINR",
         "\r\n+CPINR: SIM PIN,3,3\r\n+CPINR: SIM PUK,10,10\r\n+CPINR: SIM PIN2,3,3\r\n"
         "+CPINR: SIM PUK2,10,10\r\n\r\nOK\r\n"},
        {"AT+CPIN=\"12\"", "\r\n+CME ERROR: 3\r\n"},  // not a PIN: no attempt spent
        {"AT+CPIN=\"0000\"", "\r\n+CME ERROR: 16\r\n"},
        {"AT+CPINR=\"SIM PIN\"", "\r\n+CPINR: SIM PIN,2,3\r\n\r\nOK\r\n"},
        {"AT+CPIN=\"0000\"", "\r\n+CME ERROR: 16\r\n"},
        {"AT+CPIN=\"0000\"", "\r\n+CME ERROR: 16\r\n"},
        {"AT+CPIN?", "\r\n+CPIN: SIM PUK\r\n\r\nOK\r\n"},
        {"AT+CMGL=4", "\r\n+CMS ERROR: 316\r\n"},
        {"AT+CPBR=1", "\r\n+CME ERROR: 12\r\n"},
        {"AT+CPIN=\"4321\"", "\r\n+CME ERROR: 3\r\n"},  // the PUK is asked for now
        {"AT+CPIN=\"11111111\",\"1111\"", "\r\n+CME ERROR: 16\r\n"},
        {"AT+CPINC", "\r\n+CPINC: 0,3,9,10\r\n\r\nOK\r\n"},
        {"AT+CPIN=\"87654321\",\"2468\"", "\r\nOK\r\n"},
        {"AT+CPIN?", "\r\n+CPIN: READY\r\n\r\nOK\r\n"},
        {"AT+CPIN=\"2468\"", "\r\n+CME ERROR: 3\r\n"},
        {"AT+CPINR=\"SIM PI*\"", "\r\n+CPINR: SIM PIN,3,3\r\n+CPINR: SIM PIN2,3,3\r\n\r\nOK\r\n"},
    };
    for (const Step& s : steps)
        EXPECT_EQ(b.Ask(s.command), s.answer) << s.command;

    Booted last = Boot("[sim]\nstate = puk\npuk_attempts = 1\n");
    EXPECT_EQ(last.Ask("AT+CPIN=\"00000000\",\"1234\""), "\r\n+CME ERROR: 16\r\n");
    EXPECT_EQ(last.Ask("AT+CPIN?"), "\r\n+CME ERROR: 13\r\n");
    EXPECT_EQ(last.Ask("AT+CMGL=4"), "\r\n+CMS ERROR: 313\r\n");
    EXPECT_EQ(last.Ask("AT+CPIN=\"12345678\",\"1234\""), "\r\n+CME ERROR: 13\r\n");

    // Modems that know only one of the two queries.
    Booted cpinr = Boot("[modem]\nretries_query = cpinr\n");
    EXPECT_EQ(cpinr.Ask("AT+CPINC"), "\r\nERROR\r\n");
    Booted neither = Boot("[modem]\nretries_query = none\n");
    EXPECT_EQ(neither.Ask("AT+CPINR"), "\r\nERROR\r\n");
}

const char kNames[] = R"(
[phonebook]
capacity = 10
text_limit = 14
1 = +886933222111 | 媽媽
2 = +886919876543 | 爸爸 Dad
3 = 0227001234 | Amy_é
)";

TEST(LiveLink, PhonebookNamesInEachCharacterSet) {
    Booted b = Boot(kNames);
    EXPECT_EQ(b.Ask("AT+CSCS=?"), "\r\n+CSCS: (\"GSM\",\"IRA\",\"8859-1\",\"UCS2\")\r\n\r\nOK\r\n");
    struct Case {
        const char* charset;
        const char* limit;  // of +CPBR=?
        const char* names[3];
    } cases[] = {
        // '_' and 'é' are 0x11 and 0x05 in the GSM alphabet; what a set lacks shows as '?'.
        {"GSM", "14", {"??", "?? Dad", "Amy\x11\x05"}},
        {"IRA", "14", {"??", "?? Dad", "Amy_?"}},
        {"8859-1", "14", {"??", "?? Dad", "Amy_\xE9"}},
        {"UCS2", "6", {"5ABD5ABD", "723872380020004400610064", "0041006D0079005F00E9"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.charset);
        EXPECT_EQ(b.Ask(std::string("AT+CSCS=\"") + c.charset + "\""), "\r\nOK\r\n");
        EXPECT_EQ(b.Ask("AT+CPBR=?"),
                  std::string("\r\n+CPBR: (1-10),20,") + c.limit + "\r\n\r\nOK\r\n");
        EXPECT_EQ(b.Ask("AT+CPBR=1,3"), std::string("\r\n+CPBR: 1,\"+886933222111\",145,\"") +
                                            c.names[0] + "\"\r\n+CPBR: 2,\"+886919876543\",145,\"" +
                                            c.names[1] + "\"\r\n+CPBR: 3,\"0227001234\",129,\"" +
                                            c.names[2] + "\"\r\n\r\nOK\r\n");
    }

    struct Write {
        const char* charset;
        const char* name;
        const char* answer;
        const char* stored;  // UTF-8, when written
    } writes[] = {
        {"UCS2", "004D006F006D00205ABD54AA", "\r\nOK\r\n", "Mom 媽咪"},  // 13 bytes on the SIM
        {"UCS2", "5ABD5ABD5ABD5ABD5ABD5ABD5ABD", "\r\n+CME ERROR: 24\r\n", nullptr},
        {"UCS2", "5ABD5AB", "\r\n+CME ERROR: 25\r\n", nullptr},
        {"UCS2", "5ABD5AXD", "\r\n+CME ERROR: 25\r\n", nullptr},
        {"GSM", "Amy Chen 1234", "\r\nOK\r\n", "Amy Chen 1234"},
        {"GSM", "Caf\x05", "\r\nOK\r\n", "Café"},
        {"GSM", "Caf\xE9", "\r\n+CME ERROR: 25\r\n", nullptr},
        {"IRA", "Caf\xE9", "\r\n+CME ERROR: 25\r\n", nullptr},
        {"IRA", "Fire/Ambulance", "\r\nOK\r\n", "Fire/Ambulance"},
        {"IRA", "Fire/Ambulance!", "\r\n+CME ERROR: 24\r\n", nullptr},
    };
    for (const Write& w : writes) {
        SCOPED_TRACE(std::string(w.charset) + " " + w.name);
        b.Ask(std::string("AT+CSCS=\"") + w.charset + "\"");
        EXPECT_EQ(b.Ask(std::string("AT+CPBW=4,\"+886933222111\",145,\"") + w.name + "\""),
                  w.answer);
        auto book = b.modem->Phonebook();
        if (w.stored) {
            ASSERT_EQ(book.size(), 4u);
            EXPECT_EQ(book[3].name, w.stored);
        }
    }
    // What was written reads back in UCS2 the same.
    b.Ask("AT+CSCS=\"UCS2\";+CPBW=4,\"+886933222111\",145,\"004D006F006D00205ABD54AA\"");
    EXPECT_EQ(b.Ask("AT+CPBR=4"),
              "\r\n+CPBR: 4,\"+886933222111\",145,\"004D006F006D00205ABD54AA\"\r\n\r\nOK\r\n");
}

// Some modems hand out the SIM's own record forms in "UCS2"; a name in the GSM alphabet stays
// plain hex.
TEST(LiveLink, PhonebookNamesInTheSimsRecordForms) {
    struct Case {
        const char* form;
        const char* dad;
    } cases[] = {
        {"plain", "723872380020004400610064"},
        {"80", "80723872380020004400610064"},
        {"81", "8106E4B8B820446164"},    // base 0x7200 (E4 << 7), offsets 0x38
        {"82", "82067238808020446164"},  // base 0x7238, offsets 0
    };
    for (const Case& c : cases) {
        Booted b = Boot(std::string(kNames) + "ucs2_form = " + c.form + "\n");
        b.Ask("AT+CSCS=\"UCS2\"");
        EXPECT_EQ(b.Ask("AT+CPBR=2,3"), std::string("\r\n+CPBR: 2,\"+886919876543\",145,\"") +
                                            c.dad +
                                            "\"\r\n+CPBR: 3,\"0227001234\",129,"
                                            "\"0041006D0079005F00E9\"\r\n\r\nOK\r\n")
            << c.form;
    }
}

TEST(LiveLink, LongMessagesArriveAndLeaveInParts) {
    const std::string gammuPart =
        "0791889623048012400C9188962143658700006221014145350019050003EE0202EE73101D5D06DDD16F7619"
        "442FE3E92E";
    Booted b = Boot(
        "[modem]\ncnmi = 0,1\n[unsolicited]\nincoming at 0 = +886955000111 | "
        "26/12/10,08:00:00+32 | " +
        std::string(200, 'x') + "\nincoming at 0 = PDU | " + gammuPart + "\n");
    // Both parts of ours, then gammu's second part, each announced: kept in the modem until the
    // client asks for the indications.
    auto deadline = std::chrono::steady_clock::now() + 5s;
    while (b.modem->Messages().size() < 3 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(10ms);
    b.client->Send("AT+CNMI=2,1\r");
    EXPECT_EQ(b.client->ReadUntil("+CMTI: \"SM\",3\r\n"),
              "\r\nOK\r\n\r\n+CMTI: \"SM\",1\r\n\r\n+CMTI: \"SM\",2\r\n\r\n+CMTI: \"SM\",3\r\n");
    auto stored = b.modem->Messages();
    ASSERT_EQ(stored.size(), 3u);
    EXPECT_EQ(ConcatenationOf(stored[1].pdu)->part, 2);
    EXPECT_EQ(stored[2].pdu, gammuPart);

    // Two parts submitted one after the other are recorded and joined by reference.
    auto parts = EncodeStoredSubmitParts("+886912345678", std::u16string(170, u'y'), 9);
    ASSERT_TRUE(parts);
    ASSERT_EQ(parts->size(), 2u);
    for (const std::string& part : *parts) {
        EXPECT_EQ(b.Ask("AT+CMGS=" + std::to_string(TpduLength(part))), "\r\n> ");
        b.client->Send(part + "\x1A");
        EXPECT_NE(b.client->ReadUntilFinal().find("+CMGS: "), std::string::npos);
    }
    auto submitted = b.modem->SubmittedMessages();
    ASSERT_EQ(submitted.size(), 1u);
    EXPECT_EQ(submitted[0].text, std::string(170, 'y'));
    EXPECT_EQ(submitted[0].parts, 2);
    EXPECT_EQ(submitted[0].received, 2);
}

TEST(LiveLink, ControlLinesChangeTheRunningModem) {
    Booted b = Boot("[network]\nreport_delay = 600000\n");
    b.Ask("AT+CNMI=2,1,0,1;+CREG=1");
    EXPECT_EQ(b.Ask("AT+CMGS=16"), "\r\n> ");
    b.client->Send("0021000B818096214365F7000003C1E110\x1A");
    EXPECT_EQ(b.client->ReadUntilFinal(), "\r\n+CMGS: 1\r\n\r\nOK\r\n");
    // Two parts: 153 septets and the rest.
    const std::string longText(170, 'z');
    const std::string longLine = "deliver +886955000111 | | " + longText;
    struct Case {
        const char* line;
        const char* problem;
        const char* seen;  // what the client then reads, up to its end
    } cases[] = {
        {"deliver +886955000111 | 26/12/10,08:00:00+32 | Hi | there", "",
         "\r\n+CMTI: \"SM\",1\r\n"},
        {"deliver +886955000111 | | now", "", "\r\n+CMTI: \"SM\",2\r\n"},
        {"deliver-pdu 0791889623048012040C918896214365870008622101900000230465E95B89", "",
         "\r\n+CMTI: \"SM\",3\r\n"},
        {"unsolicited RING", "", "\r\nRING\r\n"},
        {"registration 5", "", "\r\n+CREG: 5\r\n"},
        {"report 1 0", "", "00\r\n"},
        {"report 7 0", "no submission had that reference", nullptr},
        {"report 1", "expected report REFERENCE STATUS", nullptr},
        {"deliver +1 | 26/12 | x",
         "cannot deliver (sender, time or length, or the store is full or not offered)", nullptr},
        {"deliver-pdu 07XYZ", "cannot deliver (malformed PDU, or the store is full or not offered)",
         nullptr},
        {"deliver ME +886955000111 | | x",
         "cannot deliver (sender, time or length, or the store is full or not offered)", nullptr},
        {"deliver SM +886955000111 | | in SM", "", "\r\n+CMTI: \"SM\",4\r\n"},
        {longLine.c_str(), "", "\r\n+CMTI: \"SM\",5\r\n\r\n+CMTI: \"SM\",6\r\n"},
        {"signal 40", "expected signal 0-31 or 99", nullptr},
        {"# a note", "", nullptr},
        {"launch", "unknown command launch", nullptr},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ApplyControl(*b.modem, c.line), c.problem) << c.line;
        if (c.seen) {
            EXPECT_TRUE(b.client->ReadUntil(c.seen).ends_with(c.seen)) << c.line;
        }
    }
    EXPECT_EQ(DecodeForTextMode(b.modem->Messages()[0].pdu).text, "Hi | there");
    ASSERT_GE(b.modem->Messages().size(), 6u);
    EXPECT_EQ(DecodeForTextMode(b.modem->Messages()[4].pdu).text +
                  DecodeForTextMode(b.modem->Messages()[5].pdu).text,
              longText);
    EXPECT_EQ(ApplyControl(*b.modem, "signal 7"), "");
    EXPECT_EQ(b.Ask("AT+CSQ"), "\r\n+CSQ: 7,99\r\n\r\nOK\r\n");
    EXPECT_EQ(ApplyControl(*b.modem, "drop"), "");
    b.client->ReadUntil("never", 1s);
    EXPECT_TRUE(b.client->HungUp());
}

}  // namespace
}  // namespace telvane::modemsim
