#include "cli_json_reader.h"

#include <cmath>
#include <cstdio>
#include <iostream>
#include <iterator>
#include <sstream>

#include "cli.h"
#include "platform/files.h"
#include "platform/text.h"

namespace telvane::cli {

namespace {

// Nesting deeper than any dump has is refused instead of recursing without bound.
constexpr int kMaxDepth = 32;

class Parser {
  public:
    explicit Parser(std::string_view text) : text_(text) {}

    JsonValue Document() {
        JsonValue value = Value(0);
        Blanks();
        if (pos_ != text_.size()) Fail("unexpected text after the document");
        return value;
    }

  private:
    [[noreturn]] void Fail(std::string_view why) {
        throw UsageError{"bad JSON at offset " + std::to_string(pos_) + ": " + std::string(why)};
    }

    void Blanks() {
        while (pos_ < text_.size() && (text_[pos_] == ' ' || text_[pos_] == '\t' ||
                                       text_[pos_] == '\n' || text_[pos_] == '\r'))
            ++pos_;
    }

    bool Take(char c) {
        Blanks();
        if (pos_ < text_.size() && text_[pos_] == c) {
            ++pos_;
            return true;
        }
        return false;
    }

    void Expect(char c) {
        if (!Take(c)) Fail(std::string("expected '") + c + "'");
    }

    bool Word(std::string_view word) {
        if (text_.substr(pos_, word.size()) != word) return false;
        pos_ += word.size();
        return true;
    }

    JsonValue Value(int depth) {
        if (depth > kMaxDepth) Fail("nested too deeply");
        Blanks();
        if (pos_ >= text_.size()) Fail("unexpected end");
        const char c = text_[pos_];
        if (c == '{') return {Object(depth)};
        if (c == '[') return {Array(depth)};
        if (c == '"') return {String()};
        if (Word("true")) return {true};
        if (Word("false")) return {false};
        if (Word("null")) return {nullptr};
        return {Number()};
    }

    JsonObject Object(int depth) {
        Expect('{');
        JsonObject object;
        if (Take('}')) return object;
        do {
            Blanks();
            if (pos_ >= text_.size() || text_[pos_] != '"') Fail("expected a key");
            std::string key = U16ToUtf8(String());
            Expect(':');
            object[std::move(key)] = Value(depth + 1);
        } while (Take(','));
        Expect('}');
        return object;
    }

    JsonArray Array(int depth) {
        Expect('[');
        JsonArray array;
        if (Take(']')) return array;
        do {
            array.push_back(Value(depth + 1));
        } while (Take(','));
        Expect(']');
        return array;
    }

    unsigned Hex4() {
        if (text_.size() - pos_ < 4) Fail("short \\u escape");
        unsigned value = 0;
        for (int i = 0; i < 4; ++i) {
            const char c = text_[pos_++];
            value <<= 4;
            if (c >= '0' && c <= '9') {
                value |= static_cast<unsigned>(c - '0');
            } else if (c >= 'a' && c <= 'f') {
                value |= static_cast<unsigned>(c - 'a' + 10);
            } else if (c >= 'A' && c <= 'F') {
                value |= static_cast<unsigned>(c - 'A' + 10);
            } else {
                Fail("bad \\u escape");
            }
        }
        return value;
    }

    std::u16string String() {
        ++pos_;  // the opening quote
        std::u16string out;
        size_t run = pos_;  // start of the current run of plain UTF-8
        for (;;) {
            if (pos_ >= text_.size()) Fail("unterminated string");
            const char c = text_[pos_];
            if (c == '"' || c == '\\') {
                out += Utf8ToU16(text_.substr(run, pos_ - run));
                ++pos_;
                if (c == '"') return out;
                if (pos_ >= text_.size()) Fail("unterminated string");
                const char e = text_[pos_++];
                switch (e) {
                    case '"':
                    case '\\':
                    case '/':
                        out.push_back(static_cast<char16_t>(e));
                        break;
                    case 'b':
                        out.push_back(u'\b');
                        break;
                    case 'f':
                        out.push_back(u'\f');
                        break;
                    case 'n':
                        out.push_back(u'\n');
                        break;
                    case 'r':
                        out.push_back(u'\r');
                        break;
                    case 't':
                        out.push_back(u'\t');
                        break;
                    case 'u':
                        out.push_back(static_cast<char16_t>(Hex4()));
                        break;
                    default:
                        Fail("bad escape");
                }
                run = pos_;
            } else if (static_cast<unsigned char>(c) < 0x20) {
                Fail("control character in a string");
            } else {
                ++pos_;
            }
        }
    }

    double Number() {
        const size_t start = pos_;
        while (pos_ < text_.size() &&
               (std::isdigit(static_cast<unsigned char>(text_[pos_])) || text_[pos_] == '-' ||
                text_[pos_] == '+' || text_[pos_] == '.' || text_[pos_] == 'e' ||
                text_[pos_] == 'E'))
            ++pos_;
        if (pos_ == start) Fail("unexpected character");
        const std::string number(text_.substr(start, pos_ - start));
        char* end = nullptr;
        const double value = std::strtod(number.c_str(), &end);
        if (end != number.c_str() + number.size()) Fail("bad number");
        return value;
    }

    std::string_view text_;
    size_t pos_ = 0;
};

}  // namespace

JsonValue ParseJson(std::string_view text) {
    return Parser(text).Document();
}

int32_t JsonInt(const JsonObject& object, std::string_view key, int32_t fallback,
                std::string_view what) {
    auto it = object.find(key);
    if (it == object.end()) return fallback;
    const double* number = it->second.Number();
    if (!number || *number != std::floor(*number) || *number < -2147483648.0 ||
        *number > 2147483647.0)
        throw UsageError{std::string(what) + ": \"" + std::string(key) +
                         "\" is not a 32-bit integer"};
    return static_cast<int32_t>(*number);
}

std::u16string JsonText(const JsonObject& object, std::string_view key, std::string_view what) {
    auto it = object.find(key);
    if (it == object.end()) return {};
    const std::u16string* text = it->second.String();
    if (!text)
        throw UsageError{std::string(what) + ": \"" + std::string(key) + "\" is not a string"};
    return *text;
}

const JsonArray& JsonEntries(const JsonObject& object, std::string_view key,
                             std::string_view what) {
    auto it = object.find(key);
    const JsonArray* array = it == object.end() ? nullptr : it->second.Array();
    if (!array)
        throw UsageError{std::string(what) + ": \"" + std::string(key) + "\" is not a list"};
    return *array;
}

std::string JsonText16(std::u16string_view text) {
    std::string out = "\"";
    size_t run = 0;
    auto flush = [&](size_t end) {
        const std::string part = JsonString(text.substr(run, end - run));
        out.append(part, 1, part.size() - 2);
    };
    for (size_t i = 0; i < text.size(); ++i) {
        const char16_t u = text[i];
        if (u < 0xD800 || u > 0xDFFF) continue;
        if (u <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            ++i;  // a proper pair: UTF-8 carries it
            continue;
        }
        flush(i);
        char escape[8];
        std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(u));
        out += escape;
        run = i + 1;
    }
    flush(text.size());
    out += '"';
    return out;
}

std::string ReadInput(const std::string& path) {
    if (path == "-") {
        std::ostringstream all;
        all << std::cin.rdbuf();
        return all.str();
    }
    std::string error;
    auto bytes = ReadWholeFile(path, &error);
    if (!bytes) throw UsageError{error};
    return *bytes;
}

}  // namespace telvane::cli
