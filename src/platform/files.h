// Files: whole-file reads, atomic replacement, and the data folder that holds the user's files.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace telvane {

// Reads a whole file.  Empty optional when it cannot be opened or read; `error` (when given)
// then names the operation, the path and the system's reason.
std::optional<std::string> ReadWholeFile(const std::filesystem::path& path,
                                         std::string* error = nullptr);

// Replaces `path` with `bytes` so that a crash or a full disk leaves the old file or the new one,
// never a mix: writes a temporary file in the same folder, flushes it to disk, renames it over
// the old one.  The file gets exactly `mode`, whatever the umask.  On failure the old file is
// untouched and `error` (when given) names the operation, the file and the system's reason, e.g.
// "cannot write /x/smsin.acr: No space left on device".
bool WriteFileAtomic(const std::filesystem::path& path, std::string_view bytes,
                     unsigned mode = 0600, std::string* error = nullptr);

// Writes a file that must not exist yet (a kept copy): never replaces one.  Exactly `mode`.
bool WriteNewFile(const std::filesystem::path& path, std::string_view bytes, unsigned mode = 0600,
                  std::string* error = nullptr);

// Removes the temporary files that interrupted WriteFileAtomic calls left beside `path` (only
// names of its own pattern, only in that folder, only when no live save holds them).  Returns
// how many were removed.
int RemoveInterruptedSaves(const std::filesystem::path& path);

// Creates `folder` and any missing parent with mode 0700, whatever the umask.  An existing
// folder is left as it is.  False (with `error`) when it cannot be made.
bool CreatePrivateFolder(const std::filesystem::path& folder, std::string* error = nullptr);

// Makes every WriteFileAtomic and WriteNewFile of the process fail with `err` (say ENOSPC) while
// it lives, as a full disk would: for tests of the error paths.
class ScopedWriteFault {
  public:
    explicit ScopedWriteFault(int err);
    ~ScopedWriteFault();
    ScopedWriteFault(const ScopedWriteFault&) = delete;
    ScopedWriteFault& operator=(const ScopedWriteFault&) = delete;

  private:
    int previous_;
};

// The user's data folder, which stands in for the handheld's \Windows folder:
// $TELVANE_HOME if set, else $XDG_DATA_HOME/telvane, else ~/.local/share/telvane.
// Created (mode 0700) on first use; the path is returned even when creation fails.
std::filesystem::path DataFolder();

// A file of the data folder, e.g. DataFile("smsin.acr").
std::filesystem::path DataFile(std::string_view name);

// Finds a shipped file (canned libraries, picture templates): the user's data folder first,
// then share/telvane beside the program, then the install prefix's.  Empty when none has it.
std::filesystem::path FindShippedFile(std::string_view relative);

// The folders FindShippedFile searches, in order (for listing, e.g. canned libraries).
std::vector<std::filesystem::path> ShippedFolders();

}  // namespace telvane
