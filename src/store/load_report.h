// What loading a folder or phonebook file found, so that a damaged or unreadable file is told to
// the user once instead of being silently cut down by the next save.
//
//   store.LoadShown(FolderId::Draft);
//   for (const LoadReport& report : TakeLoadProblems())
//       window.ShowMessage(report.Describe());   // "smsdraft.acr is damaged: 2 records read ..."
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace telvane {

struct LoadReport {
    std::filesystem::path file;
    // Messages, or phonebook entries with a name or number, now in the table.
    int32_t recordsRead = 0;
    // The file was read only in part: the table holds what could be read.  Its original bytes
    // are kept aside as <file>.damaged-<time> before anything is saved over it.
    bool damaged = false;
    // Why the file could not be read at all (it is then never replaced); empty otherwise.
    std::string error;
    // Set by the save that kept the damaged original: where its bytes are now.
    std::filesystem::path keptAs;

    bool Ok() const { return !damaged && error.empty() && keptAs.empty(); }
    // One line for the status line, the tool and logs.  Empty when Ok().
    std::string Describe() const;
};

// The loads that found a damaged or unreadable file and were not yet taken, oldest first, each
// file once: it is reported again only after it was saved whole and then found damaged anew.
// A save that kept a damaged original is reported too (with `keptAs`), each time.
// Any thread; every folder and phonebook load and save of the process reports here.
std::vector<LoadReport> TakeLoadProblems();

namespace detail {
// Called by the loaders and savers.
void NoteLoad(const LoadReport& report);
// `keptAs` empty: the save kept no copy.
void NoteSavedWhole(const std::filesystem::path& file, const std::filesystem::path& keptAs = {});
}  // namespace detail

}  // namespace telvane
