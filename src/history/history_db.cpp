#include "history/history_db.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <map>
#include <system_error>

#include "history/history_keys.h"
#include "platform/text.h"

namespace telvane {
namespace {

// Each step takes the schema from its index to the next version; a new version appends a step
// and never edits an old one, so any older history is brought up step by step.
constexpr const char* kMigrations[] = {
    // 0 -> 1
    R"sql(
CREATE TABLE person(
  id INTEGER PRIMARY KEY,
  key TEXT NOT NULL UNIQUE,
  number TEXT NOT NULL,
  name TEXT NOT NULL DEFAULT '',
  count INTEGER NOT NULL DEFAULT 0,
  unread INTEGER NOT NULL DEFAULT 0,
  last_time INTEGER NOT NULL DEFAULT 0,
  last_id INTEGER NOT NULL DEFAULT 0);
CREATE INDEX person_last ON person(last_time, last_id);
CREATE TABLE message(
  id INTEGER PRIMARY KEY,
  key TEXT NOT NULL UNIQUE,
  person_id INTEGER NOT NULL REFERENCES person(id) ON DELETE CASCADE,
  number TEXT NOT NULL,
  name TEXT NOT NULL DEFAULT '',
  direction INTEGER NOT NULL CHECK(direction IN (0, 1)),
  time INTEGER NOT NULL,
  time_text TEXT NOT NULL,
  text TEXT NOT NULL,
  store TEXT NOT NULL,
  sim_index INTEGER NOT NULL DEFAULT -1,
  delivery TEXT NOT NULL DEFAULT '',
  unread INTEGER NOT NULL DEFAULT 0,
  smsc TEXT NOT NULL DEFAULT '');
CREATE INDEX message_person_time ON message(person_id, time, id);
CREATE INDEX message_time ON message(time, id);
CREATE VIRTUAL TABLE message_fts USING fts5(text, number, name, content='message',
  content_rowid='id', tokenize='trigram');
CREATE TRIGGER message_added AFTER INSERT ON message BEGIN
  INSERT INTO message_fts(rowid, text, number, name) VALUES(new.id, new.text, new.number, new.name);
  UPDATE person SET count = count + 1, unread = unread + new.unread,
    number = CASE WHEN (new.time, new.id) >= (last_time, last_id) THEN new.number ELSE number END,
    name = CASE WHEN new.name <> '' AND (new.time, new.id) >= (last_time, last_id)
                THEN new.name ELSE name END,
    last_id = CASE WHEN (new.time, new.id) >= (last_time, last_id) THEN new.id ELSE last_id END,
    last_time = MAX(last_time, new.time)
  WHERE id = new.person_id;
END;
CREATE TRIGGER message_removed AFTER DELETE ON message BEGIN
  INSERT INTO message_fts(message_fts, rowid, text, number, name)
    VALUES('delete', old.id, old.text, old.number, old.name);
  UPDATE person SET count = count - 1, unread = unread - old.unread,
    last_id = IFNULL((SELECT id FROM message WHERE person_id = old.person_id
                      ORDER BY time DESC, id DESC LIMIT 1), 0),
    last_time = IFNULL((SELECT time FROM message WHERE person_id = old.person_id
                        ORDER BY time DESC, id DESC LIMIT 1), 0)
  WHERE id = old.person_id;
  DELETE FROM person WHERE id = old.person_id AND count <= 0;
END;
CREATE TRIGGER message_text_changed AFTER UPDATE OF text, number, name ON message BEGIN
  INSERT INTO message_fts(message_fts, rowid, text, number, name)
    VALUES('delete', old.id, old.text, old.number, old.name);
  INSERT INTO message_fts(rowid, text, number, name) VALUES(new.id, new.text, new.number, new.name);
END;
CREATE TRIGGER message_unread_changed AFTER UPDATE OF unread ON message BEGIN
  UPDATE person SET unread = unread - old.unread + new.unread WHERE id = new.person_id;
END;
)sql",
    // 1 -> 2: the search index and the people's counters of new messages are kept by Store, once
    // a batch.  Fired for each row, the index wrote (and later merged) a segment per message.
    R"sql(
DROP TRIGGER message_added;
)sql",
};
static_assert(std::size(kMigrations) == kHistorySchemaVersion);

constexpr const char* kMessageColumns =
    "m.id, m.key, m.number, m.name, m.direction, m.time, m.time_text, m.text, m.store, "
    "m.sim_index, m.delivery, m.unread, m.smsc";

// A prepared statement that finalizes itself.
class Statement {
  public:
    Statement(sqlite3* db, const std::string& sql) {
        code_ = sqlite3_prepare_v2(db, sql.c_str(), static_cast<int>(sql.size()), &stmt_, nullptr);
    }
    ~Statement() { sqlite3_finalize(stmt_); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    bool ok() const { return code_ == SQLITE_OK && stmt_ != nullptr; }
    int code() const { return code_; }
    sqlite3_stmt* get() const { return stmt_; }

    void Bind(int i, int64_t v) { sqlite3_bind_int64(stmt_, i, v); }
    void Bind(int i, std::u16string_view v) {
        sqlite3_bind_text16(stmt_, i, v.data(), static_cast<int>(v.size() * 2), SQLITE_TRANSIENT);
    }
    // SQLITE_ROW, SQLITE_DONE or an error code.
    int Step() {
        code_ = sqlite3_step(stmt_);
        return code_;
    }
    void Reset() {
        sqlite3_reset(stmt_);
        sqlite3_clear_bindings(stmt_);
    }
    int64_t Int(int col) const { return sqlite3_column_int64(stmt_, col); }
    std::u16string Text(int col) const {
        const void* p = sqlite3_column_text16(stmt_, col);
        const int bytes = sqlite3_column_bytes16(stmt_, col);
        if (p == nullptr) return {};
        return std::u16string(static_cast<const char16_t*>(p), static_cast<size_t>(bytes / 2));
    }

  private:
    sqlite3_stmt* stmt_ = nullptr;
    int code_ = SQLITE_OK;
};

HistoryMessage ReadMessageRow(const Statement& s, int first = 0) {
    HistoryMessage m;
    m.id = s.Int(first);
    m.key = s.Text(first + 1);
    m.number = s.Text(first + 2);
    m.name = s.Text(first + 3);
    m.direction = s.Int(first + 4) == 1 ? HistoryDirection::kOut : HistoryDirection::kIn;
    m.time = s.Int(first + 5);
    m.timeText = s.Text(first + 6);
    m.text = s.Text(first + 7);
    m.store = s.Text(first + 8);
    m.simIndex = static_cast<int32_t>(s.Int(first + 9));
    m.delivery = s.Text(first + 10);
    m.unread = s.Int(first + 11) != 0;
    m.smsc = s.Text(first + 12);
    return m;
}

// People with their last message, as ReadConversationRow reads them.
std::string ConversationQuery() {
    return std::string("SELECT p.id, p.key, p.number, p.name, p.count, p.unread, ") +
           kMessageColumns + " FROM person p JOIN message m ON m.id = p.last_id";
}

Conversation ReadConversationRow(const Statement& s) {
    Conversation c;
    c.id = s.Int(0);
    c.person = s.Text(1);
    c.number = s.Text(2);
    c.name = s.Text(3);
    c.count = s.Int(4);
    c.unread = s.Int(5);
    c.last = ReadMessageRow(s, 6);
    return c;
}

char16_t Fold(char16_t c) {
    return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + 32) : c;
}

std::u16string FtsPhrase(std::u16string_view word) {
    std::u16string out = u"\"";
    for (char16_t c : word) {
        if (c == u'"') out += u'"';
        out += c;
    }
    return out + u"\"";
}

std::u16string LikePattern(std::u16string_view word) {
    std::u16string out = u"%";
    for (char16_t c : word) {
        if (c == u'%' || c == u'_' || c == u'\\') out += u'\\';
        out += c;
    }
    return out + u"%";
}

// What a batch's new messages add to one person.
struct PersonGain {
    int64_t count = 0;
    int64_t unread = 0;
    PageCursor newest{-1, -1};
    std::u16string number;
    PageCursor newestNamed{-1, -1};
    std::u16string name;
};

bool Later(const PageCursor& a, const PageCursor& b) {
    return a.time != b.time ? a.time > b.time : a.id > b.id;
}

std::string DamagedName(const std::filesystem::path& path) {
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
    localtime_r(&now, &tm);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &tm);
    return path.string() + ".damaged-" + stamp;
}

}  // namespace

HistoryDb::HistoryDb() = default;

HistoryDb::~HistoryDb() {
    Close();
}

void HistoryDb::Close() {
    if (db_ != nullptr) sqlite3_close_v2(db_);
    db_ = nullptr;
    if (lockFd_ >= 0) ::close(lockFd_);
    lockFd_ = -1;
}

bool HistoryDb::Fail(const char* operation, int code) {
    const int primary = code & 0xff;
    switch (primary) {
        case SQLITE_BUSY:
        case SQLITE_LOCKED:
            errorKind_ = HistoryError::kBusy;
            break;
        case SQLITE_NOTADB:
        case SQLITE_CORRUPT:
            errorKind_ = HistoryError::kDamaged;
            break;
        case SQLITE_FULL:
            errorKind_ = HistoryError::kFull;
            break;
        default:
            errorKind_ = HistoryError::kIo;
            break;
    }
    const char* reason = db_ != nullptr ? sqlite3_errmsg(db_) : sqlite3_errstr(code);
    if (primary == SQLITE_FULL) reason = "No space left on device";
    error_ = std::string("cannot ") + operation + " " + path_.string() + ": " + reason;
    return false;
}

bool HistoryDb::Exec(const char* sql) {
    const int code = sqlite3_exec(db_, sql, nullptr, nullptr, nullptr);
    return code == SQLITE_OK || Fail("write", code);
}

bool HistoryDb::Open(const std::filesystem::path& path, HistoryAccess access) {
    Close();
    path_ = path;
    created_ = false;
    keptAside_.clear();
    errorKind_ = HistoryError::kNone;
    error_.clear();
    if (access == HistoryAccess::kWrite) {
        const std::string lock = path.string() + ".lock";
        lockFd_ = ::open(lock.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (lockFd_ < 0) {
            errorKind_ = HistoryError::kIo;
            error_ = "cannot open " + lock + ": " + std::strerror(errno);
            return false;
        }
        if (::flock(lockFd_, LOCK_EX | LOCK_NB) != 0) {
            errorKind_ = HistoryError::kBusy;
            error_ = "cannot write " + path.string() +
                     ": another Telvane (the window or the tool) is writing it";
            Close();
            return false;
        }
    }
    if (OpenFile(access)) return true;
    if (access == HistoryAccess::kWrite && errorKind_ == HistoryError::kDamaged) {
        const std::string why = error_;
        if (!KeepDamagedAside()) return false;
        if (OpenFile(access)) {
            error_ = why;  // told with the kept copy's name
            return true;
        }
    }
    Close();
    return false;
}

bool HistoryDb::KeepDamagedAside() {
    if (db_ != nullptr) sqlite3_close_v2(db_);
    db_ = nullptr;
    std::string target = DamagedName(path_);
    for (int n = 2; std::filesystem::exists(target); ++n)
        target = DamagedName(path_) + "-" + std::to_string(n);
    if (::rename(path_.c_str(), target.c_str()) != 0) {
        errorKind_ = HistoryError::kIo;
        error_ = "cannot keep the damaged " + path_.string() + " aside: " + std::strerror(errno);
        return false;
    }
    // The journal files belong to the damaged file, not to the new one.
    for (const char* suffix : {"-wal", "-shm"}) {
        const std::string from = path_.string() + suffix;
        if (std::filesystem::exists(from)) ::rename(from.c_str(), (target + suffix).c_str());
    }
    keptAside_ = target;
    return true;
}

bool HistoryDb::OpenFile(HistoryAccess access) {
    const bool existed = std::filesystem::exists(path_);
    const int flags = access == HistoryAccess::kWrite ? SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE
                                                      : SQLITE_OPEN_READONLY;
    if (access == HistoryAccess::kRead && !existed) {
        errorKind_ = HistoryError::kIo;
        error_ = "cannot open " + path_.string() + ": No such file or directory";
        return false;
    }
    if (!existed) {
        // SQLite would make it (and its journals, which copy its mode) readable by all.
        const int fd = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0 && errno != EEXIST) {
            errorKind_ = errno == ENOSPC ? HistoryError::kFull : HistoryError::kIo;
            error_ = "cannot create " + path_.string() + ": " + std::strerror(errno);
            return false;
        }
        if (fd >= 0) ::close(fd);
    }
    int code = sqlite3_open_v2(path_.c_str(), &db_, flags | SQLITE_OPEN_NOMUTEX, nullptr);
    if (code != SQLITE_OK) return Fail("open", code);
    sqlite3_busy_timeout(db_, kHistoryBusyTimeoutMs);
    sqlite3_extended_result_codes(db_, 1);
    if (access == HistoryAccess::kWrite) {
        if (existed) {
            // A file that is no database fails here; one with broken pages fails its check.
            Statement check(db_, "PRAGMA quick_check(1)");
            if (!check.ok()) return Fail("read", check.code());
            const int step = check.Step();
            if (step != SQLITE_ROW) return Fail("read", step);
            if (check.Text(0) != u"ok") {
                errorKind_ = HistoryError::kDamaged;
                error_ = "cannot read " + path_.string() + ": the file is damaged";
                return false;
            }
        }
    }
    // Nothing is written before the file is known to be ours.
    if (!CheckSchema(access)) return false;
    if (!Exec("PRAGMA foreign_keys=ON")) return false;
    if (access == HistoryAccess::kRead) return true;
    // Statement journals (every insert fires the triggers) in memory, not in a temporary file;
    // a 16 MB page cache for the search index through a big import.
    if (!Exec("PRAGMA journal_mode=WAL") || !Exec("PRAGMA synchronous=NORMAL") ||
        !Exec("PRAGMA temp_store=MEMORY") || !Exec("PRAGMA cache_size=-16384"))
        return false;
    return schemaFrom_ == kHistorySchemaVersion || Migrate(schemaFrom_);
}

bool HistoryDb::CheckSchema(HistoryAccess access) {
    Statement version(db_, "PRAGMA user_version");
    if (!version.ok()) return Fail("read", version.code());
    const int step = version.Step();
    if (step != SQLITE_ROW) return Fail("read", step);
    const auto v = static_cast<int32_t>(version.Int(0));
    Statement tables(db_,
                     "SELECT count(*) FROM sqlite_master WHERE type='table' AND name IN "
                     "('person', 'message', 'message_fts')");
    if (!tables.ok() || tables.Step() != SQLITE_ROW) return Fail("read", tables.code());
    const int64_t ours = tables.Int(0);
    Statement any(db_, "SELECT count(*) FROM sqlite_master");
    if (!any.ok() || any.Step() != SQLITE_ROW) return Fail("read", any.code());
    const int64_t objects = any.Int(0);
    if (v > kHistorySchemaVersion) {
        errorKind_ = HistoryError::kNewerSchema;
        error_ = "cannot use " + path_.string() + ": it was written by a newer Telvane (schema " +
                 std::to_string(v) + ")";
        return false;
    }
    if ((v == 0 && objects != 0) || (v > 0 && ours != 3)) {
        errorKind_ = HistoryError::kForeign;
        error_ = "cannot use " + path_.string() + ": it is not a Telvane message history";
        return false;
    }
    schemaFrom_ = v;
    if (v == kHistorySchemaVersion) return true;
    if (access == HistoryAccess::kRead) {
        if (v == 0) {
            errorKind_ = HistoryError::kForeign;
            error_ = "cannot use " + path_.string() + ": it holds no message history yet";
        } else {
            errorKind_ = HistoryError::kIo;
            error_ = "cannot read " + path_.string() + ": its schema " + std::to_string(v) +
                     " must first be brought up to date by a writer";
        }
        return false;
    }
    created_ = v == 0;
    return true;
}

bool HistoryDb::Migrate(int32_t from) {
    if (!Exec("BEGIN IMMEDIATE")) return false;
    for (int32_t v = from; v < kHistorySchemaVersion; ++v) {
        if (!Exec(kMigrations[v])) {
            sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
            return false;
        }
    }
    const std::string set = "PRAGMA user_version=" + std::to_string(kHistorySchemaVersion);
    if (!Exec(set.c_str()) || !Exec("COMMIT")) {
        sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
        return false;
    }
    return true;
}

bool HistoryDb::CreateAtSchemaForTest(const std::filesystem::path& path, int32_t version) {
    sqlite3* db = nullptr;
    bool ok = sqlite3_open(path.c_str(), &db) == SQLITE_OK;
    for (int32_t v = 0; ok && v < version; ++v)
        ok = sqlite3_exec(db, kMigrations[v], nullptr, nullptr, nullptr) == SQLITE_OK;
    const std::string set = "PRAGMA user_version=" + std::to_string(version);
    ok = ok && sqlite3_exec(db, set.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK;
    sqlite3_close(db);
    return ok;
}

void HistoryDb::LimitPagesForTest(int64_t pages) {
    if (db_ == nullptr) return;
    const std::string sql = "PRAGMA max_page_count=" + std::to_string(pages);
    sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, nullptr);
}

StoreResult HistoryDb::Store(const std::vector<HistoryMessage>& messages) {
    StoreResult result;
    if (db_ == nullptr) {
        result.ok = false;
        return result;
    }
    if (messages.empty()) return result;
    if (!Exec("BEGIN IMMEDIATE")) {
        result.ok = false;
        return result;
    }
    auto fail = [&](const char* operation, int code) {
        Fail(operation, code);
        sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
        return StoreResult{0, 0, false};
    };
    // Rows are numbered upwards: those above the largest number now are this batch's.
    Statement largest(db_, "SELECT IFNULL(max(id), 0) FROM message");
    Statement findPerson(db_, "SELECT id FROM person WHERE key = ?1");
    Statement addPerson(db_, "INSERT INTO person(key, number, name) VALUES(?1, ?2, ?3)");
    Statement find(db_,
                   "SELECT id, text, name, store, sim_index, delivery, unread, number FROM message "
                   "WHERE key = ?1");
    Statement add(db_,
                  "INSERT INTO message(key, person_id, number, name, direction, time, time_text, "
                  "text, store, sim_index, delivery, unread, smsc) "
                  "VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12, ?13) "
                  "ON CONFLICT(key) DO NOTHING");
    // A message once read stays read; a name once known is kept when a later copy lacks it.
    Statement update(db_,
                     "UPDATE message SET text = ?2, name = ?3, store = ?4, sim_index = ?5, "
                     "delivery = ?6, unread = ?7 WHERE id = ?1");
    // A person's newest message gives the number shown, the newest one with a name the name.
    Statement gain(db_,
                   "UPDATE person SET count = count + ?2, unread = unread + ?3, "
                   "number = CASE WHEN (?4, ?5) >= (last_time, last_id) THEN ?6 ELSE number END, "
                   "name = CASE WHEN ?9 <> '' AND (?7, ?8) >= (last_time, last_id) THEN ?9 "
                   "ELSE name END, "
                   "last_id = CASE WHEN (?4, ?5) >= (last_time, last_id) THEN ?5 ELSE last_id END, "
                   "last_time = MAX(last_time, ?4) WHERE id = ?1");
    // One statement for the whole batch: the index keeps its new entries in memory until the
    // statement ends, where a statement per message would write a segment each.
    Statement index(db_,
                    "INSERT INTO message_fts(rowid, text, number, name) "
                    "SELECT id, text, number, name FROM message WHERE id > ?1");
    for (Statement* s : {&largest, &findPerson, &addPerson, &find, &add, &update, &gain, &index})
        if (!s->ok()) return fail("write", s->code());
    if (largest.Step() != SQLITE_ROW) return fail("read", largest.code());
    int64_t indexedUpTo = largest.Int(0);
    int64_t lastAdded = indexedUpTo;
    // A row of this batch that changes again is indexed first: the change takes its old words
    // out of the index, which must then hold them.
    auto indexNew = [&] {
        if (lastAdded <= indexedUpTo) return true;
        index.Reset();
        index.Bind(1, indexedUpTo);
        if (index.Step() != SQLITE_DONE) return false;
        indexedUpTo = lastAdded;
        return true;
    };
    std::map<std::u16string, int64_t> people;
    std::map<int64_t, PersonGain> gains;
    for (const HistoryMessage& m : messages) {
        const std::u16string person = PersonKey(m.number);
        int64_t personId = 0;
        if (auto it = people.find(person); it != people.end()) {
            personId = it->second;
        } else {
            findPerson.Reset();
            findPerson.Bind(1, person);
            const int step = findPerson.Step();
            if (step == SQLITE_ROW) {
                personId = findPerson.Int(0);
            } else if (step == SQLITE_DONE) {
                addPerson.Reset();
                addPerson.Bind(1, person);
                addPerson.Bind(2, m.number);
                addPerson.Bind(3, m.name);
                if (addPerson.Step() != SQLITE_DONE) return fail("write", addPerson.code());
                personId = sqlite3_last_insert_rowid(db_);
            } else {
                return fail("read", step);
            }
            people[person] = personId;
        }
        // New messages go in at once; a key already stored is brought up to date below.
        add.Reset();
        add.Bind(1, m.key);
        add.Bind(2, personId);
        add.Bind(3, m.number);
        add.Bind(4, m.name);
        add.Bind(5, static_cast<int64_t>(m.direction));
        add.Bind(6, m.time);
        add.Bind(7, m.timeText);
        add.Bind(8, m.text);
        add.Bind(9, m.store);
        add.Bind(10, m.simIndex);
        add.Bind(11, m.delivery);
        add.Bind(12, m.unread ? 1 : 0);
        add.Bind(13, m.smsc);
        if (add.Step() != SQLITE_DONE) return fail("write", add.code());
        if (sqlite3_changes(db_) > 0) {
            ++result.added;
            PersonGain& g = gains[personId];
            ++g.count;
            g.unread += m.unread ? 1 : 0;
            lastAdded = sqlite3_last_insert_rowid(db_);
            const PageCursor at{m.time, lastAdded};
            if (Later(at, g.newest)) {
                g.newest = at;
                g.number = m.number;
            }
            if (!m.name.empty() && Later(at, g.newestNamed)) {
                g.newestNamed = at;
                g.name = m.name;
            }
            continue;
        }
        find.Reset();
        find.Bind(1, m.key);
        const int found = find.Step();
        if (found != SQLITE_ROW) return fail("read", found);
        const int64_t id = find.Int(0);
        const std::u16string name = m.name.empty() ? find.Text(2) : m.name;
        const bool unread = m.unread && find.Int(6) != 0;
        const std::u16string delivery = m.delivery.empty() ? find.Text(5) : m.delivery;
        if (find.Text(1) == m.text && find.Text(2) == name && find.Text(3) == m.store &&
            find.Int(4) == m.simIndex && find.Text(5) == delivery && (find.Int(6) != 0) == unread)
            continue;
        if (id > indexedUpTo && !indexNew()) return fail("write", index.code());
        update.Reset();
        update.Bind(1, id);
        update.Bind(2, m.text);
        update.Bind(3, name);
        update.Bind(4, m.store);
        update.Bind(5, m.simIndex);
        update.Bind(6, delivery);
        update.Bind(7, unread ? 1 : 0);
        if (update.Step() != SQLITE_DONE) return fail("write", update.code());
        ++result.updated;
    }
    for (const auto& [personId, g] : gains) {
        gain.Reset();
        gain.Bind(1, personId);
        gain.Bind(2, g.count);
        gain.Bind(3, g.unread);
        gain.Bind(4, g.newest.time);
        gain.Bind(5, g.newest.id);
        gain.Bind(6, g.number);
        gain.Bind(7, g.newestNamed.time);
        gain.Bind(8, g.newestNamed.id);
        gain.Bind(9, g.name);
        if (gain.Step() != SQLITE_DONE) return fail("write", gain.code());
    }
    if (!indexNew()) return fail("write", index.code());
    const int commit = sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr);
    if (commit != SQLITE_OK) return fail("write", commit);
    return result;
}

int64_t HistoryDb::Count() {
    if (db_ == nullptr) return -1;
    Statement s(db_, "SELECT count(*) FROM message");
    if (!s.ok()) return Fail("read", s.code()), -1;
    const int step = s.Step();
    if (step != SQLITE_ROW) return Fail("read", step), -1;
    return s.Int(0);
}

std::vector<std::u16string> SearchWords(std::u16string_view query) {
    std::vector<std::u16string> words;
    std::u16string word;
    for (char16_t c : query) {
        if (c == u' ' || c == u'\t' || c == u'\r' || c == u'\n' || c == u'\x3000') {
            if (!word.empty()) words.push_back(word);
            word.clear();
        } else if (c != u'"') {
            word += c;
        }
    }
    if (!word.empty()) words.push_back(word);
    return words;
}

TextMarks FindMarks(std::u16string_view text, const std::vector<std::u16string>& words) {
    TextMarks marks;
    for (const std::u16string& word : words) {
        if (word.empty() || word.size() > text.size()) continue;
        for (size_t at = 0; at + word.size() <= text.size(); ++at) {
            size_t i = 0;
            while (i < word.size() && Fold(text[at + i]) == Fold(word[i]))
                ++i;
            if (i == word.size()) {
                marks.emplace_back(static_cast<int32_t>(at), static_cast<int32_t>(word.size()));
                at += word.size() - 1;
            }
        }
    }
    std::sort(marks.begin(), marks.end());
    // Overlapping marks of two words become one.
    TextMarks merged;
    for (const auto& [at, length] : marks) {
        if (!merged.empty() && at <= merged.back().first + merged.back().second) {
            const int32_t end = std::max(merged.back().first + merged.back().second, at + length);
            merged.back().second = end - merged.back().first;
        } else {
            merged.emplace_back(at, length);
        }
    }
    return merged;
}

std::vector<HistoryHit> HistoryDb::Search(std::u16string_view query, int32_t limit,
                                          int32_t offset) {
    std::vector<HistoryHit> hits;
    if (db_ == nullptr) return hits;
    const std::vector<std::u16string> words = SearchWords(query);
    if (words.empty()) return hits;
    // The trigram index answers words of three characters or more; shorter ones are matched on
    // the rows the index (or, without a long word, the time order) gives.
    std::u16string match;
    std::vector<std::u16string> shortWords;
    for (const std::u16string& w : words) {
        if (w.size() >= 3) {
            if (!match.empty()) match += u" AND ";
            match += FtsPhrase(w);
        } else {
            shortWords.push_back(LikePattern(w));
        }
    }
    std::string sql = std::string("SELECT ") + kMessageColumns + " FROM message m";
    if (!match.empty())
        sql += " JOIN message_fts f ON f.rowid = m.id WHERE message_fts MATCH ?1";
    else
        sql += " WHERE 1";
    for (size_t i = 0; i < shortWords.size(); ++i) {
        const std::string p = "?" + std::to_string(i + 4);
        sql += " AND (m.text LIKE " + p + " ESCAPE '\\' OR m.number LIKE " + p +
               " ESCAPE '\\' OR m.name LIKE " + p + " ESCAPE '\\')";
    }
    sql += " ORDER BY m.time DESC, m.id DESC LIMIT ?2 OFFSET ?3";
    Statement s(db_, sql);
    if (!s.ok()) return Fail("search", s.code()), hits;
    if (!match.empty()) s.Bind(1, match);
    s.Bind(2, limit);
    s.Bind(3, offset);
    for (size_t i = 0; i < shortWords.size(); ++i)
        s.Bind(static_cast<int>(i + 4), shortWords[i]);
    int step = 0;
    while ((step = s.Step()) == SQLITE_ROW) {
        HistoryHit hit;
        hit.message = ReadMessageRow(s);
        hit.textMarks = FindMarks(hit.message.text, words);
        hit.numberMarks = FindMarks(hit.message.number, words);
        hit.nameMarks = FindMarks(hit.message.name, words);
        hits.push_back(std::move(hit));
    }
    if (step != SQLITE_DONE) Fail("search", step);
    return hits;
}

std::vector<Conversation> HistoryDb::Conversations(int32_t limit, std::optional<PageCursor> after) {
    std::vector<Conversation> out;
    if (db_ == nullptr) return out;
    std::string sql = ConversationQuery();
    if (after) sql += " WHERE (p.last_time, p.last_id) < (?2, ?3)";
    sql += " ORDER BY p.last_time DESC, p.last_id DESC LIMIT ?1";
    Statement s(db_, sql);
    if (!s.ok()) return Fail("read", s.code()), out;
    s.Bind(1, limit);
    if (after) {
        s.Bind(2, after->time);
        s.Bind(3, after->id);
    }
    int step = 0;
    while ((step = s.Step()) == SQLITE_ROW)
        out.push_back(ReadConversationRow(s));
    if (step != SQLITE_DONE) Fail("read", step);
    return out;
}

std::optional<Conversation> HistoryDb::ConversationOf(std::u16string_view number) {
    if (db_ == nullptr) return std::nullopt;
    Statement s(db_, ConversationQuery() + " WHERE p.key = ?1");
    if (!s.ok()) return Fail("read", s.code()), std::nullopt;
    s.Bind(1, PersonKey(number));
    if (s.Step() != SQLITE_ROW) return std::nullopt;
    return ReadConversationRow(s);
}

std::vector<HistoryMessage> HistoryDb::ReadMessages(const std::string& sql,
                                                    const std::vector<int64_t>& ints,
                                                    const std::u16string* text) {
    std::vector<HistoryMessage> out;
    if (db_ == nullptr) return out;
    Statement s(db_, sql);
    if (!s.ok()) return Fail("read", s.code()), out;
    int i = 1;
    for (int64_t v : ints)
        s.Bind(i++, v);
    if (text != nullptr) s.Bind(i, *text);
    int step = 0;
    while ((step = s.Step()) == SQLITE_ROW)
        out.push_back(ReadMessageRow(s));
    if (step != SQLITE_DONE) Fail("read", step);
    return out;
}

std::vector<HistoryMessage> HistoryDb::Messages(int64_t conversationId, int32_t limit,
                                                std::optional<PageCursor> before) {
    std::string sql =
        std::string("SELECT ") + kMessageColumns + " FROM message m WHERE m.person_id = ?1";
    std::vector<int64_t> ints = {conversationId, limit};
    if (before) {
        sql += " AND (m.time, m.id) < (?3, ?4)";
        ints.push_back(before->time);
        ints.push_back(before->id);
    }
    sql += " ORDER BY m.time DESC, m.id DESC LIMIT ?2";
    std::vector<HistoryMessage> out = ReadMessages(sql, ints);
    std::reverse(out.begin(), out.end());
    return out;
}

std::vector<HistoryMessage> HistoryDb::AllMessages(std::u16string_view number) {
    std::string sql = std::string("SELECT ") + kMessageColumns + " FROM message m";
    if (number.empty()) return ReadMessages(sql + " ORDER BY m.time, m.id", {});
    const std::u16string person = PersonKey(number);
    sql += " JOIN person p ON p.id = m.person_id WHERE p.key = ?1 ORDER BY m.time, m.id";
    return ReadMessages(sql, {}, &person);
}

std::optional<HistoryMessage> HistoryDb::Message(int64_t id) {
    auto rows = ReadMessages(
        std::string("SELECT ") + kMessageColumns + " FROM message m WHERE m.id = ?1", {id});
    if (rows.empty()) return std::nullopt;
    return rows.front();
}

bool HistoryDb::Delete(const std::vector<int64_t>& ids) {
    if (db_ == nullptr) return false;
    if (!Exec("BEGIN IMMEDIATE")) return false;
    Statement s(db_, "DELETE FROM message WHERE id = ?1");
    if (!s.ok()) return Fail("delete from", s.code()), Exec("ROLLBACK"), false;
    for (int64_t id : ids) {
        s.Reset();
        s.Bind(1, id);
        if (s.Step() != SQLITE_DONE) {
            Fail("delete from", s.code());
            sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
            return false;
        }
    }
    const int commit = sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr);
    if (commit != SQLITE_OK) {
        sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
        return Fail("delete from", commit);
    }
    return true;
}

bool HistoryDb::DeleteConversation(int64_t conversationId) {
    std::vector<int64_t> ids;
    for (const HistoryMessage& m : ReadMessages(
             "SELECT " + std::string(kMessageColumns) + " FROM message m WHERE m.person_id = ?1",
             {conversationId}))
        ids.push_back(m.id);
    return Delete(ids);
}

bool HistoryDb::MarkConversationRead(int64_t conversationId) {
    if (db_ == nullptr) return false;
    Statement s(db_, "UPDATE message SET unread = 0 WHERE person_id = ?1 AND unread <> 0");
    if (!s.ok()) return Fail("write", s.code());
    s.Bind(1, conversationId);
    const int step = s.Step();
    return step == SQLITE_DONE || Fail("write", step);
}

}  // namespace telvane
