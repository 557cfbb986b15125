// USSD (3GPP TS 27.007 7.15): the network's answers to codes and to the replies of a session.
#include <algorithm>

#include "modemsim/sim_pdu.h"
#include "modemsim/simulated_modem.h"
#include "platform/text.h"

namespace telvane::modemsim {
namespace {

// 23.038 5: GSM 7-bit default alphabet, language unspecified; UCS2 (general data coding).
constexpr int kDcsDefault = 15;
constexpr int kDcsUcs2 = 72;

// 27.007 7.15 <m>.
constexpr int kUssdDone = 0;
constexpr int kUssdMore = 1;
constexpr int kUssdNotSupported = 4;

// A code or reply as the client typed it: in the character set of +CSCS ("UCS2": hex).
std::string ReadUssdString(const std::string& field, const std::string& charset) {
    if (charset != "UCS2" || field.size() % 4 != 0) return field;
    std::u16string text;
    for (size_t i = 0; i < field.size(); i += 4) {
        unsigned value = 0;
        for (size_t k = 0; k < 4; ++k) {
            const char c = field[i + k];
            const int digit = c >= '0' && c <= '9'   ? c - '0'
                              : c >= 'A' && c <= 'F' ? c - 'A' + 10
                              : c >= 'a' && c <= 'f' ? c - 'a' + 10
                                                     : -1;
            if (digit < 0) return field;
            value = value * 16 + static_cast<unsigned>(digit);
        }
        text += static_cast<char16_t>(value);
    }
    return U16ToUtf8(text);
}

}  // namespace

std::string SimulatedModem::UssdLine(int status, const std::string& text) const {
    const std::u16string wide = Utf8ToU16(text);
    std::string field;
    int dcs = kDcsDefault;
    switch (scenario_.ussdForm) {
        case UssdForm::Text:
            // As the modem shows any text: in the client's character set.
            field = charset_ == "UCS2" ? Ucs2Hex(wide) : text;
            break;
        case UssdForm::Packed:
            if (std::optional<std::string> packed = PackedUssdHex(wide)) {
                field = *packed;
                break;
            }
            // A text outside the default alphabet goes as UCS2, as the network sends it.
            field = Ucs2Hex(wide);
            dcs = kDcsUcs2;
            break;
        case UssdForm::Ucs2:
            field = Ucs2Hex(wide);
            dcs = kDcsUcs2;
            break;
    }
    return "+CUSD: " + std::to_string(status) + "," + Quote(field) + "," + std::to_string(dcs);
}

AtResult SimulatedModem::Ussd(const AtCommand& c) {
    if (!scenario_.ussdOffered) return AtResult::Fail("ERROR");
    if (c.form == AtCommand::Form::Test) return AtResult::Line("+CUSD: (0-2)");
    if (c.form == AtCommand::Form::Read) return AtResult::Line("+CUSD: 1");
    if (c.form != AtCommand::Form::Set) return AtResult::Fail(CmeError(4));
    const std::vector<std::string> a = SplitArguments(c.args);
    int mode = 0;
    if (a.empty() || !ReadNumber(a[0], mode) || mode > 2) return AtResult::Fail(CmeError(4));
    if (mode == 2) {
        if (!ussdSession_.empty()) Record(TranscriptEntry::Kind::Event, "USSD session ended");
        ussdSession_.clear();
        return AtResult::Ok();
    }
    if (a.size() < 2 || a[1].empty()) return AtResult::Ok();
    const std::string said = ReadUssdString(a[1], charset_);
    std::vector<std::string> path = ussdSession_;
    path.push_back(said);
    std::string key;
    for (const std::string& word : path)
        key += (key.empty() ? "" : " ") + word;
    const auto answer = scenario_.ussd.find(key);
    if (answer == scenario_.ussd.end()) {
        ussdSession_.clear();
        afterAnswer_.push_back("+CUSD: " + std::to_string(kUssdNotSupported));
        return AtResult::Ok();
    }
    const UssdAnswer& a2 = answer->second;
    if (a2.more)
        ussdSession_ = std::move(path);
    else
        ussdSession_.clear();
    afterAnswer_.push_back(UssdLine(a2.more ? kUssdMore : kUssdDone, a2.text));
    return AtResult::Ok();
}

}  // namespace telvane::modemsim
