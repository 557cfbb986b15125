// telvane-tool folder: dump, build and export the message folder files.
#include <iostream>
#include <string>

#include "cli.h"
#include "cli_json_reader.h"
#include "platform/files.h"
#include "platform/text.h"
#include "store/damaged_original.h"
#include "store/folder_table.h"

namespace telvane::cli {

namespace {

// Reads a folder file; a damaged one is dumped as far as it could be read, with a warning.
FolderTable ReadFolder(const std::string& path, bool& damaged) {
    std::string error;
    const auto bytes = ReadWholeFile(path, &error);
    if (!bytes) throw UsageError{error};
    FolderTable table;
    damaged = !DecodeFolder(*bytes, table);
    if (damaged)
        std::cerr << "telvane-tool folder: " << path << " is damaged; showing the "
                  << table.usedCount << " messages that could be read\n";
    return table;
}

int Dump(const std::string& path) {
    bool damaged = false;
    const FolderTable table = ReadFolder(path, damaged);
    std::string out = "{\"usedCount\": " + std::to_string(table.usedCount) + ", \"entries\": [";
    bool first = true;
    for (int32_t p = 0; p < kFolderSlots; ++p) {
        if (!table.IsUsed(p)) continue;
        const SmsRecord& r = table.entries[static_cast<size_t>(p)].record;
        out += first ? "" : ", ";
        first = false;
        out += "{\"slot\": " + std::to_string(p) + ", \"status\": " + JsonText16(r.status) +
               ", \"index\": " + std::to_string(r.index) + ", \"number\": " + JsonText16(r.number) +
               ", \"extra\": " + JsonText16(r.extra) + ", \"time\": " + JsonText16(r.time) +
               ", \"text\": " + JsonText16(r.text) + "}";
    }
    out += "]}\n";
    std::cout << out;
    return damaged ? 1 : 0;
}

int Build(const std::string& jsonPath, const std::string& outPath) {
    const JsonValue document = ParseJson(ReadInput(jsonPath));
    const JsonObject* root = document.Object();
    if (!root) throw UsageError{"the folder must be a JSON object"};
    FolderTable table;
    for (const JsonValue& item : JsonEntries(*root, "entries", "folder")) {
        const JsonObject* entry = item.Object();
        if (!entry) throw UsageError{"every entry must be an object"};
        const int32_t slot = JsonInt(*entry, "slot", -1, "entry");
        if (slot < 0 || slot >= kFolderSlots)
            throw UsageError{"entry slot " + std::to_string(slot) + " is outside 0..199"};
        if (table.IsUsed(slot)) throw UsageError{"slot " + std::to_string(slot) + " used twice"};
        FolderEntry& target = table.entries[static_cast<size_t>(slot)];
        target.slot = slot;
        target.record.status = JsonText(*entry, "status", "entry");
        target.record.index = JsonInt(*entry, "index", -1, "entry");
        target.record.number = JsonText(*entry, "number", "entry");
        target.record.extra = JsonText(*entry, "extra", "entry");
        target.record.time = JsonText(*entry, "time", "entry");
        target.record.text = JsonText(*entry, "text", "entry");
        ++table.usedCount;
    }
    const int32_t declared = JsonInt(*root, "usedCount", table.usedCount, "folder");
    if (declared != table.usedCount)
        throw UsageError{"usedCount " + std::to_string(declared) + " does not match the " +
                         std::to_string(table.usedCount) + " entries"};
    // A damaged file it replaces is kept first: what no loader could read is not lost.
    std::string error;
    std::filesystem::path kept;
    if (!KeepDamagedOriginal(outPath, FolderReadsWhole, &error, &kept) ||
        !WriteFileAtomic(outPath, EncodeFolder(table), 0600, &error)) {
        std::cerr << "telvane-tool folder: " << error << "\n";
        return 1;
    }
    if (!kept.empty())
        std::cerr << "telvane-tool folder: the damaged " << outPath << " was kept as "
                  << kept.string() << "\n";
    return 0;
}

// A spreadsheet would run a cell that starts like a formula; a received message is untrusted.
bool LooksLikeFormula(std::u16string_view field) {
    if (field.empty()) return false;
    const char16_t c = field[0];
    if (c == u'=' || c == u'@' || c == u'\t' || c == u'\r') return true;
    if (c != u'+' && c != u'-') return false;
    // Phone numbers ("+886...", "-1") stay as they are.
    for (char16_t u : field.substr(1))
        if ((u < u'0' || u > u'9') && u != u' ' && u != u';' && u != u'+') return true;
    return false;
}

std::string CsvField(std::u16string_view field) {
    std::string text = U16ToUtf8(field);
    if (LooksLikeFormula(field)) text.insert(0, "'");
    if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '"') quoted += '"';
        quoted += c;
    }
    quoted += '"';
    return quoted;
}

int ExportCsv(const std::string& path) {
    bool damaged = false;
    const FolderTable table = ReadFolder(path, damaged);
    std::string out = "slot,status,index,number,extra,time,text\r\n";
    for (int32_t p = 0; p < kFolderSlots; ++p) {
        if (!table.IsUsed(p)) continue;
        const SmsRecord& r = table.entries[static_cast<size_t>(p)].record;
        out += std::to_string(p) + "," + CsvField(r.status) + "," + std::to_string(r.index) + "," +
               CsvField(r.number) + "," + CsvField(r.extra) + "," + CsvField(r.time) + "," +
               CsvField(r.text) + "\r\n";
    }
    std::cout << out;
    return damaged ? 1 : 0;
}

int Run(const Args& args) {
    if (args.size() == 2 && args[0] == "dump") return Dump(args[1]);
    if (args.size() == 3 && args[0] == "build") return Build(args[1], args[2]);
    if (args.size() == 3 && args[0] == "export" && args[2] == "--csv") return ExportCsv(args[1]);
    throw UsageError{"expected dump FILE, build JSON|- OUT or export FILE --csv"};
}

const CommandGroup group(
    "folder",
    "  folder dump FILE             a folder file (smsin.acr ...) as JSON\n"
    "  folder build JSON|- OUT      writes a folder file from that JSON\n"
    "  folder export FILE --csv     the messages as CSV (UTF-8, a header line)\n",
    Run);

}  // namespace

}  // namespace telvane::cli
