// The simulator's own PDU encoder, kept apart from the product's codec so that tests against the
// simulator cross-check it.  GSM 7-bit default alphabet with its extension table, else UCS2.
#pragma once

#include <optional>
#include <string>

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

// Octets of the TPDU (the PDU without its service-centre field), as +CMGL/+CMGR/+CMGS count
// them; -1 when the hex is malformed.
int TpduLength(const std::string& pduHex);

// The destination address of an SMS-SUBMIT TPDU given with its service-centre field; empty when
// it cannot be read.
std::string SubmitDestination(const std::string& pduHex);

// What text mode shows of a stored PDU: the other party, the time stamp ("YY/MM/DD,hh:mm:ss+zz",
// empty for a SUBMIT) and the text in UTF-8 (8-bit data as hex).
struct DecodedMessage {
    std::string number;
    std::string time;
    std::string text;
};
DecodedMessage DecodeForTextMode(const std::string& pduHex);

}  // namespace telvane::modemsim
