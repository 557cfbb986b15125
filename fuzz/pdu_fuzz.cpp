// The PDU decoder on arbitrary text, and encode -> decode -> join on arbitrary texts.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "codec/message_joiner.h"
#include "codec/pdu_codec.h"

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace telvane;
    PduCodec codec;
    std::u16string hex(data, data + size);
    std::u16string number, time, text;
    codec.DecodeMessagePdu(hex, number, time, text);
    DecodedPdu any = codec.DecodePdu(hex);
    if (any.concat) Check(any.concat->sequence >= 1 && any.concat->sequence <= any.concat->total);
    codec.DecodeAddress(hex);
    codec.DecodeTimestamp(hex);
    codec.DecodeUserData(hex, size % 2 == 0);
    codec.UnpackSeptets(hex);
    PduCodec::HexToInt(hex);

    // The same bytes as UTF-16 text: what is encoded, in as many parts as it takes, decodes and
    // joins back unchanged.
    std::u16string message;
    for (size_t i = 0; i + 1 < size && message.size() < 700; i += 2)
        message.push_back(static_cast<char16_t>(data[i] << 8 | data[i + 1]));
    SubmitOptions options;
    options.reference = size > 0 ? data[0] * 257 : 0;
    options.sixteenBitReference = size % 3 == 0;
    options.statusReport = size % 5 == 0;
    TextSubmit submit = codec.EncodeTextMessage(u"+886935000000", u"0912345678", message, options);
    Check(submit.ok());
    Check(static_cast<int32_t>(submit.parts.size()) ==
          MeasureParts(message, options.sixteenBitReference).messages);
    std::vector<SmsPart> parts;
    std::u16string joined;
    for (const SubmitPart& part : submit.parts) {
        Check(part.tpduLength == static_cast<int32_t>(part.pdu.size() - 16) / 2);
        Check(part.tpduLength <= 164);
        DecodedPdu decoded = codec.DecodePdu(part.pdu);
        Check(decoded.number == u"0912345678");
        Check(decoded.concat.has_value() == (submit.parts.size() > 1));
        Check(decoded.statusReportRequested == options.statusReport);
        joined += decoded.text;
        SmsPart stored;
        stored.record.index = static_cast<int32_t>(parts.size());
        stored.record.number = decoded.number;
        stored.record.text = decoded.text;
        stored.concat = decoded.concat;
        parts.push_back(stored);
    }
    Check(joined == message);
    std::vector<JoinedMessage> whole = JoinParts(parts);
    Check(whole.size() == 1 && whole[0].complete());
    Check(whole[0].indexes.size() == parts.size());
    // The cut for a limit of parts fits it, and one more unit would not.
    const int32_t limit = 1 + (size > 0 ? data[size - 1] % 4 : 0);
    const size_t cut = FittingPrefix(message, limit);
    Check(MeasureParts(message.substr(0, cut)).messages <= limit);
    if (cut < message.size())
        Check(MeasureParts(message.substr(0, cut + 1)).messages > limit ||
              (cut + 2 <= message.size() && message[cut] >= 0xD800 && message[cut] <= 0xDBFF));
    // The one-message form agrees on what fits one message.
    int32_t tpduLength = 0;
    Check(codec.EncodeTextSubmit(u"", u"1", message, tpduLength).empty() ==
          (MeasureParts(message).messages > 1));
    return 0;
}
