// Encode and decode of a mixed corpus: 7-bit and UCS2 texts of 10-160 characters to national and
// international numbers.  With libgammu installed its codec runs on the same corpus in the same
// run, so the two rates can be compared directly.
#include <benchmark/benchmark.h>

#include <random>
#include <string>
#include <vector>

#include "codec/pdu_codec.h"
#include "platform/text.h"

#ifdef TELVANE_HAVE_GAMMU
#include <gammu.h>
#endif

namespace {

using telvane::PduCodec;

struct Message {
    std::u16string sc;
    std::u16string number;
    std::u16string text;
    std::u16string submitPdu;
    std::u16string deliverPdu;
};

// A received copy of a submit: same address and user data behind a DELIVER header.
std::u16string DeliverFrom(const std::u16string& submit) {
    // service-centre field, then "013C"
    size_t at = 2 + 2 * static_cast<size_t>(PduCodec::HexToInt(submit.substr(0, 2))) + 4;
    size_t digits = static_cast<size_t>(PduCodec::HexToInt(submit.substr(at, 2)));
    size_t addressEnd = at + 4 + (digits + 1) / 2 * 2;
    std::u16string pdu =
        u"0791889653000000"
        u"04";
    pdu += submit.substr(at, addressEnd - at);  // address
    pdu += submit.substr(addressEnd, 4);        // protocol identifier, coding
    pdu += u"42507061939023";                   // 24/05/07,16:39:09 +08
    pdu += submit.substr(addressEnd + 4);       // length and user data
    return pdu;
}

const std::vector<Message>& Corpus() {
    static const std::vector<Message> corpus = [] {
        std::mt19937 random(2024);
        const std::u16string gsm =
            u"abcdefghijklmnopqrstuvwxyz ABCDEFGHIJKLMNOPQRSTUVWXYZ 0123456789 .,!?@$_-+()[]{}";
        const std::u16string chinese = u"\u4F60\u597D\u6211\u5011\u660E\u5929\u898B\u8B1D";
        std::vector<Message> messages;
        for (int i = 0; i < 64; ++i) {
            Message m;
            m.sc = u"+886935874443";
            m.number = i % 2 ? u"+886912345678" : u"0912345678";
            bool ucs2 = i % 4 >= 2;
            size_t length = 10 + random() % (ucs2 ? 61 : 141);
            for (size_t k = 0; k < length; ++k) {
                bool wide = ucs2 && random() % 2;
                const std::u16string& pool = wide ? chinese : gsm;
                char16_t c = pool[random() % pool.size()];
                // keep 7-bit texts within 160 septets
                if (!ucs2 && (c == u'[' || c == u']' || c == u'{' || c == u'}')) c = u'x';
                m.text.push_back(c);
            }
            if (ucs2) m.text[0] = chinese[0];
            int32_t tpdu = 0;
            m.submitPdu = PduCodec().EncodeTextSubmit(m.sc, m.number, m.text, tpdu);
            m.deliverPdu = DeliverFrom(m.submitPdu);
            messages.push_back(std::move(m));
        }
        return messages;
    }();
    return corpus;
}

void TelvaneEncode(benchmark::State& state) {
    const auto& corpus = Corpus();
    PduCodec codec;
    int32_t tpdu = 0;
    for (auto _ : state) {
        for (const Message& m : corpus) {
            std::u16string pdu = codec.EncodeTextSubmit(m.sc, m.number, m.text, tpdu);
            benchmark::DoNotOptimize(pdu.data());
        }
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * corpus.size()));
}
BENCHMARK(TelvaneEncode);

void TelvaneDecode(benchmark::State& state) {
    const auto& corpus = Corpus();
    PduCodec codec;
    std::u16string number, time, text;
    for (const Message& m : corpus) {
        codec.DecodeMessagePdu(m.deliverPdu, number, time, text);
        if (text != m.text || number != m.number) {
            state.SkipWithError("corpus does not round-trip");
            return;
        }
    }
    for (auto _ : state) {
        for (const Message& m : corpus) {
            codec.DecodeMessagePdu(m.deliverPdu, number, time, text);
            benchmark::DoNotOptimize(text.data());
        }
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * corpus.size()));
}
BENCHMARK(TelvaneDecode);

#ifdef TELVANE_HAVE_GAMMU

void ToGammuText(std::u16string_view text, unsigned char* out) {
    size_t i = 0;
    for (char16_t c : text) {
        out[2 * i] = static_cast<unsigned char>(c >> 8);
        out[2 * i + 1] = static_cast<unsigned char>(c & 0xFF);
        ++i;
    }
    out[2 * i] = out[2 * i + 1] = 0;
}

std::vector<unsigned char> Binary(const std::u16string& hex) {
    std::vector<unsigned char> bytes(hex.size() / 2);
    for (size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<unsigned char>(PduCodec::HexToInt(hex.substr(2 * i, 2)));
    return bytes;
}

// libgammu's frame puts the fields at fixed places; the AT driver copies them out in PDU order
// and writes hex.
size_t GammuSubmitHex(GSM_Debug_Info* debug, GSM_SMSMessage& sms, char* hex) {
    unsigned char frame[1024];
    unsigned char pdu[512];
    int length = 0;
    if (GSM_EncodeSMSFrame(debug, &sms, frame, PHONE_SMSSubmit, &length, TRUE) != ERR_NONE)
        return 0;
    const GSM_SMSMessageLayout& at = PHONE_SMSSubmit;
    size_t n = 0;
    for (int i = 0; i <= frame[at.SMSCNumber]; ++i)
        pdu[n++] = frame[at.SMSCNumber + i];
    pdu[n++] = frame[at.firstbyte];
    pdu[n++] = frame[at.TPMR];
    for (int i = 0; i < (frame[at.Number] + 1) / 2 + 2; ++i)
        pdu[n++] = frame[at.Number + i];
    pdu[n++] = frame[at.TPPID];
    pdu[n++] = frame[at.TPDCS];
    if ((frame[at.firstbyte] & 0x18) == 0x10) pdu[n++] = frame[at.TPVP];
    pdu[n++] = frame[at.TPUDL];
    for (int i = 0; i < length - at.Text; ++i)
        pdu[n++] = frame[at.Text + i];
    EncodeHexBin(hex, pdu, n);
    return n;
}

// libgammu's encoder from its message structure to the hex the modem takes.
void GammuEncode(benchmark::State& state) {
    const auto& corpus = Corpus();
    std::vector<GSM_SMSMessage> messages(corpus.size());
    for (size_t i = 0; i < corpus.size(); ++i) {
        GSM_SMSMessage& sms = messages[i];
        GSM_SetDefaultSMSData(&sms);
        sms.PDU = SMS_Submit;
        sms.UDH.Type = UDH_NoUDH;
        sms.Coding = telvane::MeasureText(corpus[i].text).coding == telvane::TextCoding::kGsm7
                         ? SMS_Coding_Default_No_Compression
                         : SMS_Coding_Unicode_No_Compression;
        ToGammuText(corpus[i].number, sms.Number);
        ToGammuText(corpus[i].sc, sms.SMSC.Number);
        ToGammuText(corpus[i].text, sms.Text);
        sms.Length = static_cast<int>(corpus[i].text.size());
    }
    GSM_Debug_Info* debug = GSM_GetGlobalDebug();
    char hex[2048];
    // Both encoders must say the same thing: libgammu's PDUs decode to the corpus texts.
    for (size_t i = 0; i < messages.size(); ++i) {
        GSM_SMSMessage copy = messages[i];
        if (GammuSubmitHex(debug, copy, hex) == 0) {
            state.SkipWithError("libgammu refused a message");
            return;
        }
        std::u16string number, time, text;
        PduCodec().DecodeMessagePdu(telvane::Widen(hex), number, time, text);
        if (text != corpus[i].text || number != corpus[i].number) {
            state.SkipWithError("libgammu's PDU does not carry the corpus text");
            return;
        }
    }
    for (auto _ : state) {
        for (GSM_SMSMessage& sms : messages) {
            if (GammuSubmitHex(debug, sms, hex) == 0) {
                state.SkipWithError("libgammu refused a message");
                return;
            }
            benchmark::DoNotOptimize(hex);
        }
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * corpus.size()));
}
BENCHMARK(GammuEncode);

// libgammu's decoder on the same PDUs, already in binary (the hex conversion is not timed).
void GammuDecode(benchmark::State& state) {
    const auto& corpus = Corpus();
    std::vector<std::vector<unsigned char>> pdus;
    for (const Message& m : corpus)
        pdus.push_back(Binary(m.deliverPdu));
    GSM_Debug_Info* debug = GSM_GetGlobalDebug();
    GSM_SMSMessage sms;
    for (auto _ : state) {
        for (const auto& pdu : pdus) {
            if (GSM_DecodePDUFrame(debug, &sms, pdu.data(), pdu.size(), nullptr, TRUE) !=
                ERR_NONE) {
                state.SkipWithError("libgammu refused a PDU");
                return;
            }
            benchmark::DoNotOptimize(sms.Text);
        }
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * corpus.size()));
}
BENCHMARK(GammuDecode);

#endif

}  // namespace

BENCHMARK_MAIN();
