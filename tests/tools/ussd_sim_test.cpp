// The simulated network's USSD service: codes, menus within a session, the forms its text goes
// out in; and the modem's access technology.
#include <gtest/gtest.h>

#include <string>

#include "modemsim/simulated_modem.h"
#include "pty_client.h"

namespace telvane::modemsim {
namespace {

using testing::Boot;
using testing::Booted;

bool Has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// The answer to `command` and the network's "+CUSD:" line after it.
std::string AskUssd(Booted& b, const std::string& command) {
    std::string got = b.Ask(command);
    if (!Has(got, "+CUSD:")) got += b.client->ReadUntil("+CUSD:");
    // The whole line.
    if (got.rfind("\r\n") < got.find("+CUSD:")) got += b.client->ReadUntil("\r\n");
    return got;
}

const char kMenus[] = R"(
[modem]
ussd_form = %s
[ussd]
*100# = Balance 12.50
*149# = + 1 Data\n2 Calls
*149# 1 = + 1 Day\n2 Week
*149# 1 2 = Week pack added
*888# = 餘額 100 元
)";

std::string Menus(const std::string& form) {
    std::string text = kMenus;
    text.replace(text.find("%s"), 2, form);
    return text;
}

TEST(SimUssd, AnswersCodesAndTheRepliesOfASession) {
    Booted b = Boot(Menus("text"), "ATE0");
    struct Step {
        const char* command;
        const char* line;  // the +CUSD line that follows the OK
    } steps[] = {
        {"AT+CUSD=1,\"*100#\",15", "+CUSD: 0,\"Balance 12.50\",15"},
        {"AT+CUSD=1,\"*149#\",15", "+CUSD: 1,\"1 Data\n2 Calls\",15"},
        {"AT+CUSD=1,\"1\",15", "+CUSD: 1,\"1 Day\n2 Week\",15"},
        {"AT+CUSD=1,\"2\",15", "+CUSD: 0,\"Week pack added\",15"},
        // The session ended with that answer: "2" is a code of its own now, and unknown.
        {"AT+CUSD=1,\"2\",15", "+CUSD: 4"},
        {"AT+CUSD=1,\"*149#\",15", "+CUSD: 1,"},
        {"AT+CUSD=1,\"9\",15", "+CUSD: 4"},
        // In the UCS2 character set the code comes, and the text goes, as hex.
        {"AT+CSCS=\"UCS2\";+CUSD=1,\"002A0031003000300023\",15",
         "+CUSD: 0,\"00420061006C0061006E00630065002000310032002E00350030\",15"},
    };
    for (const auto& s : steps) {
        SCOPED_TRACE(s.command);
        const std::string got = AskUssd(b, s.command);
        EXPECT_TRUE(Has(got, "\r\nOK\r\n")) << got;
        EXPECT_TRUE(Has(got, s.line)) << got;
    }
}

TEST(SimUssd, TextGoesOutInTheFormTheScenarioAsks) {
    struct Case {
        const char* form;
        const char* code;
        const char* line;
    } cases[] = {
        {"text", "*100#", "+CUSD: 0,\"Balance 12.50\",15"},
        // "Balance 12.50": 13 septets packed.
        {"packed", "*100#", "+CUSD: 0,\"C2303BEC1E97413199AB0603\",15"},
        {"ucs2", "*100#", "+CUSD: 0,\"00420061006C0061006E00630065002000310032002E00350030\",72"},
        // Outside the default alphabet a packed answer goes as UCS2.
        {"packed", "*888#", "+CUSD: 0,\"9918984D002000310030003000205143\",72"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.form) + " " + c.code);
        Booted b = Boot(Menus(c.form), "ATE0");
        EXPECT_TRUE(Has(AskUssd(b, std::string("AT+CUSD=1,\"") + c.code + "\",15"), c.line));
    }
}

TEST(SimUssd, EndingASessionAndAModemWithoutTheService) {
    Booted b = Boot(Menus("text"), "ATE0");
    EXPECT_TRUE(Has(AskUssd(b, "AT+CUSD=1,\"*149#\",15"), "+CUSD: 1,"));
    EXPECT_EQ(b.Ask("AT+CUSD=2"), "\r\nOK\r\n");
    // A reply after the end is a code of its own.
    EXPECT_TRUE(Has(AskUssd(b, "AT+CUSD=1,\"1\",15"), "+CUSD: 4"));

    Booted none = Boot("[sim]\nstate = ready\n", "ATE0");
    EXPECT_EQ(none.Ask("AT+CUSD=1,\"*100#\",15"), "\r\nERROR\r\n");
}

TEST(SimNetwork, OperatorAnswerCarriesTheAccessTechnology) {
    Booted b = Boot(
        "[network]\noperator_name = LDTA\ntechnology = 7\n[sim]\nme_capacity = 5\n"
        "[messages ME]\n1 = REC READ | +1234567 | 01/07/20,11:52:45 | kept\n",
        "ATE0");
    EXPECT_EQ(b.Ask("AT+COPS?"), "\r\n+COPS: 0,0,\"LDTA\",7\r\n\r\nOK\r\n");
    // "[messages ME]" fills the phone's store as "[messages.ME]" does.
    EXPECT_TRUE(Has(b.Ask("AT+CPMS=\"ME\";+CMGL=4"), "+CMGL: 1,1,,"));
}

}  // namespace
}  // namespace telvane::modemsim
