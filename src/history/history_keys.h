// What makes two records one message, and two numbers one person, in the history.
//
//   PersonKey(u"+886 912-345678") == PersonKey(u"0912345678")   // u"912345678"
//   HistoryTime(u"26/12/11,06:07:08+32")                        // seconds since 2000-01-01
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "history/history_message.h"

namespace telvane {

// Numbers in national and international form are one person: the last nine digits of a number
// of nine or more, else every digit; a sender given by name (letters) is itself, in lower case.
std::u16string PersonKey(std::u16string_view number);

// yy/MM/dd,hh:mm:ss (a zone after it is ignored) as seconds since 2000-01-01 00:00; nullopt for
// anything else.
std::optional<int64_t> HistoryTime(std::u16string_view stamp);
// The reverse: yy/MM/dd,hh:mm:ss.
std::u16string HistoryTimeText(int64_t seconds);

// The stable key of a message: its direction, other party, time and either the reference of its
// parts (a long message whose text grows as parts arrive stays one message) or its text.
// `concatReference` and `concatTotal` are 0 for a message of one part.
std::u16string MessageKey(HistoryDirection direction, std::u16string_view number,
                          std::u16string_view timeText, std::u16string_view text,
                          int32_t concatReference = 0, int32_t concatTotal = 0);

}  // namespace telvane
