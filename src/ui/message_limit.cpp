#include "ui/message_limit.h"

#include "codec/pdu_codec.h"

namespace telvane {

MessageLength MeasureMessage(std::u16string_view text) {
    TextMeasure m = MeasureText(text);
    return {m.units, m.coding == TextCoding::kGsm7 ? kMaxSeptets : kMaxUcs2Units};
}

std::u16string CutToLimit(std::u16string_view text) {
    MessageLength whole = MeasureMessage(text);
    if (whole.units <= whole.limit) return std::u16string(text);
    // Cutting may change the coding (a wide character past the cut), so measure each prefix.
    size_t lo = 0, hi = text.size();
    while (lo < hi) {
        size_t mid = (lo + hi + 1) / 2;
        MessageLength m = MeasureMessage(text.substr(0, mid));
        if (m.units <= m.limit) {
            lo = mid;
        } else {
            hi = mid - 1;
        }
    }
    if (lo > 0 && text[lo - 1] >= 0xD800 && text[lo - 1] <= 0xDBFF) --lo;
    return std::u16string(text.substr(0, lo));
}

}  // namespace telvane
