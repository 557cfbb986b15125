// The PDU decoder on arbitrary text, and encode -> decode on arbitrary texts.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

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
    codec.DecodeAddress(hex);
    codec.DecodeTimestamp(hex);
    codec.DecodeUserData(hex, size % 2 == 0);
    codec.UnpackSeptets(hex);
    PduCodec::HexToInt(hex);

    // The same bytes as UTF-16 text: what is encoded decodes back unchanged.
    std::u16string message;
    for (size_t i = 0; i + 1 < size && message.size() < 70; i += 2)
        message.push_back(static_cast<char16_t>(data[i] << 8 | data[i + 1]));
    int32_t tpduLength = 0;
    std::u16string pdu =
        codec.EncodeTextSubmit(u"+886935000000", u"0912345678", message, tpduLength);
    Check(tpduLength == static_cast<int32_t>(pdu.size() - 16) / 2);
    std::u16string decoded;
    codec.DecodeMessagePdu(pdu, number, time, decoded);
    Check(decoded == message);
    Check(number == u"0912345678");
    return 0;
}
