#pragma once
// The password wallet in the registry: under the wallet key one marker value per entry, named by the
// entry's random id, and a subkey of that name holding the entry's description and its four fields,
// each sealed by itself (REG_BINARY: XChaCha20-Poly1305 under the session key, the text padded to a
// multiple of 32 bytes, bound to its entry and name; see core/SealKey.h). Nothing names an entry in
// clear: the list is made from the opened entries. Entries of the earlier layouts (named by their
// description; fields scrambled, or sealed without padding) are taken over when the wallet is opened.
// Registry failures are silent: a field that cannot be read or opened is empty, a write that fails
// leaves the old data.

#include "platform/Registry.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace core {
class SealKey;
}

namespace platform {
class Prompt;
}

namespace wallet {

inline constexpr const char* kBlankDescription = "Description can't be left blank";
inline constexpr const char* kBackslashDescription = "A description can't contain '\\'.";
inline constexpr const char* kNothingSelected = "Nothing Selected";
inline constexpr const char* kDeleteTitle = "Delete Confirmation";

struct WalletEntry {
    std::string server;
    std::string userName;
    std::string password;
    std::string notes;
};

// The message that refuses a description ("" when it can be stored): blank after trimming, or
// holding a "\" (which would make the entry's subkey a nested path nobody can list or delete).
std::string DescriptionProblem(const std::string& description);

// Shows the refusal of a description that cannot be stored (OK, the application title; the blank
// one without an icon, the "\" one with the exclamation icon). True when it was refused.
bool RefuseDescription(platform::Prompt& prompt, const std::string& description);

// Opens the wallet for the application password just accepted: derives the sealing key (making the
// salt on first use), writes every entry of the earlier layouts again under an id, sealed, and
// removes its old values and keys (one registry transaction), and keeps the key for the session. ""
// on success, else what went wrong (the key is kept whenever it could be derived, so the entries
// already sealed still open).
std::string OpenWallet(const std::string& password);

// Whether the session holds the key the stored wallet is sealed under (not one of a password changed
// since by another process).
bool IsWalletOpen();

// What Change Password writes for the wallet: a new salt and every field sealed again under the key
// of the new password, with the values they replace (so that the transaction that writes them, with
// the new password's verifier, finds nothing changed meanwhile), and the new key to keep afterwards.
struct WalletReseal {
    std::vector<platform::RegExpect> expected;
    std::vector<platform::RegChange> changes;
    std::vector<std::string> removedKeys; // keys of entries of an earlier layout
    std::unique_ptr<core::SealKey> key;
};
// Throws platform::SysError 5 naming an entry whose field cannot be opened (it would be lost), and
// when the wallet is not open.
WalletReseal PrepareReseal(const std::string& newPassword);

// An entry opened: its description and its fields.
struct WalletItem {
    std::string description;
    WalletEntry fields;
};
// Every entry that opens with the session's key, in the registry's order (a field that does not
// open is empty); none while the wallet is locked.
std::vector<WalletItem> OpenWalletEntries();
// Their descriptions.
std::vector<std::string> ListWalletItems();
// The four fields of an entry, opened (a missing value, or one that does not open, is empty).
WalletEntry ReadWalletEntry(const std::string& description);
// One field ("Server", "Username", "Password", "Notes") opened; empty when it is missing or does not
// open.
std::optional<std::string> ReadWalletField(const std::string& description, const std::string& field);
// Writes one whole entry, the marker value, the description and the four fields, in one registry
// transaction: a kill or a failure leaves the entry whole or as it was. The description is taken as
// typed; an entry of the same description (letters without regard to case) is replaced and keeps its
// description as stored. Callers check it with DescriptionProblem first. False when the registry
// could not be written or the wallet is not open.
bool passWordAdd(const std::string& description, const WalletEntry& entry);
// The stored description that names the same entry as `description` but differs from it in the case
// of letters ("" when there is none): saving under `description` would replace that entry.
std::string CaseTwin(const std::string& description);
// The question asked before such a replacement.
std::string ReplaceQuestion(const std::string& existing);
// Saves an entry as Add and Save do; a failed write is shown. With askBeforeReplacing (Add, which
// starts a new entry) a stored entry that differs only in the case of letters is not replaced
// without asking (Yes and No, No the default); Save replaces the entry it shows. True when saved.
bool SaveEntry(platform::Prompt& prompt, const std::string& description, const WalletEntry& entry,
               bool askBeforeReplacing = true);

inline constexpr const char* kNotSaved = "The entry could not be saved: the settings database can't be written.";
// Removes the entry of that description (letters without regard to case): its marker value and its
// subkey, in one transaction.
void DeleteWalletEntry(const std::string& description);

// The delete question for an entry.
std::string DeleteQuestion(const std::string& description);

} // namespace wallet
