#pragma once
// The favourites store: the file "fav" in the Windows folder, one favourite a line:
// BitEncrypt(description) "((|))" BitEncrypt(URL) CR LF. Every read-change-write holds an
// exclusive lock shared with other processes, and every change replaces the file atomically.
//
// An enciphered field may itself hold CR, LF, CR LF or "((|))", so the store is read by its
// structure rather than split at every line end: a field is BitEncrypt output, whose length is a
// multiple of four and whose byte at position i is one of the 64 values (keystream[i] XOR c) for c in
// 133..196. A record ends where its fields can end and the next record (or the end) can begin.

#include <functional>
#include <string>
#include <vector>

namespace favourites {

inline constexpr const char* kSeparator = "((|))";
inline constexpr const char* kLineEnd = "\r\n";

inline constexpr std::size_t kNoRecord = static_cast<std::size_t>(-1);

struct Favourite {
    std::string description;
    std::string url;
    // Which record of the store it was read from (kNoRecord: not read from the store); a change or a
    // delete acts on exactly that line.
    std::size_t record = kNoRecord;
    bool operator==(const Favourite& o) const { return description == o.description && url == o.url; }
};

// One record of a store text: its bytes [begin, end) (the line end included), and its two
// enciphered fields; `readable` is false for a line that is no favourite (kept as it is).
struct StoreRecord {
    std::size_t begin = 0;
    std::size_t end = 0;
    bool readable = false;
    std::string field1;
    std::string field2;
};
// The records of a store text in file order; empty lines are left out.
std::vector<StoreRecord> ParseStore(const std::string& content);

// Receives an unexpected failure (number, description) for the error reporter.
using ErrorSink = std::function<void(int number, const std::string& description)>;

// Windows-form path of the store.
std::string FavFilePath();

// The whole store; "" when it is missing. A store that holds no separator anywhere is deleted and
// counts as empty.
std::string Get_Fav_File();
// Appends one line. False (nothing written) when the store cannot be written, or when the line would
// not read back as this one favourite.
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
// What an import or an export did: how many favourites went, and a line for each one that did not,
// naming it and the reason.
struct TransferReport {
    int done = 0;
    std::vector<std::string> refused;
};
// "N favourites imported" (or exported; "1 favourite ..." for one), then the refusals, one a line.
std::string TransferSummary(const TransferReport& report, const char* verb);

// Replaces the store with text + CR LF. False when it cannot be written (the old store stays).
bool Commit_del(const std::string& text);

// The favourites of a store text in file order, every line one (two with one description are two).
// Lines that cannot be read go to the sink and are left out.
std::vector<Favourite> ParseFavourites(const std::string& content, const ErrorSink& sink);
// The same over the store.
std::vector<Favourite> GetFavourites(const ErrorSink& sink);

// Removes every line of this enciphered description (exact bytes). False when nothing was
// rewritten (empty store or a failed write).
bool Del_Fav(const std::string& encipheredDescription);
// Removes the one line of this favourite: the record it was read from when that still holds its
// description and URL, else the first line that does. False when no line holds it or the store
// cannot be written.
bool RemoveFavourite(const Favourite& favourite);
// Replaces the one line of the favourite (found as RemoveFavourite finds it) by the new description
// and URL (trimmed).
enum class ChangeResult { Changed, NothingToChange, CannotStore, WriteFailed };
ChangeResult ChangeFavourite(const Favourite& old, const std::string& newDescription, const std::string& newUrl);

// The enciphered form of a clear field: BitEncrypt of the text trimmed of blanks.
std::string EncipherField(const std::string& text);
// Whether the line of these enciphered fields reads back as exactly these fields.
bool LineReadsBack(const std::string& encipheredDescription, const std::string& encipheredUrl);

} // namespace favourites
