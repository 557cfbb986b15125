// The modem's command table and its general commands (ITU-T V.250, 3GPP TS 27.007).
#include <algorithm>
#include <cstdio>
#include <ctime>
#include <string_view>

#include "modemsim/simulated_modem.h"

namespace telvane::modemsim {
namespace {

using Form = AtCommand::Form;

// "S7", "S99999999999": the register commands share one handler.
bool IsRegisterName(const std::string& name) {
    return name.size() > 1 && name[0] == 'S' &&
           std::all_of(name.begin() + 1, name.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// V.250 6.2 and 6.3: the registers a client reads, with their factory values.
constexpr struct {
    int reg;
    int value;
} kRegisterDefaults[] = {{0, 0}, {3, 13}, {4, 10}, {5, 8}, {6, 2}, {7, 50}, {8, 2}, {10, 14}};
constexpr int kLastRegister = 255;

// Attempts a SIM allows: three for a PIN, ten for a PUK (3GPP TS 11.11 9.3).
constexpr int kPinAttempts = 3;
constexpr int kPukAttempts = 10;

// `pattern` with '*' for any run of characters; backtracks to the last '*' only, so a long
// pattern costs no more than its length times the text's.
bool WildcardMatch(std::string_view pattern, std::string_view text) {
    size_t p = 0;
    size_t t = 0;
    size_t star = std::string_view::npos;
    size_t resume = 0;
    while (t < text.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            star = p++;
            resume = t;
        } else if (p < pattern.size() && pattern[p] == text[t]) {
            ++p;
            ++t;
        } else if (star != std::string_view::npos) {
            p = star + 1;
            t = ++resume;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*')
        ++p;
    return p == pattern.size();
}

}  // namespace

const SimulatedModem::CommandEntry* SimulatedModem::FindCommand(const std::string& name) {
    using S = SimulatedModem;
    constexpr Needs kFree = Needs::Nothing;
    constexpr Needs kSms = Needs::SimForMessages;
    constexpr Needs kSim = Needs::Sim;
    // Sorted by name for the lookup below.
    static constexpr CommandEntry kCommands[] = {
        {"&C", kFree, &S::Accept},
        {"&D", kFree, &S::Accept},
        {"&F", kFree, &S::Reset},
        {"&K", kFree, &S::Accept},
        {"&S", kFree, &S::Accept},
        {"&V", kFree, &S::Accept},
        {"&W", kFree, &S::Accept},
        {"+CBC", kFree, &S::Battery},
        {"+CCLK", kFree, &S::Clock},
        {"+CFUN", kFree, &S::Functionality},
        {"+CGMI", kFree, &S::Identity},
        {"+CGMM", kFree, &S::Identity},
        {"+CGMR", kFree, &S::Identity},
        {"+CGREG", kFree, &S::Registration},
        {"+CGSN", kFree, &S::Identity},
        {"+CHUP", kFree, &S::Accept},
        {"+CIMI", kSim, &S::Imsi},
        {"+CIND", kFree, &S::Indicators},
        {"+CLIP", kFree, &S::CallerId},
        {"+CLIR", kFree, &S::Accept},
        {"+CMEE", kFree, &S::ErrorMode},
        {"+CMER", kFree, &S::EventReporting},
        {"+CMGD", kSms, &S::DeleteMessage},
        {"+CMGF", kSms, &S::MessageFormat},
        {"+CMGL", kSms, &S::ListMessages},
        {"+CMGR", kSms, &S::ReadMessage},
        {"+CMGS", kSms, &S::SendOrWrite},
        {"+CMGW", kSms, &S::SendOrWrite},
        {"+CMMS", kSms, &S::Accept},
        {"+CMSS", kSms, &S::SendFromStorage},
        {"+CNMA", kSms, &S::Accept},
        {"+CNMI", kSms, &S::NewMessageIndications},
        {"+COPS", kFree, &S::Operator},
        {"+CPAS", kFree, &S::ActivityStatus},
        {"+CPBR", kSim, &S::PhonebookRead},
        {"+CPBS", kSim, &S::PhonebookStorage},
        {"+CPBW", kSim, &S::PhonebookWrite},
        {"+CPIN", kFree, &S::Pin},
        {"+CPINC", kFree, &S::PinCounters},
        {"+CPINR", kFree, &S::PinRetries},
        {"+CPMS", kSms, &S::MessageStorage},
        {"+CRC", kFree, &S::Accept},
        {"+CREG", kFree, &S::Registration},
        {"+CSCA", kSms, &S::ServiceCentre},
        {"+CSCS", kFree, &S::Charset},
        {"+CSDH", kSms, &S::Accept},
        {"+CSMP", kSms, &S::TextParameters},
        {"+CSMS", kSms, &S::MessageService},
        {"+CSQ", kFree, &S::Signal},
        {"+CSSN", kFree, &S::Accept},
        {"+CUSD", kSim, &S::Ussd},
        {"+CVHU", kFree, &S::Accept},
        {"+GCAP", kFree, &S::Capabilities},
        {"+GMI", kFree, &S::Identity},
        {"+GMM", kFree, &S::Identity},
        {"+GMR", kFree, &S::Identity},
        {"+GSN", kFree, &S::Identity},
        {"+STGI", kFree, &S::Toolkit},
        {"+STGR", kFree, &S::Accept},
        {"+STSF", kFree, &S::Accept},
        {"+VIP", kFree, &S::Accept},
        {"+VTS", kFree, &S::Accept},
        {"+WIND", kFree, &S::Wind},
        {"A", kFree, &S::Answer},
        {"D", kFree, &S::Dial},
        {"E", kFree, &S::Echo},
        {"H", kFree, &S::HangUp},
        {"I", kFree, &S::Information},
        {"L", kFree, &S::Accept},
        {"M", kFree, &S::Accept},
        {"Q", kFree, &S::Quiet},
        {"S", kFree, &S::SRegister},
        {"V", kFree, &S::Verbose},
        {"X", kFree, &S::Accept},
        {"Z", kFree, &S::Reset},
    };
    static_assert(std::ranges::is_sorted(kCommands, {}, &CommandEntry::name));
    std::string_view key = IsRegisterName(name) ? std::string_view("S") : std::string_view(name);
    auto it = std::ranges::lower_bound(kCommands, key, {}, &CommandEntry::name);
    if (it == std::end(kCommands) || key != it->name) return nullptr;
    return it;
}

AtResult SimulatedModem::Execute(const AtCommand& c) {
    const CommandEntry* entry = FindCommand(c.name);
    if (!entry) return AtResult::Fail("ERROR");
    switch (entry->needs) {
        case Needs::Nothing:
            break;
        case Needs::SimForMessages: {
            // 27.005 3.2.5: a SIM that is missing or locked is a message-service failure.
            int code = 0;
            switch (scenario_.simState) {
                case SimState::Ready:
                    break;
                case SimState::PinRequired:
                    code = 311;
                    break;
                case SimState::PukRequired:
                    code = 316;
                    break;
                case SimState::Blocked:
                    code = 313;
                    break;
                case SimState::Absent:
                    code = 310;
                    break;
            }
            if (code) return AtResult::Fail(CmsError(code));
            break;
        }
        case Needs::Sim: {
            std::string sim = SimError();
            if (!sim.empty()) return AtResult::Fail(sim);
            break;
        }
    }
    return (this->*(entry->handler))(c);
}

std::string SimulatedModem::CmeError(int code) const {
    if (cmee_ == 0) return "ERROR";
    if (cmee_ == 2) {
        // 27.007 9.2.1.
        static const struct {
            int code;
            const char* text;
        } kTexts[] = {{3, "operation not allowed"}, {4, "operation not supported"},
                      {10, "SIM not inserted"},     {11, "SIM PIN required"},
                      {12, "SIM PUK required"},     {13, "SIM failure"},
                      {16, "incorrect password"},   {20, "memory full"},
                      {21, "invalid index"},        {22, "not found"},
                      {24, "text string too long"}, {25, "invalid characters in text string"},
                      {26, "dial string too long"}, {27, "invalid characters in dial string"},
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
    switch (scenario_.simState) {
        case SimState::Ready:
            return {};
        case SimState::PinRequired:
            return CmeError(11);
        case SimState::PukRequired:
            return CmeError(12);
        case SimState::Blocked:
            return CmeError(13);
        case SimState::Absent:
            return CmeError(10);
    }
    return {};
}

AtResult SimulatedModem::Reset(const AtCommand&) {
    // The stored profile: plain errors, PDU mode, no registration reports.
    echo_ = scenario_.echo;
    cmee_ = 0;
    pduMode_ = true;
    cregMode_ = 0;
    cmerMode_ = cmerInd_ = 0;
    copsFormat_ = 0;
    charset_ = "GSM";
    sRegisters_.clear();
    cnmi_ = scenario_.cnmi;
    heldIndications_.clear();
    return AtResult::Ok();
}

AtResult SimulatedModem::Echo(const AtCommand& c) {
    if (c.args.empty() || c.args == "0")
        echo_ = false;
    else if (c.args == "1")
        echo_ = true;
    else
        return AtResult::Fail("ERROR");
    return AtResult::Ok();
}

// Verbose results only; numeric result codes are not offered.
AtResult SimulatedModem::Verbose(const AtCommand& c) {
    return c.args == "1" ? AtResult::Ok() : AtResult::Fail("ERROR");
}

AtResult SimulatedModem::Quiet(const AtCommand& c) {
    return c.args.empty() || c.args == "0" ? AtResult::Ok() : AtResult::Fail("ERROR");
}

AtResult SimulatedModem::Accept(const AtCommand&) {
    return AtResult::Ok();
}

AtResult SimulatedModem::SRegister(const AtCommand& c) {
    int reg = 0;
    if (!ReadNumber(c.name.substr(1), reg) || reg > kLastRegister) return AtResult::Fail("ERROR");
    if (c.form == Form::Set) {
        int value = 0;
        if (!ReadNumber(c.args, value) || value > 255) return AtResult::Fail("ERROR");
        sRegisters_[reg] = value;
        return AtResult::Ok();
    }
    if (c.form != Form::Read) return AtResult::Ok();
    int value = 0;
    for (const auto& d : kRegisterDefaults) {
        if (d.reg == reg) value = d.value;
    }
    auto set = sRegisters_.find(reg);
    if (set != sRegisters_.end()) value = set->second;
    char text[8];
    std::snprintf(text, sizeof text, "%03d", value);
    return AtResult::Line(text);
}

AtResult SimulatedModem::Information(const AtCommand& c) {
    if (c.args == "3") return AtResult::Line(scenario_.revision);
    return {{scenario_.manufacturer, scenario_.model}, "OK", false};
}

AtResult SimulatedModem::Identity(const AtCommand& c) {
    if (c.form == Form::Test) return AtResult::Ok();
    const Scenario& s = scenario_;
    const struct {
        const char* name;
        const std::string& value;
    } kValues[] = {{"+CGMI", s.manufacturer}, {"+GMI", s.manufacturer}, {"+CGMM", s.model},
                   {"+GMM", s.model},         {"+CGMR", s.revision},    {"+GMR", s.revision},
                   {"+CGSN", s.imei},         {"+GSN", s.imei}};
    for (const auto& v : kValues) {
        if (c.name == v.name) return AtResult::Line(v.value);
    }
    return AtResult::Fail("ERROR");
}

AtResult SimulatedModem::Capabilities(const AtCommand&) {
    return AtResult::Line("+GCAP: +CGSM");
}

AtResult SimulatedModem::Imsi(const AtCommand& c) {
    return c.form == Form::Test ? AtResult::Ok() : AtResult::Line(scenario_.imsi);
}

AtResult SimulatedModem::ErrorMode(const AtCommand& c) {
    if (c.form == Form::Read) return AtResult::Line("+CMEE: " + std::to_string(cmee_));
    if (c.form == Form::Test) return AtResult::Line("+CMEE: (0-2)");
    int v = 0;
    if (c.form == Form::Set && (!ReadNumber(c.args, v) || v > 2))
        return AtResult::Fail(CmeError(4));
    cmee_ = v;
    return AtResult::Ok();
}

AtResult SimulatedModem::Pin(const AtCommand& c) {
    Scenario& s = scenario_;
    if (c.form == Form::Test) return AtResult::Ok();
    if (c.form == Form::Read) {
        ++cpinQueries_;
        if (cpinQueries_ <= s.faults.cpinBusy) return AtResult::Fail(CmeError(515));
        switch (s.simState) {
            case SimState::Ready:
                return AtResult::Line("+CPIN: READY");
            case SimState::PinRequired:
                return AtResult::Line("+CPIN: SIM PIN");
            case SimState::PukRequired:
                return AtResult::Line("+CPIN: SIM PUK");
            case SimState::Blocked:
                return AtResult::Fail(CmeError(13));
            case SimState::Absent:
                return AtResult::Fail(CmeError(10));
        }
    }
    if (c.form != Form::Set) return AtResult::Fail("ERROR");
    std::vector<std::string> a = SplitArguments(c.args);
    // A code of 4 to 8 digits goes to the SIM and counts as an attempt; anything else the
    // modem refuses by itself.
    auto wellFormed = [](const std::string& code) {
        return code.size() >= 4 && code.size() <= 8 &&
               std::all_of(code.begin(), code.end(),
                           [](char ch) { return ch >= '0' && ch <= '9'; });
    };
    switch (s.simState) {
        case SimState::Ready:
            return AtResult::Fail(CmeError(3));
        case SimState::Blocked:
            return AtResult::Fail(CmeError(13));
        case SimState::Absent:
            return AtResult::Fail(CmeError(10));
        case SimState::PinRequired:
            if (a.empty() || !wellFormed(a[0])) return AtResult::Fail(CmeError(3));
            if (a[0] != s.pin) {
                Record(TranscriptEntry::Kind::Event, "wrong PIN");
                if (--s.pinAttempts <= 0) {
                    s.pinAttempts = 0;
                    s.simState = SimState::PukRequired;
                }
                return AtResult::Fail(CmeError(16));
            }
            s.pinAttempts = kPinAttempts;
            s.simState = SimState::Ready;
            return AtResult::Ok();
        case SimState::PukRequired:
            // 27.007 8.3: the PUK comes with the new PIN that replaces the old one.
            if (a.size() < 2 || !wellFormed(a[0]) || !wellFormed(a[1]))
                return AtResult::Fail(CmeError(3));
            if (a[0] != s.puk) {
                Record(TranscriptEntry::Kind::Event, "wrong PUK");
                if (--s.pukAttempts <= 0) {
                    s.pukAttempts = 0;
                    s.simState = SimState::Blocked;
                }
                return AtResult::Fail(CmeError(16));
            }
            s.pin = a[1];
            s.pinAttempts = kPinAttempts;
            s.pukAttempts = kPukAttempts;
            s.simState = SimState::Ready;
            return AtResult::Ok();
    }
    return AtResult::Fail("ERROR");
}

AtResult SimulatedModem::PinRetries(const AtCommand& c) {
    const Scenario& s = scenario_;
    if (s.retriesQuery == RetriesQuery::Cpinc || s.retriesQuery == RetriesQuery::None)
        return AtResult::Fail("ERROR");
    if (c.form == Form::Test) return AtResult::Ok();
    if (c.form == Form::Read) return AtResult::Fail("ERROR");
    if (s.simState == SimState::Absent) return AtResult::Fail(CmeError(10));
    // 27.007 8.65: one line per code the selection matches; '*' matches any run of characters.
    std::vector<std::string> a = SplitArguments(c.args);
    std::string selection = c.form == Form::Set && !a.empty() ? UpperAscii(a[0]) : "*";
    const struct {
        const char* code;
        int left;
        int initial;
    } kCodes[] = {{"SIM PIN", s.pinAttempts, kPinAttempts},
                  {"SIM PUK", s.pukAttempts, kPukAttempts},
                  {"SIM PIN2", kPinAttempts, kPinAttempts},
                  {"SIM PUK2", kPukAttempts, kPukAttempts}};
    AtResult r;
    for (const auto& k : kCodes) {
        if (WildcardMatch(selection, k.code))
            r.lines.push_back(std::string("+CPINR: ") + k.code + "," + std::to_string(k.left) +
                              "," + std::to_string(k.initial));
    }
    return r;
}

// A vendor's query: +CPINC: <PIN1 left>,<PIN2 left>,<PUK1 left>,<PUK2 left>.
AtResult SimulatedModem::PinCounters(const AtCommand& c) {
    const Scenario& s = scenario_;
    if (s.retriesQuery == RetriesQuery::Cpinr || s.retriesQuery == RetriesQuery::None)
        return AtResult::Fail("ERROR");
    if (c.form == Form::Test) return AtResult::Ok();
    if (s.simState == SimState::Absent) return AtResult::Fail(CmeError(10));
    return AtResult::Line("+CPINC: " + std::to_string(s.pinAttempts) + "," +
                          std::to_string(kPinAttempts) + "," + std::to_string(s.pukAttempts) + "," +
                          std::to_string(kPukAttempts));
}

AtResult SimulatedModem::Signal(const AtCommand& c) {
    if (c.form == Form::Test) return AtResult::Line("+CSQ: (0-31,99),(0-7,99)");
    return AtResult::Line("+CSQ: " + std::to_string(scenario_.signal) + ",99");
}

AtResult SimulatedModem::Registration(const AtCommand& c) {
    const std::string& n = c.name;
    if (c.form == Form::Test) return AtResult::Line(n + ": (0-2)");
    if (c.form == Form::Set) {
        int v = 0;
        if (!ReadNumber(c.args, v) || v > 2) return AtResult::Fail(CmeError(4));
        if (n == "+CREG") cregMode_ = v;
        return AtResult::Ok();
    }
    if (c.form == Form::Read) {
        int reg = scenario_.simState == SimState::Ready ? scenario_.registration : 0;
        int mode = n == "+CREG" ? cregMode_ : 0;
        std::string line = n + ": " + std::to_string(mode) + "," + std::to_string(reg);
        if (mode == 2 && (reg == 1 || reg == 5)) line += ",\"2AF5\",\"0B88\"";
        return AtResult::Line(line);
    }
    return AtResult::Fail("ERROR");
}

namespace {

// The indicators as a phone of the kind lists them (27.007 8.9); the order is what +CIEV numbers.
constexpr const char* kIndicatorList =
    "+CIND: (\"battchg\",(0-5)),(\"signal\",(0-5)),(\"service\",(0-1)),(\"message\",(0-1)),"
    "(\"call\",(0-1)),(\"roam\",(0-1)),(\"smsfull\",(0-1))";
constexpr int kSignalIndicator = 2, kServiceIndicator = 3, kRoamIndicator = 6;

int BarsOf(int rssi) {
    if (rssi < 10 || rssi > 31) return 0;
    if (rssi <= 12) return 1;
    if (rssi <= 14) return 2;
    if (rssi <= 16) return 3;
    if (rssi <= 18) return 4;
    return 5;
}

}  // namespace

std::vector<int> SimulatedModem::IndicatorValues() const {
    const int reg = scenario_.simState == SimState::Ready ? scenario_.registration : 0;
    const bool service = reg == 1 || reg == 5;
    // battchg, signal, service, message, call, roam, smsfull
    return {5, BarsOf(scenario_.signal), service ? 1 : 0, 0, 0, reg == 5 ? 1 : 0, 0};
}

void SimulatedModem::ReportIndicators(const std::vector<int>& before) {
    if (cmerMode_ == 0 || cmerInd_ == 0) return;
    const std::vector<int> now = IndicatorValues();
    for (int position : {kSignalIndicator, kServiceIndicator, kRoamIndicator}) {
        const size_t i = static_cast<size_t>(position - 1);
        if (now[i] != before[i])
            SendLine("+CIEV: " + std::to_string(position) + "," + std::to_string(now[i]));
    }
}

AtResult SimulatedModem::Indicators(const AtCommand& c) {
    if (c.form == Form::Test) return AtResult::Line(kIndicatorList);
    if (c.form == Form::Read) {
        std::string line = "+CIND: ";
        for (int value : IndicatorValues())
            line += std::to_string(value) + ",";
        line.pop_back();
        return AtResult::Line(line);
    }
    // None of these can be set by the client.
    return AtResult::Fail(CmeError(4));
}

AtResult SimulatedModem::EventReporting(const AtCommand& c) {
    if (c.form == Form::Test) return AtResult::Line("+CMER: (0-3),(0),(0),(0-2),(0)");
    if (c.form == Form::Read)
        return AtResult::Line("+CMER: " + std::to_string(cmerMode_) + ",0,0," +
                              std::to_string(cmerInd_) + ",0");
    if (c.form != Form::Set) return AtResult::Fail("ERROR");
    const std::vector<std::string> a = SplitArguments(c.args);
    int mode = cmerMode_, ind = cmerInd_, other = 0;
    if (!a.empty() && !a[0].empty() && (!ReadNumber(a[0], mode) || mode > 3))
        return AtResult::Fail(CmeError(4));
    for (size_t i = 1; i < 3 && i < a.size(); ++i)
        if (!a[i].empty() && (!ReadNumber(a[i], other) || other != 0))
            return AtResult::Fail(CmeError(4));
    if (a.size() > 3 && !a[3].empty() && (!ReadNumber(a[3], ind) || ind > 2))
        return AtResult::Fail(CmeError(4));
    cmerMode_ = mode;
    cmerInd_ = ind;
    return AtResult::Ok();
}

AtResult SimulatedModem::Operator(const AtCommand& c) {
    const Scenario& s = scenario_;
    if (c.form == Form::Test) {
        return AtResult::Line("+COPS: (2," + Quote(s.operatorName) + "," + Quote(s.operatorName) +
                              "," + Quote(s.operatorCode) + "),,(0-4),(0-2)");
    }
    if (c.form == Form::Read) {
        int reg = s.simState == SimState::Ready ? s.registration : 0;
        if (reg != 1 && reg != 5) return AtResult::Line("+COPS: 0");
        const std::string& name = copsFormat_ == 2 ? s.operatorCode : s.operatorName;
        std::string line = "+COPS: 0," + std::to_string(copsFormat_) + "," + Quote(name);
        if (s.technology >= 0) line += "," + std::to_string(s.technology);
        return AtResult::Line(line);
    }
    if (c.form == Form::Set) {
        std::vector<std::string> a = SplitArguments(c.args);
        int mode = 0;
        if (a.empty() || !ReadNumber(a[0], mode) || mode > 4) return AtResult::Fail(CmeError(4));
        if (a.size() > 1) {
            int format = 0;
            if (!ReadNumber(a[1], format) || format > 2) return AtResult::Fail(CmeError(4));
            copsFormat_ = format;
        }
        if (mode == 1 && a.size() > 2 && a[2] != s.operatorCode && a[2] != s.operatorName)
            return AtResult::Fail(CmeError(30));
        return AtResult::Ok();
    }
    return AtResult::Fail("ERROR");
}

AtResult SimulatedModem::Charset(const AtCommand& c) {
    if (c.form == Form::Test) return AtResult::Line("+CSCS: (\"GSM\",\"IRA\",\"8859-1\",\"UCS2\")");
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

AtResult SimulatedModem::ActivityStatus(const AtCommand& c) {
    if (c.form == Form::Test) return AtResult::Line("+CPAS: (0-5)");
    return AtResult::Line("+CPAS: 0");
}

AtResult SimulatedModem::Functionality(const AtCommand& c) {
    if (c.form == Form::Read) return AtResult::Line("+CFUN: 1");
    if (c.form == Form::Test) return AtResult::Line("+CFUN: (0,1),(0,1)");
    return AtResult::Ok();
}

AtResult SimulatedModem::Battery(const AtCommand&) {
    return AtResult::Line("+CBC: 0,100");
}

AtResult SimulatedModem::Clock(const AtCommand& c) {
    if (c.form != Form::Read) return AtResult::Ok();
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[40];
    std::snprintf(text, sizeof text, "+CCLK: \"%02d/%02d/%02d,%02d:%02d:%02d+00\"",
                  local.tm_year % 100, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min,
                  local.tm_sec);
    return AtResult::Line(text);
}

AtResult SimulatedModem::CallerId(const AtCommand& c) {
    return c.form == Form::Read ? AtResult::Line("+CLIP: 0,1") : AtResult::Ok();
}

AtResult SimulatedModem::Wind(const AtCommand& c) {
    return c.form == Form::Read ? AtResult::Line("+WIND: 255") : AtResult::Ok();
}

AtResult SimulatedModem::Toolkit(const AtCommand& c) {
    int type = 0;
    if (c.form != Form::Set || !ReadNumber(c.args, type)) return AtResult::Fail(CmeError(3));
    auto it = scenario_.toolkit.find(type);
    if (it == scenario_.toolkit.end()) return AtResult::Fail(CmeError(3));
    return {it->second, "OK", false};
}

AtResult SimulatedModem::Dial(const AtCommand& c) {
    // Voice calls (';' at the end) are accepted; there is no data service.
    int reg = scenario_.simState == SimState::Ready ? scenario_.registration : 0;
    if (reg != 1 && reg != 5) return AtResult::Fail("NO CARRIER");
    if (!c.args.empty() && c.args.back() == ';') return AtResult::Ok();
    return AtResult::Fail("NO CARRIER");
}

AtResult SimulatedModem::HangUp(const AtCommand&) {
    return AtResult::Ok();
}

AtResult SimulatedModem::Answer(const AtCommand&) {
    return AtResult::Fail("NO CARRIER");
}

}  // namespace telvane::modemsim
