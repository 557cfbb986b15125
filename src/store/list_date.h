// The time-stamp texts records carry ("yy/MM/dd,hh:mm:ss", maybe a zone) and the form the
// message list shows.
#pragma once

#include <string>
#include <string_view>

namespace telvane {

// "01/08/18,03:44:56" -> "18/8/01 03:44:56" (day, month, year, clock); empty stays empty.
std::u16string FormatListDate(std::u16string_view stamp);

// The local time now as "yy/MM/dd,hh:mm:ss", the modem's form without a zone.
std::u16string MakeLocalTimeStamp();

}  // namespace telvane
