// The answers the information and USSD jobs read, from real modems' forms.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "modem/info_parsers.h"

namespace telvane {
namespace {

TEST(InfoParsers, IdentityLinesWithAndWithoutEchoOrPrefix) {
    struct Case {
        std::vector<std::string> lines;
        const char* command;
        std::optional<std::string> value;
    } cases[] = {
        {{"Telvane"}, "AT+CGMI", "Telvane"},
        {{"AT+CGMI\r\nTelvane"}, "AT+CGMI", "Telvane"},
        {{"+CGMI: \"Quectel\""}, "AT+CGMI", "Quectel"},
        {{"+CGSN: 867730051234567"}, "AT+CGSN", "867730051234567"},
        {{"AT+CGMM"}, "AT+CGMM", std::nullopt},
        {{}, "AT+CGMR", std::nullopt},
        {{std::string("bad\x01name")}, "AT+CGMI", std::nullopt},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ParseIdentityAnswer(c.lines, c.command), c.value) << c.command;
}

TEST(InfoParsers, IdentificationFromAti) {
    ModemInfo labelled;
    ParseIdentificationAnswer(
        {"ATI\r\nManufacturer: SIMCOM INCORPORATED\r\nModel: SIMCOM_SIM7600E\r\nRevision: "
         "SIM7600M22_V1.1\r\nIMEI: 862636051234567\r\n+GCAP: +CGSM"},
        labelled);
    EXPECT_EQ(labelled.manufacturer, "SIMCOM INCORPORATED");
    EXPECT_EQ(labelled.model, "SIMCOM_SIM7600E");
    EXPECT_EQ(labelled.revision, "SIM7600M22_V1.1");
    EXPECT_EQ(labelled.imei, "862636051234567");

    ModemInfo plain;
    plain.model = "kept";
    ParseIdentificationAnswer({"Quectel", "EC25", "Revision: EC25EFAR06A06M4G"}, plain);
    EXPECT_EQ(plain.revision, "EC25EFAR06A06M4G");
    // Once labels are found, unlabelled lines are not guessed at.
    EXPECT_EQ(plain.manufacturer, std::nullopt);
    EXPECT_EQ(plain.model, "kept");

    ModemInfo bare;
    ParseIdentificationAnswer({"Telvane", "ModemSim 900"}, bare);
    EXPECT_EQ(bare.manufacturer, "Telvane");
    EXPECT_EQ(bare.model, "ModemSim 900");
}

TEST(InfoParsers, NetworkAnswers) {
    EXPECT_EQ(ParseOperatorReadAnswer("+COPS: 0,0,\"Far, Net\",7").name, "Far, Net");
    EXPECT_EQ(ParseOperatorReadAnswer("+COPS: 0,0,\"Far, Net\",7").technology, 7);
    EXPECT_EQ(ParseOperatorReadAnswer("+COPS: 0,2,\"46692\"").technology, std::nullopt);
    EXPECT_EQ(ParseOperatorReadAnswer("+COPS: 0").name, std::nullopt);

    const struct {
        const char* line;
        Registration registration;
    } registrations[] = {
        {"+CREG: 1,1", Registration::kHome},
        {"+CREG: 2,5,\"2AF5\",\"0B88\"", Registration::kRoaming},
        {"+CREG: 0,2", Registration::kSearching},
        {"+CREG: 0,3", Registration::kDenied},
        {"+CREG: 0,0", Registration::kNone},
        {"+CREG: 0,4", Registration::kUnknown},
        {"+CREG: 1", Registration::kUnknown},
        {"+CSQ: 1,1", Registration::kUnknown},
    };
    for (const auto& r : registrations)
        EXPECT_EQ(ParseRegistrationReadAnswer(r.line), r.registration) << r.line;

    EXPECT_EQ(ParseRssiAnswer("+CSQ: 20,99"), 20);
    EXPECT_EQ(ParseRssiAnswer("+CSQ: 99,99"), std::nullopt);
    EXPECT_EQ(ParseRssiAnswer("+CSQ: x,99"), std::nullopt);
    EXPECT_EQ(SignalDbm(20), -73);
    EXPECT_EQ(SignalDbm(0), -113);
    EXPECT_EQ(SignalDbm(31), -51);
    EXPECT_EQ(SignalDbm(std::nullopt), std::nullopt);
    EXPECT_EQ(SignalBarsOf(9), 0);
    EXPECT_EQ(SignalBarsOf(20), 5);
}

TEST(InfoParsers, StoreAnswers) {
    EXPECT_EQ(ParseStoreOffer("+CPMS: (\"SM\",\"ME\",\"MT\"),(\"SM\",\"ME\"),(\"SM\")"),
              (std::vector<std::string>{"SM", "ME", "MT"}));
    // A name that could break a command line is left out.
    EXPECT_EQ(ParseStoreOffer("+CPMS: (\"SM\",\"M\\\"E\",\"me\")"),
              (std::vector<std::string>{"SM"}));
    EXPECT_EQ(ParseStoreReadAnswer("+CPMS: \"SM\",3,30,\"ME\",1,100,\"SM\",3,30"),
              (std::vector<StoreUse>{{"SM", 3, 30}, {"ME", 1, 100}}));
    EXPECT_EQ(ParseStoreChoiceAnswer("+CPMS: 2,50,3,30,3,30"), (StoreUse{"", 2, 50}));
    EXPECT_EQ(ParseStoreChoiceAnswer("+CPMS: \"SM\",2,50"), std::nullopt);
}

TEST(InfoParsers, UssdLines) {
    struct Case {
        const char* line;
        std::optional<UssdAnswer> answer;
    } cases[] = {
        {"+CUSD: 0,\"Balance: 1,50\",15", UssdAnswer{UssdStatus::kDone, u"Balance: 1,50", 15}},
        {"+CUSD: 1,\"C8329BFD06\",15", UssdAnswer{UssdStatus::kMore, u"Hello", 15}},
        {"+CUSD: 2", UssdAnswer{UssdStatus::kEnded, u"", -1}},
        {"+CUSD: 4", UssdAnswer{UssdStatus::kUnsupported, u"", -1}},
        {"+CUSD: 5", UssdAnswer{UssdStatus::kNoAnswer, u"", -1}},
        {"+CUSD: 0,\"1 Data\n2 Calls\",15", UssdAnswer{UssdStatus::kDone, u"1 Data\n2 Calls", 15}},
        {"+CUSD: 0,\"0042\",72", UssdAnswer{UssdStatus::kDone, u"B", 72}},
        {"+CUSD: x", std::nullopt},
        {"+CUSD: 0,\"", std::nullopt},
        {"+CUSS: 0", std::nullopt},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ParseUssdLine(c.line), c.answer) << c.line;
}

}  // namespace
}  // namespace telvane
