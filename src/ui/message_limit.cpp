#include "ui/message_limit.h"

#if __has_include("codec/pdu_codec.h")
#include "codec/pdu_codec.h"
#define TELVANE_HAVE_MEASURE_TEXT 1
#endif

namespace telvane {

namespace {

#ifndef TELVANE_HAVE_MEASURE_TEXT
// Used until the codec's measure is available: extension characters of the GSM table count two.
MessageLength Fallback(std::u16string_view text) {
    static const std::u16string_view kExtension = u"[]{}\\^~|\u20AC\f";
    MessageLength m;
    for (char16_t c : text) {
        if (c > 127) return {static_cast<int>(text.size()), 70};
        m.units += kExtension.find(c) == std::u16string_view::npos ? 1 : 2;
    }
    return m;
}
#endif

}  // namespace

MessageLength MeasureMessage(std::u16string_view text) {
#ifdef TELVANE_HAVE_MEASURE_TEXT
    TextMeasure m = MeasureText(text);
    return {m.units, m.coding == TextCoding::kGsm7 ? kMaxSeptets : kMaxUcs2Units};
#else
    return Fallback(text);
#endif
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
