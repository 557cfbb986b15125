// How much of the SIM's room a phonebook name takes.  A SIM record holds a name of `textLimit`
// bytes: one a character in the GSM alphabet (an extension character two), or, once a
// character needs it, UCS2 after a marker byte, two bytes a character.
//
//   MeasureSimName(u"Amy Chen", 14)  -> {8, 14}    "8/14"
//   MeasureSimName(u"李大華", 14)     -> {3, 6}     "3/6"
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace telvane {

struct SimNameLength {
    int32_t units = 0;  // septets, or UTF-16 code units in UCS2
    int32_t limit = 0;  // what the SIM holds in those units; 0 when not known
    bool ucs2 = false;

    bool Fits() const { return limit <= 0 || units <= limit; }
};

// `textLimit`: the SIM's name length in its own (GSM) set, as AT+CPBR=? gives it; 0 or less
// when not known (nothing is then too long).
SimNameLength MeasureSimName(std::u16string_view name, int32_t textLimit);

// The counter's text, "9/14"; the count alone when the limit is not known.
std::u16string SimNameCounterText(const SimNameLength& length);

}  // namespace telvane
