// Canned-message library files: a record list in the big-endian database layout, one fixed-size
// record per message, texts in single bytes or in double-byte pairs resolved by a code table
// file (Big5).  Reading never trusts an offset or a count from the file.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace telvane {

// One record of a library.  Record 0 is the library's header: its `message`, read as single
// bytes, names the code table.
struct CannedEntry {
    int32_t mode = 0;  // 0: single-byte texts; nonzero: double-byte
    std::u16string topic;
    std::u16string subtopic;
    std::u16string message;
};

inline constexpr int32_t kBig5CodePage = 950;
inline constexpr size_t kCodeTableMax = 70000;

// Byte limits of a record's fields and where they sit in it.
inline constexpr size_t kCannedTopicOffset = 2;
inline constexpr size_t kCannedSubtopicOffset = 22;
inline constexpr size_t kCannedMessageOffset = 42;
inline constexpr size_t kCannedTopicBytes = 20;
inline constexpr size_t kCannedMessageBytes = 50;
inline constexpr size_t kCannedRecordBytes = kCannedMessageOffset + kCannedMessageBytes;

// A loaded code table: entries of 4 bytes (Unicode code unit high byte first, then the
// double-byte code's lead and trail bytes).
struct CannedCodeTable {
    int32_t codePage = 0;  // 0: none
    std::string entries;   // at most kCodeTableMax bytes
};

// Parses a code-table file: the tag at offset 4 ("_bi" is Big5, else the decimal number it
// spells) and the entries from offset 88.
CannedCodeTable ParseCannedCodeTable(std::string_view file);

// Decodes one text field of at most `limit` bytes.  Single-byte: each byte is the character of
// that code, a zero byte ends.  Double-byte (Big5 only): a pair with a lead below 0xA1 is two
// characters, any other pair is looked up in the table and dropped when missing; a zero byte
// ends the text, so a half-filled pair never leaves a NUL in it.
std::u16string DecodeCannedText(std::string_view field, bool doubleByte, size_t limit,
                                const CannedCodeTable& table);

// The code table a library names in its header record ("" when none); empty when the file is
// too short to hold the header.
std::string CannedTableName(std::string_view library);

// Parses a library file with its code table (codePage 0 when it has none).  Records whose
// offset lies outside the file read as empty; the record count is cut to the list the file
// really holds.  Empty optional when the file is too short for its header.
std::optional<std::vector<CannedEntry>> ParseCannedLibrary(std::string_view library,
                                                           const CannedCodeTable& table);

// Reads a library and the code table it names.
class CannedLibraryReader {
  public:
    // Libraries and code tables are looked up in `folders`, in order.
    explicit CannedLibraryReader(std::vector<std::filesystem::path> folders);
    CannedLibraryReader();  // the shipped folders

    // Reads <name>.pdb from the first folder that has it.  1 when the library and the code
    // table it names were read, else 0 (unknown library, unreadable file, missing table).
    int Read(std::u16string_view name);
    // Reads a library by its path; its code table is looked for beside it, then in the folders.
    int ReadFile(const std::filesystem::path& path);

    int32_t codePage = 0;
    std::vector<CannedEntry> entries;
    // Why the last Read failed, for the command-line tool ("cannot open ...").
    std::string error;

  private:
    std::vector<std::filesystem::path> folders_;
};

// Names of the libraries in `folders` (every *.pdb without an underscore in its name, without
// the extension), each once, the first folder's order first.
std::vector<std::u16string> ListCannedLibraries(const std::vector<std::filesystem::path>& folders);
std::vector<std::u16string> ListCannedLibraries();  // the shipped folders

}  // namespace telvane
