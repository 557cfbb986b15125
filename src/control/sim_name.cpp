#include "control/sim_name.h"

#include "codec/gsm_alphabet.h"
#include "platform/text.h"

namespace telvane {

SimNameLength MeasureSimName(std::u16string_view name, int32_t textLimit) {
    SimNameLength length;
    for (const char16_t c : name) {
        uint8_t septets[2];
        const int n = GsmEncodeChar(c, septets);
        if (n == 0) {
            length.ucs2 = true;
            break;
        }
        length.units += n;
    }
    const int32_t known = textLimit > 0 ? textLimit : 0;
    if (length.ucs2) {
        length.units = static_cast<int32_t>(name.size());
        // 11.11 annex B: the 0x80 form, a marker byte and two bytes a character.
        length.limit = known > 0 ? (known - 1) / 2 : 0;
    } else {
        length.limit = known;
    }
    return length;
}

std::u16string SimNameCounterText(const SimNameLength& length) {
    std::u16string text = Widen(std::to_string(length.units));
    if (length.limit > 0) text += u"/" + Widen(std::to_string(length.limit));
    return text;
}

}  // namespace telvane
