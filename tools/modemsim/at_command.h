// Reading a command line the way a V.250 modem does: "AT" followed by basic commands (E0, Z, &F,
// S0=0, D...) and extended ones (+CMGL=4) joined by ';'.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace telvane::modemsim {

struct AtCommand {
    enum class Form { Exec, Read, Test, Set };
    std::string name;  // upper case: "Z", "E", "&F", "S0", "D", "+CMGL"
    Form form = Form::Exec;
    std::string args;  // after '=' for Set; the digits of a basic command; the dial string
};

// What one command answered: information lines, then either a final result ("OK", "ERROR",
// "+CME ERROR: 10", ...) or the "> " prompt for a PDU.
struct AtResult {
    std::vector<std::string> lines;
    std::string final = "OK";
    bool prompt = false;

    static AtResult Ok() { return {}; }
    static AtResult Line(std::string line) { return {{std::move(line)}, "OK", false}; }
    static AtResult Fail(std::string final) { return {{}, std::move(final), false}; }
};

// `body` is the line after its "AT".  Nothing when the line cannot be read (an unknown
// character, an unclosed quote).
std::optional<std::vector<AtCommand>> ParseCommandLine(const std::string& body);

// A decimal argument of at most nine digits (no sign, no blanks); false for anything else.
bool ReadNumber(const std::string& text, int& value);
std::string Quote(const std::string& text);
std::string UpperAscii(std::string text);

// Comma-separated arguments; quotes are removed from quoted ones, blanks around unquoted ones.
std::vector<std::string> SplitArguments(const std::string& args);

}  // namespace telvane::modemsim
