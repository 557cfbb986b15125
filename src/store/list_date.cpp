#include "store/list_date.h"

#include <cstdio>
#include <ctime>

#include "platform/text.h"

namespace telvane {

namespace {

// The part of `text` from `offset`, at most `count` units; empty past the end, never beyond it.
std::u16string_view Part(std::u16string_view text, size_t offset, size_t count) {
    if (offset >= text.size()) return {};
    return text.substr(offset, count);
}

}  // namespace

std::u16string FormatListDate(std::u16string_view stamp) {
    if (stamp.empty()) return {};
    const int year = ReadNumber(Part(stamp, 0, 2));
    const int month = ReadNumber(Part(stamp, 3, 2));
    const int day = ReadNumber(Part(stamp, 6, 2));
    char buffer[48];
    std::snprintf(buffer, sizeof buffer, "%d/%d/%02d ", day, month, year);
    std::u16string out = Widen(buffer);
    out += Part(stamp, 9, 8);
    return out;
}

std::u16string MakeLocalTimeStamp() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char buffer[48];
    std::snprintf(buffer, sizeof buffer, "%02d/%02d/%02d,%02d:%02d:%02d", local.tm_year % 100,
                  local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
    return Widen(buffer);
}

}  // namespace telvane
