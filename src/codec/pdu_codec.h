// SMS PDUs in hex: the SMS-SUBMIT encoder for sending and writing to the SIM, and the decoder for
// what the modem lists (SMS-DELIVER, stored SMS-SUBMIT, status reports).
//
// A PDU is upper-case hex, two digits per octet, no separators, starting with the service-centre
// field.  Nothing here keeps state, talks to a device or throws; every read is bounded by the
// input, so any string decodes to whatever fields it holds.
//
//   PduCodec codec;
//   int32_t length = 0;
//   std::u16string pdu = codec.EncodeTextSubmit(u"", u"+1234567", u"abc", length);
//   // pdu == u"00013C0791214365F700000361F118", length == 14
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace telvane {

enum class TextCoding { kGsm7, kUcs2 };

struct TextMeasure {
    TextCoding coding = TextCoding::kGsm7;
    int32_t units = 0;  // septets (an extension character counts two) or UTF-16 code units
};

// One message's user data: 140 octets.
inline constexpr int32_t kMaxSeptets = 160;
inline constexpr int32_t kMaxUcs2Units = 70;

// How EncodeTextSubmit will send `text`: 7-bit when every character is ASCII and has a place in
// the GSM alphabet (basic or extension table), otherwise UCS2 whole.
TextMeasure MeasureText(std::u16string_view text);

class PduCodec {
  public:
    virtual ~PduCodec() = default;

    // Swapped semi-octets of `number` without its leading '+', 'F'-filled when odd; '*' and '#'
    // become the semi-octets A and B.  Returns the digit count (without the '+').
    int32_t EncodeAddress(std::u16string_view number, std::u16string& out) const;

    // GSM 7-bit packing of `text` into hex.  Returns the septet count, or -1 (out untouched) when
    // the text is empty or has a character the alphabet lacks.
    int32_t PackSeptets(std::u16string_view text, std::u16string& out) const;

    // Each code unit as four hex digits, high octet first.  Returns the octet count.
    int32_t EncodeUcs2(std::u16string_view text, std::u16string& out) const;

    // SMS-SUBMIT, first octet 01, reference 3C, no validity period.  `tpduLength` receives the
    // octets after the service-centre field, the number AT+CMGS= and AT+CMGW= expect.  An empty
    // service-centre number gives "00" (the modem's stored centre); an empty text an empty message.
    std::u16string EncodeTextSubmit(std::u16string_view scNumber, std::u16string_view destination,
                                    std::u16string_view text, int32_t& tpduLength) const;

    // SMS-SUBMIT with a user-data header: first octet 51, 8-bit data class 1 (F5), validity 24 h
    // (A7).  `userDataHex` is the whole user data, header included.
    std::u16string EncodeBinarySubmit(std::u16string_view scNumber, std::u16string_view destination,
                                      std::u16string_view userDataHex, int32_t& tpduLength) const;

    // Fills the other party's number (+ for international), the service-centre time
    // (yy/MM/dd,hh:mm:ss; empty for a SUBMIT) and the text.  8-bit data comes out as upper-case
    // hex; a user-data header is skipped; a status report gives its recipient and time with an
    // empty text.  Below 12 hex digits the outputs keep their contents.
    void DecodeMessagePdu(std::u16string_view pdu, std::u16string& number, std::u16string& time,
                          std::u16string& text) const;

    // An address field from its length octet on: length (digits), type, semi-octets.
    std::u16string DecodeAddress(std::u16string_view field) const;

    // 12 hex digits of swapped semi-octets -> yy/MM/dd,hh:mm:ss; anything else gives "".
    std::u16string DecodeTimestamp(std::u16string_view stamp) const;

    // User-data length octet then the user data, without header; 7-bit unless `ucs2`.
    std::u16string DecodeUserData(std::u16string_view userData, bool ucs2) const;

    // Packed septets in hex -> text.  Without a length, the fill septet that ends a group of
    // seven octets holding seven characters is dropped.
    std::u16string UnpackSeptets(std::u16string_view packedHex) const;

    // Pairs of hex digits accumulated as octets, big-endian; 0 for "".  Wraps past 32 bits.
    static int32_t HexToInt(std::u16string_view hex);
};

}  // namespace telvane
