// telvane-tool history: the message history in the data folder ($TELVANE_HOME): import and
// export gammu SMS backups, search, the conversations, the count.
#include <filesystem>
#include <iostream>

#include "cli.h"
#include "control/history_feed.h"
#include "history/gammu_backup.h"
#include "history/history_db.h"
#include "history/history_export.h"
#include "history/history_keys.h"
#include "platform/files.h"
#include "platform/text.h"
#include "store/list_date.h"

namespace telvane::cli {
namespace {

constexpr const char* kUsage =
    "  history import FILE              a gammu SMS backup into the history\n"
    "  history export --gammu|--csv FILE [--number N | --folder inbox|sent|saved]\n"
    "                 [--smsc N]        the centre for received messages that lack one\n"
    "  history search TEXT              matching messages, newest first\n"
    "  history conversations            the people, newest exchange first\n"
    "  history count                    how many messages the history holds\n";

std::filesystem::path HistoryFile() {
    return DataFile(kHistoryFileName);
}

int Fail(const std::string& reason) {
    std::cerr << "telvane-tool history: " << reason << "\n";
    return 1;
}

// Readers do not make a history: an absent one holds nothing.
bool OpenForReading(HistoryDb& db, bool& absent) {
    absent = !std::filesystem::exists(HistoryFile());
    if (absent) return true;
    return db.Open(HistoryFile(), HistoryAccess::kRead);
}

std::string MessageJson(const HistoryMessage& m) {
    return "{\"number\":" + JsonString(m.number) + ",\"name\":" + JsonString(m.name) +
           ",\"direction\":\"" + (m.direction == HistoryDirection::kIn ? "in" : "out") +
           "\",\"time\":" + JsonString(IsoTime(m)) + ",\"text\":" + JsonString(m.text);
}

int Import(const std::string& file) {
    std::string error;
    auto bytes = ReadWholeFile(file, &error);
    if (!bytes) return Fail(error);
    int skipped = 0;
    const std::vector<HistoryMessage> messages = ReadGammuBackup(*bytes, &skipped);
    HistoryDb db;
    if (!db.Open(HistoryFile(), HistoryAccess::kWrite)) return Fail(db.LastError());
    if (!db.KeptAside().empty())
        std::cerr << "telvane-tool history: the damaged history was kept as "
                  << db.KeptAside().string() << "\n";
    const StoreResult result = db.Store(messages);
    if (!result.ok) return Fail(db.LastError());
    std::cout << "{\"read\":" << messages.size() << ",\"added\":" << result.added
              << ",\"updated\":" << result.updated << ",\"skipped\":" << skipped << "}\n";
    return skipped > 0 ? 1 : 0;
}

std::vector<HistoryMessage> FolderMessages(const std::string& name) {
    const std::pair<const char*, FolderId> kFolders[] = {
        {"inbox", FolderId::Inbox}, {"sent", FolderId::Sent}, {"saved", FolderId::Saved}};
    for (const auto& [folderName, folder] : kFolders) {
        if (name != folderName) continue;
        std::vector<HistoryMessage> out;
        auto bytes = ReadWholeFile(DataFile(FolderFileName(folder)));
        if (!bytes) return out;
        auto table = std::make_unique<FolderTable>();
        static_cast<void>(DecodeFolder(*bytes, *table));
        const int64_t now = HistoryTime(MakeLocalTimeStamp()).value_or(0);
        for (const FolderEntry& entry : table->entries)
            if (entry.slot >= 0)
                for (HistoryMessage& m : HistoryMessagesOf(folder, entry.record, now))
                    out.push_back(std::move(m));
        return out;
    }
    throw UsageError{"--folder is inbox, sent or saved"};
}

int Export(const Args& args) {
    std::string format, file, number, folder, smsc;
    for (size_t i = 1; i < args.size(); ++i) {
        const std::string& a = args[i];
        const bool hasValue = i + 1 < args.size();
        if ((a == "--gammu" || a == "--csv") && hasValue && format.empty()) {
            format = a;
            file = args[++i];
        } else if (a == "--number" && hasValue) {
            number = args[++i];
        } else if (a == "--folder" && hasValue) {
            folder = args[++i];
        } else if (a == "--smsc" && hasValue) {
            smsc = args[++i];
        } else {
            throw UsageError{"expected 'export --gammu|--csv FILE [--number N | --folder F]'"};
        }
    }
    if (format.empty() || (!number.empty() && !folder.empty()))
        throw UsageError{"expected 'export --gammu|--csv FILE [--number N | --folder F]'"};
    std::vector<HistoryMessage> messages;
    if (!folder.empty()) {
        messages = FolderMessages(folder);
    } else {
        HistoryDb db;
        bool absent = false;
        if (!OpenForReading(db, absent)) return Fail(db.LastError());
        if (!absent) messages = db.AllMessages(Utf8ToU16(number));
        if (!db.LastError().empty()) return Fail(db.LastError());
    }
    int withoutSmsc = 0;
    const std::string bytes = format == "--gammu"
                                  ? WriteGammuBackup(messages, Utf8ToU16(smsc), &withoutSmsc)
                                  : HistoryCsv(messages);
    std::string error;
    if (!WriteFileAtomic(file, bytes, 0600, &error)) return Fail(error);
    if (withoutSmsc > 0)
        std::cerr << "telvane-tool history: " << withoutSmsc
                  << " received messages have no service centre number, which gammu restoresms "
                     "needs: give one with --smsc NUMBER\n";
    std::cout << "{\"exported\":" << messages.size() << "}\n";
    return 0;
}

int Run(const Args& args) {
    if (args.empty())
        throw UsageError{"expected 'history import|export|search|conversations|count'"};
    const std::string& command = args[0];
    if (command == "import") {
        if (args.size() != 2) throw UsageError{"expected 'history import FILE'"};
        return Import(args[1]);
    }
    if (command == "export") return Export(args);
    HistoryDb db;
    bool absent = false;
    if (command == "search") {
        if (args.size() != 2) throw UsageError{"expected 'history search TEXT'"};
        if (!OpenForReading(db, absent)) return Fail(db.LastError());
        if (absent) return 0;
        constexpr int32_t kPage = 500;
        for (int32_t offset = 0;; offset += kPage) {
            const auto hits = db.Search(Utf8ToU16(args[1]), kPage, offset);
            for (const HistoryHit& hit : hits)
                std::cout << MessageJson(hit.message) << "}\n";
            if (hits.size() < static_cast<size_t>(kPage)) break;
        }
        return db.LastError().empty() ? 0 : Fail(db.LastError());
    }
    if (command == "conversations") {
        if (args.size() != 1) throw UsageError{"expected 'history conversations'"};
        if (!OpenForReading(db, absent)) return Fail(db.LastError());
        if (absent) return 0;
        std::optional<PageCursor> after;
        for (;;) {
            const auto page = db.Conversations(500, after);
            for (const Conversation& c : page)
                std::cout << "{\"number\":" << JsonString(c.number)
                          << ",\"name\":" << JsonString(c.name) << ",\"count\":" << c.count
                          << ",\"unread\":" << c.unread << ",\"last\":" << MessageJson(c.last)
                          << "}}\n";
            if (page.size() < 500) break;
            after = PageCursor{page.back().last.time, page.back().last.id};
        }
        return db.LastError().empty() ? 0 : Fail(db.LastError());
    }
    if (command == "count") {
        if (args.size() != 1) throw UsageError{"expected 'history count'"};
        if (!OpenForReading(db, absent)) return Fail(db.LastError());
        const int64_t count = absent ? 0 : db.Count();
        if (count < 0) return Fail(db.LastError());
        std::cout << count << "\n";
        return 0;
    }
    throw UsageError{"unknown history command '" + command + "'"};
}

const CommandGroup group("history", kUsage, Run);

}  // namespace
}  // namespace telvane::cli
