// Smart-messaging picture messages, screen savers and operator logos: a bitmap in hex becomes
// the user data (header included) of one or more concatenated binary messages, each sent with
// PduCodec::EncodeBinarySubmit.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace telvane {

inline constexpr int32_t kBitmapWidth = 72;
inline constexpr int32_t kBitmapHeight = 28;
inline constexpr int32_t kLogoHeight = 14;
// 4 bits per hex digit: 504 digits for the whole grid, 252 for a logo's top 14 rows.
inline constexpr size_t kPictureHexDigits = kBitmapWidth * kBitmapHeight / 4;
inline constexpr size_t kLogoHexDigits = kBitmapWidth * kLogoHeight / 4;

// The 72 x 28 grid, row-major from the top, as hex: leftmost pixel in the high bit.  A pixel is
// set when its cell is non-zero (zero when `inverted`).  Cells missing from `cells` count as 0.
std::u16string BitmapToHex(std::span<const int32_t> cells, bool inverted);

class SmartMessageBuilder {
  public:
    virtual ~SmartMessageBuilder() = default;

    // Each build takes the next process-wide concatenation reference (1 first, wrapping after
    // 255 to 0) and replaces the parts of the last build.  Returns the number of parts (>= 1).
    int32_t BuildPictureMessage(std::u16string_view bitmapHex);
    int32_t BuildScreenSaver(std::u16string_view bitmapHex);
    // `operatorCode` is the numeric network code, e.g. "46692" (MCC 466, MNC 92) or "310260"
    // (MCC 310, MNC 260); anything not numeric reads as 0.
    int32_t BuildOperatorLogo(std::u16string_view bitmapHex, std::u16string_view operatorCode);

    // Part `number` (1-based) of the last build: the whole user data in hex; "" when out of range.
    std::u16string GetPart(int32_t number) const;
    int32_t PartCount() const { return static_cast<int32_t>(parts_.size()); }

  private:
    int32_t Build(std::u16string_view port, std::u16string_view payloadStart,
                  std::u16string_view bitmapHex);

    std::vector<std::u16string> parts_;
};

}  // namespace telvane
