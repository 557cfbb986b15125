#include "canned/canned_library.h"

#include <algorithm>
#include <set>
#include <system_error>

#include "platform/files.h"
#include "platform/text.h"

namespace telvane {

namespace fs = std::filesystem;

namespace {

constexpr size_t kRecordCountOffset = 76;
constexpr size_t kRecordListOffset = 78;
constexpr size_t kRecordListEntry = 8;
constexpr size_t kTableTagOffset = 4;
constexpr size_t kTableEntriesOffset = 88;

// Bytes [offset, offset + count) cut to what the data holds.
std::string_view Slice(std::string_view data, size_t offset, size_t count) {
    if (offset >= data.size()) return {};
    return data.substr(offset, count);
}

uint32_t BigEndian(std::string_view bytes) {
    uint32_t value = 0;
    for (unsigned char c : bytes)
        value = (value << 8) | c;
    return value;
}

char16_t LookUp(const CannedCodeTable& table, unsigned char lead, unsigned char trail) {
    const std::string& t = table.entries;
    for (size_t i = 0; i + 4 <= t.size(); i += 4) {
        if (static_cast<unsigned char>(t[i + 2]) == lead &&
            static_cast<unsigned char>(t[i + 3]) == trail)
            return static_cast<char16_t>(BigEndian(std::string_view(t).substr(i, 2)));
    }
    return 0;
}

// The code table as an array indexed by the double-byte code, built once per library: a search
// of the table for every character made a large library take seconds.  The first entry of a
// code wins, as in the search.
class CodeIndex {
  public:
    explicit CodeIndex(const CannedCodeTable& table) {
        if (table.codePage != kBig5CodePage) return;
        units_.assign(0x10000, 0);
        const std::string& t = table.entries;
        for (size_t i = 0; i + 4 <= t.size(); i += 4) {
            uint32_t& slot = units_[BigEndian(std::string_view(t).substr(i + 2, 2))];
            if (slot == 0) slot = kFound | BigEndian(std::string_view(t).substr(i, 2));
        }
    }
    char16_t Find(unsigned char lead, unsigned char trail) const {
        if (units_.empty()) return 0;
        return static_cast<char16_t>(units_[(lead << 8) | trail] & 0xFFFF);
    }

  private:
    static constexpr uint32_t kFound = 0x10000;
    std::vector<uint32_t> units_;  // kFound | unit for a code the table has, else 0
};

template <typename Lookup>
std::u16string DecodeText(std::string_view field, bool doubleByte, size_t limit, int32_t codePage,
                          const Lookup& lookUp) {
    std::u16string text;
    field = field.substr(0, std::min(limit, field.size()));
    if (!doubleByte) {
        for (unsigned char c : field) {
            if (c == 0) break;
            text.push_back(c);
        }
        return text;
    }
    for (size_t i = 0; i < field.size(); i += 2) {
        const unsigned char lead = static_cast<unsigned char>(field[i]);
        const unsigned char trail = i + 1 < field.size() ? field[i + 1] : 0;
        if (lead == 0) break;
        if (codePage != kBig5CodePage) {
            if (trail == 0) break;
            continue;
        }
        if (lead < 0xA1) {
            text.push_back(lead);
            if (trail == 0) break;
            text.push_back(trail);
        } else if (char16_t unit = lookUp(lead, trail); unit != 0) {
            text.push_back(unit);
        }
    }
    return text;
}

// A name read from a file or a drop-down must stay a plain file name in its folder.
bool IsPlainName(std::string_view name) {
    return !name.empty() && name.find('/') == std::string_view::npos &&
           name.find('\0') == std::string_view::npos && name != "." && name != "..";
}

}  // namespace

CannedCodeTable ParseCannedCodeTable(std::string_view file) {
    CannedCodeTable table;
    std::string_view tag = Slice(file, kTableTagOffset, 3);
    table.codePage = tag == "_bi" ? kBig5CodePage : ReadNumber(tag);
    table.entries = std::string(Slice(file, kTableEntriesOffset, kCodeTableMax));
    return table;
}

std::u16string DecodeCannedText(std::string_view field, bool doubleByte, size_t limit,
                                const CannedCodeTable& table) {
    return DecodeText(
        field, doubleByte, limit, table.codePage,
        [&](unsigned char lead, unsigned char trail) { return LookUp(table, lead, trail); });
}

std::string CannedTableName(std::string_view library) {
    if (library.size() < kRecordListOffset + 4) return {};
    if (BigEndian(Slice(library, kRecordCountOffset, 2)) == 0) return {};
    const size_t record = BigEndian(Slice(library, kRecordListOffset, 4));
    std::string_view field = Slice(library, record + kCannedMessageOffset, kCannedMessageBytes);
    return std::string(field.substr(0, std::min(field.find('\0'), field.size())));
}

std::optional<std::vector<CannedEntry>> ParseCannedLibrary(std::string_view library,
                                                           const CannedCodeTable& table) {
    if (library.size() < kRecordListOffset) return std::nullopt;
    size_t count = BigEndian(Slice(library, kRecordCountOffset, 2));
    count = std::min(count, (library.size() - kRecordListOffset) / kRecordListEntry);
    std::vector<CannedEntry> entries(count);
    const CodeIndex index(table);
    const auto lookUp = [&](unsigned char lead, unsigned char trail) {
        return index.Find(lead, trail);
    };
    for (size_t i = 0; i < count; ++i) {
        const size_t offset =
            BigEndian(Slice(library, kRecordListOffset + kRecordListEntry * i, 4));
        std::string_view record = Slice(library, offset, kCannedRecordBytes);
        CannedEntry& e = entries[i];
        e.mode = static_cast<int32_t>(BigEndian(Slice(record, 0, 2)));
        const bool doubleByte = e.mode != 0;
        e.topic = DecodeText(Slice(record, kCannedTopicOffset, kCannedTopicBytes), doubleByte,
                             kCannedTopicBytes, table.codePage, lookUp);
        e.subtopic = DecodeText(Slice(record, kCannedSubtopicOffset, kCannedTopicBytes), doubleByte,
                                kCannedTopicBytes, table.codePage, lookUp);
        // The header record's text is a file name, always single bytes.
        e.message = DecodeText(Slice(record, kCannedMessageOffset, kCannedMessageBytes),
                               doubleByte && i != 0, kCannedMessageBytes, table.codePage, lookUp);
    }
    return entries;
}

CannedLibraryReader::CannedLibraryReader(std::vector<fs::path> folders)
    : folders_(std::move(folders)) {}

CannedLibraryReader::CannedLibraryReader() : CannedLibraryReader(ShippedFolders()) {}

int CannedLibraryReader::Read(std::u16string_view name) {
    const std::string file = U16ToUtf8(name);
    if (!IsPlainName(file)) {
        error = "not a library name: " + file;
        return 0;
    }
    std::error_code ec;
    for (const fs::path& folder : folders_) {
        fs::path path = folder / (file + ".pdb");
        if (fs::is_regular_file(path, ec)) return ReadFile(path);
    }
    error = "no library " + file + ".pdb";
    return 0;
}

int CannedLibraryReader::ReadFile(const fs::path& path) {
    error.clear();
    std::optional<std::string> library = ReadWholeFile(path, &error);
    if (!library) return 0;
    CannedCodeTable table;
    if (std::string tableName = CannedTableName(*library); !tableName.empty()) {
        if (!IsPlainName(tableName)) {
            error = path.string() + ": not a code table name: " + tableName;
            return 0;
        }
        std::vector<fs::path> places{path.parent_path()};
        places.insert(places.end(), folders_.begin(), folders_.end());
        std::optional<std::string> bytes;
        std::error_code ec;
        for (const fs::path& folder : places) {
            fs::path candidate = folder / (tableName + ".pdb");
            if (fs::is_regular_file(candidate, ec)) {
                bytes = ReadWholeFile(candidate, &error);
                break;
            }
        }
        if (!bytes) {
            if (error.empty()) error = path.string() + ": no code table " + tableName + ".pdb";
            return 0;
        }
        table = ParseCannedCodeTable(*bytes);
    }
    auto parsed = ParseCannedLibrary(*library, table);
    if (!parsed) {
        error = path.string() + ": too short for a library";
        return 0;
    }
    codePage = table.codePage;
    entries = std::move(*parsed);
    return 1;
}

std::vector<std::u16string> ListCannedLibraries(const std::vector<fs::path>& folders) {
    std::vector<std::u16string> names;
    std::set<std::string> seen;
    for (const fs::path& folder : folders) {
        std::vector<std::string> found;
        std::error_code ec;
        for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
            const std::string file = it->path().filename().string();
            if (file.size() <= 4 || !file.ends_with(".pdb")) continue;
            if (file.find('_') != std::string::npos) continue;
            std::error_code typeError;
            if (!it->is_regular_file(typeError)) continue;
            found.push_back(file.substr(0, file.size() - 4));
        }
        std::sort(found.begin(), found.end());
        for (std::string& name : found)
            if (seen.insert(name).second) names.push_back(Utf8ToU16(name));
    }
    return names;
}

std::vector<std::u16string> ListCannedLibraries() {
    return ListCannedLibraries(ShippedFolders());
}

}  // namespace telvane
