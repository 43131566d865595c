#pragma once
// The favourites store: the file "fav" in the Windows folder, one favourite a line:
// BitEncrypt(description) "((|))" BitEncrypt(URL) CR LF. Every read-change-write holds an
// exclusive lock shared with other processes, and every change replaces the file atomically.

#include <functional>
#include <string>
#include <vector>

namespace favourites {

inline constexpr const char* kSeparator = "((|))";
inline constexpr const char* kLineEnd = "\r\n";

struct Favourite {
    std::string description;
    std::string url;
    bool operator==(const Favourite&) const = default;
};

// Receives an unexpected failure (number, description) for the error reporter.
using ErrorSink = std::function<void(int number, const std::string& description)>;

// Windows-form path of the store.
std::string FavFilePath();

// The whole store; "" when it is missing. A store that holds no separator anywhere is deleted and
// counts as empty.
std::string Get_Fav_File();
// Appends one line. False (nothing written) when the store cannot be written, or when the line would
// not read back as this one favourite (its enciphered bytes happen to hold CR LF or the separator).
bool Add_F(const std::string& encipheredDescription, const std::string& encipheredUrl);
// Adds a favourite in clear: descriptions and URLs are trimmed of blanks and enciphered.
bool AddFavourite(const std::string& description, const std::string& url);
// Adds many favourites in clear with one write of the store. `written` is false when the store could
// not be written (nothing was added); `refused` are those whose line would not read back.
struct AddResult {
    bool written = true;
    std::vector<Favourite> refused;
};
AddResult AddFavourites(const std::vector<Favourite>& favourites);
// Replaces the store with text + CR LF. False when it cannot be written (the old store stays).
bool Commit_del(const std::string& text);

// The favourites of a store text in file order. Lines that cannot be read and second favourites
// of a description already listed go to the sink and are left out.
std::vector<Favourite> ParseFavourites(const std::string& content, const ErrorSink& sink);
// The same over the store.
std::vector<Favourite> GetFavourites(const ErrorSink& sink);

// Removes every line of this enciphered description (exact bytes). False when nothing was
// rewritten (empty store or a failed write).
bool Del_Fav(const std::string& encipheredDescription);
// Removes the lines of exactly this favourite (description and URL), leaving another favourite
// that shares its description.
bool RemoveFavourite(const Favourite& favourite);
// Replaces the lines of the old description by the new description and URL (trimmed).
enum class ChangeResult { Changed, NothingToChange, CannotStore, WriteFailed };
ChangeResult ChangeFavourite(const std::string& oldDescription, const std::string& newDescription,
                             const std::string& newUrl);

// The enciphered form of a clear field: BitEncrypt of the text trimmed of blanks.
std::string EncipherField(const std::string& text);
// Whether the line of these enciphered fields reads back as exactly these fields.
bool LineReadsBack(const std::string& encipheredDescription, const std::string& encipheredUrl);

} // namespace favourites
