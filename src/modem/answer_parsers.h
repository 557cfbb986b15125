// Pure parsers of one command's whole answer, as the engine's Transaction collects it: the
// information lines of CommandResult::lines (an element may hold several lines separated by
// CR LF; blank lines are skipped).  Each returns its data whole, or a failure reason in words:
// a read that met one line it cannot account for fails as a whole, so that a damaged answer
// never passes for a shorter one.
//
//   const CommandResult r = RunCommand(s, timing, "AT+CMGF=0;+CMGL=4", {...});
//   const ParsedAnswer<std::vector<SmsPart>> listed = ParseListingAnswer(r.lines);
//   if (!listed.ok()) return Fail("the messages could not be listed: " + listed.failure);
//
// No engine state is read or written; the lines of what the modem says on its own have been
// taken out by the receive path before.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "codec/phonebook_charset.h"
#include "codec/sms_record.h"
#include "store/phonebook_table.h"

namespace telvane {

template <typename T>
struct ParsedAnswer {
    T data{};             // meaningful only when ok()
    std::string failure;  // "the modem's listing has a malformed line: ..."; empty on success

    bool ok() const { return failure.empty(); }
};

// AT+CMGL in PDU mode: pairs of "+CMGL: index,stat,[alpha],length" and the PDU line, in the
// order given.  Each part as the listing gives it: index (0..65535), status ("REC UNREAD",
// "REC READ", "STO UNSENT", "STO SENT"), number, time, text (line breaks as CR LF) and its place
// in a long message.  Fails on a malformed header, an index out of range, a missing PDU line, a
// PDU whose TPDU length is not the header's, a PDU the codec cannot decode, a control byte, or a
// line that is neither.  No line at all: an empty store, success.
ParsedAnswer<std::vector<SmsPart>> ParseListingAnswer(const std::vector<std::string>& lines);

// AT+CMGR=index in PDU mode: "+CMGR: stat,[alpha],length" and the PDU line; the part gets
// `index`.  Fails as ParseListingAnswer does, and when there is no message (no header).
ParsedAnswer<SmsPart> ParseReadAnswer(const std::vector<std::string>& lines, int32_t index);

// AT+CPBR=first,last: "+CPBR: index,\"number\",type,\"name\"" lines, in the order given, each as
// an entry with `index`, `number` ('+' in front for type 145) and `name` decoded from `set`, the
// set the read used (a name the set does not explain is kept as it came); `changed` 0.  Fails on
// a malformed line, an index outside first..last, or a control byte.  Words such as BUSY, OK or
// ERROR inside a name are the name.  No line at all: no entry in the range, success.
ParsedAnswer<std::vector<PhonebookEntry>> ParsePhonebookAnswer(
    const std::vector<std::string>& lines, int32_t first, int32_t last, PhonebookCharset set);

// AT+CPBR=?: "+CPBR: (1-250),20,14" -> {numberLimit 20, textLimit 14, capacity 250}.  Fails
// without such a line, for a form it does not know, and for a capacity above
// kMaxPhonebookCapacity (the table could not hold it).
ParsedAnswer<PhonebookLimits> ParsePhonebookRangeAnswer(const std::vector<std::string>& lines);

}  // namespace telvane
