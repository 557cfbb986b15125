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
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "codec/sms_record.h"

namespace telvane {

enum class TextCoding { kGsm7, kUcs2 };

struct TextMeasure {
    TextCoding coding = TextCoding::kGsm7;
    int32_t units = 0;  // septets (an extension character counts two) or UTF-16 code units
};

// One message's user data: 140 octets.
inline constexpr int32_t kMaxSeptets = 160;
inline constexpr int32_t kMaxUcs2Units = 70;
// A part of a longer message gives 6 octets of user data to its header with an 8-bit reference
// (7 septets with the fill bit), 7 octets (8 septets) with a 16-bit one.
inline constexpr int32_t kPartSeptets = 153;
inline constexpr int32_t kPartUcs2Units = 67;
inline constexpr int32_t kPartSeptets16 = 152;
inline constexpr int32_t kPartUcs2Units16 = 66;
// The header counts parts in one octet (3GPP TS 23.040 9.2.3.24.1).
inline constexpr int32_t kMaxParts = 255;
// The most parts the compose page lets one message have.
inline constexpr int32_t kMaxComposeParts = 10;

// How the encoder will send `text`: 7-bit when every character has a place in the GSM default
// alphabet or its extension table, otherwise UCS2 whole.
TextMeasure MeasureText(std::u16string_view text);

// The compose counter's figures: "units/limit (messages SMS)", e.g. 170 plain characters give
// 170/306 (2 SMS).  `messages` is the real part count of the split (an extension character or a
// surrogate pair is never cut, so a part may hold a unit less); `limit` is what that many
// messages hold: 160 or 70 for one, otherwise messages x 153 or 67 (152 or 66 with a 16-bit
// reference).  An empty text is one message.
struct PartsMeasure {
    TextCoding coding = TextCoding::kGsm7;
    int32_t units = 0;
    int32_t messages = 1;
    int32_t limit = kMaxSeptets;
};
PartsMeasure MeasureParts(std::u16string_view text, bool sixteenBitReference = false);

// The length of the longest start of `text` that goes out in at most `maxParts` messages, never
// ending inside a surrogate pair: where a paste or a prefilled text is cut.
size_t FittingPrefix(std::u16string_view text, int32_t maxParts = kMaxComposeParts,
                     bool sixteenBitReference = false);

struct SubmitOptions {
    int32_t reference = 0;             // concatenation reference; the low 8 or 16 bits are used
    bool sixteenBitReference = false;  // header IEI 08 instead of 00
    bool statusReport = false;         // TP-SRR: ask the centre for a delivery report
};

enum class SubmitError {
    kNone,
    kDestination,    // the destination is empty or holds what the address field cannot carry
    kServiceCentre,  // likewise for the centre
    kTooLong,        // more than kMaxParts parts
};

struct SubmitPart {
    std::u16string pdu;
    int32_t tpduLength = 0;  // octets after the service-centre field, for AT+CMGS= / AT+CMGW=
};

// The parts of one text in sending order, or why there are none.
struct TextSubmit {
    std::vector<SubmitPart> parts;  // empty when refused
    TextCoding coding = TextCoding::kGsm7;
    int32_t units = 0;
    SubmitError error = SubmitError::kNone;
    std::u16string reason;  // one English sentence when refused

    bool ok() const { return error == SubmitError::kNone; }
};

enum class PduKind { kDeliver, kSubmit, kStatusReport };

// What a status report says of the message it reports on (3GPP TS 23.040 9.2.3.15).
enum class DeliveryStatus {
    kDelivered,  // transaction completed
    kPending,    // temporary error, the centre is still trying
    kFailed,     // permanent error, or temporary and the centre gave up
};
DeliveryStatus DeliveryStatusOf(int32_t status);

// Everything the decoder reads from one PDU.
struct DecodedPdu {
    PduKind kind = PduKind::kDeliver;
    std::u16string number;  // originator, destination, or the recipient of a status report
    std::u16string time;    // service-centre time; empty for a SUBMIT
    std::u16string text;    // without the user-data header; line breaks as sent
    std::optional<ConcatInfo> concat;    // only for a well-formed header (sequence 1..total)
    bool statusReportRequested = false;  // SUBMIT: TP-SRR; DELIVER: TP-SRI
    int32_t messageReference = -1;       // SUBMIT and status report: TP-MR
    int32_t status = -1;                 // status report: TP-ST
    std::u16string dischargeTime;        // status report: TP-DT
};

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

    // A text of any length as SMS-SUBMIT parts: one part without header (first octet 01) when
    // the text fits one message, otherwise parts with a concatenation header (first octet 41),
    // 153 septets or 67 UCS2 units each.  Reference 3C, no validity period; TP-SRR when asked.
    // Numbers must be normalised (NormalisePhoneNumber): anything the address field cannot carry,
    // or more than 20 digits, is refused, as is a text of more than 255 parts.  An empty
    // service-centre number gives "00" (the modem's stored centre); an empty text one empty
    // message.
    TextSubmit EncodeTextMessage(std::u16string_view scNumber, std::u16string_view destination,
                                 std::u16string_view text, const SubmitOptions& options = {}) const;

    // One-message form of EncodeTextMessage: the PDU and its TPDU length, or an empty PDU and 0
    // when the text needs more than one message or a number is refused.
    std::u16string EncodeTextSubmit(std::u16string_view scNumber, std::u16string_view destination,
                                    std::u16string_view text, int32_t& tpduLength) const;

    // SMS-SUBMIT with a user-data header: first octet 51, 8-bit data class 1 (F5), validity 24 h
    // (A7).  `userDataHex` is the whole user data, header included.  An empty PDU and 0 when the
    // user data is over 140 octets or a number is refused.
    std::u16string EncodeBinarySubmit(std::u16string_view scNumber, std::u16string_view destination,
                                      std::u16string_view userDataHex, int32_t& tpduLength) const;

    // Every field of a SMS-DELIVER, a stored SMS-SUBMIT or a SMS-STATUS-REPORT.  Below 12 hex
    // digits the result is empty.
    DecodedPdu DecodePdu(std::u16string_view pdu) const;

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
