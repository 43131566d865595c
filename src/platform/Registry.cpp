#include "platform/Registry.h"

#include "platform/PrivateFiles.h"
#include "platform/SysError.h"
#include "platform/Text.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <unistd.h>

#include <filesystem>
#include <optional>

namespace platform {

namespace {

std::string fold(const std::string& s) {
    return lowerText(s);
}

bool validRoot(RegRoot root) {
    switch (root) {
    case RegRoot::ClassesRoot:
    case RegRoot::CurrentUser:
    case RegRoot::LocalMachine:
    case RegRoot::Users:
    case RegRoot::CurrentConfig:
    case RegRoot::DynData:
        return true;
    }
    return false;
}

// Splits "A\B\C" into its levels; a leading or trailing "\" is ignored. False for an empty level
// in the middle ("A\\B").
bool splitPath(const std::string& path, std::vector<std::string>& parts) {
    parts.clear();
    std::size_t b = 0, e = path.size();
    while (b < e && path[b] == '\\')
        ++b;
    while (e > b && path[e - 1] == '\\')
        --e;
    if (b == e)
        return true;
    std::size_t start = b;
    for (std::size_t i = b; i <= e; ++i) {
        if (i == e || path[i] == '\\') {
            if (i == start)
                return false;
            parts.push_back(path.substr(start, i - start));
            start = i + 1;
        }
    }
    return true;
}

// A prepared statement that finalises itself.
class Stmt final {
public:
    Stmt(sqlite3* db, const char* sql) {
        if (sqlite3_prepare_v2(db, sql, -1, &m_s, nullptr) != SQLITE_OK)
            m_s = nullptr;
    }
    ~Stmt() { sqlite3_finalize(m_s); }
    Stmt(const Stmt&) = delete;
    Stmt& operator=(const Stmt&) = delete;
    bool ok() const { return m_s != nullptr; }
    Stmt& bind(int i, sqlite3_int64 v) {
        if (m_s)
            sqlite3_bind_int64(m_s, i, v);
        return *this;
    }
    Stmt& bind(int i, const std::string& v) {
        if (m_s)
            sqlite3_bind_text(m_s, i, v.data(), static_cast<int>(v.size()), SQLITE_TRANSIENT);
        return *this;
    }
    Stmt& bindBlob(int i, const std::string& v) {
        if (m_s)
            sqlite3_bind_blob(m_s, i, v.data(), static_cast<int>(v.size()), SQLITE_TRANSIENT);
        return *this;
    }
    int step() { return m_s ? sqlite3_step(m_s) : SQLITE_ERROR; }
    sqlite3_int64 integer(int col) const { return sqlite3_column_int64(m_s, col); }
    std::string text(int col) const {
        const void* p = sqlite3_column_blob(m_s, col);
        const int n = sqlite3_column_bytes(m_s, col);
        return p ? std::string(static_cast<const char*>(p), static_cast<std::size_t>(n)) : std::string();
    }

private:
    sqlite3_stmt* m_s = nullptr;
};

bool exec(sqlite3* db, const char* sql) {
    return sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

// The id of the root's own key row (created when the database is opened).
std::optional<sqlite3_int64> rootId(sqlite3* db, RegRoot root) {
    Stmt s(db, "SELECT id FROM keys WHERE parent IS NULL AND root = ?1");
    s.bind(1, static_cast<sqlite3_int64>(root));
    if (s.step() == SQLITE_ROW)
        return s.integer(0);
    return std::nullopt;
}

std::optional<sqlite3_int64> childId(sqlite3* db, sqlite3_int64 parent, const std::string& name) {
    Stmt s(db, "SELECT id FROM keys WHERE parent = ?1 AND folded = ?2");
    s.bind(1, parent).bind(2, fold(name));
    if (s.step() == SQLITE_ROW)
        return s.integer(0);
    return std::nullopt;
}

// Resolves a key path level by level; a missing level is created when `create` is set and is
// status 2 otherwise. Status 0 with the id, 87 for a bad path.
long walkKey(sqlite3* db, RegRoot root, const std::string& path, bool create, sqlite3_int64& id) {
    if (!db)
        return kRegBadDatabase;
    if (!validRoot(root))
        return kRegInvalidParameter;
    std::vector<std::string> parts;
    if (!splitPath(path, parts))
        return kRegInvalidParameter;
    auto cur = rootId(db, root);
    if (!cur)
        return kRegBadDatabase;
    for (const auto& p : parts) {
        auto next = childId(db, *cur, p);
        if (!next) {
            if (!create)
                return kRegNotFound;
            Stmt ins(db, "INSERT INTO keys(parent, root, name, folded) VALUES(?1, ?2, ?3, ?4)");
            ins.bind(1, *cur).bind(2, static_cast<sqlite3_int64>(root)).bind(3, p).bind(4, fold(p));
            if (ins.step() != SQLITE_DONE)
                return kRegBadDatabase;
            next = sqlite3_last_insert_rowid(db);
        }
        cur = next;
    }
    id = *cur;
    return kRegSuccess;
}

long findKey(sqlite3* db, RegRoot root, const std::string& path, sqlite3_int64& id) {
    return walkKey(db, root, path, false, id);
}

// Runs `body` inside one BEGIN IMMEDIATE transaction; commits on success, rolls back otherwise.
template <typename F> long transaction(sqlite3* db, F body) {
    if (!db)
        return kRegBadDatabase;
    if (!exec(db, "BEGIN IMMEDIATE"))
        return kRegBadDatabase;
    long rc = body();
    if (rc == kRegSuccess) {
        if (!exec(db, "COMMIT")) {
            exec(db, "ROLLBACK");
            return kRegBadDatabase;
        }
    } else {
        exec(db, "ROLLBACK");
    }
    return rc;
}

long createKeyIn(sqlite3* db, RegRoot root, const std::string& path, sqlite3_int64& id) {
    return walkKey(db, root, path, true, id);
}

long setValueIn(sqlite3* db, sqlite3_int64 key, const std::string& name, const RegValue& value) {
    // An existing value keeps its place in the order and the case of its first name.
    Stmt upd(db, "UPDATE vals SET type = ?1, data = ?2 WHERE key = ?3 AND folded = ?4");
    upd.bind(1, value.type).bindBlob(2, value.data).bind(3, key).bind(4, fold(name));
    if (upd.step() != SQLITE_DONE)
        return kRegBadDatabase;
    if (sqlite3_changes(db) > 0)
        return kRegSuccess;
    Stmt ins(db, "INSERT INTO vals(key, name, folded, type, data) VALUES(?1, ?2, ?3, ?4, ?5)");
    ins.bind(1, key).bind(2, name).bind(3, fold(name)).bind(4, value.type).bindBlob(5, value.data);
    return ins.step() == SQLITE_DONE ? kRegSuccess : kRegBadDatabase;
}

// Writes the value, creating its key (and the keys above it) where missing, in one transaction.
long setValueCreatingKey(sqlite3* db, RegRoot root, const std::string& keyPath, const std::string& name,
                         const RegValue& value) {
    return transaction(db, [&]() -> long {
        sqlite3_int64 id = 0;
        const long rc = createKeyIn(db, root, keyPath, id);
        if (rc != kRegSuccess)
            return rc;
        return setValueIn(db, id, name, value);
    });
}

// Deletes the key and everything beneath it (values go with their keys), inside a transaction.
long deleteKeyIn(sqlite3* db, RegRoot root, const std::string& keyPath) {
    sqlite3_int64 id = 0;
    const long rc = findKey(db, root, keyPath, id);
    if (rc != kRegSuccess)
        return rc;
    Stmt delVals(db, "WITH RECURSIVE sub(id) AS (SELECT ?1 UNION ALL SELECT k.id FROM keys k JOIN sub ON "
                     "k.parent = sub.id) DELETE FROM vals WHERE key IN (SELECT id FROM sub)");
    delVals.bind(1, id);
    if (delVals.step() != SQLITE_DONE)
        return kRegBadDatabase;
    Stmt delKeys(db, "WITH RECURSIVE sub(id) AS (SELECT ?1 UNION ALL SELECT k.id FROM keys k JOIN sub ON "
                     "k.parent = sub.id) DELETE FROM keys WHERE id IN (SELECT id FROM sub)");
    delKeys.bind(1, id);
    return delKeys.step() == SQLITE_DONE ? kRegSuccess : kRegBadDatabase;
}

// The names a query over the key's id (?1) gives, in its order; none for a missing key.
std::vector<std::string> namesOf(sqlite3* db, RegRoot root, const std::string& keyPath, const char* sql) {
    std::vector<std::string> out;
    sqlite3_int64 id = 0;
    if (findKey(db, root, keyPath, id) != kRegSuccess)
        return out;
    Stmt s(db, sql);
    s.bind(1, id);
    while (s.step() == SQLITE_ROW)
        out.push_back(s.text(0));
    return out;
}

constexpr RegRoot kRoots[] = {RegRoot::ClassesRoot, RegRoot::CurrentUser,   RegRoot::LocalMachine,
                              RegRoot::Users,       RegRoot::CurrentConfig, RegRoot::DynData};

} // namespace

Registry::Registry(const std::string& hostFile) : m_file(hostFile) {
    // The folder 0700 and the file 0600 whatever the umask (SQLite gives its journal the file's mode).
    const auto folder = std::filesystem::path(hostFile).parent_path();
    std::error_code ec;
    if (!folder.empty() && !std::filesystem::exists(folder, ec)) {
        try {
            MakePrivateFolder(folder.string());
        } catch (const SysError&) {
            return; // no database: every call reports kRegBadDatabase
        }
    }
    const int fd = OpenPrivateFile(hostFile, O_RDWR);
    if (fd < 0)
        return;
    ::close(fd);
    if (sqlite3_open_v2(hostFile.c_str(), &m_db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX,
                        nullptr) != SQLITE_OK) {
        sqlite3_close(m_db);
        m_db = nullptr;
        return;
    }
    sqlite3_busy_timeout(m_db, 5000);
    // A rollback journal with full syncs: every committed change is on disk, on any filesystem.
    exec(m_db, "PRAGMA journal_mode=DELETE");
    exec(m_db, "PRAGMA synchronous=FULL");
    exec(m_db, "PRAGMA foreign_keys=ON");
    // Whatever is replaced or deleted is overwritten in the file, not left in its free pages: an old
    // form of a secret must not stay readable after it was taken over.
    exec(m_db, "PRAGMA secure_delete=ON");
    const long rc = transaction(m_db, [this]() -> long {
        if (!exec(m_db, "CREATE TABLE IF NOT EXISTS keys("
                        " id INTEGER PRIMARY KEY AUTOINCREMENT,"
                        " parent INTEGER REFERENCES keys(id) ON DELETE CASCADE,"
                        " root INTEGER NOT NULL,"
                        " name TEXT NOT NULL,"
                        " folded TEXT NOT NULL,"
                        " UNIQUE(root, parent, folded))") ||
            !exec(m_db, "CREATE TABLE IF NOT EXISTS vals("
                        " id INTEGER PRIMARY KEY AUTOINCREMENT,"
                        " key INTEGER NOT NULL REFERENCES keys(id) ON DELETE CASCADE,"
                        " name TEXT NOT NULL,"
                        " folded TEXT NOT NULL,"
                        " type INTEGER NOT NULL,"
                        " data BLOB,"
                        " UNIQUE(key, folded))") ||
            !exec(m_db, "CREATE INDEX IF NOT EXISTS keys_parent ON keys(parent)"))
            return kRegBadDatabase;
        for (RegRoot r : kRoots) {
            if (rootId(m_db, r))
                continue;
            Stmt ins(m_db, "INSERT INTO keys(parent, root, name, folded) VALUES(NULL, ?1, '', '')");
            ins.bind(1, static_cast<sqlite3_int64>(r));
            if (ins.step() != SQLITE_DONE)
                return kRegBadDatabase;
        }
        return kRegSuccess;
    });
    if (rc != kRegSuccess) {
        sqlite3_close(m_db);
        m_db = nullptr;
    }
}

Registry::~Registry() {
    sqlite3_close(m_db);
}

long Registry::createKey(RegRoot root, const std::string& keyPath) {
    return transaction(m_db, [&]() -> long {
        sqlite3_int64 id = 0;
        return createKeyIn(m_db, root, keyPath, id);
    });
}

bool Registry::keyExists(RegRoot root, const std::string& keyPath) const {
    sqlite3_int64 id = 0;
    return findKey(m_db, root, keyPath, id) == kRegSuccess;
}

long Registry::deleteKey(RegRoot root, const std::string& keyPath) {
    std::vector<std::string> parts;
    if (!splitPath(keyPath, parts) || parts.empty())
        return kRegInvalidParameter; // a root itself cannot be deleted
    return transaction(m_db, [&]() -> long { return deleteKeyIn(m_db, root, keyPath); });
}

long Registry::setValue(RegRoot root, const std::string& keyPath, const std::string& name, const RegValue& value) {
    return transaction(m_db, [&]() -> long {
        sqlite3_int64 id = 0;
        const long rc = findKey(m_db, root, keyPath, id);
        if (rc != kRegSuccess)
            return rc;
        return setValueIn(m_db, id, name, value);
    });
}

long Registry::queryValue(RegRoot root, const std::string& keyPath, const std::string& name, RegValue& out) const {
    sqlite3_int64 id = 0;
    const long rc = findKey(m_db, root, keyPath, id);
    if (rc != kRegSuccess)
        return rc;
    Stmt s(m_db, "SELECT type, data FROM vals WHERE key = ?1 AND folded = ?2");
    s.bind(1, id).bind(2, fold(name));
    const int st = s.step();
    if (st == SQLITE_ROW) {
        out.type = static_cast<int>(s.integer(0));
        out.data = s.text(1);
        return kRegSuccess;
    }
    return st == SQLITE_DONE ? kRegNotFound : kRegBadDatabase;
}

long Registry::deleteValue(RegRoot root, const std::string& keyPath, const std::string& name) {
    return transaction(m_db, [&]() -> long {
        sqlite3_int64 id = 0;
        const long rc = findKey(m_db, root, keyPath, id);
        if (rc != kRegSuccess)
            return rc;
        Stmt s(m_db, "DELETE FROM vals WHERE key = ?1 AND folded = ?2");
        s.bind(1, id).bind(2, fold(name));
        if (s.step() != SQLITE_DONE)
            return kRegBadDatabase;
        return sqlite3_changes(m_db) > 0 ? kRegSuccess : kRegNotFound;
    });
}

std::vector<std::string> Registry::subkeys(RegRoot root, const std::string& keyPath) const {
    return namesOf(m_db, root, keyPath, "SELECT name FROM keys WHERE parent = ?1 ORDER BY id");
}

std::vector<std::string> Registry::valueNames(RegRoot root, const std::string& keyPath) const {
    return namesOf(m_db, root, keyPath, "SELECT name FROM vals WHERE key = ?1 ORDER BY id");
}

long Registry::setString(RegRoot root, const std::string& keyPath, const std::string& name, const std::string& data) {
    return setValueCreatingKey(m_db, root, keyPath, name, RegValue{REG_SZ, data});
}

long Registry::setValues(RegRoot root, const std::vector<RegWrite>& writes) {
    return transaction(m_db, [&]() -> long {
        for (const RegWrite& w : writes) {
            sqlite3_int64 id = 0;
            long rc = createKeyIn(m_db, root, w.keyPath, id);
            if (rc == kRegSuccess)
                rc = setValueIn(m_db, id, w.name, w.value);
            if (rc != kRegSuccess)
                return rc;
        }
        return kRegSuccess;
    });
}

long Registry::apply(RegRoot root, const std::vector<RegExpect>& expected, const std::vector<RegChange>& changes,
                     const std::vector<std::string>& removedKeys) {
    return transaction(m_db, [&]() -> long {
        for (const RegExpect& e : expected) {
            RegValue now;
            const long rc = queryValue(root, e.keyPath, e.name, now);
            if (rc != kRegSuccess && rc != kRegNotFound)
                return rc;
            const bool same = e.value ? rc == kRegSuccess && now.type == e.value->type && now.data == e.value->data
                                      : rc == kRegNotFound;
            if (!same)
                return kRegChanged;
        }
        std::size_t made = 0;
        for (const RegChange& c : changes) {
            sqlite3_int64 id = 0;
            if (c.value) {
                long rc = createKeyIn(m_db, root, c.keyPath, id);
                if (rc == kRegSuccess)
                    rc = setValueIn(m_db, id, c.name, *c.value);
                if (rc != kRegSuccess)
                    return rc;
            } else {
                const long rc = findKey(m_db, root, c.keyPath, id);
                if (rc == kRegSuccess) {
                    Stmt s(m_db, "DELETE FROM vals WHERE key = ?1 AND folded = ?2");
                    s.bind(1, id).bind(2, fold(c.name));
                    if (s.step() != SQLITE_DONE)
                        return kRegBadDatabase;
                } else if (rc != kRegNotFound) {
                    return rc;
                }
            }
            ++made;
            if (m_changeHook && !m_changeHook(made))
                return kRegBadDatabase;
        }
        for (const std::string& keyPath : removedKeys) {
            std::vector<std::string> parts;
            if (!splitPath(keyPath, parts) || parts.empty())
                return kRegInvalidParameter; // a root itself cannot be deleted
            const long rc = deleteKeyIn(m_db, root, keyPath);
            if (rc != kRegSuccess && rc != kRegNotFound)
                return rc;
            ++made;
            if (m_changeHook && !m_changeHook(made))
                return kRegBadDatabase;
        }
        return kRegSuccess;
    });
}

long Registry::setDword(RegRoot root, const std::string& keyPath, const std::string& name, std::uint32_t data) {
    std::string bytes(4, '\0');
    for (int i = 0; i < 4; ++i)
        bytes[static_cast<std::size_t>(i)] = static_cast<char>((data >> (8 * i)) & 0xFF);
    return setValueCreatingKey(m_db, root, keyPath, name, RegValue{REG_DWORD, bytes});
}

} // namespace platform
