#include "favourites/FavouritesStore.h"

#include "core/Scrambler.h"
#include "platform/Environment.h"
#include "platform/FileIO.h"
#include "platform/SysError.h"
#include "platform/Text.h"
#include "settings/modFileFunctions.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <exception>

namespace favourites {

namespace {

// An exclusive lock over the store for one read-change-write, shared with other processes through
// a lock file beside it (the store itself is replaced by renames, so it cannot carry the lock).
class StoreLock final {
public:
    StoreLock() {
        try {
            const std::string path = platform::windowsFolderHost() + "/fav.lock";
            m_fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
            if (m_fd >= 0)
                ::flock(m_fd, LOCK_EX);
        } catch (const std::exception&) {
            m_fd = -1;
        }
    }
    ~StoreLock() {
        if (m_fd >= 0)
            ::close(m_fd); // releases the lock
    }
    StoreLock(const StoreLock&) = delete;
    StoreLock& operator=(const StoreLock&) = delete;

private:
    int m_fd = -1;
};

// Whether byte c can stand at position i of a BitEncrypt field: deciphered it is 133..196.
bool fieldByte(std::size_t i, char c) {
    const unsigned plain = static_cast<unsigned char>(c) ^ core::FixedKeyByte(i);
    return plain >= 133 && plain <= 196;
}

bool startsWith(const std::string& text, std::size_t at, const char* part) {
    return text.compare(at, std::char_traits<char>::length(part), part) == 0;
}

// Calls `end(length)` for each length at which a field starting at `p` can end (a multiple of four
// over bytes that all fit), shortest first, until it returns true.
template <class End> void fieldEnds(const std::string& text, std::size_t p, End&& end) {
    for (std::size_t n = 0;; ++n) {
        if (n % 4 == 0 && end(n))
            return;
        if (p + n >= text.size() || !fieldByte(n, text[p + n]))
            return;
    }
}

// The possible records at `p`, shortest first; `take` receives (field1 length, field2 length, next
// record's start) and returns true to stop.
template <class Take> void recordsAt(const std::string& text, std::size_t p, Take&& take) {
    bool stop = false;
    fieldEnds(text, p, [&](std::size_t n1) {
        if (!startsWith(text, p + n1, kSeparator))
            return false;
        const std::size_t q = p + n1 + 5;
        fieldEnds(text, q, [&](std::size_t n2) {
            const std::size_t e = q + n2;
            if (e == text.size())
                stop = take(n1, n2, e);
            else if (startsWith(text, e, kLineEnd))
                stop = take(n1, n2, e + 2);
            return stop;
        });
        return stop;
    });
}

// Whether the text can go on at `p` as a store does: empty lines, then a record or the end.
bool recordCanStart(const std::string& text, std::size_t p) {
    while (startsWith(text, p, kLineEnd))
        p += 2;
    if (p >= text.size())
        return true;
    bool found = false;
    recordsAt(text, p, [&](std::size_t, std::size_t, std::size_t) { return found = true; });
    return found;
}

} // namespace

std::vector<StoreRecord> ParseStore(const std::string& content) {
    std::vector<StoreRecord> records;
    std::size_t p = 0;
    while (p < content.size()) {
        // The shortest record after which the text goes on as a store does. Failing that (a line
        // that is no favourite follows), the longest: a shorter one would end at a line end inside
        // the record's own enciphered bytes.
        std::size_t n1 = 0, n2 = 0, next = 0;
        bool found = false;
        recordsAt(content, p, [&](std::size_t a, std::size_t b, std::size_t e) {
            n1 = a, n2 = b, next = e, found = true;
            return recordCanStart(content, e);
        });
        if (found) {
            StoreRecord r;
            r.begin = p;
            r.end = next;
            r.readable = true;
            r.field1 = content.substr(p, n1);
            r.field2 = content.substr(p + n1 + 5, n2);
            records.push_back(std::move(r));
            p = next;
            continue;
        }
        if (startsWith(content, p, kLineEnd)) {
            p += 2; // an empty line
            continue;
        }
        // A line that is no favourite: up to the next line end, kept as it is.
        auto e = content.find(kLineEnd, p);
        e = e == std::string::npos ? content.size() : e + 2;
        StoreRecord r;
        r.begin = p;
        r.end = e;
        const std::string line = content.substr(p, e - p);
        const auto sep = line.find(kSeparator);
        r.field1 = line.substr(0, sep);
        records.push_back(std::move(r));
        p = e;
    }
    return records;
}

namespace {

// A record's bytes without its line end.
std::string recordLine(const std::string& content, const StoreRecord& r) {
    if (r.readable)
        return r.field1 + kSeparator + r.field2;
    std::size_t e = r.end;
    if (e - r.begin >= 2 && content.compare(e - 2, 2, kLineEnd) == 0)
        e -= 2;
    return content.substr(r.begin, e - r.begin);
}

std::string readStoreLocked() {
    const std::string path = FavFilePath();
    try {
        if (!platform::exists(path))
            return {};
        std::string content = platform::readAll(path);
        if (content.find(kSeparator) == std::string::npos) {
            platform::removeFile(path);
            return {};
        }
        return content;
    } catch (const platform::SysError&) {
        return {};
    }
}

bool writeStoreLocked(const std::string& content) {
    try {
        platform::writeFileAtomic(FavFilePath(), content);
        return true;
    } catch (const platform::SysError&) {
        return false;
    }
}

std::string withoutTrailingZeros(std::string text) {
    while (!text.empty() && text.back() == '\0')
        text.pop_back();
    return text;
}

// Rewrites the store, each record (its line end made CR LF) kept or replaced by `keep`, which gets
// the record and its index and may set the replacement line. Returns false when the store is empty
// or the write fails.
// The caller holds the store's lock and hands the content it read under it.
using Keep = std::function<bool(const StoreRecord& record, std::size_t index, std::string& line)>;
bool rewriteStoreLocked(const std::string& content, const std::vector<StoreRecord>& records, const Keep& keep) {
    if (content.empty())
        return false;
    std::string text;
    for (std::size_t i = 0; i < records.size(); ++i) {
        std::string line = recordLine(content, records[i]);
        if (keep(records[i], i, line))
            text += line + kLineEnd;
    }
    return writeStoreLocked(text + kLineEnd);
}

bool rewriteStore(const Keep& keep) {
    StoreLock lock;
    const std::string content = readStoreLocked();
    return rewriteStoreLocked(content, ParseStore(content), keep);
}

// The index of the favourite's line among the records: its own record when that still holds its
// fields, else the first that does; kNoRecord when none.
std::size_t findRecord(const std::vector<StoreRecord>& records, const Favourite& favourite) {
    const std::string d = core::BitEncrypt(favourite.description);
    const std::string u = core::BitEncrypt(favourite.url);
    const auto holds = [&](const StoreRecord& r) { return r.readable && r.field1 == d && r.field2 == u; };
    if (favourite.record < records.size() && holds(records[favourite.record]))
        return favourite.record;
    for (std::size_t i = 0; i < records.size(); ++i)
        if (holds(records[i]))
            return i;
    return kNoRecord;
}

} // namespace

std::string FavFilePath() {
    return AddBackslash(GetWindowsFolder()) + "fav";
}

std::string Get_Fav_File() {
    StoreLock lock;
    return readStoreLocked();
}

bool LineReadsBack(const std::string& encipheredDescription, const std::string& encipheredUrl) {
    const auto records = ParseStore(encipheredDescription + kSeparator + encipheredUrl + kLineEnd);
    return records.size() == 1 && records[0].readable && records[0].field1 == encipheredDescription &&
           records[0].field2 == encipheredUrl;
}

namespace {

// Appends ready lines to the store in one write. False (nothing written) when the store cannot be
// read or written.
bool appendLines(const std::string& lines) {
    StoreLock lock;
    std::string content;
    try {
        const std::string path = FavFilePath();
        if (platform::exists(path))
            content = platform::readAll(path);
    } catch (const platform::SysError&) {
        return false; // a store that cannot be read is not replaced by the new lines alone
    }
    // A last line without its line end gets one, so that the new lines start lines of their own.
    if (!content.empty() && !(content.size() >= 2 && content.compare(content.size() - 2, 2, kLineEnd) == 0))
        content += kLineEnd;
    return writeStoreLocked(content + lines);
}

} // namespace

bool Add_F(const std::string& encipheredDescription, const std::string& encipheredUrl) {
    if (!LineReadsBack(encipheredDescription, encipheredUrl))
        return false;
    return appendLines(encipheredDescription + kSeparator + encipheredUrl + kLineEnd);
}

std::string EncipherField(const std::string& text) {
    return core::BitEncrypt(platform::trimBlanks(text));
}

bool AddFavourite(const std::string& description, const std::string& url) {
    return Add_F(EncipherField(description), EncipherField(url));
}

AddResult AddFavourites(const std::vector<Favourite>& favourites) {
    AddResult result;
    std::string lines;
    for (const auto& f : favourites) {
        const std::string description = EncipherField(f.description);
        const std::string url = EncipherField(f.url);
        if (LineReadsBack(description, url))
            lines += description + kSeparator + url + kLineEnd;
        else
            result.refused.push_back(f);
    }
    if (!lines.empty())
        result.written = appendLines(lines);
    return result;
}

std::string TransferSummary(const TransferReport& report, const char* verb) {
    std::string text = std::to_string(report.done) + (report.done == 1 ? " favourite " : " favourites ") + verb;
    for (const std::string& line : report.refused)
        text += std::string(kLineEnd) + line;
    return text;
}

bool Commit_del(const std::string& text) {
    StoreLock lock;
    return writeStoreLocked(text + kLineEnd);
}

std::vector<Favourite> ParseFavourites(const std::string& content, const ErrorSink& sink) {
    std::vector<Favourite> out;
    const std::vector<StoreRecord> records = ParseStore(content);
    out.reserve(records.size());
    for (std::size_t i = 0; i < records.size(); ++i) {
        const StoreRecord& r = records[i];
        if (!r.readable) {
            sink(platform::errorNumber(platform::ErrorKind::SubscriptOutOfRange), "Subscript out of range");
            continue;
        }
        Favourite f;
        try {
            f.description = withoutTrailingZeros(core::BitDecrypt(r.field1));
            f.url = withoutTrailingZeros(core::BitDecrypt(r.field2));
        } catch (const platform::SysError& e) {
            sink(e.number(), e.description());
            continue;
        }
        f.record = i;
        out.push_back(std::move(f));
    }
    return out;
}

std::vector<Favourite> GetFavourites(const ErrorSink& sink) {
    return ParseFavourites(Get_Fav_File(), sink);
}

bool Del_Fav(const std::string& encipheredDescription) {
    return rewriteStore([&](const StoreRecord& r, std::size_t, std::string&) {
        return !r.readable || r.field1 != encipheredDescription;
    });
}

bool RemoveFavourite(const Favourite& favourite) {
    StoreLock lock;
    const std::string content = readStoreLocked();
    const std::vector<StoreRecord> records = ParseStore(content);
    const std::size_t target = findRecord(records, favourite);
    if (target == kNoRecord)
        return false;
    return rewriteStoreLocked(content, records,
                              [&](const StoreRecord&, std::size_t index, std::string&) { return index != target; });
}

ChangeResult ChangeFavourite(const Favourite& old, const std::string& newDescription, const std::string& newUrl) {
    const std::string newField1 = EncipherField(newDescription);
    const std::string newField2 = EncipherField(newUrl);
    if (!LineReadsBack(newField1, newField2))
        return ChangeResult::CannotStore;
    StoreLock lock;
    const std::string content = readStoreLocked();
    const std::vector<StoreRecord> records = ParseStore(content);
    const std::size_t target = findRecord(records, old);
    if (target == kNoRecord)
        return ChangeResult::NothingToChange;
    const bool written =
        rewriteStoreLocked(content, records, [&](const StoreRecord&, std::size_t index, std::string& line) {
            if (index == target)
                line = newField1 + kSeparator + newField2;
            return true;
        });
    return written ? ChangeResult::Changed : ChangeResult::WriteFailed;
}

} // namespace favourites
