#include "modemsim/scenario.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

#include "modemsim/sim_pdu.h"
#include "platform/files.h"
#include "platform/text.h"

namespace telvane::modemsim {
namespace {

std::string Trim(const std::string& s) {
    size_t b = s.find_first_not_of(" \t\r");
    if (b == std::string::npos) return {};
    size_t e = s.find_last_not_of(" \t\r");
    return s.substr(b, e - b + 1);
}

std::string Lower(std::string s) {
    for (char& c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

std::string Upper(std::string s) {
    for (char& c : s)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

// Splits on '|' into at most `limit` fields; the last field keeps any further '|'.
std::vector<std::string> Fields(const std::string& s, size_t limit) {
    std::vector<std::string> out;
    size_t start = 0;
    while (out.size() + 1 < limit) {
        size_t bar = s.find('|', start);
        if (bar == std::string::npos) break;
        out.push_back(Trim(s.substr(start, bar - start)));
        start = bar + 1;
    }
    out.push_back(Trim(s.substr(start)));
    return out;
}

// "\n" breaks a line, "\\" is a backslash; anything else after a backslash stays as written.
std::string Unescape(const std::string& s) {
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\\' && i + 1 < s.size() && (s[i + 1] == 'n' || s[i + 1] == '\\')) {
            out += s[i + 1] == 'n' ? '\n' : '\\';
            ++i;
        } else {
            out += s[i];
        }
    }
    return out;
}

bool ParseInt(const std::string& s, int64_t& value) {
    if (s.empty()) return false;
    char* end = nullptr;
    long long v = std::strtoll(s.c_str(), &end, 10);
    if (*end != '\0') return false;
    value = v;
    return true;
}

bool ParseInt(const std::string& s, int& value, int lo, int hi) {
    int64_t v = 0;
    if (!ParseInt(s, v) || v < lo || v > hi) return false;
    value = static_cast<int>(v);
    return true;
}

std::optional<MessageStat> ParseStat(const std::string& s) {
    static const char* const kNames[] = {"REC UNREAD", "REC READ", "STO UNSENT", "STO SENT"};
    std::string u = Upper(s);
    for (int i = 0; i < 4; ++i) {
        if (u == kNames[i] || u == std::to_string(i)) return static_cast<MessageStat>(i);
    }
    return std::nullopt;
}

bool IsHex(const std::string& s) {
    return !s.empty() && s.size() % 2 == 0 && std::all_of(s.begin(), s.end(), [](char c) {
        return std::isxdigit(static_cast<unsigned char>(c));
    });
}

// Blank-separated words.
std::vector<std::string> Words(const std::string& s) {
    std::vector<std::string> out;
    size_t start = 0;
    while ((start = s.find_first_not_of(" \t", start)) != std::string::npos) {
        size_t end = s.find_first_of(" \t", start);
        out.push_back(s.substr(start, end - start));
        start = end;
    }
    return out;
}

// Command names are matched without "AT" and case: "AT+CMGL" and "+cmgl" are "+CMGL".
std::string CommandName(std::string s) {
    s = Upper(Trim(s));
    if (s.rfind("AT", 0) == 0 && s.size() > 2) s = s.substr(2);
    return s;
}

class Parser {
  public:
    // The first pass reads only what entries depend on (service centre, capacities), so that
    // sections may come in any order.
    Parser(Scenario& s, bool firstPass) : s_(s), firstPass_(firstPass) {}

    // Returns an error text, empty when the line was fine.
    std::string Line(const std::string& raw) {
        std::string line = Trim(raw);
        if (line.empty() || line[0] == '#' || line[0] == ';') return {};
        if (line.front() == '[') {
            if (line.back() != ']') return "unclosed section name";
            section_ = Lower(Trim(line.substr(1, line.size() - 2)));
            // "[messages ME]" and "[messages.ME]" name the same store.
            if (section_.rfind("messages ", 0) == 0)
                section_ = "messages." + Trim(section_.substr(9));
            static const char* const kSections[] = {
                "modem",       "sim",       "network", "messages", "messages.sm", "messages.me",
                "messages.sr", "phonebook", "toolkit", "faults",   "unsolicited", "ussd"};
            for (const char* known : kSections) {
                if (section_ == known) {
                    if (section_ == "ussd") s_.ussdOffered = true;
                    return {};
                }
            }
            return "unknown section [" + section_ + "]";
        }
        size_t eq = line.find('=');
        if (eq == std::string::npos) return "expected KEY = VALUE";
        std::string key = Trim(line.substr(0, eq));
        std::string value = Trim(line.substr(eq + 1));
        // A trailing "; comment" is allowed where a value holds no text of its own.
        if (section_.rfind("messages", 0) != 0 && section_ != "toolkit" &&
            section_ != "unsolicited" && section_ != "phonebook" && section_ != "ussd") {
            size_t semi = value.find(" ;");
            if (semi != std::string::npos) value = Trim(value.substr(0, semi));
        }
        if (section_.empty()) return "a key outside any section";
        if (firstPass_) {
            std::string k = Lower(key);
            if ((section_ == "sim" && (k == "service_centre" || k == "message_capacity" ||
                                       k == "me_capacity" || k == "sr_capacity")) ||
                (section_ == "phonebook" && k == "capacity")) {
                std::string problem = section_ == "sim" ? Sim(k, value) : PhonebookLine(k, value);
                return problem;
            }
            return {};
        }
        if (section_ == "modem") return Modem(Lower(key), value);
        if (section_ == "sim") return Sim(Lower(key), value);
        if (section_ == "network") return Network(Lower(key), value);
        if (section_ == "messages" || section_ == "messages.sm")
            return Message(key, value, s_.messages, s_.messageCapacity);
        if (section_ == "messages.me") {
            if (s_.meCapacity == 0) return "no ME store: set [sim] me_capacity";
            return Message(key, value, s_.meMessages, s_.meCapacity);
        }
        if (section_ == "messages.sr") {
            if (s_.srCapacity == 0) return "no SR store: set [sim] sr_capacity";
            return Message(key, value, s_.srMessages, s_.srCapacity);
        }
        if (section_ == "phonebook") return PhonebookLine(Lower(key), value);
        if (section_ == "toolkit") return Toolkit(key, value);
        if (section_ == "faults") return Fault(Lower(key), value);
        if (section_ == "ussd") return Ussd(key, value);
        return Unsolicited(key, value);
    }

  private:
    std::string Modem(const std::string& key, const std::string& value) {
        if (key == "manufacturer")
            s_.manufacturer = value;
        else if (key == "model")
            s_.model = value;
        else if (key == "revision")
            s_.revision = value;
        else if (key == "imei")
            s_.imei = value;
        else if (key == "echo") {
            std::string v = Lower(value);
            if (v != "on" && v != "off") return "echo must be on or off";
            s_.echo = v == "on";
        } else if (key == "cnmi") {
            auto cnmi = ParseIndications(value, {});
            if (!cnmi) return "cnmi must be MODE,MT,BM,DS,BFR the modem offers";
            s_.cnmi = *cnmi;
        } else if (key == "retries_query") {
            static const struct {
                const char* name;
                RetriesQuery query;
            } kQueries[] = {{"both", RetriesQuery::Both},
                            {"cpinr", RetriesQuery::Cpinr},
                            {"cpinc", RetriesQuery::Cpinc},
                            {"none", RetriesQuery::None}};
            auto it = std::find_if(std::begin(kQueries), std::end(kQueries),
                                   [&](const auto& q) { return Lower(value) == q.name; });
            if (it == std::end(kQueries)) return "retries_query must be both, cpinr, cpinc or none";
            s_.retriesQuery = it->query;
        } else if (key == "baud") {
            if (!ParseInt(value, s_.baud, 0, 4000000)) return "baud must be 0-4000000";
        } else if (key == "ussd_form") {
            const std::string v = Lower(value);
            if (v == "text")
                s_.ussdForm = UssdForm::Text;
            else if (v == "packed")
                s_.ussdForm = UssdForm::Packed;
            else if (v == "ucs2")
                s_.ussdForm = UssdForm::Ucs2;
            else
                return "ussd_form must be text, packed or ucs2";
        } else
            return "unknown key " + key;
        return {};
    }

    std::string Sim(const std::string& key, const std::string& value) {
        if (key == "state") {
            std::string v = Lower(value);
            if (v == "ready")
                s_.simState = SimState::Ready;
            else if (v == "pin")
                s_.simState = SimState::PinRequired;
            else if (v == "puk")
                s_.simState = SimState::PukRequired;
            else if (v == "blocked")
                s_.simState = SimState::Blocked;
            else if (v == "absent")
                s_.simState = SimState::Absent;
            else
                return "state must be ready, pin, puk, blocked or absent";
        } else if (key == "pin") {
            s_.pin = value;
        } else if (key == "puk") {
            s_.puk = value;
        } else if (key == "pin_attempts") {
            if (!ParseInt(value, s_.pinAttempts, 0, 99)) return "pin_attempts must be 0-99";
        } else if (key == "puk_attempts") {
            if (!ParseInt(value, s_.pukAttempts, 0, 99)) return "puk_attempts must be 0-99";
        } else if (key == "imsi") {
            s_.imsi = value;
        } else if (key == "service_centre") {
            s_.serviceCentre = value;
        } else if (key == "message_capacity") {
            if (!ParseInt(value, s_.messageCapacity, 1, 255)) return "capacity must be 1-255";
        } else if (key == "me_capacity") {
            if (!ParseInt(value, s_.meCapacity, 0, 1000)) return "me_capacity must be 0-1000";
        } else if (key == "sr_capacity") {
            if (!ParseInt(value, s_.srCapacity, 0, 255)) return "sr_capacity must be 0-255";
        } else if (key == "new_message_store") {
            std::string store = Upper(value);
            if (store != "SM" && store != "ME") return "new_message_store must be SM or ME";
            s_.newMessageStore = store;
        } else {
            return "unknown key " + key;
        }
        return {};
    }

    std::string Network(const std::string& key, const std::string& value) {
        if (key == "registration") {
            if (!ParseInt(value, s_.registration, 0, 5)) return "registration must be 0-5";
        } else if (key == "operator") {
            s_.operatorCode = value;
        } else if (key == "report_delay") {
            if (!ParseInt(value, s_.reportDelayMs, 0, 600000))
                return "report_delay must be milliseconds";
        } else if (key == "submit_delay") {
            if (!ParseInt(value, s_.submitDelayMs, 0, 600000))
                return "submit_delay must be milliseconds";
        } else if (key == "report_status") {
            if (!ParseInt(value, s_.reportStatus, 0, 255)) return "report_status must be 0-255";
        } else if (key == "operator_name") {
            s_.operatorName = value;
        } else if (key == "technology") {
            // 27.007 7.3 <AcT>: 0 GSM, 2 UTRAN, 7 E-UTRAN (and the others it lists).
            if (!ParseInt(value, s_.technology, 0, 13)) return "technology must be 0-13";
        } else if (key == "signal") {
            if (!ParseInt(value, s_.signal, 0, 99) || (s_.signal > 31 && s_.signal != 99))
                return "signal must be 0-31 or 99";
        } else {
            return "unknown key " + key;
        }
        return {};
    }

    // "*149# 2 = + TEXT": the answer to reply 2 within the session of *149#, a menu.
    std::string Ussd(const std::string& key, const std::string& value) {
        const std::vector<std::string> words = Words(key);
        if (words.empty()) return "expected CODE [REPLY...] = [+] TEXT";
        std::string path;
        for (const std::string& w : words)
            path += (path.empty() ? "" : " ") + w;
        if (s_.ussd.count(path)) return "USSD answer to '" + path + "' given twice";
        UssdAnswer answer;
        std::string text = value;
        if (!text.empty() && text[0] == '+') {
            answer.more = true;
            text = Trim(text.substr(1));
        }
        answer.text = Unescape(text);
        s_.ussd[path] = answer;
        return {};
    }

    std::string Message(const std::string& key, const std::string& value,
                        std::vector<StoredMessage>& store, int capacity) {
        StoredMessage m;
        if (!ParseInt(key, m.index, 1, capacity)) return "index outside the store";
        for (const StoredMessage& other : store) {
            if (other.index == m.index) return "index " + key + " used twice";
        }
        if (Lower(value.substr(0, 4)) == "raw:") {
            size_t bar = value.find('|');
            m.rawHeader = Trim(value.substr(4, bar == std::string::npos ? bar : bar - 4));
            if (bar == std::string::npos || m.rawHeader.empty())
                return "expected raw:HEADER | BODY";
            m.rawBody = Trim(value.substr(bar + 1));
            store.push_back(m);
            return {};
        }
        std::vector<std::string> f = Fields(value, 4);
        if (f.size() < 3) return "expected STATUS | SENDER | TIME | TEXT or STATUS | PDU | HEX";
        auto stat = ParseStat(f[0]);
        if (!stat) return "unknown status " + f[0];
        m.stat = *stat;
        if (Upper(f[1]) == "PDU") {
            std::string hex = Upper(f.size() == 3 ? f[2] : f[2] + f[3]);
            if (!IsHex(hex) || TpduLength(hex) <= 0) return "malformed PDU";
            m.pdu = hex;
        } else {
            if (f.size() < 4) return "expected STATUS | SENDER | TIME | TEXT";
            std::u16string text = Utf8ToU16(Unescape(f[3]));
            // A text too long for one message is stored as its parts, one index each.
            std::optional<std::vector<std::string>> parts;
            if (m.stat == MessageStat::StoUnsent || m.stat == MessageStat::StoSent)
                parts = EncodeStoredSubmitParts(f[1], text, nextReference_);
            else
                parts = EncodeDeliverParts(s_.serviceCentre, f[1], f[2], text, nextReference_);
            if (!parts) return "cannot encode this message (number, time or length)";
            if (parts->size() > 1) nextReference_ = (nextReference_ + 1) % 256;
            for (size_t i = 0; i < parts->size(); ++i) {
                StoredMessage part = m;
                part.index = m.index + static_cast<int>(i);
                part.pdu = (*parts)[i];
                if (part.index > capacity) return "the parts run past the store";
                for (const StoredMessage& other : store) {
                    if (other.index == part.index)
                        return "index " + std::to_string(part.index) + " used twice";
                }
                store.push_back(part);
            }
            return {};
        }
        store.push_back(m);
        return {};
    }

    std::string PhonebookLine(const std::string& key, const std::string& value) {
        if (key == "capacity") {
            if (!ParseInt(value, s_.phonebookCapacity, 1, 65535)) return "capacity must be 1-65535";
        } else if (key == "cpbr_range") {
            if (value.empty()) return "cpbr_range must be the answer's text";
            s_.phonebookRange = value;
        } else if (key == "number_limit") {
            if (!ParseInt(value, s_.numberLimit, 1, 80)) return "number_limit must be 1-80";
        } else if (key == "text_limit") {
            if (!ParseInt(value, s_.textLimit, 1, 80)) return "text_limit must be 1-80";
        } else if (key == "ucs2_form") {
            static const struct {
                const char* name;
                Ucs2Form form;
            } kForms[] = {{"plain", Ucs2Form::Plain},
                          {"80", Ucs2Form::Form80},
                          {"81", Ucs2Form::Form81},
                          {"82", Ucs2Form::Form82}};
            auto it = std::find_if(std::begin(kForms), std::end(kForms),
                                   [&](const auto& f) { return Lower(value) == f.name; });
            if (it == std::end(kForms)) return "ucs2_form must be plain, 80, 81 or 82";
            s_.ucs2Form = it->form;
        } else {
            Contact c;
            if (!ParseInt(key, c.index, 1, s_.phonebookCapacity))
                return "index outside the phonebook";
            if (Lower(value.substr(0, 4)) == "raw:") {
                c.raw = value.substr(4);
                if (c.raw.empty()) return "raw: needs the line";
                s_.phonebook.push_back(c);
                return {};
            }
            std::vector<std::string> f = Fields(value, 2);
            if (f.size() != 2) return "expected NUMBER | NAME";
            c.number = f[0];
            c.name = f[1];
            s_.phonebook.push_back(c);
        }
        return {};
    }

    std::string Toolkit(const std::string& key, const std::string& value) {
        int type = 0;
        if (!ParseInt(key, type, 0, 99)) return "toolkit type must be a number";
        s_.toolkit[type].push_back(value);
        return {};
    }

    std::string Fault(const std::string& key, const std::string& value) {
        Faults& f = s_.faults;
        if (key == "silent") {
            std::string v = Lower(value);
            f.silent = v == "yes" || v == "true" || v == "1" || v == "on";
        } else if (key == "cpin_busy") {
            if (!ParseInt(value, f.cpinBusy, 0, 1000000)) return "cpin_busy must be a count";
        } else if (key == "cms_error") {
            size_t colon = value.find(':');
            int k = 0;
            int code = 0;
            if (colon == std::string::npos ||
                !ParseInt(Trim(value.substr(0, colon)), k, 1, 1 << 30) ||
                !ParseInt(Trim(value.substr(colon + 1)), code, 0, 999))
                return "cms_error must be SUBMISSION:ERROR";
            f.cmsErrorOnSubmission[k] = code;
        } else if (key == "mute") {
            std::string name = value;
            int count = 0;
            size_t blank = value.find(' ');
            if (blank != std::string::npos) {
                name = value.substr(0, blank);
                if (!ParseInt(Trim(value.substr(blank + 1)), count, 0, 1 << 30))
                    return "mute must be COMMAND [COUNT]";
            }
            f.mute[CommandName(name)] = count;
        } else if (key == "cme") {
            std::vector<std::string> words = Words(value);
            CmeFault fault;
            if (words.size() < 2 || words.size() > 3 || !ParseInt(words[1], fault.code, 0, 999) ||
                (words.size() == 3 && !ParseInt(words[2], fault.count, 0, 1 << 30)))
                return "cme must be COMMAND CODE [COUNT]";
            fault.command = CommandName(words[0]);
            f.cme.push_back(fault);
        } else if (key == "refuse") {
            if (value.empty()) return "refuse must name a command";
            f.refused.insert(CommandName(value));
        } else if (key == "delay") {
            if (!ParseInt(value, f.delayMs, 0, 600000)) return "delay must be milliseconds";
        } else if (key.rfind("delay ", 0) == 0) {
            int ms = 0;
            if (!ParseInt(value, ms, 0, 600000)) return "delay must be milliseconds";
            f.commandDelayMs[CommandName(key.substr(6))] = ms;
        } else if (key == "batches") {
            size_t blank = value.find(' ');
            if (blank == std::string::npos ||
                !ParseInt(Trim(value.substr(0, blank)), f.batchMin, 1, 65536) ||
                !ParseInt(Trim(value.substr(blank + 1)), f.batchMax, f.batchMin, 65536))
                return "batches must be MIN MAX";
        } else if (key == "bit7") {
            char* end = nullptr;
            f.bit7Probability = std::strtod(value.c_str(), &end);
            if (*end != '\0' || f.bit7Probability < 0 || f.bit7Probability > 1)
                return "bit7 must be a probability 0-1";
        } else if (key == "drop_after_bytes") {
            if (!ParseInt(value, f.dropAfterBytes) || f.dropAfterBytes < 0)
                return "drop_after_bytes must be a count";
        } else if (key == "drop_at") {
            size_t blank = value.find(' ');
            f.dropAtCommand = CommandName(value.substr(0, blank));
            f.dropAtBytes = 0;
            if (blank != std::string::npos &&
                !ParseInt(Trim(value.substr(blank + 1)), f.dropAtBytes, 0, 1 << 30))
                return "drop_at must be COMMAND [BYTES]";
        } else if (key == "cut") {
            size_t blank = value.find(' ');
            int bytes = 0;
            if (blank == std::string::npos ||
                !ParseInt(Trim(value.substr(blank + 1)), bytes, 0, 1 << 30))
                return "cut must be COMMAND BYTES";
            f.cutAfterBytes[CommandName(value.substr(0, blank))] = bytes;
        } else if (key == "endless") {
            if (value.empty()) return "endless must name a command";
            f.endlessCommand = CommandName(value);
        } else if (key == "inject" || key == "inject_apart" || key == "nul") {
            std::vector<std::string> words = Words(value);
            Injection j;
            j.apart = key == "inject_apart";
            bool nul = key == "nul";
            const char* form =
                nul ? "nul must be COMMAND ENTRY" : "inject must be COMMAND ENTRY|ok LINE";
            if (words.size() < 2 || (nul && words.size() != 2) || (!nul && words.size() < 3))
                return form;
            j.command = CommandName(words[0]);
            if (!nul && Lower(words[1]) == "ok")
                j.afterEntry = -1;
            else if (!ParseInt(words[1], j.afterEntry, 0, 1 << 20))
                return form;
            if (nul) {
                j.bytes = std::string(1, '\0');
            } else {
                // The line is the rest of the value, as written.
                size_t at =
                    value.find(words[1], value.find(words[0]) + words[0].size()) + words[1].size();
                j.line = Trim(value.substr(at));
                j.bytes = "\r\n" + j.line + "\r\n";
            }
            f.injections.push_back(j);
        } else if (key == "seed") {
            int64_t seed = 0;
            if (!ParseInt(value, seed)) return "seed must be a number";
            f.seed = static_cast<uint32_t>(seed);
        } else {
            return "unknown fault " + key;
        }
        return {};
    }

    std::string Unsolicited(const std::string& key, const std::string& value) {
        std::string k = Lower(key);
        if (k.rfind("incoming at ", 0) == 0) {
            int64_t atMs = 0;
            if (!ParseInt(Trim(k.substr(12)), atMs) || atMs < 0) return "expected incoming at MS";
            std::vector<std::string> f = Fields(value, 3);
            if (f.size() >= 2 && Upper(f[0]) == "PDU") {
                std::string hex = Upper(f.size() == 2 ? f[1] : f[1] + f[2]);
                if (!IsHex(hex) || TpduLength(hex) <= 0) return "malformed PDU";
                s_.incoming.push_back({atMs, hex});
                return {};
            }
            if (f.size() != 3) return "expected SENDER | TIME | TEXT or PDU | HEX";
            auto parts = EncodeDeliverParts(s_.serviceCentre, f[0], f[1], Utf8ToU16(Unescape(f[2])),
                                            nextReference_);
            if (!parts) return "cannot encode this message (number, time or length)";
            if (parts->size() > 1) nextReference_ = (nextReference_ + 1) % 256;
            for (const std::string& pdu : *parts)
                s_.incoming.push_back({atMs, pdu});
        } else if (k.rfind("at ", 0) == 0) {
            TimedLine t;
            if (!ParseInt(Trim(k.substr(3)), t.atMs) || t.atMs < 0) return "expected at MS";
            t.line = value;
            s_.timedLines.push_back(t);
        } else if (k.rfind("after ", 0) == 0) {
            s_.triggeredLines.push_back({CommandName(key.substr(6)), value});
        } else {
            return "expected at MS, after COMMAND or incoming at MS";
        }
        return {};
    }

    Scenario& s_;
    bool firstPass_;
    int nextReference_ = 1;  // of the concatenated messages the scenario's texts make
    std::string section_;
};

}  // namespace

std::optional<Indications> ParseIndications(const std::string& text, Indications base) {
    struct Field {
        int Indications::*value;
        int last;
        bool (*allowed)(int);
    };
    static const Field kFields[] = {
        {&Indications::mode, 2, nullptr},
        {&Indications::mt, 3, nullptr},
        {&Indications::bm, 2, [](int v) { return v != 1; }},
        {&Indications::ds, 2, nullptr},
        {&Indications::bfr, 1, nullptr},
    };
    std::vector<std::string> values;
    size_t start = 0;
    while (true) {
        size_t comma = text.find(',', start);
        values.push_back(Trim(text.substr(start, comma - start)));
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    if (values.size() > std::size(kFields)) return std::nullopt;
    for (size_t i = 0; i < values.size(); ++i) {
        if (values[i].empty()) continue;
        int v = 0;
        const Field& f = kFields[i];
        if (!ParseInt(values[i], v, 0, f.last) || (f.allowed && !f.allowed(v))) return std::nullopt;
        base.*f.value = v;
    }
    return base;
}

std::optional<Scenario> ParseScenario(const std::string& text, std::string* error) {
    Scenario s;
    for (bool firstPass : {true, false}) {
        Parser parser(s, firstPass);
        size_t start = 0;
        int number = 0;
        while (start <= text.size()) {
            size_t end = text.find('\n', start);
            if (end == std::string::npos) end = text.size();
            ++number;
            std::string problem = parser.Line(text.substr(start, end - start));
            if (!problem.empty()) {
                if (error) *error = "line " + std::to_string(number) + ": " + problem;
                return std::nullopt;
            }
            start = end + 1;
        }
    }
    if (s.newMessageStore == "ME" && s.meCapacity == 0) {
        if (error) *error = "new_message_store = ME needs [sim] me_capacity";
        return std::nullopt;
    }
    auto byIndex = [](const auto& a, const auto& b) { return a.index < b.index; };
    std::sort(s.messages.begin(), s.messages.end(), byIndex);
    std::sort(s.meMessages.begin(), s.meMessages.end(), byIndex);
    std::sort(s.srMessages.begin(), s.srMessages.end(), byIndex);
    std::sort(s.phonebook.begin(), s.phonebook.end(), byIndex);
    std::stable_sort(s.timedLines.begin(), s.timedLines.end(),
                     [](const TimedLine& a, const TimedLine& b) { return a.atMs < b.atMs; });
    std::stable_sort(
        s.incoming.begin(), s.incoming.end(),
        [](const IncomingMessage& a, const IncomingMessage& b) { return a.atMs < b.atMs; });
    return s;
}

std::optional<Scenario> LoadScenarioFile(const std::string& path, std::string* error) {
    auto text = ReadWholeFile(path, error);
    if (!text) return std::nullopt;
    auto s = ParseScenario(*text, error);
    if (!s && error) *error = path + ": " + *error;
    return s;
}

}  // namespace telvane::modemsim
