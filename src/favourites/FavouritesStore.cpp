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

// The store's lines split at CR LF (a lone LF or CR belongs to the enciphered bytes).
std::vector<std::string> storeLines(const std::string& content) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < content.size()) {
        auto end = content.find(kLineEnd, start);
        if (end == std::string::npos)
            end = content.size();
        lines.push_back(content.substr(start, end - start));
        start = end + 2;
    }
    return lines;
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

// Rewrites the store keeping each non-empty line that `keep` accepts (or its replacement).
// Returns false when the store is empty or the write fails.
bool rewriteStore(const std::function<bool(const std::string& field1, const std::string& field2, std::string& line)>& keep) {
    StoreLock lock;
    const std::string content = readStoreLocked();
    if (content.empty())
        return false;
    std::string text;
    for (std::string line : storeLines(content)) {
        if (line.empty())
            continue;
        const auto sep = line.find(kSeparator);
        const std::string field1 = line.substr(0, sep);
        const std::string field2 = sep == std::string::npos ? std::string() : line.substr(sep + 5);
        if (keep(field1, field2, line))
            text += line + kLineEnd;
    }
    return writeStoreLocked(text + kLineEnd);
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
    const std::string line = encipheredDescription + kSeparator + encipheredUrl;
    return line.find(kLineEnd) == std::string::npos && line.find(kSeparator) == encipheredDescription.size();
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

bool Commit_del(const std::string& text) {
    StoreLock lock;
    return writeStoreLocked(text + kLineEnd);
}

std::vector<Favourite> ParseFavourites(const std::string& content, const ErrorSink& sink) {
    std::vector<Favourite> out;
    for (const std::string& line : storeLines(content)) {
        if (line.empty())
            continue;
        const auto sep = line.find(kSeparator);
        if (sep == std::string::npos) {
            sink(9, "Subscript out of range");
            continue;
        }
        Favourite f;
        try {
            f.description = withoutTrailingZeros(core::BitDecrypt(line.substr(0, sep)));
            f.url = withoutTrailingZeros(core::BitDecrypt(line.substr(sep + 5)));
        } catch (const platform::SysError& e) {
            sink(e.number, e.description());
            continue;
        }
        bool duplicate = false;
        for (const auto& other : out)
            duplicate = duplicate || other.description == f.description;
        if (duplicate) {
            sink(35602, "Key is not unique in collection");
            continue;
        }
        out.push_back(std::move(f));
    }
    return out;
}

std::vector<Favourite> GetFavourites(const ErrorSink& sink) {
    return ParseFavourites(Get_Fav_File(), sink);
}

bool Del_Fav(const std::string& encipheredDescription) {
    return rewriteStore([&](const std::string& field1, const std::string&, std::string&) {
        return field1 != encipheredDescription;
    });
}

bool RemoveFavourite(const Favourite& favourite) {
    const std::string description = core::BitEncrypt(favourite.description);
    const std::string url = core::BitEncrypt(favourite.url);
    return rewriteStore([&](const std::string& field1, const std::string& field2, std::string&) {
        return field1 != description || field2 != url;
    });
}

ChangeResult ChangeFavourite(const std::string& oldDescription, const std::string& newDescription,
                             const std::string& newUrl) {
    const std::string oldField = core::BitEncrypt(oldDescription);
    const std::string newField1 = EncipherField(newDescription);
    const std::string newField2 = EncipherField(newUrl);
    if (!LineReadsBack(newField1, newField2))
        return ChangeResult::CannotStore;
    if (Get_Fav_File().empty())
        return ChangeResult::NothingToChange;
    const bool written = rewriteStore([&](const std::string& field1, const std::string&, std::string& line) {
        if (field1 == oldField)
            line = newField1 + kSeparator + newField2;
        return true;
    });
    return written ? ChangeResult::Changed : ChangeResult::WriteFailed;
}

} // namespace favourites
