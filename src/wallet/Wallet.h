#pragma once
// The password wallet in the registry: under the wallet key one marker value per entry (name and
// data = the description) and a subkey of the same name holding the four fields, each enciphered
// by itself with RC4 under the fixed key. Registry failures are silent: a field that cannot be read
// is empty, a write that fails leaves the old data.

#include <string>
#include <vector>

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

// The descriptions in the registry's order; empty when the wallet key does not exist.
std::vector<std::string> ListWalletItems();
// The four fields of an entry, deciphered in full (a missing value is empty).
WalletEntry ReadWalletEntry(const std::string& description);
// Writes one whole entry, the marker value and the four fields, in one registry transaction: a kill
// or a failure leaves the entry whole or as it was. The description is taken as typed; callers check
// it with DescriptionProblem first. False when the registry could not be written.
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
// Removes the marker value and the entry's subkey, each independently of the other.
void DeleteWalletEntry(const std::string& description);

// The delete question for an entry.
std::string DeleteQuestion(const std::string& description);

} // namespace wallet
