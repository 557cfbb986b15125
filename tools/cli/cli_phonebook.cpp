// telvane-tool phonebook: dump and build the SIM phonebook file.
#include <algorithm>
#include <iostream>
#include <string>

#include "cli.h"
#include "cli_import.h"
#include "cli_json_reader.h"
#include "codec/phone_number.h"
#include "platform/files.h"
#include "platform/text.h"
#include "store/archive.h"
#include "store/damaged_original.h"
#include "store/phonebook_table.h"

namespace telvane::cli {

namespace {

int Dump(const std::string& path) {
    std::string error;
    const auto bytes = ReadWholeFile(path, &error);
    if (!bytes) throw UsageError{error};
    PhonebookTable table;
    const bool whole = table.Decode(*bytes);
    if (!whole) {
        const auto& entries = table.Entries();
        const auto read = std::count_if(entries.begin(), entries.end(),
                                        [](const PhonebookEntry& e) { return !e.IsEmpty(); });
        std::cerr << "telvane-tool phonebook: " << path << " is damaged; showing the " << read
                  << " entries that could be read\n";
    }
    const PhonebookLimits limits = table.Limits();
    std::string out = "{\"numberLimit\": " + std::to_string(limits.numberLimit) +
                      ", \"textLimit\": " + std::to_string(limits.textLimit) +
                      ", \"capacity\": " + std::to_string(limits.capacity) + ", \"entries\": [";
    bool first = true;
    for (const PhonebookEntry& entry : table.Entries()) {
        out += first ? "" : ", ";
        first = false;
        out += "{\"changed\": " + std::to_string(entry.changed) +
               ", \"index\": " + std::to_string(entry.index) +
               ", \"name\": " + JsonText16(entry.name) +
               ", \"number\": " + JsonText16(entry.number) + "}";
    }
    out += "]}\n";
    std::cout << out;
    return whole ? 0 : 1;
}

int Build(const std::string& jsonPath, const std::string& outPath) {
    const JsonValue document = ParseJson(ReadInput(jsonPath));
    const JsonObject* root = document.Object();
    if (!root) throw UsageError{"the phonebook must be a JSON object"};
    const JsonArray& entries = JsonEntries(*root, "entries", "phonebook");
    const int32_t capacity =
        JsonInt(*root, "capacity", static_cast<int32_t>(entries.size()), "phonebook");
    if (capacity != static_cast<int32_t>(entries.size()))
        throw UsageError{"capacity " + std::to_string(capacity) + " does not match the " +
                         std::to_string(entries.size()) + " entries"};
    const int32_t numberLimit = JsonInt(*root, "numberLimit", 0, "phonebook");
    const int32_t textLimit = JsonInt(*root, "textLimit", 0, "phonebook");
    if (numberLimit < 0 || textLimit < 0 || capacity > kMaxPhonebookCapacity)
        throw UsageError{"limits must not be negative and capacity at most " +
                         std::to_string(kMaxPhonebookCapacity)};
    // Written in the file's own form so that changed and index stay exactly as given.
    ArchiveWriter out;
    out.WriteInt32(numberLimit);
    out.WriteInt32(textLimit);
    out.WriteInt32(capacity);
    for (const JsonValue& item : entries) {
        const JsonObject* entry = item.Object();
        if (!entry) throw UsageError{"every entry must be an object"};
        out.WriteInt32(JsonInt(*entry, "changed", 0, "entry"));
        out.WriteInt32(JsonInt(*entry, "index", 0, "entry"));
        out.WriteString(JsonText(*entry, "name", "entry"));
        out.WriteString(JsonText(*entry, "number", "entry"));
    }
    // A damaged file it replaces is kept first: what no loader could read is not lost.
    std::string error;
    std::filesystem::path kept;
    if (!KeepDamagedOriginal(outPath, PhonebookReadsWhole, &error, &kept) ||
        !WriteFileAtomic(outPath, out.Bytes(), 0600, &error)) {
        std::cerr << "telvane-tool phonebook: " << error << "\n";
        return 1;
    }
    if (!kept.empty())
        std::cerr << "telvane-tool phonebook: the damaged " << outPath << " was kept as "
                  << kept.string() << "\n";
    return 0;
}

// Into the offline copy: the entries reach the SIM as offline edits do (marked changed).
int Import(const std::string& path, const std::string& phonebookPath) {
    const std::vector<ImportEntryText> entries = ReadImportFile(path);
    PhonebookTable table;
    if (table.LoadFile(phonebookPath) == 0) {
        // A damaged file is never written over with a part of it.
        std::cerr << "telvane-tool phonebook: " << table.LastError() << "\n";
        return 1;
    }
    ImportTarget target;
    target.simTextLimit = table.Limits().textLimit;
    target.room = 0;
    for (const PhonebookEntry& entry : table.Entries()) {
        if (entry.IsEmpty()) {
            ++target.room;
        } else {
            target.numbers.push_back(entry.number);
        }
    }
    std::string out;
    for (ImportLine& line : PlanImport(entries, target)) {
        if (!line.skip) {
            const PhoneNumber number = NormalisePhoneNumber(line.number);
            if (!number.ok()) {
                std::cerr << "telvane-tool phonebook: " << U16ToUtf8(line.number) << ": "
                          << U16ToUtf8(number.Reason()) << "\n";
                line.skip = ImportSkip::kNoNumber;
            } else if (table.AddEntry(line.name, number.number) == 0) {
                line.skip = ImportSkip::kNoRoomOnSim;
            }
        }
        out += ImportLineJson(line) + "\n";
    }
    if (table.SaveFile(phonebookPath) == 0) {
        std::cerr << "telvane-tool phonebook: " << table.LastError() << "\n";
        return 1;
    }
    std::cout << out;
    return 0;
}

int Run(const Args& args) {
    if (args.size() == 2 && args[0] == "dump") return Dump(args[1]);
    if (args.size() == 3 && args[0] == "import") return Import(args[1], args[2]);
    if (args.size() == 3 && args[0] == "build") return Build(args[1], args[2]);
    throw UsageError{"expected dump FILE, build JSON|- OUT or import FILE PHONEBOOK"};
}

const CommandGroup group(
    "phonebook",
    "  phonebook dump FILE          the SIM phonebook file (simpbk.acr) as JSON\n"
    "  phonebook build JSON|- OUT   writes a phonebook file from that JSON\n"
    "  phonebook import FILE PHONEBOOK\n"
    "                               adds a vCard or CSV file's entries (number, name) to the\n"
    "                               phonebook file, for the SIM; one object a line, added or\n"
    "                               skipped (duplicate, too long for the SIM, no number)\n",
    Run);

}  // namespace
}  // namespace telvane::cli
