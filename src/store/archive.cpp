#include "store/archive.h"

#include <cstring>

namespace telvane {

namespace {

void PutLe(std::string& out, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i)
        out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

uint32_t GetLe(const unsigned char* p, int bytes) {
    uint32_t value = 0;
    for (int i = bytes - 1; i >= 0; --i)
        value = (value << 8) | p[i];
    return value;
}

}  // namespace

void ArchiveWriter::WriteInt32(int32_t value) {
    PutLe(bytes_, static_cast<uint32_t>(value), 4);
}

void ArchiveWriter::WriteString(std::u16string_view text) {
    const size_t length = text.size();
    bytes_ += "\xFF\xFE\xFF";
    if (length < 0xFF) {
        PutLe(bytes_, static_cast<uint32_t>(length), 1);
    } else if (length < 0xFFFE) {
        bytes_.push_back('\xFF');
        PutLe(bytes_, static_cast<uint32_t>(length), 2);
    } else {
        bytes_ += "\xFF\xFF\xFF";
        PutLe(bytes_, static_cast<uint32_t>(length), 4);
    }
    const size_t start = bytes_.size();
    bytes_.resize(start + 2 * length);
    char* out = bytes_.data() + start;
    for (char16_t unit : text) {
        *out++ = static_cast<char>(unit & 0xFF);
        *out++ = static_cast<char>(unit >> 8);
    }
}

bool ArchiveReader::ReadBytes(void* out, size_t count) {
    if (failed_ || count > Remaining()) return Fail();
    std::memcpy(out, bytes_.data() + pos_, count);
    pos_ += count;
    return true;
}

bool ArchiveReader::ReadInt32(int32_t& value) {
    unsigned char raw[4];
    if (!ReadBytes(raw, 4)) return false;
    value = static_cast<int32_t>(GetLe(raw, 4));
    return true;
}

bool ArchiveReader::ReadString(std::u16string& text) {
    unsigned char marker[3];
    if (!ReadBytes(marker, 3)) return false;
    if (marker[0] != 0xFF || marker[1] != 0xFE || marker[2] != 0xFF) return Fail();
    unsigned char raw[4];
    if (!ReadBytes(raw, 1)) return false;
    uint32_t length = raw[0];
    if (length == 0xFF) {
        if (!ReadBytes(raw, 2)) return false;
        length = GetLe(raw, 2);
        if (length == 0xFFFE) return Fail();  // a second marker: not written by us
        if (length == 0xFFFF) {
            if (!ReadBytes(raw, 4)) return false;
            length = GetLe(raw, 4);
        }
    }
    // The length is checked against what the buffer holds before anything is allocated.
    if (length > Remaining() / 2) return Fail();
    const auto* p = reinterpret_cast<const unsigned char*>(bytes_.data() + pos_);
    text.resize(length);
    for (uint32_t i = 0; i < length; ++i)
        text[i] = static_cast<char16_t>(p[2 * i] | (p[2 * i + 1] << 8));
    pos_ += 2 * static_cast<size_t>(length);
    return true;
}

}  // namespace telvane
