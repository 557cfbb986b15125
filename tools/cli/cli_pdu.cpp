// telvane-tool pdu: decode and encode SMS PDUs, and build smart-messaging parts.
#include <iostream>
#include <string>

#include "cli.h"
#include "codec/pdu_codec.h"
#include "codec/phone_number.h"
#include "codec/smart_message_builder.h"
#include "platform/text.h"

namespace telvane::cli {

namespace {

bool IsHex(char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

std::string Trim(const std::string& text) {
    size_t begin = text.find_first_not_of(" \t\r\n");
    if (begin == std::string::npos) return {};
    size_t end = text.find_last_not_of(" \t\r\n");
    return text.substr(begin, end - begin + 1);
}

// Hex digits in pairs; `what` names the input in the error.
void CheckHex(const std::string& hex, const std::string& what) {
    for (size_t i = 0; i < hex.size(); ++i)
        if (!IsHex(hex[i]))
            throw UsageError{what + ": '" + std::string(1, hex[i]) + "' at position " +
                             std::to_string(i) + " is not a hex digit"};
    if (hex.size() % 2 != 0)
        throw UsageError{what + ": odd number of hex digits (" + std::to_string(hex.size()) + ")"};
}

std::string Upper(std::string hex) {
    for (char& c : hex)
        if (c >= 'a' && c <= 'f') c = static_cast<char>(c - 'a' + 'A');
    return hex;
}

std::string DecodeLine(const std::string& raw, const std::string& what) {
    const std::string pdu = Upper(Trim(raw));
    CheckHex(pdu, what);
    if (pdu.size() < 12)
        throw UsageError{what + ": too short for a PDU (" + std::to_string(pdu.size()) +
                         " hex digits, at least 12)"};
    const DecodedPdu d = PduCodec().DecodePdu(Widen(pdu));
    std::string out = "{\"number\": " + JsonString(d.number) + ", \"time\": " + JsonString(d.time) +
                      ", \"text\": " + JsonString(d.text);
    if (d.concat) {
        out += ", \"concat\": {\"reference\": " + std::to_string(d.concat->reference) +
               ", \"referenceBits\": " + std::to_string(d.concat->referenceBits) +
               ", \"total\": " + std::to_string(d.concat->total) +
               ", \"sequence\": " + std::to_string(d.concat->sequence) + "}";
    }
    if (d.kind == PduKind::kStatusReport) {
        out += ", \"reference\": " + std::to_string(d.messageReference) +
               ", \"status\": " + std::to_string(d.status) +
               ", \"discharged\": " + JsonString(d.dischargeTime);
    }
    return out + "}\n";
}

int Decode(const Args& args) {
    if (args.size() != 1) throw UsageError{"expected pdu decode HEX|-"};
    if (args[0] != "-") {
        std::cout << DecodeLine(args[0], "PDU");
        return 0;
    }
    std::string line;
    for (int number = 1; std::getline(std::cin, line); ++number) {
        if (Trim(line).empty()) continue;
        std::cout << DecodeLine(line, "line " + std::to_string(number)) << std::flush;
    }
    return 0;
}

std::u16string CheckedNumber(const std::string& typed, const std::string& what, bool centre) {
    const std::u16string wide = Utf8ToU16(typed);
    const PhoneNumber number = centre ? NormaliseServiceCentre(wide) : NormalisePhoneNumber(wide);
    if (!number.ok()) throw UsageError{what + ": " + U16ToUtf8(number.Reason())};
    return number.number;
}

int32_t ReadReference(const std::string& text) {
    int32_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9' || value > 65535)
            throw UsageError{"--reference '" + text + "' must be a number from 0 to 65535"};
        value = value * 10 + (c - '0');
    }
    if (text.empty() || value > 65535)
        throw UsageError{"--reference '" + text + "' must be a number from 0 to 65535"};
    return value;
}

std::string PartJson(const SubmitPart& part) {
    return "{\"pdu\": " + JsonString(part.pdu) +
           ", \"tpduLength\": " + std::to_string(part.tpduLength) + "}";
}

int Encode(const Args& args) {
    std::string to, sc, text;
    bool haveTo = false, haveText = false;
    SubmitOptions options;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--to" || args[i] == "--sc") {
            if (i + 1 >= args.size()) throw UsageError{args[i] + " needs a number"};
            (args[i] == "--to" ? to : sc) = args[i + 1];
            haveTo = haveTo || args[i] == "--to";
            ++i;
        } else if (args[i] == "--reference") {
            if (i + 1 >= args.size()) throw UsageError{"--reference needs a number"};
            options.reference = ReadReference(args[++i]);
        } else if (args[i] == "--16bit") {
            options.sixteenBitReference = true;
        } else if (args[i] == "--status-report") {
            options.statusReport = true;
        } else if (!haveText) {
            text = args[i];
            haveText = true;
        } else {
            throw UsageError{"unexpected argument '" + args[i] + "' (quote the text)"};
        }
    }
    if (!haveTo || !haveText)
        throw UsageError{
            "expected pdu encode --to NUMBER [--sc NUMBER] [--reference N] [--16bit] "
            "[--status-report] TEXT"};
    if (!options.sixteenBitReference && options.reference > 255)
        throw UsageError{"--reference above 255 needs --16bit"};
    const std::u16string destination = CheckedNumber(to, "--to", false);
    const std::u16string centre = CheckedNumber(sc, "--sc", true);

    const TextSubmit submit =
        PduCodec().EncodeTextMessage(centre, destination, Utf8ToU16(text), options);
    if (!submit.ok()) throw UsageError{U16ToUtf8(submit.reason)};
    std::string out = "{";
    if (submit.parts.size() == 1) {
        out += "\"pdu\": " + JsonString(submit.parts[0].pdu) +
               ", \"tpduLength\": " + std::to_string(submit.parts[0].tpduLength) + ", ";
    }
    out += "\"parts\": [";
    for (size_t i = 0; i < submit.parts.size(); ++i)
        out += (i > 0 ? ", " : "") + PartJson(submit.parts[i]);
    out += "], \"coding\": \"";
    out += submit.coding == TextCoding::kGsm7 ? "gsm7" : "ucs2";
    out += "\", \"units\": " + std::to_string(submit.units) +
           ", \"messages\": " + std::to_string(submit.parts.size()) + "}\n";
    std::cout << out;
    return 0;
}

int Smart(const Args& args) {
    const char* usage = "expected pdu smart picture|logo|screensaver [--operator CODE] BITMAPHEX";
    if (args.empty()) throw UsageError{usage};
    const std::string kind = args[0];
    if (kind != "picture" && kind != "logo" && kind != "screensaver")
        throw UsageError{"unknown kind '" + kind + "': " + usage};
    std::string code, bitmap;
    bool haveBitmap = false;
    for (size_t i = 1; i < args.size(); ++i) {
        if (args[i] == "--operator") {
            if (i + 1 >= args.size()) throw UsageError{"--operator needs a code"};
            code = args[++i];
        } else if (!haveBitmap) {
            bitmap = args[i];
            haveBitmap = true;
        } else {
            throw UsageError{"unexpected argument '" + args[i] + "'"};
        }
    }
    if (!haveBitmap) throw UsageError{usage};
    if (!code.empty() && kind != "logo") throw UsageError{"--operator belongs to logo only"};
    for (char c : code)
        if (c < '0' || c > '9')
            throw UsageError{"--operator '" + code + "' must be the numeric network code"};
    if (code.size() > 6) throw UsageError{"--operator '" + code + "' has more than 6 digits"};
    bitmap = Upper(bitmap);
    CheckHex(bitmap, "BITMAPHEX");
    if (bitmap.size() > kPictureHexDigits)
        throw UsageError{"BITMAPHEX: " + std::to_string(bitmap.size()) +
                         " hex digits, more than the 72 x 28 grid's " +
                         std::to_string(kPictureHexDigits)};

    SmartMessageBuilder builder;
    int32_t parts = 0;
    if (kind == "picture") {
        parts = builder.BuildPictureMessage(Widen(bitmap));
    } else if (kind == "screensaver") {
        parts = builder.BuildScreenSaver(Widen(bitmap));
    } else {
        // A logo is the grid's top 14 rows.
        parts = builder.BuildOperatorLogo(Widen(bitmap.substr(0, kLogoHexDigits)), Widen(code));
    }
    std::string out = "{\"parts\": [";
    for (int32_t i = 1; i <= parts; ++i)
        out += (i > 1 ? ", " : "") + JsonString(builder.GetPart(i));
    out += "]}\n";
    std::cout << out;
    return 0;
}

int Run(const Args& args) {
    if (!args.empty()) {
        const Args rest(args.begin() + 1, args.end());
        if (args[0] == "decode") return Decode(rest);
        if (args[0] == "encode") return Encode(rest);
        if (args[0] == "smart") return Smart(rest);
    }
    throw UsageError{"expected decode, encode or smart (see --help)"};
}

const CommandGroup group(
    "pdu",
    "  pdu decode HEX|-             a PDU (or one a line from stdin) as {number, time, text},\n"
    "                               with the part's place and a status report's fields\n"
    "  pdu encode --to NUMBER [--sc NUMBER] [--reference N] [--16bit] [--status-report] TEXT\n"
    "                               the SMS-SUBMIT parts of TEXT (pdu, tpduLength), coding,\n"
    "                               units and messages; one part also as pdu, tpduLength\n"
    "  pdu smart picture|logo|screensaver [--operator CODE] BITMAPHEX\n"
    "                               the user data of each smart-messaging part\n",
    Run);

}  // namespace

}  // namespace telvane::cli
