#include "store/load_report.h"

#include <mutex>
#include <set>
#include <utility>

namespace telvane {

namespace {

struct Problems {
    std::mutex mutex;
    std::set<std::filesystem::path> reported;  // since their last whole save
    std::vector<LoadReport> pending;
};

Problems& TheProblems() {
    static Problems problems;
    return problems;
}

}  // namespace

std::string LoadReport::Describe() const {
    const std::string name = file.filename().string();
    if (!error.empty()) return error;
    if (!keptAs.empty())
        return "the damaged original of " + file.string() + " is kept as " + keptAs.string();
    if (!damaged) return {};
    return file.string() + " is damaged: " + std::to_string(recordsRead) +
           (recordsRead == 1 ? " record" : " records") +
           " could be read; the original is kept as " + name +
           ".damaged-<time> before it is next saved";
}

std::vector<LoadReport> TakeLoadProblems() {
    Problems& p = TheProblems();
    std::lock_guard lock(p.mutex);
    return std::exchange(p.pending, {});
}

namespace detail {

void NoteLoad(const LoadReport& report) {
    if (report.Ok()) return;
    Problems& p = TheProblems();
    std::lock_guard lock(p.mutex);
    if (!p.reported.insert(report.file.lexically_normal()).second) return;
    p.pending.push_back(report);
}

void NoteSavedWhole(const std::filesystem::path& file, const std::filesystem::path& keptAs) {
    Problems& p = TheProblems();
    std::lock_guard lock(p.mutex);
    p.reported.erase(file.lexically_normal());
    if (keptAs.empty()) return;
    LoadReport kept;
    kept.file = file;
    kept.keptAs = keptAs;
    p.pending.push_back(std::move(kept));
}

}  // namespace detail

}  // namespace telvane
