#include "cli_import.h"

#include "cli.h"
#include "contacts/contact_import.h"
#include "platform/files.h"

namespace telvane::cli {

std::vector<ImportEntryText> ReadImportFile(const std::string& path) {
    std::string error;
    const auto bytes = ReadWholeFile(path, &error);
    if (!bytes) throw UsageError{error};
    std::vector<ImportEntryText> entries;
    for (ImportedEntry& entry : ReadContactsFile(*bytes))
        entries.push_back({std::move(entry.name), std::move(entry.number)});
    return entries;
}

std::string ImportLineJson(const ImportLine& line) {
    std::string out =
        "{\"name\":" + JsonString(line.name) + ",\"number\":" + JsonString(line.number) + ",";
    if (!line.skip) return out + "\"added\":true}";
    const char* why = "";
    switch (*line.skip) {
        case ImportSkip::kNoNumber:
            why = "no number";
            break;
        case ImportSkip::kDuplicate:
            why = "duplicate";
            break;
        case ImportSkip::kTooLongForSim:
            why = "too long for the SIM";
            break;
        case ImportSkip::kNoRoomOnSim:
            why = "no room on the SIM";
            break;
    }
    return out + "\"skipped\":" + JsonString(std::string_view(why)) + "}";
}

}  // namespace telvane::cli
