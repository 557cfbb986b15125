// The settings store: typed values (texts and 32-bit numbers) under keys named by path, kept in
// one small text file that is replaced atomically on every change.
//
//   SettingsStore store(SettingsStore::DefaultFile());
//   bool created = false;
//   if (store.OpenKey(kKey, &created) && created) store.SetNumber(kKey, "AutoSC", 1);
//   auto port = store.GetText(kKey, "Port");   // empty optional when missing
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace telvane {

class SettingsStore {
  public:
    using Value = std::variant<std::u16string, uint32_t>;

    // Reads `file` when it exists; a missing or partly malformed file gives what could be read.
    explicit SettingsStore(std::filesystem::path file);

    // $TELVANE_HOME/settings.conf when TELVANE_HOME is set (a private data folder keeps its
    // settings beside it), else $XDG_CONFIG_HOME/telvane/settings.conf, else
    // ~/.config/telvane/settings.conf.
    static std::filesystem::path DefaultFile();

    const std::filesystem::path& File() const { return file_; }

    // Opens `key`, creating it (and writing the file) when it does not exist.  `created` tells
    // whether it was just created.  False when a new key could not be written.
    [[nodiscard]] bool OpenKey(const std::string& key, bool* created = nullptr);
    bool HasKey(const std::string& key) const;

    std::optional<std::u16string> GetText(const std::string& key, const std::string& name) const;
    std::optional<uint32_t> GetNumber(const std::string& key, const std::string& name) const;
    std::vector<std::string> ValueNames(const std::string& key) const;

    // Each change rewrites the file; false (with `error` when given) when that failed, and the
    // value is then kept in memory only.
    [[nodiscard]] bool SetText(const std::string& key, const std::string& name,
                               const std::u16string& value, std::string* error = nullptr);
    [[nodiscard]] bool SetNumber(const std::string& key, const std::string& name, uint32_t value,
                                 std::string* error = nullptr);
    // Several values with one rewrite of the file, in the given order.
    [[nodiscard]] bool SetValues(const std::string& key,
                                 const std::vector<std::pair<std::string, Value>>& values,
                                 std::string* error = nullptr);
    [[nodiscard]] bool Remove(const std::string& key, const std::string& name,
                              std::string* error = nullptr);

  private:
    void Load();
    bool Save(std::string* error);

    std::filesystem::path file_;
    std::map<std::string, std::map<std::string, Value>> keys_;
};

}  // namespace telvane
