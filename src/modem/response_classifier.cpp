#include "modem/response_classifier.h"

#include <array>
#include <cstdint>

#include "modem/modem_engine.h"

namespace telvane {
namespace {

using namespace engine_event;

enum KeywordId : int {
    kCpinReady,
    kCmeErrorWord,
    kCops,
    kCringVoice,
    kClip,
    kNoCarrier,
    kBusy,
    kCsq,
    kCreg,
    kWindWord,
    kCmgs,
    kCmgw,
    kCmss,
    kCmti,
    kCpms,
    kCmgr,
    kCmgl,
    kCpbr,
    kCmsErrorWord,
    kStgi,
    kStin,
    kCpas,
    kKeywordCount,
};

// Matched case-sensitively anywhere in a response, lines of a block included.
constexpr std::array<std::string_view, kKeywordCount> kKeywords = {
    "+CPIN: READY", "+CME ERROR", "+COPS:", "CRING: VOICE", "+CLIP:", "NO CARRIER",
    "BUSY",         "+CSQ:",      "+CREG:", "+WIND:",       "+CMGS:", "+CMGW:",
    "+CMSS:",       "+CMTI:",     "+CPMS:", "+CMGR:",       "+CMGL:", "+CPBR:",
    "+CMS ERROR:",  "+STGI:",     "+STIN:", "+CPAS:",
};

constexpr uint32_t Bit(KeywordId id) {
    return uint32_t{1} << id;
}

struct Rule {
    uint32_t keywords;  // any of them
    KeptText kept;
    int event;
};

// The first rule that matches applies, so a block of a "+CREG:" line and a "+CMTI:" line is a
// registration report only.
constexpr Rule kRules[] = {
    {Bit(kCpinReady), KeptText::kNothing, kSimReady},
    {Bit(kCmeErrorWord), KeptText::kCmeText, kCmeError},
    {Bit(kCops), KeptText::kOperator, kOperator},
    {Bit(kCringVoice), KeptText::kNothing, kRing},
    {Bit(kClip), KeptText::kClipText, kCallerId},
    {Bit(kNoCarrier) | Bit(kBusy), KeptText::kNothing, kCallEnded},
    {Bit(kCsq), KeptText::kCsqText, kSignalQuality},
    {Bit(kCreg), KeptText::kCregText, kRegistration},
    {Bit(kWindWord), KeptText::kWindText, kWind},
    {Bit(kCmgs), KeptText::kSmsText, kMessageSent},
    {Bit(kCmgw), KeptText::kSmsText, kMessageWritten},
    {Bit(kCmss), KeptText::kSmsText, kStoredMessageSent},
    {Bit(kCmti), KeptText::kSmsText, kNewMessage},
    {Bit(kCpms), KeptText::kSmsText, kStoreStatus},
    {Bit(kCmgr), KeptText::kSmsText, kMessageRead},
    {Bit(kCmgl), KeptText::kSmsText, kListing},
    {Bit(kCpbr), KeptText::kSmsText, kPhonebook},
    {Bit(kCmsErrorWord), KeptText::kSmsText, kCmsError},
    {Bit(kStgi), KeptText::kToolkitItem, -1},
    {Bit(kStin), KeptText::kStinText, kToolkitIndication},
    {Bit(kCpas), KeptText::kCpasText, kActivityStatus},
};

// Bit k set for the character that keyword k begins with.
constexpr std::array<uint32_t, 128> MakeFirstCharTable() {
    std::array<uint32_t, 128> table{};
    for (int k = 0; k < kKeywordCount; ++k)
        table[static_cast<unsigned char>(kKeywords[k][0])] |= uint32_t{1} << k;
    return table;
}
constexpr std::array<uint32_t, 128> kFirstChar = MakeFirstCharTable();

// The keywords a text contains, in one pass: a listing block is long, the table is not short.
uint32_t FindKeywords(std::string_view text) {
    uint32_t found = 0;
    const size_t n = text.size();
    for (size_t i = 0; i < n; ++i) {
        uint32_t candidates = kFirstChar[static_cast<unsigned char>(text[i]) & 0x7F] & ~found;
        while (candidates) {
            const int k = __builtin_ctz(candidates);
            candidates &= candidates - 1;
            if (text.compare(i, kKeywords[k].size(), kKeywords[k]) == 0) found |= uint32_t{1} << k;
        }
    }
    return found;
}

}  // namespace

Classification ClassifyText(std::string_view response, int listMode) {
    if (response.empty()) return {};
    if (listMode == 0 && response == "OK") return {true, KeptText::kNothing, kOk};
    const uint32_t found = FindKeywords(response);
    if (found == 0) return {};
    for (const Rule& rule : kRules)
        if (found & rule.keywords) return {true, rule.kept, rule.event};
    return {};
}

}  // namespace telvane
