#pragma once
// A small registry in SQLite: predefined roots, keys and values with names matched without regard
// to case, REG_SZ / REG_DWORD / REG_BINARY values that enumerate in creation order. Every change is
// one transaction; a busy timeout lets two processes share the database file.
// Status codes follow the platform's: 0 success, 2 not found, 5 access denied, 87 invalid parameter,
// 1009/1016 database failure.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

struct sqlite3;

namespace platform {

enum class RegRoot : std::uint32_t {
    ClassesRoot = 0x80000000u,   // HKCR
    CurrentUser = 0x80000001u,   // HKCU
    LocalMachine = 0x80000002u,  // HKLM
    Users = 0x80000003u,         // HKU
    CurrentConfig = 0x80000005u, // HKCC
    DynData = 0x80000006u,       // HKDD
};

enum RegType : int { REG_NONE = 0, REG_SZ = 1, REG_BINARY = 3, REG_DWORD = 4 };

constexpr long kRegSuccess = 0;
constexpr long kRegNotFound = 2;
constexpr long kRegAccessDenied = 5;
constexpr long kRegInvalidParameter = 87;
constexpr long kRegBadDatabase = 1009;
// A value checked by apply() no longer holds what the caller read: nothing was changed.
constexpr long kRegChanged = 1010;

struct RegValue {
    int type = REG_NONE;
    std::string data; // raw bytes: REG_SZ without a terminating zero, REG_DWORD 4 bytes little-endian
};

// One value to write: its key (created where missing), its name and its value.
struct RegWrite {
    std::string keyPath;
    std::string name;
    RegValue value;
};

// One change of apply(): the value written (its key created where missing), or removed when `value`
// is empty (a missing value or key is no failure then).
struct RegChange {
    std::string keyPath;
    std::string name;
    std::optional<RegValue> value;
};

// A value that must still be as the caller read it when apply() makes its changes: holding exactly
// `value` (type and data), or missing when `value` is empty.
struct RegExpect {
    std::string keyPath;
    std::string name;
    std::optional<RegValue> value;
};

class Registry final {
public:
    // Opens (creating when missing, with its folder) the database at hostFile.
    explicit Registry(const std::string& hostFile);
    ~Registry();
    Registry(const Registry&) = delete;
    Registry& operator=(const Registry&) = delete;

    const std::string& file() const { return m_file; }

    // Key paths use "\" between levels; a leading or trailing "\" is ignored; "" is the root itself.
    long createKey(RegRoot root, const std::string& keyPath); // creates every missing level
    bool keyExists(RegRoot root, const std::string& keyPath) const;
    long deleteKey(RegRoot root, const std::string& keyPath); // the key, its values and all subkeys

    long setValue(RegRoot root, const std::string& keyPath, const std::string& name,
                  const RegValue& value); // key must exist
    long queryValue(RegRoot root, const std::string& keyPath, const std::string& name, RegValue& out) const;
    long deleteValue(RegRoot root, const std::string& keyPath, const std::string& name);

    std::vector<std::string> subkeys(RegRoot root, const std::string& keyPath) const;    // creation order
    std::vector<std::string> valueNames(RegRoot root, const std::string& keyPath) const; // creation order

    // Convenience: createKey + setValue of a REG_SZ / REG_DWORD in one transaction.
    long setString(RegRoot root, const std::string& keyPath, const std::string& name, const std::string& data);
    long setDword(RegRoot root, const std::string& keyPath, const std::string& name, std::uint32_t data);

    // Writes all the values in one transaction: all of them are written, or none.
    long setValues(RegRoot root, const std::vector<RegWrite>& writes);

    // Checks every expectation and makes every change in one transaction: all of it, or nothing.
    // kRegChanged (nothing changed) when a value is no longer as expected. `removedKeys` go last, each
    // with its values and everything beneath it (a missing key is no failure).
    long apply(RegRoot root, const std::vector<RegExpect>& expected, const std::vector<RegChange>& changes,
               const std::vector<std::string>& removedKeys = {});

    // Test seam: called inside apply()'s transaction after each change with the number of changes
    // made so far; returning false abandons the transaction (rolled back, kRegBadDatabase).
    void setChangeHook(std::function<bool(std::size_t)> hook) { m_changeHook = std::move(hook); }

private:
    std::string m_file;
    sqlite3* m_db = nullptr;
    std::function<bool(std::size_t)> m_changeHook;
};

} // namespace platform
