// How long a message text may be: how many messages the codec will send it as, and what that
// many messages hold.  The compose page lets a text grow to kMaxComposeParts messages.
#pragma once

#include <string>
#include <string_view>

namespace telvane {

struct MessageLength {
    int units = 0;  // septets (extension characters count two) or UTF-16 code units
    int limit = 160;
    int messages = 1;
};

MessageLength MeasureMessage(std::u16string_view text, bool sixteenBitReference = false);

// The counter's text: "170/306 (2 SMS)".
std::u16string CounterText(const MessageLength& length);

// Whether `text` goes out in at most kMaxComposeParts messages.
bool FitsCompose(std::u16string_view text, bool sixteenBitReference = false);

// The longest start of `text` that fits; never splits a surrogate pair.
std::u16string CutToLimit(std::u16string_view text, bool sixteenBitReference = false);

}  // namespace telvane
