#include "modem/info_parsers.h"

#include <algorithm>

#include "codec/ussd_text.h"

namespace telvane {

std::string_view TrimBlanks(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r' ||
                             text.back() == '\n'))
        text.remove_suffix(1);
    return text;
}

namespace {

// The answer's lines, each element split at its line ends, blank ones left out.
std::vector<std::string_view> Lines(const std::vector<std::string>& answer) {
    std::vector<std::string_view> lines;
    for (const std::string& text : answer) {
        for (size_t start = 0; start < text.size();) {
            const size_t end = std::min(text.find_first_of("\r\n", start), text.size());
            const std::string_view line =
                TrimBlanks(std::string_view(text).substr(start, end - start));
            if (!line.empty()) lines.push_back(line);
            start = end + 1;
        }
    }
    return lines;
}

bool Printable(std::string_view text) {
    return std::all_of(text.begin(), text.end(),
                       [](char c) { return static_cast<unsigned char>(c) >= 0x20 && c != 0x7F; });
}

bool Digits(std::string_view text) {
    return !text.empty() &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// "+CGMI: X" -> "X"; quotes around the value go.
std::string_view Value(std::string_view line) {
    if (!line.empty() && line.front() == '+') {
        const size_t colon = line.find(':');
        if (colon != std::string_view::npos) line = TrimBlanks(line.substr(colon + 1));
    }
    if (line.size() >= 2 && line.front() == '"' && line.back() == '"')
        line = line.substr(1, line.size() - 2);
    return line;
}

bool StoreName(std::string_view name) {
    return !name.empty() && name.size() <= 4 && std::all_of(name.begin(), name.end(), [](char c) {
        return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
    });
}

}  // namespace

std::vector<std::string> AnswerFields(std::string_view line) {
    std::vector<std::string> fields;
    const size_t colon = line.find(':');
    if (colon == std::string_view::npos) return fields;
    const std::string_view rest = line.substr(colon + 1);
    std::string field;
    bool quoted = false;
    int depth = 0;
    bool any = false;
    for (char c : rest) {
        if (c == '\r' || c == '\n') break;
        any = true;
        if (c == '"') {
            quoted = !quoted;
            if (depth > 0) field += c;
            continue;
        }
        if (!quoted && c == '(') ++depth;
        if (!quoted && c == ')' && depth > 0) --depth;
        if (!quoted && depth == 0 && c == ',') {
            fields.emplace_back(TrimBlanks(field));
            field.clear();
            continue;
        }
        field += c;
    }
    if (any) fields.emplace_back(TrimBlanks(field));
    return fields;
}

std::optional<int32_t> FieldNumber(std::string_view field) {
    field = TrimBlanks(field);
    if (!Digits(field) || field.size() > 9) return std::nullopt;
    int32_t value = 0;
    for (char c : field)
        value = value * 10 + (c - '0');
    return value;
}

std::optional<std::string_view> AnswerLine(const std::vector<std::string>& lines,
                                           std::string_view prefix) {
    for (std::string_view line : Lines(lines))
        if (line.starts_with(prefix)) return line;
    return std::nullopt;
}

std::optional<std::string> ParseIdentityAnswer(const std::vector<std::string>& lines,
                                               std::string_view command) {
    std::vector<std::string_view> all = Lines(lines);
    std::erase(all, command);
    if (all.empty()) return std::nullopt;
    const std::string_view value = Value(all.front());
    if (value.empty() || !Printable(value)) return std::nullopt;
    return std::string(value);
}

void ParseIdentificationAnswer(const std::vector<std::string>& lines, ModemInfo& info) {
    static const struct {
        std::string_view label;
        std::optional<std::string> ModemInfo::*field;
    } kLabels[] = {{"Manufacturer", &ModemInfo::manufacturer},
                   {"Model", &ModemInfo::model},
                   {"Revision", &ModemInfo::revision},
                   {"IMEI", &ModemInfo::imei}};
    std::vector<std::string_view> plain;
    bool labelled = false;
    for (std::string_view line : Lines(lines)) {
        if (!Printable(line) || line == "ATI") continue;
        bool matched = false;
        for (const auto& l : kLabels) {
            if (!line.starts_with(l.label) || line.size() <= l.label.size() ||
                line[l.label.size()] != ':')
                continue;
            const std::string_view value = TrimBlanks(line.substr(l.label.size() + 1));
            if (!value.empty() && !(info.*l.field)) info.*l.field = std::string(value);
            matched = labelled = true;
        }
        if (!matched) plain.push_back(line);
    }
    if (labelled) return;
    if (plain.size() >= 1 && !info.manufacturer) info.manufacturer = std::string(plain[0]);
    if (plain.size() >= 2 && !info.model) info.model = std::string(plain[1]);
}

std::optional<std::string> ParseImsiAnswer(const std::vector<std::string>& lines) {
    const std::optional<std::string> value = ParseIdentityAnswer(lines, "AT+CIMI");
    if (!value || !Digits(*value) || value->size() < 6 || value->size() > 15) return std::nullopt;
    return value;
}

OperatorRead ParseOperatorReadAnswer(std::string_view line) {
    OperatorRead read;
    if (!line.starts_with("+COPS:")) return read;
    const std::vector<std::string> f = AnswerFields(line);
    if (f.size() >= 3 && !f[2].empty() && Printable(f[2])) read.name = f[2];
    if (f.size() >= 4) read.technology = FieldNumber(f[3]);
    return read;
}

Registration ParseRegistrationReadAnswer(std::string_view line) {
    if (!line.starts_with("+CREG:")) return Registration::kUnknown;
    const std::vector<std::string> f = AnswerFields(line);
    if (f.size() < 2) return Registration::kUnknown;
    const std::optional<int32_t> stat = FieldNumber(f[1]);
    return stat ? RegistrationOf(*stat) : Registration::kUnknown;
}

std::optional<int32_t> ParseRssiAnswer(std::string_view line) {
    if (!line.starts_with("+CSQ:")) return std::nullopt;
    const std::vector<std::string> f = AnswerFields(line);
    if (f.empty()) return std::nullopt;
    const std::optional<int32_t> rssi = FieldNumber(f[0]);
    if (!rssi || *rssi > 31) return std::nullopt;
    return rssi;
}

std::vector<std::string> ParseStoreOffer(std::string_view line) {
    std::vector<std::string> stores;
    if (!line.starts_with("+CPMS:")) return stores;
    const std::vector<std::string> f = AnswerFields(line);
    if (f.empty()) return stores;
    std::string_view group = f[0];
    if (group.size() >= 2 && group.front() == '(' && group.back() == ')')
        group = group.substr(1, group.size() - 2);
    for (size_t start = 0; start <= group.size();) {
        const size_t end = std::min(group.find(',', start), group.size());
        std::string_view name = TrimBlanks(group.substr(start, end - start));
        if (name.size() >= 2 && name.front() == '"' && name.back() == '"')
            name = name.substr(1, name.size() - 2);
        if (StoreName(name) && std::find(stores.begin(), stores.end(), name) == stores.end())
            stores.emplace_back(name);
        start = end + 1;
    }
    return stores;
}

std::vector<StoreUse> ParseStoreReadAnswer(std::string_view line) {
    std::vector<StoreUse> stores;
    if (!line.starts_with("+CPMS:")) return stores;
    const std::vector<std::string> f = AnswerFields(line);
    for (size_t i = 0; i < f.size(); i += 3) {
        if (!StoreName(f[i])) break;
        StoreUse use{f[i], std::nullopt, std::nullopt};
        if (i + 1 < f.size()) use.used = FieldNumber(f[i + 1]);
        if (i + 2 < f.size()) use.total = FieldNumber(f[i + 2]);
        const bool seen = std::any_of(stores.begin(), stores.end(),
                                      [&](const StoreUse& s) { return s.name == use.name; });
        if (!seen) stores.push_back(std::move(use));
    }
    return stores;
}

std::optional<StoreUse> ParseStoreChoiceAnswer(std::string_view line) {
    if (!line.starts_with("+CPMS:")) return std::nullopt;
    const std::vector<std::string> f = AnswerFields(line);
    if (f.size() < 2) return std::nullopt;
    const std::optional<int32_t> used = FieldNumber(f[0]);
    const std::optional<int32_t> total = FieldNumber(f[1]);
    if (!used || !total) return std::nullopt;
    return StoreUse{{}, used, total};
}

std::optional<UssdAnswer> ParseUssdLine(std::string_view line) {
    line = TrimBlanks(line);
    if (!line.starts_with("+CUSD:")) return std::nullopt;
    // The text may hold commas: it is the quoted field, taken whole.
    const size_t colon = line.find(':');
    std::string_view rest = TrimBlanks(line.substr(colon + 1));
    const size_t comma = rest.find(',');
    const std::optional<int32_t> m = FieldNumber(rest.substr(0, comma));
    if (!m) return std::nullopt;
    UssdAnswer answer;
    switch (*m) {
        case 0:
            answer.status = UssdStatus::kDone;
            break;
        case 1:
            answer.status = UssdStatus::kMore;
            break;
        case 2:
        case 3:
            answer.status = UssdStatus::kEnded;
            break;
        case 4:
            answer.status = UssdStatus::kUnsupported;
            break;
        default:
            answer.status = UssdStatus::kNoAnswer;
            break;
    }
    if (comma == std::string_view::npos) return answer;
    rest = TrimBlanks(rest.substr(comma + 1));
    std::string_view text;
    if (!rest.empty() && rest.front() == '"') {
        const size_t close = rest.rfind('"');
        if (close == 0) return std::nullopt;
        text = rest.substr(1, close - 1);
        rest = TrimBlanks(rest.substr(close + 1));
        if (!rest.empty() && rest.front() == ',')
            answer.dcs = FieldNumber(rest.substr(1)).value_or(-1);
    } else {
        const size_t next = rest.find(',');
        text = TrimBlanks(rest.substr(0, next));
        if (next != std::string_view::npos)
            answer.dcs = FieldNumber(rest.substr(next + 1)).value_or(-1);
    }
    answer.text = DecodeUssdText(text, answer.dcs);
    return answer;
}

const char* RegistrationName(Registration registration) {
    switch (registration) {
        case Registration::kUnknown:
            return "unknown";
        case Registration::kNone:
            return "none";
        case Registration::kHome:
            return "home";
        case Registration::kSearching:
            return "searching";
        case Registration::kDenied:
            return "denied";
        case Registration::kRoaming:
            return "roaming";
    }
    return "unknown";
}

Registration RegistrationOf(int32_t stat) {
    switch (stat) {
        case 0:
            return Registration::kNone;
        case 1:
        case 6:
        case 8:
            return Registration::kHome;
        case 2:
            return Registration::kSearching;
        case 3:
            return Registration::kDenied;
        case 5:
        case 7:
        case 10:
            return Registration::kRoaming;
        default:
            return Registration::kUnknown;
    }
}

std::optional<int32_t> SignalDbm(std::optional<int32_t> rssi) {
    if (!rssi || *rssi < 0 || *rssi > 31) return std::nullopt;
    return -113 + 2 * *rssi;
}

int32_t SignalBarsOf(std::optional<int32_t> rssi) {
    if (!rssi || *rssi < 10 || *rssi > 31) return 0;
    if (*rssi <= 12) return 1;
    if (*rssi <= 14) return 2;
    if (*rssi <= 16) return 3;
    if (*rssi <= 18) return 4;
    return 5;
}

std::string TechnologyName(int32_t technology) {
    // 27.007 7.3 <AcT>.
    static const char* const kNames[] = {"GSM",    "GSM Compact", "UMTS",  "GSM EDGE",    "HSDPA",
                                         "HSUPA",  "HSPA",        "LTE",   "EC-GSM-IoT",  "LTE-M",
                                         "NB-IoT", "5G NR (LTE)", "5G NR", "NG-RAN (LTE)"};
    if (technology < 0 || technology >= static_cast<int32_t>(std::size(kNames))) return {};
    return kNames[technology];
}

const char* UssdStatusName(UssdStatus status) {
    switch (status) {
        case UssdStatus::kDone:
            return "done";
        case UssdStatus::kMore:
            return "more";
        case UssdStatus::kEnded:
            return "ended";
        case UssdStatus::kUnsupported:
            return "unsupported";
        case UssdStatus::kRefused:
            return "refused";
        case UssdStatus::kNoAnswer:
            return "noAnswer";
    }
    return "noAnswer";
}

}  // namespace telvane
