// telvane-tool pdu: decode and encode SMS PDUs, and build smart-messaging parts.
#include <iostream>
#include <string>

#include "cli.h"
#include "codec/pdu_codec.h"
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
    std::u16string number, time, text;
    PduCodec().DecodeMessagePdu(Widen(pdu), number, time, text);
    return "{\"number\": " + JsonString(number) + ", \"time\": " + JsonString(time) +
           ", \"text\": " + JsonString(text) + "}\n";
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

// The characters a number may hold; '+' only in front.
void CheckNumber(const std::string& number, const std::string& what) {
    if (number.empty() || number == "+") throw UsageError{what + " is empty"};
    for (size_t i = 0; i < number.size(); ++i) {
        char c = number[i];
        bool ok = (c >= '0' && c <= '9') || c == '*' || c == '#' || (c == '+' && i == 0);
        if (!ok)
            throw UsageError{what + " '" + number +
                             "' may hold only digits, * and #, after an "
                             "optional leading +"};
    }
    if (number.size() > 21) throw UsageError{what + " '" + number + "' is longer than 20 digits"};
}

int Encode(const Args& args) {
    std::string to, sc, text;
    bool haveTo = false, haveText = false;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--to" || args[i] == "--sc") {
            if (i + 1 >= args.size()) throw UsageError{args[i] + " needs a number"};
            (args[i] == "--to" ? to : sc) = args[i + 1];
            haveTo = haveTo || args[i] == "--to";
            ++i;
        } else if (!haveText) {
            text = args[i];
            haveText = true;
        } else {
            throw UsageError{"unexpected argument '" + args[i] + "' (quote the text)"};
        }
    }
    if (!haveTo || !haveText)
        throw UsageError{"expected pdu encode --to NUMBER [--sc NUMBER] TEXT"};
    CheckNumber(to, "--to");
    if (!sc.empty()) CheckNumber(sc, "--sc");

    const std::u16string body = Utf8ToU16(text);
    const TextMeasure measure = MeasureText(body);
    const bool gsm7 = measure.coding == TextCoding::kGsm7;
    const int32_t limit = gsm7 ? kMaxSeptets : kMaxUcs2Units;
    if (measure.units > limit)
        throw UsageError{"text too long for one message: " + std::to_string(measure.units) +
                         (gsm7 ? " septets (at most " : " UCS2 units (at most ") +
                         std::to_string(limit) + ")"};
    int32_t tpduLength = 0;
    const std::u16string pdu =
        PduCodec().EncodeTextSubmit(Utf8ToU16(sc), Utf8ToU16(to), body, tpduLength);
    std::cout << "{\"pdu\": " << JsonString(pdu) << ", \"tpduLength\": " << tpduLength
              << ", \"coding\": \"" << (gsm7 ? "gsm7" : "ucs2")
              << "\", \"units\": " << measure.units << "}\n";
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
    "  pdu decode HEX|-             a PDU (or one a line from stdin) as {number, time, text}\n"
    "  pdu encode --to NUMBER [--sc NUMBER] TEXT\n"
    "                               the SMS-SUBMIT PDU, its TPDU length, coding and units\n"
    "  pdu smart picture|logo|screensaver [--operator CODE] BITMAPHEX\n"
    "                               the user data of each smart-messaging part\n",
    Run);

}  // namespace

}  // namespace telvane::cli
