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
// the old one.  New files get `mode`.  On failure the old file is untouched and `error` (when
// given) says what failed, e.g. "cannot write /x/smsin.acr: No space left on device".
bool WriteFileAtomic(const std::filesystem::path& path, std::string_view bytes,
                     unsigned mode = 0600, std::string* error = nullptr);

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
