#include "store/damaged_original.h"

#include <ctime>

#include "platform/files.h"

namespace telvane {

namespace fs = std::filesystem;

std::string DamagedCopyPrefix(const fs::path& path) {
    return path.string() + ".damaged-";
}

bool KeepDamagedOriginal(const fs::path& path, bool (*readsWhole)(std::string_view),
                         std::string* error, fs::path* kept) {
    std::error_code ec;
    if (!fs::exists(path, ec) && !ec) return true;
    std::string reason = "no free name";
    const auto bytes = ReadWholeFile(path, &reason);
    if (!bytes) {
        if (error) *error = reason + " (kept as it is, not replaced)";
        return false;
    }
    // An empty file holds nothing to lose.
    if (bytes->empty() || readsWhole(*bytes)) return true;

    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
    const std::string base = DamagedCopyPrefix(path) + stamp;
    for (int n = 1; n < 1000; ++n) {
        const fs::path copy = n == 1 ? fs::path(base) : fs::path(base + "-" + std::to_string(n));
        if (fs::symlink_status(copy, ec).type() != fs::file_type::not_found) continue;
        if (WriteNewFile(copy, *bytes, 0600, &reason)) {
            if (kept) *kept = copy;
            return true;
        }
        if (fs::symlink_status(copy, ec).type() == fs::file_type::not_found) break;
    }
    if (error) *error = "cannot keep the damaged " + path.string() + " before saving: " + reason;
    return false;
}

}  // namespace telvane
