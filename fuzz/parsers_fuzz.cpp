// Every response-line parser and the toolkit parser on arbitrary lines.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "codec/message_joiner.h"
#include "codec/phone_number.h"
#include "codec/response_parsers.h"
#include "codec/toolkit_parser.h"
#include "platform/text.h"

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

class CheckingSink : public telvane::PhonebookSink {
  public:
    int32_t Capacity() const override { return 250; }
    void StoreFromSim(int32_t index, std::u16string, std::u16string) override {
        Check(index >= 1 && index <= 250);
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace telvane;
    std::string_view line(reinterpret_cast<const char*>(data), size);
    std::u16string wide = Widen(line);

    ExtractQuoted(line);
    ValueAfterColon(line);
    ValueAfterComma(wide);
    std::u16string copy = wide;
    DropThroughComma(copy);
    ModemParseState state;
    const CmeKind cme = ParseCmeError(line, state);
    Check(cme >= CmeKind::kOther && cme <= CmeKind::kModuleBusy);
    const CmsKind cms = ParseCmsError(wide);
    Check(cms >= CmsKind::kOther && cms <= CmsKind::kNotAllowed);
    const WindKind wind = ParseWindIndication(line, state);
    Check(wind >= WindKind::kOther && wind <= WindKind::kCallReleased);
    ParseSignalQuality(line, state);
    Check(state.signalLevel >= 0 && state.signalLevel <= 5);
    ParseRegistration(wide, state);
    ParseOperator(line);
    SmsRecord record = ParseStoredMessage(line, 3);
    Check(record.index == 3);
    SmsPart part = ParseStoredMessagePart(line, 3);
    Check(part.record == record);
    if (part.concat)
        Check(part.concat->sequence >= 1 && part.concat->sequence <= part.concat->total);
    std::vector<JoinedMessage> joined = JoinParts({part, part});
    Check(joined.size() == (part.concat ? 1u : 2u));

    // Whatever is typed, a number comes out clean and short enough, or refused.
    PhoneNumber number = NormalisePhoneNumber(wide);
    if (number.ok()) {
        Check(IsNormalisedNumber(number.number));
        Check(number.digits >= 1 && number.digits <= kMaxNumberDigits);
    } else {
        Check(number.number.empty() && !number.Reason().empty());
    }
    for (size_t i = 0; i < record.text.size(); ++i)
        Check(record.text[i] != u'\n' || (i > 0 && record.text[i - 1] == u'\r'));
    CheckingSink sink;
    ParsePhonebookRead(wide, sink);

    ToolkitFields fields;
    ToolkitItem item;
    for (int32_t type = -1; type <= 10; ++type)
        Check(ParseToolkitInfo(type, wide, type % 2 ? &item : nullptr, fields) == type);
    return 0;
}
