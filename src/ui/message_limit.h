// How long a message text may be: what the codec will send it as, and that coding's limit.
#pragma once

#include <string>
#include <string_view>

namespace telvane {

struct MessageLength {
    int units = 0;  // septets (extension characters count two) or UTF-16 code units
    int limit = 160;
};

MessageLength MeasureMessage(std::u16string_view text);

// The longest start of `text` within its own limit; never splits a surrogate pair.
std::u16string CutToLimit(std::u16string_view text);

}  // namespace telvane
