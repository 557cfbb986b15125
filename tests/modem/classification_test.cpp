#include <gtest/gtest.h>

#include <string>

#include "modem/modem_engine.h"
#include "modem/response_classifier.h"

namespace telvane {
namespace {

using namespace engine_event;

TEST(ClassifyText, KeywordTableInOrder) {
    struct Case {
        std::string response;
        int listMode;
        bool matched;
        KeptText kept;
        int event;
    } cases[] = {
        {"OK", 0, true, KeptText::kNothing, kOk},
        {"OK", 1, false, KeptText::kNothing, -1},  // a line of a block, not a final result
        {"OK\r\n", 0, false, KeptText::kNothing, -1},
        {"ok", 0, false, KeptText::kNothing, -1},
        {"ERROR", 0, false, KeptText::kNothing, -1},
        {"RING", 0, false, KeptText::kNothing, -1},
        {"+CPIN: SIM PIN", 0, false, KeptText::kNothing, -1},
        {"+CPIN: READY", 0, true, KeptText::kNothing, kSimReady},
        {"+CME ERROR: 10", 0, true, KeptText::kCmeText, kCmeError},
        {"+CME ERROR", 0, true, KeptText::kCmeText, kCmeError},
        {"+COPS: 0,2,\"46692\",0", 0, true, KeptText::kOperator, kOperator},
        {"CRING: VOICE", 0, true, KeptText::kNothing, kRing},
        {"+CLIP: \"5550100\",129", 0, true, KeptText::kClipText, kCallerId},
        {"NO CARRIER", 0, true, KeptText::kNothing, kCallEnded},
        {"BUSY", 0, true, KeptText::kNothing, kCallEnded},
        {"+CSQ: 20,99", 0, true, KeptText::kCsqText, kSignalQuality},
        {"+CREG: 1,5", 0, true, KeptText::kCregText, kRegistration},
        {"+WIND: 4", 0, true, KeptText::kWindText, kWind},
        {"+CMGS: 12", 0, true, KeptText::kSmsText, kMessageSent},
        {"+CMGW: 7", 0, true, KeptText::kSmsText, kMessageWritten},
        {"+CMSS: 3", 0, true, KeptText::kSmsText, kStoredMessageSent},
        {"+CMTI: \"SM\",3", 0, true, KeptText::kSmsText, kNewMessage},
        {"+CPMS: \"SM\",5,30", 0, true, KeptText::kSmsText, kStoreStatus},
        {"+CMGR: 0,,23\r\n0791AB\r\n", 0, true, KeptText::kSmsText, kMessageRead},
        {"+CMGL: 1,0,,23\r\n0791AB\r\n", 0, true, KeptText::kSmsText, kListing},
        {"+CPBR: (1-250),20,14", 0, true, KeptText::kSmsText, kPhonebook},
        {"+CMS ERROR: 330", 0, true, KeptText::kSmsText, kCmsError},
        {"+STGI: 1,2,\"News\",0", 0, true, KeptText::kToolkitItem, -1},
        {"+STIN: 98", 0, true, KeptText::kStinText, kToolkitIndication},
        {"+CPAS: 0", 0, true, KeptText::kCpasText, kActivityStatus},
        // Only the first rule that matches a block applies.
        {"+CREG: 1\r\n\r\n+CMTI: \"SM\",4\r\n", 0, true, KeptText::kCregText, kRegistration},
        {"+CMTI: \"SM\",4\r\n+CPIN: READY\r\n", 0, true, KeptText::kNothing, kSimReady},
        // Words inside an entry or a message are its text; call-end words count as whole lines.
        {"+CPBR: 1,\"0912\",129,\"BUSY BEE CAFE\"", 0, true, KeptText::kSmsText, kPhonebook},
        {"+CPBR: 1,\"0912\",129,\"NO CARRIER X\"\r\n+CPBR: 2,\"1\",129,\"+CME ERROR\"", 0, true,
         KeptText::kSmsText, kPhonebook},
        {"BUSY BEE CAFE", 0, false, KeptText::kNothing, -1},
        {"NO CARRIER X", 0, false, KeptText::kNothing, -1},
        {"+CPBR: 1,\"0912\",129,\"A\"\r\nBUSY\r\n", 0, true, KeptText::kNothing, kCallEnded},
        // A PDU line full of C and B digits is no keyword.
        {"0791BBCCBBCC0B4B55534259", 0, false, KeptText::kNothing, -1},
        {"", 0, false, KeptText::kNothing, -1},
    };
    for (const Case& c : cases) {
        const Classification result = ClassifyText(c.response, c.listMode);
        EXPECT_EQ(result.matched, c.matched) << c.response;
        EXPECT_EQ(result.kept, c.kept) << c.response;
        EXPECT_EQ(result.event, c.event) << c.response;
    }
}

TEST(IsUnsolicitedLine, ByTheLineAndTheCommandWaiting) {
    const struct {
        const char* line;
        const char* command;
        bool unsolicited;
    } cases[] = {
        {"+CREG: 1", "AT+CPBR=1,250", true},
        {"+CREG: 1", "", true},
        {"+CREG: 1,1", "AT+CREG?", false},
        {"+CSQ: 20,99", "AT+CSQ", false},
        {"+CSQ: 20,99", "AT+CMGF=0;+CMGL=4", true},
        {"+CPMS: \"SM\",3,30", "AT+CPMS?", false},
        {"+CPMS: 3,30,3,30,3,30", "AT+CPMS=\"ME\"", false},
        {"+COPS: 0,2,\"46692\"", "AT+COPS=3,2;+COPS?", false},
        {"+CPIN: READY", "AT+CMEE=1;+CPIN?", false},
        {"+CPIN: READY", "AT+CPINR", true},  // another command that starts alike
        {"+CDS: 25", "AT+CDSI", true},
        {"RING", "AT+CPBR=1,250", true},
        {"NO CARRIER", "AT+CPBR=1,250", true},
        {"NO ANSWER", "", true},
        {"BUSY BEE CAFE", "", false},
        {"+CPBR: 1,\"1\",129,\"BUSY\"", "AT+CPBR=1,250", false},
        {"+CMGL: 1,1,,28", "AT+CMGF=0;+CMGL=4", false},
        {"^RSSI:19", "AT+CMGF=0;+CMGL=4", true},
        {"^BOOT:37478870,0,0,0,77", "", true},
        {"OK", "", false},
        {" +CREG: 1", "", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(IsUnsolicitedLine(c.line, c.command), c.unsolicited)
            << c.line << " / " << c.command;
}

}  // namespace
}  // namespace telvane
