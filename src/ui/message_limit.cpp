#include "ui/message_limit.h"

#include "codec/pdu_codec.h"

namespace telvane {

MessageLength MeasureMessage(std::u16string_view text, bool sixteenBitReference) {
    const PartsMeasure m = MeasureParts(text, sixteenBitReference);
    return {m.units, m.limit, m.messages};
}

std::u16string CounterText(const MessageLength& length) {
    const std::string text = std::to_string(length.units) + "/" + std::to_string(length.limit) +
                             " (" + std::to_string(length.messages) + " SMS)";
    return std::u16string(text.begin(), text.end());
}

bool FitsCompose(std::u16string_view text, bool sixteenBitReference) {
    return MeasureParts(text, sixteenBitReference).messages <= kMaxComposeParts;
}

std::u16string CutToLimit(std::u16string_view text, bool sixteenBitReference) {
    return std::u16string(
        text.substr(0, FittingPrefix(text, kMaxComposeParts, sixteenBitReference)));
}

}  // namespace telvane
