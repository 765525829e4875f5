#include "Registry.h"

#include "AutoFunc.h"

#include <pthread.h>
#include <pwd.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

// The store is one SQLite database per user. Keys form a tree: every key row names its
// parent, and the three roots are the rows 1, 2 and 3 (no parent). Names are unique among
// siblings without regard to ASCII letter case (NOCASE folds ASCII letters only, as the
// rest of the library does). Values belong to a key; their row ids grow with creation,
// which gives the enumeration order, and overwriting a value keeps its row.
//
// One connection per process is kept open and guarded by a mutex. It is reopened when the
// configured path changes or names another file, dropped after any SQLite error (so a
// database repaired or replaced on disk is picked up), closed before fork() so that a
// child starts without inherited SQLite state, and closed by the "Exit" hook. Writes run in
// BEGIN IMMEDIATE transactions; other processes are waited for up to five seconds.

namespace {

enum Root : sqlite3_int64 { kCurrentUser = 1, kLocalMachine = 2, kClassesRoot = 3 };

constexpr int kReadBufferBytes = 500; // the text plus its terminating zero must fit
constexpr int kMaxEnumeratedName = 1023;
constexpr int kBusyTimeoutMs = 5000;
constexpr int kSchemaVersion = 1;

const char* const kSchema = R"sql(
CREATE TABLE IF NOT EXISTS regkey(
    id INTEGER PRIMARY KEY,
    parent INTEGER REFERENCES regkey(id),
    name TEXT NOT NULL COLLATE NOCASE,
    UNIQUE(parent, name));
CREATE TABLE IF NOT EXISTS regvalue(
    id INTEGER PRIMARY KEY,
    key INTEGER NOT NULL REFERENCES regkey(id),
    name TEXT NOT NULL COLLATE NOCASE,
    data TEXT NOT NULL,
    UNIQUE(key, name));
INSERT OR IGNORE INTO regkey(id, parent, name) VALUES
    (1, NULL, 'HKEY_CURRENT_USER'),
    (2, NULL, 'HKEY_LOCAL_MACHINE'),
    (3, NULL, 'HKEY_CLASSES_ROOT');
PRAGMA user_version = 1;
)sql";

enum Statement {
    kBeginImmediate,
    kCommit,
    kFindKey,
    kInsertKey,
    kReadValue,
    kWriteValue,
    kDeleteValue,
    kValueNames,
    kSubKeyNames,
    kStatementCount
};

const char* const kStatementText[kStatementCount] = {
    "BEGIN IMMEDIATE",
    "COMMIT",
    "SELECT id FROM regkey WHERE parent = ?1 AND name = ?2",
    "INSERT INTO regkey(parent, name) VALUES(?1, ?2)",
    "SELECT data FROM regvalue WHERE key = ?1 AND name = ?2",
    ("INSERT INTO regvalue(key, name, data) VALUES(?1, ?2, ?3) "
     "ON CONFLICT(key, name) DO UPDATE SET data = excluded.data"),
    "DELETE FROM regvalue WHERE key = ?1 AND name = ?2",
    "SELECT name FROM regvalue WHERE key = ?1 ORDER BY id",
    "SELECT name FROM regkey WHERE parent = ?1 ORDER BY name",
};

// What the database file looked like after this process last used it.
struct FileState {
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    struct timespec modified = {};
    struct timespec changed = {};

    bool operator==(const FileState& o) const {
        return device == o.device && inode == o.inode && size == o.size &&
               modified.tv_sec == o.modified.tv_sec && modified.tv_nsec == o.modified.tv_nsec &&
               changed.tv_sec == o.changed.tv_sec && changed.tv_nsec == o.changed.tv_nsec;
    }
};

// The process's connection and what it was opened on.
struct Store {
    std::mutex mutex;
    sqlite3* db = nullptr;
    std::string path;
    pid_t pid = 0;
    FileState file;
    sqlite3_stmt* statements[kStatementCount] = {};
};

bool fileState(const std::string& path, FileState* state) {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0)
        return false;
    state->device = st.st_dev;
    state->inode = st.st_ino;
    state->size = st.st_size;
    state->modified = st.st_mtim;
    state->changed = st.st_ctim;
    return true;
}

// Closes the connection. Without `checkpoint` the log is left as it is for a later
// checkpoint, so nothing is written to a file that may have changed under us.
void closeConnection(Store& s, bool checkpoint = false) {
    if (s.db && checkpoint)
        sqlite3_db_config(s.db, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 0, nullptr);
    for (sqlite3_stmt*& st : s.statements) {
        sqlite3_finalize(st);
        st = nullptr;
    }
    sqlite3_close(s.db);
    s.db = nullptr;
    s.path.clear();
}

// A connection inherited through fork() belongs to the parent: it is left alone (neither
// used nor closed, which could disturb the parent's locks) and forgotten.
void forgetConnection(Store& s) {
    for (sqlite3_stmt*& st : s.statements)
        st = nullptr;
    s.db = nullptr;
    s.path.clear();
}

Store& store();

// The child of a fork() must not share the parent's SQLite state (open files, locks,
// the shared-memory index of the log), so the connection is closed first.
void lockBeforeFork() {
    Store& s = store();
    s.mutex.lock();
    if (s.db && s.pid == ::getpid())
        closeConnection(s);
}
void unlockAfterFork() {
    store().mutex.unlock();
}

// Never destroyed, so a call from another module's static destructor still finds it.
Store& store() {
    static Store* s = [] {
        Store* created = new Store;
        ::pthread_atfork(lockBeforeFork, unlockAfterFork, unlockAfterFork);
        return created;
    }();
    return *s;
}

// "Exit": close the connection, folding the log into the database when the file is as
// this process left it; a later call opens it again.
void closeRegistry(void*) {
    Store& s = store();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (s.db && s.pid == ::getpid()) {
        FileState now;
        closeConnection(s, fileState(s.path, &now) && now == s.file);
    }
}

AutoFunc g_exitHook("Exit", closeRegistry);

const char* nonEmptyEnv(const char* name) {
    const char* v = std::getenv(name);
    return v && *v ? v : nullptr;
}

// The database path: $NORVANE_REGISTRY, else $XDG_CONFIG_HOME/norvane/registry.sqlite (an
// absolute XDG_CONFIG_HOME only), else ~/.config/norvane/registry.sqlite. *defaultPlace
// tells whether the path is one of the last two, whose folders are created on demand.
std::string registryPath(bool* defaultPlace) {
    *defaultPlace = false;
    if (const char* explicitPath = nonEmptyEnv("NORVANE_REGISTRY"))
        return explicitPath;
    std::string base;
    if (const char* xdg = nonEmptyEnv("XDG_CONFIG_HOME"); xdg && xdg[0] == '/') {
        base = xdg;
    } else {
        std::string home;
        if (const char* h = nonEmptyEnv("HOME")) {
            home = h;
        } else {
            struct passwd pw;
            struct passwd* found = nullptr;
            std::vector<char> buffer(16384);
            if (::getpwuid_r(::getuid(), &pw, buffer.data(), buffer.size(), &found) == 0 && found &&
                found->pw_dir)
                home = found->pw_dir;
        }
        if (home.empty())
            return std::string();
        base = home + "/.config";
    }
    *defaultPlace = true;
    return base + "/norvane/registry.sqlite";
}

// Creates every missing folder above the file `path` names (mode 0700, private to the user).
void makeParentFolders(const std::string& path) {
    for (std::size_t slash = path.find('/', 1); slash != std::string::npos;
         slash = path.find('/', slash + 1)) {
        std::string folder = path.substr(0, slash);
        if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST)
            return;
    }
}

int execute(sqlite3* db, const char* sql) {
    return sqlite3_exec(db, sql, nullptr, nullptr, nullptr);
}

int schemaVersion(sqlite3* db, int* version) {
    sqlite3_stmt* st = nullptr;
    int rc = sqlite3_prepare_v2(db, "PRAGMA user_version", -1, &st, nullptr);
    if (rc == SQLITE_OK) {
        rc = sqlite3_step(st);
        if (rc == SQLITE_ROW) {
            *version = sqlite3_column_int(st, 0);
            rc = SQLITE_OK;
        }
    }
    sqlite3_finalize(st);
    return rc;
}

// Opens the database at `path` and makes sure the tables exist; false (nothing kept open)
// when the file cannot be opened, is not a database, or the tables cannot be made.
bool openConnection(Store& s, const std::string& path, bool defaultPlace) {
    if (defaultPlace)
        makeParentFolders(path);
    sqlite3* db = nullptr;
    int rc =
        sqlite3_open_v2(path.c_str(), &db,
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
    int version = 0;
    if (rc == SQLITE_OK)
        rc = sqlite3_busy_timeout(db, kBusyTimeoutMs);
    if (rc == SQLITE_OK)
        rc = schemaVersion(db, &version); // a file that is no database fails here
    if (rc == SQLITE_OK) {
        // Readers never wait for a writer, and a commit needs no flush to disk; a crash of
        // the machine may lose the latest commits, never the database. Where the file
        // system cannot hold a write-ahead log the rollback journal stays.
        execute(db, "PRAGMA journal_mode = WAL");
        rc = execute(db, "PRAGMA synchronous = NORMAL");
        if (rc == SQLITE_OK)
            rc = sqlite3_db_config(db, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
    }
    if (rc == SQLITE_OK && version < kSchemaVersion) {
        rc = execute(db, "BEGIN IMMEDIATE");
        if (rc == SQLITE_OK) {
            rc = execute(db, kSchema);
            if (rc == SQLITE_OK)
                rc = execute(db, "COMMIT");
            if (rc != SQLITE_OK)
                execute(db, "ROLLBACK");
        }
    }
    FileState file;
    if (rc != SQLITE_OK || !fileState(path, &file)) {
        sqlite3_close(db);
        return false;
    }
    s.db = db;
    s.path = path;
    s.pid = ::getpid();
    s.file = file;
    return true;
}

// The connection for the path configured now, opened if needed; null when the store
// cannot be used. The mutex must be held.
sqlite3* connection(Store& s) {
    bool defaultPlace = false;
    std::string path = registryPath(&defaultPlace);
    if (s.db && s.pid != ::getpid())
        forgetConnection(s);
    if (s.db) {
        // A file replaced, removed or changed by another process since this connection
        // last used it is opened afresh: SQLite would otherwise go on trusting its cache
        // of a file that was overwritten in place.
        FileState now;
        bool unchanged = fileState(s.path, &now) && now == s.file;
        if (s.path != path || !unchanged)
            closeConnection(s, unchanged);
    }
    if (!s.db && (path.empty() || !openConnection(s, path, defaultPlace)))
        return nullptr;
    return s.db;
}

// A prepared statement of the connection, reset and unbound when the holder goes.
class Query {
public:
    Query(Store& s, Statement which) {
        sqlite3_stmt*& slot = s.statements[which];
        if (!slot && sqlite3_prepare_v3(s.db, kStatementText[which], -1, SQLITE_PREPARE_PERSISTENT,
                                        &slot, nullptr) != SQLITE_OK)
            slot = nullptr;
        m_st = slot;
    }
    ~Query() {
        if (m_st) {
            sqlite3_reset(m_st);
            sqlite3_clear_bindings(m_st);
        }
    }
    Query(const Query&) = delete;
    Query& operator=(const Query&) = delete;

    bool ok() const { return m_st != nullptr; }
    bool bind(int index, sqlite3_int64 v) { return sqlite3_bind_int64(m_st, index, v) == 0; }
    bool bind(int index, std::string_view text) {
        return sqlite3_bind_text64(m_st, index, text.data(), text.size(), SQLITE_TRANSIENT,
                                   SQLITE_UTF8) == SQLITE_OK;
    }
    /// SQLITE_ROW, SQLITE_DONE or an error code.
    int step() { return m_st ? sqlite3_step(m_st) : SQLITE_ERROR; }
    sqlite3_int64 integer(int column) const { return sqlite3_column_int64(m_st, column); }
    std::string_view text(int column) const {
        const unsigned char* t = sqlite3_column_text(m_st, column);
        int n = sqlite3_column_bytes(m_st, column);
        return t ? std::string_view(reinterpret_cast<const char*>(t), static_cast<size_t>(n))
                 : std::string_view();
    }

private:
    sqlite3_stmt* m_st = nullptr;
};

bool run(Store& s, Statement which) {
    Query q(s, which);
    return q.step() == SQLITE_DONE;
}

enum class Lookup { Found, Missing, Failed };

// Walks the key path below `root` (components separated by '/' or '\', empty ones
// ignored), creating missing keys when `create` is set.
Lookup findKey(Store& s, Root root, const char* path, bool create, sqlite3_int64* id) {
    sqlite3_int64 current = root;
    std::string_view rest(path);
    while (!rest.empty()) {
        std::size_t end = rest.find_first_of("/\\");
        std::string_view name = rest.substr(0, end);
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
        if (name.empty())
            continue;
        Query find(s, kFindKey);
        if (!find.ok() || !find.bind(1, current) || !find.bind(2, name))
            return Lookup::Failed;
        int rc = find.step();
        if (rc == SQLITE_ROW) {
            current = find.integer(0);
            continue;
        }
        if (rc != SQLITE_DONE)
            return Lookup::Failed;
        if (!create)
            return Lookup::Missing;
        Query insert(s, kInsertKey);
        if (!insert.ok() || !insert.bind(1, current) || !insert.bind(2, name) ||
            insert.step() != SQLITE_DONE)
            return Lookup::Failed;
        current = sqlite3_last_insert_rowid(s.db);
    }
    *id = current;
    return Lookup::Found;
}

// Runs `work` with the connection under the store's lock and returns its result. `work`
// sets *failed when SQLite reported an error; the connection is then dropped (an open
// transaction rolled back) so that the next call starts afresh.
template <class Work> bool withStore(Work&& work) {
    Store& s = store();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (!connection(s))
        return false;
    bool failed = false;
    bool result = work(s, &failed);
    if (failed && s.db) {
        if (!sqlite3_get_autocommit(s.db))
            execute(s.db, "ROLLBACK");
        closeConnection(s);
    } else if (s.db && !fileState(s.path, &s.file)) {
        closeConnection(s);
    }
    return result;
}

bool readValue(Root root, const JString& key, const JString& name, JString* value) {
    if (!value)
        return false;
    return withStore([&](Store& s, bool* failed) {
        sqlite3_int64 id = 0;
        Lookup found = findKey(s, root, *key, false, &id);
        if (found != Lookup::Found) {
            *failed = found == Lookup::Failed;
            return false;
        }
        Query q(s, kReadValue);
        if (!q.ok() || !q.bind(1, id) || !q.bind(2, *name)) {
            *failed = true;
            return false;
        }
        int rc = q.step();
        if (rc != SQLITE_ROW) {
            *failed = rc != SQLITE_DONE;
            return false;
        }
        std::string_view text = q.text(0);
        if (text.size() + 1 > static_cast<std::size_t>(kReadBufferBytes))
            return false;
        *value = JString(text.data(), static_cast<int>(text.size()));
        return true;
    });
}

bool writeValue(Root root, const JString& key, const JString& name, const JString& value) {
    return withStore([&](Store& s, bool* failed) {
        if (!run(s, kBeginImmediate)) {
            *failed = true;
            return false;
        }
        sqlite3_int64 id = 0;
        bool ok = findKey(s, root, *key, true, &id) == Lookup::Found;
        if (ok) {
            Query q(s, kWriteValue);
            ok = q.ok() && q.bind(1, id) && q.bind(2, *name) && q.bind(3, *value) &&
                 q.step() == SQLITE_DONE;
        }
        ok = ok && run(s, kCommit);
        *failed = !ok;
        return ok;
    });
}

bool deleteValue(Root root, const JString& key, const JString& name) {
    return withStore([&](Store& s, bool* failed) {
        sqlite3_int64 id = 0;
        Lookup found = findKey(s, root, *key, false, &id);
        if (found != Lookup::Found) {
            *failed = found == Lookup::Failed;
            return false;
        }
        Query q(s, kDeleteValue);
        if (!q.ok() || !q.bind(1, id) || !q.bind(2, *name) || q.step() != SQLITE_DONE) {
            *failed = true;
            return false;
        }
        return sqlite3_changes(s.db) > 0;
    });
}

// Appends the names the statement lists for the key, in order, up to the first name longer
// than the enumeration buffer takes: that one ends the enumeration, as a failed index does.
// True when at least one was appended.
bool listNames(Root root, const JString& key, Statement which, YList<JString>* names) {
    if (!names)
        return false;
    return withStore([&](Store& s, bool* failed) {
        sqlite3_int64 id = 0;
        Lookup found = findKey(s, root, *key, false, &id);
        if (found != Lookup::Found) {
            *failed = found == Lookup::Failed;
            return false;
        }
        Query q(s, which);
        if (!q.ok() || !q.bind(1, id)) {
            *failed = true;
            return false;
        }
        bool any = false;
        int rc;
        while ((rc = q.step()) == SQLITE_ROW) {
            std::string_view name = q.text(0);
            if (name.size() > static_cast<std::size_t>(kMaxEnumeratedName))
                break;
            names->push_back(JString(name.data(), static_cast<int>(name.size())));
            any = true;
        }
        // The names read before a failure are still handed out.
        *failed = rc != SQLITE_DONE && rc != SQLITE_ROW;
        return any;
    });
}

} // namespace

bool sp_ReadCurrentUserValue(const JString& key, const JString& name, JString* value) {
    return readValue(kCurrentUser, key, name, value);
}
bool sp_ReadLocalMachineValue(const JString& key, const JString& name, JString* value) {
    return readValue(kLocalMachine, key, name, value);
}
bool sp_ReadClassesRootValue(const JString& key, const JString& name, JString* value) {
    return readValue(kClassesRoot, key, name, value);
}

bool sp_WriteCurrentUserValue(const JString& key, const JString& name, const JString& value) {
    return writeValue(kCurrentUser, key, name, value);
}
bool sp_WriteLocalMachineValue(const JString& key, const JString& name, const JString& value) {
    return writeValue(kLocalMachine, key, name, value);
}
bool sp_WriteClassesRootValue(const JString& key, const JString& name, const JString& value) {
    return writeValue(kClassesRoot, key, name, value);
}

bool sp_DeleteCurrentUserValue(const JString& key, const JString& name) {
    return deleteValue(kCurrentUser, key, name);
}
bool sp_DeleteLocalMachineValue(const JString& key, const JString& name) {
    return deleteValue(kLocalMachine, key, name);
}

bool sp_GetCurrentUserValueNames(const JString& key, YList<JString>* names) {
    return listNames(kCurrentUser, key, kValueNames, names);
}
bool sp_GetCurrentUserSubKeyNames(const JString& key, YList<JString>* names) {
    return listNames(kCurrentUser, key, kSubKeyNames, names);
}
bool sp_GetClassesRootSubKeyNames(const JString& key, YList<JString>* names) {
    return listNames(kClassesRoot, key, kSubKeyNames, names);
}
