// Encode and decode of a mixed corpus: 7-bit and UCS2 texts of 10-160 characters to national and
// international numbers.  With libgammu installed its codec runs on the same corpus in the same
// run, and both sides do the same work, so the two rates compare directly:
//   decode: the ASCII hex line as the modem sends it -> number, time and text as UTF-16 strings;
//   encode: service centre, number and text as UTF-16 strings -> the ASCII hex PDU to send.
#include <benchmark/benchmark.h>

#include <cstdio>
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
    std::string deliverLine;  // as it arrives from the modem
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
            m.deliverLine = telvane::Narrow(DeliverFrom(m.submitPdu));
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
            std::string line =
                telvane::Narrow(codec.EncodeTextSubmit(m.sc, m.number, m.text, tpdu));
            benchmark::DoNotOptimize(line.data());
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
        codec.DecodeMessagePdu(telvane::Widen(m.deliverLine), number, time, text);
        if (text != m.text || number != m.number) {
            state.SkipWithError("corpus does not round-trip");
            return;
        }
    }
    for (auto _ : state) {
        for (const Message& m : corpus) {
            codec.DecodeMessagePdu(telvane::Widen(m.deliverLine), number, time, text);
            benchmark::DoNotOptimize(text.data());
        }
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * corpus.size()));
}
BENCHMARK(TelvaneDecode);

#ifdef TELVANE_HAVE_GAMMU

// libgammu keeps texts as big-endian UCS2, zero-terminated.
void ToGammuText(std::u16string_view text, unsigned char* out) {
    size_t i = 0;
    for (char16_t c : text) {
        out[2 * i] = static_cast<unsigned char>(c >> 8);
        out[2 * i + 1] = static_cast<unsigned char>(c & 0xFF);
        ++i;
    }
    out[2 * i] = out[2 * i + 1] = 0;
}

void FromGammuText(const unsigned char* text, std::u16string& out) {
    out.clear();
    for (size_t i = 0; text[2 * i] != 0 || text[2 * i + 1] != 0; ++i)
        out.push_back(static_cast<char16_t>(text[2 * i] << 8 | text[2 * i + 1]));
}

// The same form as Telvane's decoder gives: "yy/MM/dd,hh:mm:ss".
void FromGammuTime(const GSM_DateTime& t, std::u16string& out) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%02d/%02d/%02d,%02d:%02d:%02d", t.Year % 100, t.Month,
                  t.Day, t.Hour, t.Minute, t.Second);
    out = telvane::Widen(buffer);
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

// Text in, hex PDU out, as TelvaneEncode: the message structure is filled from the strings
// (choosing the coding as Telvane's encoder does) inside the timed loop.  Its defaults are set
// once per run, as a caller sending many messages would, which favours libgammu by about 2 us a
// message.
bool GammuEncodeOne(GSM_Debug_Info* debug, const Message& m, GSM_SMSMessage& sms,
                    std::string& line) {
    sms.PDU = SMS_Submit;
    sms.UDH.Type = UDH_NoUDH;
    sms.Coding = telvane::MeasureText(m.text).coding == telvane::TextCoding::kGsm7
                     ? SMS_Coding_Default_No_Compression
                     : SMS_Coding_Unicode_No_Compression;
    ToGammuText(m.number, sms.Number);
    ToGammuText(m.sc, sms.SMSC.Number);
    ToGammuText(m.text, sms.Text);
    sms.Length = static_cast<int>(m.text.size());
    char hex[2048];
    if (GammuSubmitHex(debug, sms, hex) == 0) return false;
    line = hex;
    return true;
}

void GammuEncode(benchmark::State& state) {
    const auto& corpus = Corpus();
    GSM_Debug_Info* debug = GSM_GetGlobalDebug();
    GSM_SMSMessage sms;
    GSM_SetDefaultSMSData(&sms);
    std::string line;
    // Both encoders must say the same thing: libgammu's PDUs decode to the corpus texts.
    for (const Message& m : corpus) {
        if (!GammuEncodeOne(debug, m, sms, line)) {
            state.SkipWithError("libgammu refused a message");
            return;
        }
        std::u16string number, time, text;
        PduCodec().DecodeMessagePdu(telvane::Widen(line), number, time, text);
        if (text != m.text || number != m.number) {
            state.SkipWithError("libgammu's PDU does not carry the corpus text");
            return;
        }
    }
    for (auto _ : state) {
        for (const Message& m : corpus) {
            if (!GammuEncodeOne(debug, m, sms, line)) {
                state.SkipWithError("libgammu refused a message");
                return;
            }
            benchmark::DoNotOptimize(line.data());
        }
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * corpus.size()));
}
BENCHMARK(GammuEncode);

// The hex line in, number, time and text out, as TelvaneDecode.
bool GammuDecodeOne(GSM_Debug_Info* debug, const std::string& line, GSM_SMSMessage& sms,
                    std::u16string& number, std::u16string& time, std::u16string& text) {
    unsigned char pdu[512];
    if (line.size() / 2 > sizeof pdu ||
        !DecodeHexBin(pdu, reinterpret_cast<const unsigned char*>(line.data()), line.size()))
        return false;
    if (GSM_DecodePDUFrame(debug, &sms, pdu, line.size() / 2, nullptr, TRUE) != ERR_NONE)
        return false;
    FromGammuText(sms.Number, number);
    FromGammuTime(sms.DateTime, time);
    FromGammuText(sms.Text, text);
    return true;
}

void GammuDecode(benchmark::State& state) {
    const auto& corpus = Corpus();
    GSM_Debug_Info* debug = GSM_GetGlobalDebug();
    GSM_SMSMessage sms;
    std::u16string number, time, text;
    // The same fields out as Telvane's decoder gives.
    for (const Message& m : corpus) {
        std::u16string ourNumber, ourTime, ourText;
        PduCodec().DecodeMessagePdu(telvane::Widen(m.deliverLine), ourNumber, ourTime, ourText);
        if (!GammuDecodeOne(debug, m.deliverLine, sms, number, time, text) || number != ourNumber ||
            time != ourTime || text != ourText) {
            state.SkipWithError("libgammu decodes a PDU differently");
            return;
        }
    }
    for (auto _ : state) {
        for (const Message& m : corpus) {
            if (!GammuDecodeOne(debug, m.deliverLine, sms, number, time, text)) {
                state.SkipWithError("libgammu refused a PDU");
                return;
            }
            benchmark::DoNotOptimize(text.data());
        }
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * corpus.size()));
}
BENCHMARK(GammuDecode);

#endif

}  // namespace

BENCHMARK_MAIN();
