// The archive encoding shared by the folder files and the phonebook file: 32-bit little-endian
// integers and length-prefixed UTF-16LE strings, with no header or version.
//
// A string is the wide-text marker FF FE FF, then its length in code units (one byte below 255;
// FF and a 16-bit length below 0xFFFE; FF FF FF and a 32-bit length otherwise), then the code
// units.  The empty string is FF FE FF 00.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace telvane {

class ArchiveWriter {
  public:
    void WriteInt32(int32_t value);
    void WriteString(std::u16string_view text);

    const std::string& Bytes() const { return bytes_; }
    std::string Take() { return std::move(bytes_); }
    void Reserve(size_t size) { bytes_.reserve(size); }

  private:
    std::string bytes_;
};

// Reads from a byte buffer it does not own.  A read that would pass the end, or a string without
// the wide-text marker, fails and leaves the reader failed: every later read fails too, so a
// loader can read a whole record and check once.
class ArchiveReader {
  public:
    explicit ArchiveReader(std::string_view bytes) : bytes_(bytes) {}

    bool ReadInt32(int32_t& value);
    bool ReadString(std::u16string& text);

    bool Failed() const { return failed_; }
    bool AtEnd() const { return pos_ == bytes_.size(); }
    size_t Remaining() const { return bytes_.size() - pos_; }
    size_t Position() const { return pos_; }

  private:
    bool ReadBytes(void* out, size_t count);
    bool Fail() {
        failed_ = true;
        return false;
    }

    std::string_view bytes_;
    size_t pos_ = 0;
    bool failed_ = false;
};

}  // namespace telvane
