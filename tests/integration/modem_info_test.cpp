// telvane-tool modem info and ussd against the simulated modem: what the modem, SIM and
// network are, and the network's USSD answers in each form, with menus, refusals and silence.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "modemsim/simulated_modem.h"
#include "support/tool_session.h"

namespace telvane {
namespace {

using Result = testing::ToolResult;
using Watchdog = testing::ModemWatchdog;

struct Session {
    explicit Session(const std::string& scenario) : modem(testing::LoadScenario(scenario)) {
        device = modem.Start();
        EXPECT_FALSE(device.empty()) << modem.Error();
    }
    Result Run(const std::string& arguments) {
        const Watchdog watchdog(modem);
        return testing::RunToolLive("modem --device " + device + " --scale 0.1 " + arguments);
    }
    modemsim::SimulatedModem modem;
    std::string device;
};

bool Has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

const char kModem[] = R"(
[modem]
manufacturer = Quectel-like Co
model = QX 20
revision = QX20R01A05
imei = 867730051234567
[sim]
imsi = 466974300000001
me_capacity = 50
[network]
operator = 46697
operator_name = FarNet
signal = 20
technology = 7
)";

TEST(ToolModemInfo, PrintsTheModemSimAndNetwork) {
    Session s(std::string(kModem) + "registration = 1\n");
    const Result info = s.Run("info");
    EXPECT_EQ(info.status, 0) << info.out;
    EXPECT_EQ(info.out,
              "{\"manufacturer\": \"Quectel-like Co\", \"model\": \"QX 20\", \"revision\": "
              "\"QX20R01A05\", \"imei\": \"867730051234567\", \"imsi\": \"466974300000001\", "
              "\"smsCentre\": \"+886932400821\", \"operator\": \"FarNet\", \"operatorCode\": "
              "\"46697\", \"technology\": \"LTE\", \"registration\": \"home\", \"signal\": "
              "{\"rssi\": 20, \"dbm\": -73, \"bars\": 5}, \"stores\": [{\"name\": \"SM\", "
              "\"used\": 0, \"total\": 30}, {\"name\": \"ME\", \"used\": 0, \"total\": 50}]}\n");
    // The engine's operator stays in the numeric form start-up chose.
    EXPECT_EQ(s.modem.Commands().back(), "AT+CPMS=\"SM\"");
    EXPECT_TRUE(Has(info.out, "\"operatorCode\": \"46697\""));
}

TEST(ToolModemInfo, RegistrationAndSignalInWords) {
    struct Case {
        const char* network;
        const char* registration;
        const char* signal;
    } cases[] = {
        {"registration = 5\nsignal = 31\n", "roaming", "{\"rssi\": 31, \"dbm\": -51, \"bars\": 5}"},
        {"registration = 2\nsignal = 9\n", "searching", "{\"rssi\": 9, \"dbm\": -95, \"bars\": 0}"},
        {"registration = 3\nsignal = 99\n", "denied",
         "{\"rssi\": null, \"dbm\": null, \"bars\": 0}"},
        {"registration = 0\nsignal = 0\n", "none", "{\"rssi\": 0, \"dbm\": -113, \"bars\": 0}"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.registration);
        Session s(std::string("[network]\n") + c.network);
        const Result info = s.Run("info");
        EXPECT_EQ(info.status, 0) << info.out;
        EXPECT_TRUE(Has(info.out, std::string("\"registration\": \"") + c.registration + "\""))
            << info.out;
        EXPECT_TRUE(Has(info.out, std::string("\"signal\": ") + c.signal)) << info.out;
        // Without a network there is no operator to name.
        if (std::string(c.registration) != "roaming") {
            EXPECT_TRUE(Has(info.out, "\"operator\": null, \"operatorCode\": null")) << info.out;
        }
    }
}

TEST(ToolModemInfo, WhatAModemDoesNotGiveIsNull) {
    // A modem that knows none of the identity commands names itself through ATI.
    Session s("[faults]\nrefuse = +CGMI\nrefuse = +CGMM\nrefuse = +CIMI\n");
    const Result info = s.Run("info");
    EXPECT_TRUE(Has(info.out, "\"manufacturer\": \"Telvane\", \"model\": \"ModemSim 900\""))
        << info.out;
    EXPECT_TRUE(Has(info.out, "\"imsi\": null")) << info.out;
}

const char kUssd[] = R"(
[modem]
ussd_form = %s
[ussd]
*100# = Your balance is 12.50
*149# = + 1 Data\n2 Calls
*149# 2 = + Calls\n1 Bundle
*149# 2 1 = Bundle added
*886# = 您的餘額為 100 元
*1# = Say "yes", then 1
)";

std::string Ussd(const std::string& form) {
    std::string text = kUssd;
    text.replace(text.find("%s"), 2, form);
    return text;
}

TEST(ToolModemUssd, AnswersInEveryFormTheModemUses) {
    struct Case {
        const char* form;
        const char* code;
        const char* line;
    } cases[] = {
        {"text", "*100#",
         "{\"event\": \"ussd\", \"status\": \"done\", \"text\": \"Your balance is 12.50\"}\n"},
        {"packed", "*100#",
         "{\"event\": \"ussd\", \"status\": \"done\", \"text\": \"Your balance is 12.50\"}\n"},
        {"ucs2", "*100#",
         "{\"event\": \"ussd\", \"status\": \"done\", \"text\": \"Your balance is 12.50\"}\n"},
        {"ucs2", "*886#",
         "{\"event\": \"ussd\", \"status\": \"done\", \"text\": \"您的餘額為 100 元\"}\n"},
        // Quotes inside a text the modem passes on as it is.
        {"text", "*1#",
         "{\"event\": \"ussd\", \"status\": \"done\", \"text\": \"Say \\\"yes\\\", then 1\"}\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.form) + " " + c.code);
        Session s(Ussd(c.form));
        const Result r = s.Run(std::string("ussd '") + c.code + "'");
        EXPECT_EQ(r.status, 0) << r.out;
        EXPECT_EQ(r.out, c.line);
        // A finished session is not ended again.
        EXPECT_EQ(s.modem.CountCommands("AT+CUSD=2"), 0);
    }
}

TEST(ToolModemUssd, AMenuOfTwoLevelsAndOneLeftOpen) {
    Session s(Ussd("packed"));
    Result r = s.Run("ussd '*149#' 2 1");
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(r.out,
              "{\"event\": \"ussd\", \"status\": \"more\", \"text\": \"1 Data\\n2 Calls\"}\n"
              "{\"event\": \"ussd\", \"status\": \"more\", \"text\": \"Calls\\n1 Bundle\"}\n"
              "{\"event\": \"ussd\", \"status\": \"done\", \"text\": \"Bundle added\"}\n");
    EXPECT_EQ(s.modem.CountCommands("AT+CUSD=2"), 0);
    // Out of replies while the menu waits: the session is ended.  As text, the menu's line
    // breaks come as they are, inside the quotes.
    Session text(Ussd("text"));
    r = text.Run("ussd '*149#' 2");
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(r.out,
              "{\"event\": \"ussd\", \"status\": \"more\", \"text\": \"1 Data\\n2 Calls\"}\n"
              "{\"event\": \"ussd\", \"status\": \"more\", \"text\": \"Calls\\n1 Bundle\"}\n");
    EXPECT_EQ(text.modem.CountCommands("AT+CUSD=2"), 1);
}

TEST(ToolModemUssd, RefusedUnsupportedAndUnanswered) {
    struct Case {
        const char* scenario;
        const char* arguments;
        int status;
        const char* out;
        bool reachesModem;
    } cases[] = {
        {"", "ussd '*999#'", 1, "\"status\": \"unsupported\"", true},
        // A modem without the service refuses the command.
        {"[sim]\nstate = ready\n", "ussd '*100#'", 1, "\"status\": \"refused\"", true},
        {"[ussd]\n*100# = x\n[faults]\nmute = +CUSD\n", "ussd '*100#'", 4, "no USSD answer", true},
        // What is no code or reply never reaches the modem.
        {"", "ussd '*100#\"'", 2, "is no USSD code", false},
        {"", "ussd '*149#' '1;ATD'", 2, "is no USSD reply", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments);
        Session s(*c.scenario ? std::string(c.scenario) : Ussd("text"));
        const Result r = s.Run(c.arguments);
        EXPECT_EQ(r.status, c.status) << r.out;
        EXPECT_TRUE(Has(r.out, c.out)) << r.out;
        EXPECT_EQ(s.modem.CountCommands("+CUSD=1"), c.reachesModem ? 1 : 0);
    }
}

}  // namespace
}  // namespace telvane
