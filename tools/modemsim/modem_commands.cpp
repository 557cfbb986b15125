// The modem's answers, command by command (3GPP TS 27.007 and 27.005).
#include <algorithm>
#include <cstdio>
#include <ctime>

#include "modemsim/sim_pdu.h"
#include "modemsim/simulated_modem.h"
#include "platform/text.h"

namespace telvane::modemsim {
namespace {

using Form = AtCommand::Form;

const char* const kStatNames[] = {"REC UNREAD", "REC READ", "STO UNSENT", "STO SENT", "ALL"};

bool ReadInt(const std::string& s, int& value) {
    if (s.empty()) return false;
    for (char c : s) {
        if (c < '0' || c > '9') return false;
    }
    if (s.size() > 9) return false;
    value = std::stoi(s);
    return true;
}

std::string Quote(const std::string& s) {
    return "\"" + s + "\"";
}

std::string UpperAscii(std::string s) {
    for (char& c : s) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return s;
}

// A phonebook name as the selected character set shows it (27.007 +CSCS).
std::string EncodeName(const std::string& utf8, const std::string& charset) {
    std::u16string text = Utf8ToU16(utf8);
    std::string out;
    if (charset == "UCS2") {
        char hex[5];
        for (char16_t c : text) {
            std::snprintf(hex, sizeof hex, "%04X", static_cast<unsigned>(c));
            out += hex;
        }
        return out;
    }
    for (char16_t c : text) {
        bool latin1 = charset == "8859-1" && c < 0x100;
        out += (c >= 0x20 && c < 0x7F && c != '"') || latin1 ? static_cast<char>(c) : '?';
    }
    return out;
}

// A name given in the selected character set, as UTF-8; nothing when it is malformed.
std::optional<std::string> DecodeName(const std::string& given, const std::string& charset) {
    if (charset != "UCS2") {
        std::u16string text;
        for (char c : given)
            text += static_cast<char16_t>(static_cast<unsigned char>(c));
        return U16ToUtf8(text);
    }
    if (given.size() % 4) return std::nullopt;
    std::u16string text;
    for (size_t i = 0; i < given.size(); i += 4) {
        unsigned value = 0;
        for (size_t j = i; j < i + 4; ++j) {
            char c = given[j];
            int digit = (c >= '0' && c <= '9')   ? c - '0'
                        : (c >= 'A' && c <= 'F') ? c - 'A' + 10
                        : (c >= 'a' && c <= 'f') ? c - 'a' + 10
                                                 : -1;
            if (digit < 0) return std::nullopt;
            value = value * 16 + static_cast<unsigned>(digit);
        }
        text += static_cast<char16_t>(value);
    }
    return U16ToUtf8(text);
}

size_t Utf16Length(const std::string& utf8) {
    return Utf8ToU16(utf8).size();
}

}  // namespace

std::string SimulatedModem::CmeError(int code) const {
    if (cmee_ == 0) return "ERROR";
    if (cmee_ == 2) {
        static const struct {
            int code;
            const char* text;
        } kTexts[] = {{3, "operation not allowed"}, {4, "operation not supported"},
                      {10, "SIM not inserted"},     {11, "SIM PIN required"},
                      {16, "incorrect password"},   {20, "memory full"},
                      {21, "invalid index"},        {22, "not found"},
                      {24, "text string too long"}, {26, "dial string too long"},
                      {30, "no network service"},   {100, "unknown"}};
        for (const auto& t : kTexts) {
            if (t.code == code) return std::string("+CME ERROR: ") + t.text;
        }
    }
    return "+CME ERROR: " + std::to_string(code);
}

std::string SimulatedModem::CmsError(int code) const {
    return "+CMS ERROR: " + std::to_string(code);
}

std::string SimulatedModem::SimError() const {
    if (scenario_.simState == SimState::Absent) return CmeError(10);
    if (scenario_.simState == SimState::PinRequired) return CmeError(11);
    return {};
}

AtResult SimulatedModem::Execute(const AtCommand& c) {
    const std::string& n = c.name;
    if (n.rfind("+CMG", 0) == 0 || n.rfind("+CMS", 0) == 0 || n == "+CPMS" || n == "+CNMI" ||
        n == "+CSCA" || n == "+CSMP" || n == "+CSMS" || n == "+CSDH" || n == "+CNMA" ||
        n == "+CMMS") {
        if (scenario_.simState == SimState::Absent) return AtResult::Fail(CmsError(310));
        if (scenario_.simState == SimState::PinRequired) return AtResult::Fail(CmsError(311));
        return MessageCommand(c);
    }
    if (n.rfind("+CPB", 0) == 0) {
        std::string sim = SimError();
        if (!sim.empty()) return AtResult::Fail(sim);
        return PhonebookCommand(c);
    }
    return GeneralCommand(c);
}

AtResult SimulatedModem::GeneralCommand(const AtCommand& c) {
    const std::string& n = c.name;
    const Scenario& s = scenario_;
    auto identity = [&](const std::string& value) {
        return c.form == Form::Test ? AtResult::Ok() : AtResult::Line(value);
    };
    if (n == "Z" || n == "&F") {
        // The stored profile: plain errors, PDU mode, no registration reports.
        echo_ = s.echo;
        cmee_ = 0;
        pduMode_ = true;
        cregMode_ = 0;
        copsFormat_ = 0;
        charset_ = "GSM";
        return AtResult::Ok();
    }
    if (n == "E") {
        if (c.args.empty() || c.args == "0")
            echo_ = false;
        else if (c.args == "1")
            echo_ = true;
        else
            return AtResult::Fail("ERROR");
        return AtResult::Ok();
    }
    // Verbose results only; numeric result codes are not offered.
    if (n == "V") return c.args == "1" ? AtResult::Ok() : AtResult::Fail("ERROR");
    if (n == "Q") return c.args.empty() || c.args == "0" ? AtResult::Ok() : AtResult::Fail("ERROR");
    if (n == "X" || n == "L" || n == "M" || n == "&C" || n == "&D" || n == "&K" || n == "&S" ||
        n == "&W" || n == "&V")
        return AtResult::Ok();
    if (n[0] == 'S' && n.size() > 1) {
        if (c.form != Form::Read) return AtResult::Ok();
        int reg = std::stoi(n.substr(1));
        int value = reg == 3 ? 13 : reg == 4 ? 10 : reg == 5 ? 8 : 0;
        char text[8];
        std::snprintf(text, sizeof text, "%03d", value);
        return AtResult::Line(text);
    }
    if (n == "I") {
        if (c.args == "3") return AtResult::Line(s.revision);
        return {{s.manufacturer, s.model}, "OK", false};
    }
    if (n == "+CGMI" || n == "+GMI") return identity(s.manufacturer);
    if (n == "+CGMM" || n == "+GMM") return identity(s.model);
    if (n == "+CGMR" || n == "+GMR") return identity(s.revision);
    if (n == "+CGSN" || n == "+GSN") return identity(s.imei);
    if (n == "+GCAP") return AtResult::Line("+GCAP: +CGSM");
    if (n == "+CIMI") {
        std::string sim = SimError();
        if (!sim.empty()) return AtResult::Fail(sim);
        return identity(s.imsi);
    }
    if (n == "+CMEE") {
        if (c.form == Form::Read) return AtResult::Line("+CMEE: " + std::to_string(cmee_));
        if (c.form == Form::Test) return AtResult::Line("+CMEE: (0-2)");
        int v = 0;
        if (c.form == Form::Exec)
            v = 0;
        else if (!ReadInt(c.args, v) || v > 2)
            return AtResult::Fail(CmeError(4));
        cmee_ = v;
        return AtResult::Ok();
    }
    if (n == "+CPIN") {
        if (c.form == Form::Test) return AtResult::Ok();
        if (c.form == Form::Read) {
            ++cpinQueries_;
            if (cpinQueries_ <= s.faults.cpinBusy) return AtResult::Fail(CmeError(515));
            switch (s.simState) {
                case SimState::Ready:
                    return AtResult::Line("+CPIN: READY");
                case SimState::PinRequired:
                    return AtResult::Line("+CPIN: SIM PIN");
                case SimState::Absent:
                    return AtResult::Fail(CmeError(10));
            }
        }
        if (c.form == Form::Set) {
            if (s.simState == SimState::Absent) return AtResult::Fail(CmeError(10));
            std::vector<std::string> a = SplitArguments(c.args);
            if (s.simState == SimState::Ready) return AtResult::Fail(CmeError(3));
            if (a.empty() || a[0] != s.pin) return AtResult::Fail(CmeError(16));
            scenario_.simState = SimState::Ready;
            return AtResult::Ok();
        }
        return AtResult::Fail("ERROR");
    }
    bool simReady = s.simState == SimState::Ready;
    int reg = simReady ? s.registration : 0;
    bool registered = reg == 1 || reg == 5;
    if (n == "+CSQ") {
        if (c.form == Form::Test) return AtResult::Line("+CSQ: (0-31,99),(0-7,99)");
        return AtResult::Line("+CSQ: " + std::to_string(s.signal) + ",99");
    }
    if (n == "+CREG" || n == "+CGREG") {
        if (c.form == Form::Test) return AtResult::Line(n + ": (0-2)");
        if (c.form == Form::Set) {
            int v = 0;
            if (!ReadInt(c.args, v) || v > 2) return AtResult::Fail(CmeError(4));
            if (n == "+CREG") cregMode_ = v;
            return AtResult::Ok();
        }
        if (c.form == Form::Read) {
            int mode = n == "+CREG" ? cregMode_ : 0;
            std::string line = n + ": " + std::to_string(mode) + "," + std::to_string(reg);
            if (mode == 2 && registered) line += ",\"2AF5\",\"0B88\"";
            return AtResult::Line(line);
        }
        return AtResult::Fail("ERROR");
    }
    if (n == "+COPS") {
        if (c.form == Form::Test) {
            return AtResult::Line("+COPS: (2," + Quote(s.operatorName) + "," +
                                  Quote(s.operatorName) + "," + Quote(s.operatorCode) +
                                  "),,(0-4),(0-2)");
        }
        if (c.form == Form::Read) {
            if (!registered) return AtResult::Line("+COPS: 0");
            const std::string& name = copsFormat_ == 2 ? s.operatorCode : s.operatorName;
            return AtResult::Line("+COPS: 0," + std::to_string(copsFormat_) + "," + Quote(name));
        }
        if (c.form == Form::Set) {
            std::vector<std::string> a = SplitArguments(c.args);
            int mode = 0;
            if (a.empty() || !ReadInt(a[0], mode) || mode > 4) return AtResult::Fail(CmeError(4));
            if (a.size() > 1) {
                int format = 0;
                if (!ReadInt(a[1], format) || format > 2) return AtResult::Fail(CmeError(4));
                copsFormat_ = format;
            }
            if (mode == 1 && a.size() > 2 && a[2] != s.operatorCode && a[2] != s.operatorName)
                return AtResult::Fail(CmeError(30));
            return AtResult::Ok();
        }
        return AtResult::Fail("ERROR");
    }
    if (n == "+CSCS") {
        if (c.form == Form::Test)
            return AtResult::Line("+CSCS: (\"GSM\",\"IRA\",\"8859-1\",\"UCS2\")");
        if (c.form == Form::Read) return AtResult::Line("+CSCS: " + Quote(charset_));
        if (c.form == Form::Set) {
            std::vector<std::string> a = SplitArguments(c.args);
            std::string set = a.empty() ? "" : UpperAscii(a[0]);
            if (set != "GSM" && set != "IRA" && set != "8859-1" && set != "UCS2")
                return AtResult::Fail(CmeError(4));
            charset_ = set;
            return AtResult::Ok();
        }
        return AtResult::Fail("ERROR");
    }
    if (n == "+CPAS") {
        if (c.form == Form::Test) return AtResult::Line("+CPAS: (0-5)");
        return AtResult::Line("+CPAS: 0");
    }
    if (n == "+CFUN") {
        if (c.form == Form::Read) return AtResult::Line("+CFUN: 1");
        if (c.form == Form::Test) return AtResult::Line("+CFUN: (0,1),(0,1)");
        return AtResult::Ok();
    }
    if (n == "+CBC") return AtResult::Line("+CBC: 0,100");
    if (n == "+CCLK") {
        if (c.form != Form::Read) return AtResult::Ok();
        std::time_t now = std::time(nullptr);
        std::tm local{};
        localtime_r(&now, &local);
        char text[40];
        std::snprintf(text, sizeof text, "+CCLK: \"%02d/%02d/%02d,%02d:%02d:%02d+00\"",
                      local.tm_year % 100, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                      local.tm_min, local.tm_sec);
        return AtResult::Line(text);
    }
    if (n == "+CLIP") {
        if (c.form == Form::Read) return AtResult::Line("+CLIP: 0,1");
        return AtResult::Ok();
    }
    if (n == "+WIND") {
        if (c.form == Form::Read) return AtResult::Line("+WIND: 255");
        return AtResult::Ok();
    }
    if (n == "+CRC" || n == "+VIP" || n == "+CLIR" || n == "+CSSN" || n == "+CMER" ||
        n == "+STSF" || n == "+STGR" || n == "+CHUP" || n == "+CVHU" || n == "+VTS")
        return AtResult::Ok();
    if (n == "+STGI") {
        int type = 0;
        if (c.form != Form::Set || !ReadInt(c.args, type)) return AtResult::Fail(CmeError(3));
        auto it = s.toolkit.find(type);
        if (it == s.toolkit.end()) return AtResult::Fail(CmeError(3));
        return {it->second, "OK", false};
    }
    if (n == "D") {
        // Voice calls (';' at the end) are accepted; there is no data service.
        if (!registered) return AtResult::Fail("NO CARRIER");
        if (!c.args.empty() && c.args.back() == ';') return AtResult::Ok();
        return AtResult::Fail("NO CARRIER");
    }
    if (n == "H") return AtResult::Ok();
    if (n == "A") return AtResult::Fail("NO CARRIER");
    return AtResult::Fail("ERROR");
}

AtResult SimulatedModem::MessageCommand(const AtCommand& c) {
    const std::string& n = c.name;
    Scenario& s = scenario_;
    std::vector<std::string> a = SplitArguments(c.args);
    auto find = [&](int index) {
        return std::find_if(s.messages.begin(), s.messages.end(),
                            [&](const StoredMessage& m) { return m.index == index; });
    };
    if (n == "+CMGF") {
        if (c.form == Form::Read)
            return AtResult::Line(std::string("+CMGF: ") + (pduMode_ ? "0" : "1"));
        if (c.form == Form::Test) return AtResult::Line("+CMGF: (0-1)");
        if (c.form == Form::Set && (c.args == "0" || c.args == "1")) {
            pduMode_ = c.args == "0";
            return AtResult::Ok();
        }
        return AtResult::Fail(CmsError(302));
    }
    if (n == "+CPMS") {
        std::string used =
            std::to_string(s.messages.size()) + "," + std::to_string(s.messageCapacity);
        if (c.form == Form::Test) return AtResult::Line("+CPMS: (\"SM\"),(\"SM\"),(\"SM\")");
        if (c.form == Form::Read) {
            std::string one = "\"SM\"," + used;
            return AtResult::Line("+CPMS: " + one + "," + one + "," + one);
        }
        if (c.form == Form::Set) {
            if (a.empty() || a.size() > 3) return AtResult::Fail(CmsError(302));
            for (const std::string& mem : a) {
                if (UpperAscii(mem) != "SM") return AtResult::Fail(CmsError(302));
            }
            std::string line = "+CPMS: " + used;
            for (size_t i = 1; i < 3; ++i)
                line += "," + used;
            return AtResult::Line(line);
        }
        return AtResult::Fail(CmsError(302));
    }
    if (n == "+CSCA") {
        if (c.form == Form::Read) {
            const std::string& sc = s.serviceCentre;
            return AtResult::Line("+CSCA: " + Quote(sc) + "," +
                                  (sc.rfind('+', 0) == 0 ? "145" : "129"));
        }
        if (c.form == Form::Set && !a.empty()) s.serviceCentre = a[0];
        return AtResult::Ok();
    }
    if (n == "+CSMP") {
        if (c.form == Form::Read) return AtResult::Line("+CSMP: " + csmp_);
        if (c.form == Form::Set) csmp_ = c.args;
        return AtResult::Ok();
    }
    if (n == "+CNMI") {
        if (c.form == Form::Read) return AtResult::Line("+CNMI: " + cnmi_);
        if (c.form == Form::Test) return AtResult::Line("+CNMI: (0-2),(0-3),(0,2),(0-2),(0,1)");
        if (c.form == Form::Set) cnmi_ = c.args;
        return AtResult::Ok();
    }
    if (n == "+CSMS") {
        if (c.form == Form::Read) return AtResult::Line("+CSMS: 0,1,1,1");
        if (c.form == Form::Test) return AtResult::Line("+CSMS: (0,1)");
        return AtResult::Line("+CSMS: 1,1,1");
    }
    if (n == "+CSDH" || n == "+CNMA" || n == "+CMMS") return AtResult::Ok();

    if (n == "+CMGL") {
        if (c.form == Form::Test) {
            return AtResult::Line(pduMode_ ? "+CMGL: (0-4)"
                                           : "+CMGL: (\"REC UNREAD\",\"REC READ\",\"STO UNSENT\","
                                             "\"STO SENT\",\"ALL\")");
        }
        int stat = 0;
        if (c.form == Form::Set) {
            // Numbers and the text-mode names are both taken, in either mode.
            stat = -1;
            std::string want = a.empty() ? "" : UpperAscii(a[0]);
            for (int i = 0; i < 5; ++i) {
                if (want == kStatNames[i] || want == std::to_string(i)) stat = i;
            }
            if (stat < 0 || a.size() > 2) return AtResult::Fail(CmsError(302));
        } else if (c.form == Form::Read) {
            return AtResult::Fail("ERROR");
        }
        AtResult r;
        for (StoredMessage& m : s.messages) {
            int ms = static_cast<int>(m.stat);
            if (stat != 4 && ms != stat) continue;
            r.lines.push_back(ListingHeader("+CMGL: " + std::to_string(m.index) + ",", m));
            r.lines.push_back(ListingBody(m));
            // Listed messages count as read (27.005 3.4.2).
            if (m.stat == MessageStat::RecUnread) m.stat = MessageStat::RecRead;
        }
        return r;
    }
    if (n == "+CMGR") {
        if (c.form == Form::Test) return AtResult::Ok();
        int index = 0;
        if (c.form != Form::Set || !ReadInt(c.args, index)) return AtResult::Fail(CmsError(302));
        auto it = find(index);
        if (index < 1 || index > s.messageCapacity || it == s.messages.end())
            return AtResult::Fail(CmsError(321));
        AtResult r;
        r.lines.push_back(ListingHeader("+CMGR: ", *it));
        r.lines.push_back(ListingBody(*it));
        if (it->stat == MessageStat::RecUnread) it->stat = MessageStat::RecRead;
        return r;
    }
    if (n == "+CMGS" || n == "+CMGW") {
        bool send = n == "+CMGS";
        if (c.form == Form::Test) return AtResult::Ok();
        if (c.form != Form::Set || a.empty()) return AtResult::Fail(CmsError(302));
        promptStat_ = 2;
        if (pduMode_) {
            int length = 0;
            if (!ReadInt(a[0], length) || length < 1 || length > 164)
                return AtResult::Fail(CmsError(304));
            promptLength_ = length;
            if (!send && a.size() > 1 && !ReadInt(a[1], promptStat_))
                return AtResult::Fail(CmsError(304));
            prompt_ = send ? Prompt::Send : Prompt::Write;
        } else {
            promptAddress_ = a[0];
            prompt_ = send ? Prompt::SendText : Prompt::WriteText;
        }
        if (promptStat_ < 0 || promptStat_ > 3) {
            prompt_ = Prompt::None;
            return AtResult::Fail(CmsError(304));
        }
        promptBuffer_.clear();
        AtResult r;
        r.prompt = true;
        return r;
    }
    if (n == "+CMSS") {
        if (c.form == Form::Test) return AtResult::Ok();
        int index = 0;
        if (c.form != Form::Set || a.empty() || !ReadInt(a[0], index))
            return AtResult::Fail(CmsError(302));
        auto it = find(index);
        if (it == s.messages.end()) return AtResult::Fail(CmsError(321));
        std::string pdu = it->pdu;
        AtResult r = Submit(pdu);
        if (r.final == "OK" && it->stat == MessageStat::StoUnsent) it->stat = MessageStat::StoSent;
        if (!r.lines.empty()) r.lines[0].replace(0, 6, "+CMSS:");
        return r;
    }
    if (n == "+CMGD") {
        if (c.form == Form::Test) {
            std::string list;
            for (const StoredMessage& m : s.messages) {
                list += (list.empty() ? "" : ",") + std::to_string(m.index);
            }
            return AtResult::Line("+CMGD: (" + list + "),(0-4)");
        }
        int index = 0;
        int flag = 0;
        if (c.form != Form::Set || a.empty() || a.size() > 2 || !ReadInt(a[0], index) ||
            (a.size() == 2 && (!ReadInt(a[1], flag) || flag > 4)))
            return AtResult::Fail(CmsError(302));
        if (flag == 0) {
            auto it = find(index);
            if (index < 1 || index > s.messageCapacity) return AtResult::Fail(CmsError(321));
            if (it != s.messages.end()) s.messages.erase(it);
            return AtResult::Ok();
        }
        // Flags (27.005 3.5.4): 1 read, 2 read and sent, 3 all but unread, 4 all.
        std::erase_if(s.messages, [&](const StoredMessage& m) {
            switch (m.stat) {
                case MessageStat::RecRead:
                    return true;
                case MessageStat::StoSent:
                    return flag >= 2;
                case MessageStat::StoUnsent:
                    return flag >= 3;
                case MessageStat::RecUnread:
                    return flag >= 4;
            }
            return false;
        });
        return AtResult::Ok();
    }
    return AtResult::Fail("ERROR");
}

std::string SimulatedModem::ListingHeader(const std::string& prefix, const StoredMessage& m) const {
    int stat = static_cast<int>(m.stat);
    if (pduMode_) return prefix + std::to_string(stat) + ",," + std::to_string(TpduLength(m.pdu));
    DecodedMessage d = DecodeForTextMode(m.pdu);
    std::string header = prefix + Quote(kStatNames[stat]) + "," + Quote(d.number) + ",";
    if (!d.time.empty()) header += "," + Quote(d.time);
    return header;
}

std::string SimulatedModem::ListingBody(const StoredMessage& m) const {
    if (pduMode_) return m.pdu;
    return DecodeForTextMode(m.pdu).text;
}

AtResult SimulatedModem::Submit(const std::string& pdu) {
    int reg = scenario_.simState == SimState::Ready ? scenario_.registration : 0;
    if (reg != 1 && reg != 5) return AtResult::Fail(CmsError(331));
    ++submissions_;
    auto fault = scenario_.faults.cmsErrorOnSubmission.find(submissions_);
    if (fault != scenario_.faults.cmsErrorOnSubmission.end()) {
        Record(TranscriptEntry::Kind::Event,
               "submission " + std::to_string(submissions_) + " refused");
        return AtResult::Fail(CmsError(fault->second));
    }
    Record(TranscriptEntry::Kind::Submitted, pdu);
    return AtResult::Line("+CMGS: " + std::to_string(NextMessageReference()));
}

AtResult SimulatedModem::FinishMessage(Prompt kind, const std::string& body) {
    std::string pdu;
    if (kind == Prompt::Send || kind == Prompt::Write) {
        pdu = UpperAscii(body);
        int tpdu = TpduLength(pdu);
        // The service-centre field may be left out; the length counts the TPDU only.
        if (tpdu != promptLength_) {
            if (tpdu >= 0 && static_cast<int>(pdu.size() / 2) == promptLength_)
                pdu = "00" + pdu;
            else
                return AtResult::Fail(CmsError(304));
        }
    } else {
        auto encoded = EncodeStoredSubmit(promptAddress_, Utf8ToU16(body));
        if (!encoded) return AtResult::Fail(CmsError(304));
        pdu = *encoded;
    }
    if (kind == Prompt::Send || kind == Prompt::SendText) return Submit(pdu);
    int index = StoreMessage(static_cast<MessageStat>(promptStat_), pdu);
    if (index < 0) return AtResult::Fail(CmsError(322));
    Record(TranscriptEntry::Kind::Written, pdu);
    return AtResult::Line("+CMGW: " + std::to_string(index));
}

AtResult SimulatedModem::PhonebookCommand(const AtCommand& c) {
    const std::string& n = c.name;
    Scenario& s = scenario_;
    std::vector<std::string> a = SplitArguments(c.args);
    auto& book = s.phonebook;
    std::string range = "(1-" + std::to_string(s.phonebookCapacity) + ")";
    if (n == "+CPBS") {
        if (c.form == Form::Test) return AtResult::Line("+CPBS: (\"SM\")");
        if (c.form == Form::Read) {
            return AtResult::Line("+CPBS: \"SM\"," + std::to_string(book.size()) + "," +
                                  std::to_string(s.phonebookCapacity));
        }
        if (c.form == Form::Set && a.size() == 1 && UpperAscii(a[0]) == "SM") return AtResult::Ok();
        return AtResult::Fail(CmeError(3));
    }
    if (n == "+CPBR") {
        if (c.form == Form::Test) {
            return AtResult::Line("+CPBR: " + range + "," + std::to_string(s.numberLimit) + "," +
                                  std::to_string(s.textLimit));
        }
        int first = 0;
        int last = 0;
        if (c.form != Form::Set || a.empty() || a.size() > 2 || !ReadInt(a[0], first))
            return AtResult::Fail(CmeError(4));
        last = first;
        if (a.size() == 2 && !ReadInt(a[1], last)) return AtResult::Fail(CmeError(4));
        if (first < 1 || last < first || last > s.phonebookCapacity)
            return AtResult::Fail(CmeError(21));
        AtResult r;
        for (const Contact& e : book) {
            if (e.index < first || e.index > last) continue;
            bool international = !e.number.empty() && e.number[0] == '+';
            r.lines.push_back("+CPBR: " + std::to_string(e.index) + "," + Quote(e.number) + "," +
                              (international ? "145" : "129") + "," +
                              Quote(EncodeName(e.name, charset_)));
        }
        // Empty but valid positions give no lines, only OK (27.007 8.12).
        return r;
    }
    if (n == "+CPBW") {
        if (c.form == Form::Test) {
            return AtResult::Line("+CPBW: " + range + "," + std::to_string(s.numberLimit) +
                                  ",(129,145)," + std::to_string(s.textLimit));
        }
        if (c.form != Form::Set || a.empty() || a.size() > 4) return AtResult::Fail(CmeError(4));
        int index = 0;
        if (!a[0].empty() && (!ReadInt(a[0], index) || index < 1 || index > s.phonebookCapacity))
            return AtResult::Fail(CmeError(21));
        std::string number = a.size() > 1 ? a[1] : "";
        int type = 129;
        if (a.size() > 2 && !a[2].empty() &&
            (!ReadInt(a[2], type) || (type != 129 && type != 145 && type != 161)))
            return AtResult::Fail(CmeError(4));
        auto name = DecodeName(a.size() > 3 ? a[3] : "", charset_);
        if (!name) return AtResult::Fail(CmeError(4));
        auto at = [&](int i) {
            return std::find_if(book.begin(), book.end(),
                                [&](const Contact& e) { return e.index == i; });
        };
        if (number.empty() && name->empty()) {
            // An index alone, or empty fields, clears the entry.
            if (index == 0) return AtResult::Fail(CmeError(21));
            auto it = at(index);
            if (it != book.end()) book.erase(it);
            return AtResult::Ok();
        }
        if (type == 145 && number.rfind('+', 0) != 0) number = "+" + number;
        size_t digits = number.size() - (number.rfind('+', 0) == 0 ? 1 : 0);
        if (digits > static_cast<size_t>(s.numberLimit)) return AtResult::Fail(CmeError(26));
        if (Utf16Length(*name) > static_cast<size_t>(s.textLimit))
            return AtResult::Fail(CmeError(24));
        for (char ch : number) {
            if (!((ch >= '0' && ch <= '9') || ch == '+' || ch == '*' || ch == '#'))
                return AtResult::Fail(CmeError(27));
        }
        if (index == 0) {
            index = 1;
            while (at(index) != book.end())
                ++index;
            if (index > s.phonebookCapacity) return AtResult::Fail(CmeError(20));
        }
        auto it = at(index);
        if (it != book.end()) {
            it->number = number;
            it->name = *name;
        } else {
            book.insert(std::upper_bound(book.begin(), book.end(), index,
                                         [](int i, const Contact& e) { return i < e.index; }),
                        Contact{index, number, *name});
        }
        return AtResult::Ok();
    }
    return AtResult::Fail("ERROR");
}

}  // namespace telvane::modemsim
