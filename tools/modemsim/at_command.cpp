#include "modemsim/at_command.h"

#include <cctype>

namespace telvane::modemsim {
namespace {

char UpperChar(char c) {
    return static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
}
bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}
bool IsAlnum(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) != 0;
}

}  // namespace

std::optional<std::vector<AtCommand>> ParseCommandLine(const std::string& body) {
    std::vector<AtCommand> out;
    size_t i = 0;
    while (i < body.size()) {
        char c = UpperChar(body[i]);
        if (c == ' ' || c == ';') {
            ++i;
            continue;
        }
        AtCommand cmd;
        if (c == '+' || c == '^' || c == '%' || c == '$' || c == '*') {
            // Extended command: name, then nothing, '?', '=?' or '=' arguments up to ';'.
            cmd.name = c;
            ++i;
            while (i < body.size() && IsAlnum(body[i]))
                cmd.name += UpperChar(body[i++]);
            if (cmd.name.size() == 1) return std::nullopt;
            if (i < body.size() && body[i] == '?') {
                cmd.form = AtCommand::Form::Read;
                ++i;
            } else if (i < body.size() && body[i] == '=') {
                ++i;
                if (i < body.size() && body[i] == '?') {
                    cmd.form = AtCommand::Form::Test;
                    ++i;
                } else {
                    cmd.form = AtCommand::Form::Set;
                    bool quoted = false;
                    while (i < body.size() && (quoted || body[i] != ';')) {
                        if (body[i] == '"') quoted = !quoted;
                        cmd.args += body[i++];
                    }
                    if (quoted) return std::nullopt;
                }
            }
        } else if (c == 'D') {
            // The dial string runs to the end of the line; a trailing ';' means a voice call.
            cmd.name = "D";
            cmd.args = body.substr(i + 1);
            i = body.size();
        } else if (c == 'S' && i + 1 < body.size() && IsDigit(body[i + 1])) {
            cmd.name = "S";
            ++i;
            while (i < body.size() && IsDigit(body[i]))
                cmd.name += body[i++];
            if (i < body.size() && body[i] == '?') {
                cmd.form = AtCommand::Form::Read;
                ++i;
            } else if (i < body.size() && body[i] == '=') {
                cmd.form = AtCommand::Form::Set;
                ++i;
                while (i < body.size() && IsDigit(body[i]))
                    cmd.args += body[i++];
            }
        } else if (c == '&' && i + 1 < body.size() &&
                   std::isalpha(static_cast<unsigned char>(body[i + 1]))) {
            cmd.name = std::string("&") + UpperChar(body[i + 1]);
            i += 2;
            while (i < body.size() && IsDigit(body[i]))
                cmd.args += body[i++];
        } else if (std::isalpha(static_cast<unsigned char>(c))) {
            cmd.name = c;
            ++i;
            while (i < body.size() && IsDigit(body[i]))
                cmd.args += body[i++];
        } else {
            return std::nullopt;
        }
        out.push_back(std::move(cmd));
    }
    return out;
}

bool ReadNumber(const std::string& text, int& value) {
    if (text.empty() || text.size() > 9) return false;
    int v = 0;
    for (char c : text) {
        if (!IsDigit(c)) return false;
        v = v * 10 + (c - '0');
    }
    value = v;
    return true;
}

std::string Quote(const std::string& text) {
    return "\"" + text + "\"";
}

std::string UpperAscii(std::string text) {
    for (char& c : text)
        c = UpperChar(c);
    return text;
}

std::vector<std::string> SplitArguments(const std::string& args) {
    std::vector<std::string> out;
    std::string current;
    bool quoted = false;
    bool wasQuoted = false;
    auto finish = [&] {
        if (!wasQuoted) {
            size_t b = current.find_first_not_of(' ');
            size_t e = current.find_last_not_of(' ');
            current = b == std::string::npos ? std::string() : current.substr(b, e - b + 1);
        }
        out.push_back(current);
        current.clear();
        wasQuoted = false;
    };
    for (char c : args) {
        if (c == '"') {
            quoted = !quoted;
            if (quoted) {
                current.clear();
                wasQuoted = true;
            }
        } else if (c == ',' && !quoted) {
            finish();
        } else if (quoted || !wasQuoted) {
            current += c;
        }
    }
    if (!args.empty()) finish();
    return out;
}

}  // namespace telvane::modemsim
