// A small JSON reader for the build commands of telvane-tool: the dump output read back.
// Strings are read as UTF-16, so that \uD800-style escapes of unpaired surrogates survive a
// dump and build unchanged.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace telvane::cli {

struct JsonValue;
using JsonArray = std::vector<JsonValue>;
using JsonObject = std::map<std::string, JsonValue, std::less<>>;

struct JsonValue {
    std::variant<std::nullptr_t, bool, double, std::u16string, JsonArray, JsonObject> value;

    const JsonObject* Object() const { return std::get_if<JsonObject>(&value); }
    const JsonArray* Array() const { return std::get_if<JsonArray>(&value); }
    const std::u16string* String() const { return std::get_if<std::u16string>(&value); }
    const double* Number() const { return std::get_if<double>(&value); }
};

// Parses one JSON document; throws UsageError naming the offset of the first fault.
JsonValue ParseJson(std::string_view text);

// Field access for the build commands; each throws UsageError naming `what` when the field has
// the wrong type.  A missing field gives `fallback`.
int32_t JsonInt(const JsonObject& object, std::string_view key, int32_t fallback,
                std::string_view what);
std::u16string JsonText(const JsonObject& object, std::string_view key, std::string_view what);
const JsonArray& JsonEntries(const JsonObject& object, std::string_view key, std::string_view what);

// A JSON string of UTF-16 text that keeps unpaired surrogates as \u escapes.
std::string JsonText16(std::u16string_view text);

// Reads FILE, or standard input for "-"; throws UsageError when it cannot.
std::string ReadInput(const std::string& path);

}  // namespace telvane::cli
