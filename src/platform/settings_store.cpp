#include "platform/settings_store.h"

#include <cstdlib>
#include <sstream>
#include <system_error>

#include "platform/files.h"
#include "platform/text.h"

namespace telvane {
namespace fs = std::filesystem;

namespace {

// Text values are written escaped so that a value never spans lines.
std::string Escape(const std::string& utf8) {
    std::string out;
    for (char c : utf8) {
        switch (c) {
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            default:
                out += c;
        }
    }
    return out;
}

std::string Unescape(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 == text.size()) {
            out += text[i];
            continue;
        }
        char next = text[++i];
        out += next == 'n' ? '\n' : next == 'r' ? '\r' : next;
    }
    return out;
}

bool ParseNumber(const std::string& text, uint32_t* value) {
    if (text.empty() || text.size() > 10) return false;
    uint64_t v = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + static_cast<unsigned>(c - '0');
    }
    if (v > UINT32_MAX) return false;
    *value = static_cast<uint32_t>(v);
    return true;
}

// Names and keys are written verbatim, so they must not break the line structure.
bool ValidName(const std::string& text, bool isKey) {
    if (text.empty() || text[0] == '#' || text[0] == '[') return false;
    for (char c : text) {
        if (c == '\n' || c == '\r' || (!isKey && c == '=') || (isKey && c == ']')) return false;
    }
    return true;
}

bool Refuse(std::string* error) {
    if (error) *error = "invalid settings key or value name";
    return false;
}

}  // namespace

SettingsStore::SettingsStore(fs::path file) : file_(std::move(file)) {
    Load();
}

fs::path SettingsStore::DefaultFile() {
    if (const char* home = std::getenv("TELVANE_HOME"); home && *home) {
        return fs::path(home) / "settings.conf";
    }
    fs::path base;
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg) {
        base = xdg;
    } else if (const char* userHome = std::getenv("HOME"); userHome && *userHome) {
        base = fs::path(userHome) / ".config";
    } else {
        base = ".config";
    }
    return base / "telvane" / "settings.conf";
}

void SettingsStore::Load() {
    RemoveInterruptedSaves(file_);
    auto bytes = ReadWholeFile(file_);
    if (!bytes) return;
    std::istringstream in(*bytes);
    std::string line;
    std::map<std::string, Value>* current = nullptr;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line[0] == '#') continue;
        if (line.front() == '[' && line.back() == ']') {
            current = &keys_[line.substr(1, line.size() - 2)];
            continue;
        }
        size_t eq = line.find('=');
        if (!current || eq == std::string::npos || eq == 0) continue;
        std::string name = line.substr(0, eq);
        std::string rest = line.substr(eq + 1);
        if (rest.rfind("text:", 0) == 0) {
            (*current)[name] = Utf8ToU16(Unescape(rest.substr(5)));
        } else if (uint32_t v = 0;
                   rest.rfind("dword:", 0) == 0 && ParseNumber(rest.substr(6), &v)) {
            (*current)[name] = v;
        }
    }
}

bool SettingsStore::Save(std::string* error) {
    std::string out = "# Telvane settings; rewritten whole by the program.\n";
    for (const auto& [key, values] : keys_) {
        out += "[" + key + "]\n";
        for (const auto& [name, value] : values) {
            if (const auto* text = std::get_if<std::u16string>(&value)) {
                out += name + "=text:" + Escape(U16ToUtf8(*text)) + "\n";
            } else {
                out += name + "=dword:" + std::to_string(std::get<uint32_t>(value)) + "\n";
            }
        }
    }
    if (file_.has_parent_path() && !CreatePrivateFolder(file_.parent_path(), error)) return false;
    return WriteFileAtomic(file_, out, 0600, error);
}

bool SettingsStore::OpenKey(const std::string& key, bool* created) {
    if (created) *created = false;
    if (keys_.count(key)) return true;
    if (!ValidName(key, true)) return false;
    keys_[key];
    if (!Save(nullptr)) {
        keys_.erase(key);
        return false;
    }
    if (created) *created = true;
    return true;
}

bool SettingsStore::HasKey(const std::string& key) const {
    return keys_.count(key) != 0;
}

std::optional<std::u16string> SettingsStore::GetText(const std::string& key,
                                                     const std::string& name) const {
    auto k = keys_.find(key);
    if (k == keys_.end()) return std::nullopt;
    auto v = k->second.find(name);
    if (v == k->second.end()) return std::nullopt;
    if (const auto* text = std::get_if<std::u16string>(&v->second)) return *text;
    return std::nullopt;
}

std::optional<uint32_t> SettingsStore::GetNumber(const std::string& key,
                                                 const std::string& name) const {
    auto k = keys_.find(key);
    if (k == keys_.end()) return std::nullopt;
    auto v = k->second.find(name);
    if (v == k->second.end()) return std::nullopt;
    if (const auto* number = std::get_if<uint32_t>(&v->second)) return *number;
    return std::nullopt;
}

std::vector<std::string> SettingsStore::ValueNames(const std::string& key) const {
    std::vector<std::string> names;
    if (auto k = keys_.find(key); k != keys_.end()) {
        for (const auto& entry : k->second)
            names.push_back(entry.first);
    }
    return names;
}

bool SettingsStore::SetText(const std::string& key, const std::string& name,
                            const std::u16string& value, std::string* error) {
    if (!ValidName(key, true) || !ValidName(name, false)) return Refuse(error);
    keys_[key][name] = value;
    return Save(error);
}

bool SettingsStore::SetNumber(const std::string& key, const std::string& name, uint32_t value,
                              std::string* error) {
    if (!ValidName(key, true) || !ValidName(name, false)) return Refuse(error);
    keys_[key][name] = value;
    return Save(error);
}

bool SettingsStore::SetValues(const std::string& key,
                              const std::vector<std::pair<std::string, Value>>& values,
                              std::string* error) {
    if (!ValidName(key, true)) return Refuse(error);
    for (const auto& [name, value] : values) {
        if (!ValidName(name, false)) return Refuse(error);
    }
    for (const auto& [name, value] : values)
        keys_[key][name] = value;
    return Save(error);
}

bool SettingsStore::Remove(const std::string& key, const std::string& name, std::string* error) {
    auto k = keys_.find(key);
    if (k == keys_.end() || k->second.erase(name) == 0) return true;
    return Save(error);
}

}  // namespace telvane
