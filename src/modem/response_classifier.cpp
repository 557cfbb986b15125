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
    kCiev,
    kKeywordCount,
};

// Matched case-sensitively at the start of a line of a response, lines of a block included: a
// word inside an entry or a message is its text.  The call-end words count as whole lines only.
constexpr std::array<std::string_view, kKeywordCount> kKeywords = {
    "+CPIN: READY", "+CME ERROR", "+COPS:", "CRING: VOICE", "+CLIP:", "NO CARRIER",
    "BUSY",         "+CSQ:",      "+CREG:", "+WIND:",       "+CMGS:", "+CMGW:",
    "+CMSS:",       "+CMTI:",     "+CPMS:", "+CMGR:",       "+CMGL:", "+CPBR:",
    "+CMS ERROR:",  "+STGI:",     "+STIN:", "+CPAS:",       "+CIEV:",
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
    {Bit(kCiev), KeptText::kIndicator, kIndicator},
};

// Bit k set for the character that keyword k begins with.
constexpr std::array<uint32_t, 128> MakeFirstCharTable() {
    std::array<uint32_t, 128> table{};
    for (int k = 0; k < kKeywordCount; ++k)
        table[static_cast<unsigned char>(kKeywords[k][0])] |= uint32_t{1} << k;
    return table;
}
constexpr std::array<uint32_t, 128> kFirstChar = MakeFirstCharTable();

constexpr uint32_t kWholeLineWords = Bit(kNoCarrier) | Bit(kBusy);

bool LineEndsAt(std::string_view text, size_t at) {
    return at == text.size() || text[at] == '\r' || text[at] == '\n';
}

// The keywords a text's lines start with, in one pass: a listing block is long, the table is not
// short.
uint32_t FindKeywords(std::string_view text) {
    uint32_t found = 0;
    const size_t n = text.size();
    for (size_t i = 0; i < n; ++i) {
        if (i > 0 && text[i - 1] != '\n' && text[i - 1] != '\r') continue;
        uint32_t candidates = kFirstChar[static_cast<unsigned char>(text[i]) & 0x7F] & ~found;
        while (candidates) {
            const int k = __builtin_ctz(candidates);
            candidates &= candidates - 1;
            if (text.compare(i, kKeywords[k].size(), kKeywords[k]) != 0) continue;
            if ((kWholeLineWords & Bit(static_cast<KeywordId>(k))) &&
                !LineEndsAt(text, i + kKeywords[k].size()))
                continue;
            found |= uint32_t{1} << k;
        }
    }
    return found;
}

// What the modem sends on its own, by the start of the line (3GPP TS 27.007, 27.005, vendors').
constexpr std::string_view kUnsolicitedPrefixes[] = {
    "+CREG:", "+CGREG:", "+CSQ:",  "+CLIP:", "+CRING:", "CRING:", "+WIND:", "+CPIN:",
    "+COPS:", "+CPMS:",  "+CIEV:", "+STIN:", "+CMTI:",  "+CDSI:", "+CDS:",  "+CUSD:",
};
// ... and as whole lines.
constexpr std::string_view kUnsolicitedWords[] = {"RING", "NO CARRIER", "BUSY", "NO ANSWER",
                                                  "NO DIALTONE"};

// Whether `command` is (or chains) the command whose name `prefix` carries: "+CSQ:" is the
// answer of "AT+CSQ", "+CPIN:" of "AT+CMEE=1;+CPIN?".
bool CommandAsks(std::string_view command, std::string_view prefix) {
    const std::string_view name = prefix.substr(0, prefix.size() - 1);  // without the colon
    if (name.front() != '+') return false;
    for (size_t at = command.find(name); at != std::string_view::npos;
         at = command.find(name, at + 1)) {
        const size_t after = at + name.size();
        const bool nameEnds = after == command.size() || command[after] == '?' ||
                              command[after] == '=' || command[after] == ';';
        if (nameEnds) return true;
    }
    return false;
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

namespace telvane {

bool IsUnsolicitedLine(std::string_view line, std::string_view command) {
    // Vendors' own reports ("^RSSI:19", "^BOOT:..."): the engine sends no command they answer.
    if (line.starts_with('^')) return true;
    for (std::string_view word : kUnsolicitedWords)
        if (line == word) return true;
    for (std::string_view prefix : kUnsolicitedPrefixes)
        if (line.starts_with(prefix)) return !CommandAsks(command, prefix);
    return false;
}

}  // namespace telvane
