// Helpers of the store tests: hex fixtures and a scratch folder per test.
#pragma once

#include <unistd.h>

#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>

#include "platform/files.h"

namespace telvane::testing {

// "01 00 ff" -> the bytes 01 00 FF; blanks are ignored.
inline std::string Hex(std::string_view hex) {
    std::string bytes;
    int high = -1;
    for (char c : hex) {
        if (std::isspace(static_cast<unsigned char>(c))) continue;
        const int nibble = std::isdigit(static_cast<unsigned char>(c))
                               ? c - '0'
                               : std::tolower(static_cast<unsigned char>(c)) - 'a' + 10;
        if (high < 0) {
            high = nibble;
        } else {
            bytes.push_back(static_cast<char>(high * 16 + nibble));
            high = -1;
        }
    }
    return bytes;
}

// A fresh folder under the system's temporary folder, removed with its contents at the end.
class TempFolder {
  public:
    TempFolder() {
        std::string pattern = (std::filesystem::temp_directory_path() / "telvane-store-XXXXXX");
        path_ = ::mkdtemp(pattern.data());
    }
    ~TempFolder() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(std::string_view name) const { return path_ / name; }

  private:
    std::filesystem::path path_;
};

inline std::string ReadBytes(const std::filesystem::path& path) {
    return ReadWholeFile(path).value_or("<missing>");
}

inline void WriteBytes(const std::filesystem::path& path, std::string_view bytes) {
    WriteFileAtomic(path, bytes);
}

}  // namespace telvane::testing
