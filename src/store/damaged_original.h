// Keeps the bytes of a damaged file before a save replaces it, so that the part a loader could
// not read is never lost.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace telvane {

// Called before `path` is replaced.  When the file exists and `readsWhole` (the loader's verdict
// on its bytes) is false, the bytes are copied to <path>.damaged-<YYYYMMDD-HHMMSS> (a "-2",
// "-3", ... suffix when that exists; mode 0600; an existing copy is never overwritten).  `kept`
// gets the copy's path.  False when the current file cannot be read or the copy cannot be
// written: the caller must then not replace the file (`error` says why).
bool KeepDamagedOriginal(const std::filesystem::path& path,
                         bool (*readsWhole)(std::string_view bytes), std::string* error,
                         std::filesystem::path* kept = nullptr);

// "<path>.damaged-" : the copies of `path` start with this.
std::string DamagedCopyPrefix(const std::filesystem::path& path);

}  // namespace telvane
