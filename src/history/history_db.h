// The message history: one SQLite file in the data folder ("history.sqlite") that keeps every
// message however often it was read, after it left the SIM or its folder, until the user deletes
// it from the history itself.
//
//   HistoryDb db;
//   if (!db.Open(DataFile(kHistoryFileName), HistoryAccess::kWrite)) Tell(db.LastError());
//   db.Store(messages);                       // a message read again is stored once
//   auto hits = db.Search(u"dinner", 50, 0);  // newest first, the words marked
//
// One writer at a time: kWrite holds a lock beside the file for as long as the object is open, so
// a second writer (the tool while the window runs) is refused at once, never kept waiting.
// Readers see what was committed.  Every call is bounded: a database another process keeps busy
// is reported after kBusyTimeoutMs.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "history/history_message.h"

struct sqlite3;

namespace telvane {

inline constexpr const char* kHistoryFileName = "history.sqlite";
// The schema this program writes (PRAGMA user_version).
inline constexpr int32_t kHistorySchemaVersion = 2;
inline constexpr int kHistoryBusyTimeoutMs = 1000;

enum class HistoryAccess { kRead, kWrite };

enum class HistoryError {
    kNone,
    kBusy,         // another writer holds the history, or a lock outlived the busy timeout
    kDamaged,      // the file is no database or fails its check
    kForeign,      // a database, but not a history this program made
    kNewerSchema,  // made by a newer version of the program
    kFull,         // the disk (or the file's page limit) is full
    kIo,           // any other failure, the reason in LastError()
};

struct StoreResult {
    int64_t added = 0;    // new messages
    int64_t updated = 0;  // known ones whose text, state or place changed
    bool ok = true;
};

class HistoryDb {
  public:
    HistoryDb();
    ~HistoryDb();
    HistoryDb(const HistoryDb&) = delete;
    HistoryDb& operator=(const HistoryDb&) = delete;

    // Opens (kWrite: creates, and brings an older schema up to date) the history at `path`.  A
    // damaged file met with kWrite is kept aside as <path>.damaged-<time> (KeptAside() names it)
    // and a new history started; with kRead it is reported.  False with LastError() otherwise.
    [[nodiscard]] bool Open(const std::filesystem::path& path, HistoryAccess access);
    void Close();
    bool IsOpen() const { return db_ != nullptr; }
    // True when the last Open made the file (the folders are then loaded into it once).
    bool Created() const { return created_; }
    const std::filesystem::path& KeptAside() const { return keptAside_; }

    // Adds the messages not stored yet (by key) and brings the stored ones up to date, in one
    // transaction: on any failure nothing of the batch is stored and what was there stays.
    StoreResult Store(const std::vector<HistoryMessage>& messages);

    int64_t Count();
    // Newest first.  Words of three characters or more are found through the index; shorter ones
    // (a two-character Chinese word) are looked for in the text itself.
    std::vector<HistoryHit> Search(std::u16string_view query, int32_t limit, int32_t offset);
    // The people, newest exchange first; `after` continues a page.
    std::vector<Conversation> Conversations(int32_t limit,
                                            std::optional<PageCursor> after = std::nullopt);
    std::optional<Conversation> ConversationOf(std::u16string_view number);
    // A conversation's messages in time order: the newest `limit`, or the `limit` just before
    // `before`.
    std::vector<HistoryMessage> Messages(int64_t conversationId, int32_t limit,
                                         std::optional<PageCursor> before = std::nullopt);
    // Every message (or one person's) in time order, for export.
    std::vector<HistoryMessage> AllMessages(std::u16string_view number = {});
    std::optional<HistoryMessage> Message(int64_t id);

    // The user's deletions from the history page.  Nothing else ever deletes.
    bool Delete(const std::vector<int64_t>& ids);
    bool DeleteConversation(int64_t conversationId);
    bool MarkConversationRead(int64_t conversationId);

    HistoryError LastErrorKind() const { return errorKind_; }
    // The operation, the file and the reason, for the status line or the tool.
    const std::string& LastError() const { return error_; }

    // Tests: a new file at an older schema `version`, as an older Telvane made it.
    static bool CreateAtSchemaForTest(const std::filesystem::path& path, int32_t version);
    // Tests: the file may grow by no more than `pages` pages, as a full disk would stop it.
    void LimitPagesForTest(int64_t pages);

  private:
    bool OpenFile(HistoryAccess access);
    bool CheckSchema(HistoryAccess access);
    bool Migrate(int32_t from);
    bool Exec(const char* sql);
    bool Fail(const char* operation, int code);
    bool KeepDamagedAside();
    std::vector<HistoryMessage> ReadMessages(const std::string& sql,
                                             const std::vector<int64_t>& ints,
                                             const std::u16string* text = nullptr);

    sqlite3* db_ = nullptr;
    std::filesystem::path path_;
    int lockFd_ = -1;
    bool created_ = false;
    int32_t schemaFrom_ = 0;
    std::filesystem::path keptAside_;
    HistoryError errorKind_ = HistoryError::kNone;
    std::string error_;
};

// Where `words` are in `text`, case-blind for Latin letters: the marks of a search hit.
TextMarks FindMarks(std::u16string_view text, const std::vector<std::u16string>& words);
// The words of a search: split at blanks, quotes dropped.
std::vector<std::u16string> SearchWords(std::u16string_view query);

}  // namespace telvane
