// Builds a canned-message library (and, for Big5, its code table) from a readable source text.
//
//   telvane-cannedgen SOURCE OUTDIR
//
// The source is UTF-8, one directive or message a line; '#' starts a comment line:
//   library NAME      the library's file name, NAME.pdb
//   encoding ENC      BIG5 (double-byte records) or ISO-8859-1 (single-byte records)
//   table NAME        the code table the library names, written as NAME.pdb (BIG5 only)
//   [Topic]           the following messages hang directly under Topic
//   [Topic/Sub]       the following messages hang under Sub within Topic
//   any other line    one message
// Every text must fit its field and read back exactly; otherwise nothing is written.
#include <iconv.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "canned/canned_library.h"
#include "platform/files.h"
#include "platform/text.h"

namespace {

using telvane::CannedCodeTable;

struct Message {
    int line;
    std::string topic, subtopic, text;
};

struct Failure {
    std::string what;
};

class Converter {
  public:
    Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {
        if (cd_ == reinterpret_cast<iconv_t>(-1))
            throw Failure{std::string("iconv cannot convert ") + from + " to " + to};
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;
    ~Converter() { iconv_close(cd_); }

    // Empty optional when some character has no mapping.
    std::optional<std::string> Convert(std::string_view in) {
        iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        std::string out(in.size() * 4 + 8, '\0');
        char* inPtr = const_cast<char*>(in.data());
        size_t inLeft = in.size();
        char* outPtr = out.data();
        size_t outLeft = out.size();
        if (iconv(cd_, &inPtr, &inLeft, &outPtr, &outLeft) == static_cast<size_t>(-1))
            return std::nullopt;
        out.resize(out.size() - outLeft);
        return out;
    }

  private:
    iconv_t cd_;
};

void PutBig(std::string& out, uint32_t value, int bytes) {
    for (int shift = (bytes - 1) * 8; shift >= 0; shift -= 8)
        out.push_back(static_cast<char>((value >> shift) & 0xFF));
}

// The database header: name, fixed dates (the files must be reproducible), type, creator and
// the record list.
std::string Database(std::string_view name, std::string_view type,
                     const std::vector<std::string>& records) {
    std::string out(name.substr(0, 31));
    out.resize(32, '\0');
    PutBig(out, 0, 2);  // attributes
    PutBig(out, 1, 2);  // version
    for (int i = 0; i < 6; ++i)
        PutBig(out, 0, 4);  // dates, modification number, app info, sort info
    out += type;
    out += "Tlvn";
    PutBig(out, 0, 4);  // unique id seed
    PutBig(out, 0, 4);  // next record list
    PutBig(out, static_cast<uint32_t>(records.size()), 2);
    uint32_t offset = static_cast<uint32_t>(out.size() + 8 * records.size() + 2);
    for (size_t i = 0; i < records.size(); ++i) {
        PutBig(out, offset, 4);
        PutBig(out, static_cast<uint32_t>(i + 1), 4);  // attributes 0, unique id
        offset += static_cast<uint32_t>(records[i].size());
    }
    PutBig(out, 0, 2);
    for (const std::string& r : records)
        out += r;
    return out;
}

// Every two-byte Big5 code the system's iconv knows, in code order.
std::string Big5Entries() {
    Converter toUnicode("UTF-16BE", "BIG5");
    std::string entries;
    for (int lead = 0xA1; lead <= 0xFE; ++lead) {
        for (int trail = 0x40; trail <= 0xFE; ++trail) {
            if (trail > 0x7E && trail < 0xA1) continue;
            const char pair[2] = {static_cast<char>(lead), static_cast<char>(trail)};
            auto unit = toUnicode.Convert(std::string_view(pair, 2));
            if (!unit || unit->size() != 2) continue;
            entries += *unit;
            entries.push_back(pair[0]);
            entries.push_back(pair[1]);
        }
    }
    if (entries.size() > telvane::kCodeTableMax) throw Failure{"Big5 code table too large"};
    return entries;
}

std::string Trim(const std::string& s) {
    const size_t begin = s.find_first_not_of(" \t\r");
    if (begin == std::string::npos) return {};
    return s.substr(begin, s.find_last_not_of(" \t\r") - begin + 1);
}

void Run(const std::filesystem::path& sourcePath, const std::filesystem::path& outDir) {
    std::ifstream source(sourcePath);
    if (!source) throw Failure{"cannot open " + sourcePath.string()};
    std::string library, encoding, tableName, topic, subtopic;
    std::vector<Message> messages;
    std::string raw;
    for (int line = 1; std::getline(source, raw); ++line) {
        const std::string text = Trim(raw);
        auto where = [&] { return sourcePath.string() + ":" + std::to_string(line) + ": "; };
        if (text.empty() || text[0] == '#') continue;
        if (text.rfind("library ", 0) == 0) {
            library = Trim(text.substr(8));
        } else if (text.rfind("encoding ", 0) == 0) {
            encoding = Trim(text.substr(9));
        } else if (text.rfind("table ", 0) == 0) {
            tableName = Trim(text.substr(6));
        } else if (text.front() == '[' && text.back() == ']') {
            const std::string inner = text.substr(1, text.size() - 2);
            const size_t slash = inner.find('/');
            topic = Trim(inner.substr(0, slash));
            subtopic = slash == std::string::npos ? "" : Trim(inner.substr(slash + 1));
            if (topic.empty()) throw Failure{where() + "a section needs a topic"};
        } else {
            if (topic.empty()) throw Failure{where() + "message before the first [topic]"};
            messages.push_back({line, topic, subtopic, text});
        }
    }
    if (library.empty() || library.find_first_of("_/") != std::string::npos)
        throw Failure{sourcePath.string() + ": needs a library name without '_' or '/'"};
    const bool doubleByte = encoding == "BIG5";
    if (!doubleByte && encoding != "ISO-8859-1")
        throw Failure{sourcePath.string() + ": encoding must be BIG5 or ISO-8859-1"};
    if (doubleByte == tableName.empty())
        throw Failure{sourcePath.string() + ": a table goes with BIG5 and only with it"};

    CannedCodeTable table;
    std::string tableFile;
    if (doubleByte) {
        std::string tableName32 = "Big5_bin";  // the tag "_bi" sits at offset 4
        tableFile = Database(tableName32, "Ctbl", {Big5Entries()});
        table = telvane::ParseCannedCodeTable(tableFile);
    }

    Converter encode(encoding.c_str(), "UTF-8");
    auto field = [&](const Message& m, const std::string& text, size_t limit) {
        auto bytes = encode.Convert(text);
        const std::string at = sourcePath.string() + ":" + std::to_string(m.line) + ": ";
        if (!bytes) throw Failure{at + "'" + text + "' has characters outside " + encoding};
        if (bytes->size() > limit)
            throw Failure{at + "'" + text + "' takes " + std::to_string(bytes->size()) +
                          " bytes, more than " + std::to_string(limit)};
        if (telvane::DecodeCannedText(*bytes, doubleByte, limit, table) != telvane::Utf8ToU16(text))
            throw Failure{at + "'" + text +
                          "' does not read back (single-byte characters must come in pairs)"};
        bytes->resize(limit, '\0');
        return *bytes;
    };

    std::vector<std::string> records;
    std::string header;
    PutBig(header, doubleByte ? 1 : 0, 2);
    header.resize(telvane::kCannedMessageOffset, '\0');
    header += tableName;
    header.resize(telvane::kCannedRecordBytes, '\0');
    records.push_back(header);
    for (const Message& m : messages) {
        std::string record;
        PutBig(record, doubleByte ? 1 : 0, 2);
        record += field(m, m.topic, telvane::kCannedTopicBytes);
        record += field(m, m.subtopic, telvane::kCannedTopicBytes);
        record += field(m, m.text, telvane::kCannedMessageBytes);
        records.push_back(record);
    }
    if (records.size() > 0xFFFF) throw Failure{"too many messages"};

    std::filesystem::create_directories(outDir);
    std::string error;
    auto write = [&](const std::string& name, const std::string& bytes) {
        if (!telvane::WriteFileAtomic(outDir / (name + ".pdb"), bytes, 0644, &error))
            throw Failure{error};
    };
    if (doubleByte) write(tableName, tableFile);
    write(library, Database(library, "Msgs", records));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::cerr << "usage: telvane-cannedgen SOURCE OUTDIR\n";
        return 2;
    }
    try {
        Run(argv[1], argv[2]);
    } catch (const Failure& f) {
        std::cerr << "telvane-cannedgen: " << f.what << "\n";
        return 1;
    } catch (const std::exception& e) {
        std::cerr << "telvane-cannedgen: " << e.what() << "\n";
        return 1;
    }
    return 0;
}
