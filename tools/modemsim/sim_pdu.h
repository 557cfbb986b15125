// The simulator's own PDU encoder, kept apart from the product's codec so that tests against the
// simulator cross-check it.  GSM 7-bit default alphabet with its extension table, else UCS2.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace telvane::modemsim {

// An SMS-DELIVER with the given service centre (empty: none), originator (digits with an optional
// leading '+', or a name of letters, sent as an alphanumeric address), time stamp
// "YY/MM/DD,hh:mm:ss" with an optional "+zz"/"-zz" zone in quarter hours, and UTF-16 text.
// Nothing when a field is malformed or the text is too long for one message.
std::optional<std::string> EncodeDeliver(const std::string& serviceCentre,
                                         const std::string& sender, const std::string& timestamp,
                                         const std::u16string& text);

// An SMS-SUBMIT as a phone stores a draft: no service centre, relative validity period.
std::optional<std::string> EncodeStoredSubmit(const std::string& recipient,
                                              const std::u16string& text);

// A text too long for one message as the parts of a concatenated one (23.040 9.2.3.24.1, 8-bit
// reference): 153 septets or 67 UCS2 units a part, an extension character or a surrogate pair
// never split.  A text that fits one message gives one part without a header.  Nothing when a
// field is malformed or the text needs more than 255 parts.
std::optional<std::vector<std::string>> EncodeDeliverParts(const std::string& serviceCentre,
                                                           const std::string& sender,
                                                           const std::string& timestamp,
                                                           const std::u16string& text,
                                                           int reference);
std::optional<std::vector<std::string>> EncodeStoredSubmitParts(const std::string& recipient,
                                                                const std::u16string& text,
                                                                int reference);

// The concatenation element of a DELIVER's or SUBMIT's user-data header (8-bit or 16-bit
// reference); nothing when it has none.
struct Concatenation {
    int reference = 0;
    int total = 0;
    int part = 0;
    bool sixteenBit = false;
};
std::optional<Concatenation> ConcatenationOf(const std::string& pduHex);

// A USSD text as GSM 7-bit packed hex (23.038 6.1.2.3), or nothing when a character has no
// place in the default alphabet.
std::optional<std::string> PackedUssdHex(const std::u16string& text);
// Four hex digits a UTF-16 unit.
std::string Ucs2Hex(const std::u16string& text);

// Octets of the TPDU (the PDU without its service-centre field), as +CMGL/+CMGR/+CMGS count
// them; -1 when the hex is malformed.
int TpduLength(const std::string& pduHex);

// The destination address of an SMS-SUBMIT TPDU given with its service-centre field; empty when
// it cannot be read.
std::string SubmitDestination(const std::string& pduHex);

// Now, as a service centre stamps it: "YY/MM/DD,hh:mm:ss+00" (UTC).
std::string CurrentTimestamp();

// The message class (0-3) a DELIVER's coding scheme gives (23.038 4), or -1 for none.
int DeliverClass(const std::string& pduHex);

// Whether an SMS-SUBMIT (service-centre field first) asks for a status report (TP-SRR).
bool RequestsStatusReport(const std::string& pduHex);

// An SMS-STATUS-REPORT (23.040 9.2.2.3) for the submission with `reference` to `recipient`:
// time stamps as for EncodeDeliver, `status` the TP-ST octet (0 delivered, 0x20-0x3F still
// trying, 0x40 and up failed).
std::optional<std::string> EncodeStatusReport(const std::string& serviceCentre, int reference,
                                              const std::string& recipient,
                                              const std::string& submittedAt,
                                              const std::string& dischargedAt, int status);

// Text in the GSM default alphabet as one byte per septet (an extension character is 0x1B and
// its code), as a modem shows it in the "GSM" character set; nothing when a character has no
// place there.  FromGsmBytes is the reverse; nothing for a byte above 0x7F.
std::optional<std::string> ToGsmBytes(const std::u16string& text);
std::optional<std::u16string> FromGsmBytes(const std::string& bytes);

// What text mode shows of a stored PDU: the other party, the time stamp ("YY/MM/DD,hh:mm:ss+zz",
// empty for a SUBMIT) and the text in UTF-8 (8-bit data as hex).
struct DecodedMessage {
    std::string number;
    std::string time;
    std::string text;
};
DecodedMessage DecodeForTextMode(const std::string& pduHex);

}  // namespace telvane::modemsim
