#include "core/LockEngine.h"

#include "core/Cipher.h"
#include "core/LockChecks.h"
#include "core/Register.h"
#include "core/Scrambler.h"
#include "diagnostics/ErrorReport.h"
#include "platform/Attributes.h"
#include "platform/Environment.h"
#include "platform/FileIO.h"
#include "platform/Prompt.h"
#include "platform/SysError.h"
#include "platform/Text.h"
#include "settings/Settings.h"
#include "settings/VbRegMod.h"
#include "settings/modFileFunctions.h"
#include "settings/modGeneral.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <new>
#include <sys/stat.h>
#include <unistd.h>

namespace core {

namespace {

const char* const kMarker = "[Secret]";
constexpr std::size_t kHeaderLength = 24;
constexpr std::size_t kBodyLineLength = 70;
constexpr std::uint64_t kBlock = 32768;
// The unchanged tail is copied in pieces of this size, with a progress call after each.
constexpr std::uint64_t kCopyPiece = 8u << 20;
// Longest first line read when looking for a header.
constexpr std::size_t kMaxHeaderLine = 1u << 20;
// No small locked file comes near this size (content below 200000 bytes, a third longer).
constexpr std::uint64_t kMaxSmallLocked = 4u << 20;

const char* const kCrLf = "\r\n";

using platform::Buttons;
using platform::Icon;

bool isAlphabet(char ch) {
    const int c = static_cast<unsigned char>(ch);
    return c >= 59 && c <= 122;
}

// "[Secret]" followed by sixteen alphabet characters.
bool startsWithHeader(const std::string& s) {
    if (s.size() < kHeaderLength || s.compare(0, 8, kMarker) != 0)
        return false;
    return std::all_of(s.begin() + 8, s.begin() + kHeaderLength, isAlphabet);
}

// A whole header line: the header and CR LF.
bool startsWithHeaderLine(const std::string& s) {
    return startsWithHeader(s) && s.size() >= kHeaderLength + 2 && s[kHeaderLength] == '\r' &&
           s[kHeaderLength + 1] == '\n';
}

void step(const EngineContext& ctx, const char* name) {
    if (ctx.checkpoint)
        ctx.checkpoint(name);
}

void progress(const EngineContext& ctx, std::uint64_t done, std::uint64_t total) {
    if (ctx.progress)
        ctx.progress(done, total);
}

// The file's first line, up to its first CR or LF. An empty file has none (error 62).
std::string readFirstLine(const std::string& path) {
    platform::InputFile in(path);
    if (in.size() == 0)
        throw platform::SysError(62, platform::errorDescription(62), "the file is empty");
    std::string line;
    char buffer[4096];
    while (line.size() < kMaxHeaderLine) {
        const std::size_t got = in.read(buffer, sizeof buffer);
        if (got == 0)
            break;
        const char* end = buffer + got;
        const char* stop =
            std::find_if(static_cast<const char*>(buffer), end, [](char c) { return c == '\r' || c == '\n'; });
        line.append(static_cast<const char*>(buffer), stop);
        if (stop != end)
            break;
    }
    return line;
}

// The check of a header line against a password: the digest of salt and password at character 17.
bool passwordMatches(const std::string& header, const std::string& password) {
    const std::string salt = header.size() > 8 ? header.substr(8, 8) : std::string();
    return header.find(DigestText(salt + password)) == 16;
}

void showWrongPassword(const EngineContext& ctx) {
    ctx.prompt.show("Sorry, this is not the correct password!", Buttons::OK, Icon::Exclamation, "Secret");
}

// Refuses a path the register cannot record, before anything is read or written.
bool refuseUnrecordable(const EngineContext& ctx, const std::string& path) {
    if (IsRecordablePath(path))
        return false;
    ctx.prompt.show(UnrecordableMessage("file", path), Buttons::OK, Icon::Exclamation);
    return true;
}

// Refuses what must not be locked or unlocked (a link, a pipe, an item inside a locked folder).
bool refuse(const EngineContext& ctx, const std::string& refusal) {
    if (refusal.empty())
        return false;
    ctx.prompt.show(refusal, Buttons::OK, Icon::Exclamation);
    return true;
}

// Names the file the user chose and the name that stands in the way.
void showTargetTaken(const EngineContext& ctx, const std::string& path, const std::string& target, bool lock) {
    const std::string chosen = Quoted(ShownName(path)) + " can't be ";
    const std::string taken = Quoted(GetFileNamePart(target)) + " is taken.";
    ctx.prompt.show(lock ? chosen + "locked: its locked name " + taken : chosen + "unlocked: the name " + taken,
                    Buttons::OK, Icon::Exclamation);
}

// Whether a file or folder already has the target's name. A name that the folder cannot hold (too
// long, say) fails here, before anything is written or removed.
bool targetTaken(const std::string& target) {
    const std::string host = platform::toHost(target);
    struct stat st {};
    if (::lstat(host.c_str(), &st) == 0)
        return true;
    if (errno == ENOENT)
        return false;
    throw platform::sysErrorFromErrno(errno, host);
}

std::string lockTarget(const std::string& path, const char* extension) {
    return AddBackslash(GetFolderPart(path)) + TransformName(GetFileNamePart(path)) + extension;
}

std::string unlockTarget(const std::string& path) {
    return AddBackslash(GetFolderPart(path)) + TransformName(GetFileNamePart(RemoveExtension(path)));
}

// When the source is already gone and the result cannot be put in place, the temporary file is the
// only copy of the content: keep it under a free name beside the target instead of letting the
// writer remove it.
void keepTemporary(platform::AtomicWriter& writer, const std::string& target) {
    try {
        const std::string host = platform::toHost(target);
        for (int i = 1; i < 1000; ++i) {
            std::string name = host + ".recovered";
            if (i > 1)
                name.append(1, '-').append(std::to_string(i));
            if (::link(writer.temporaryHostPath().c_str(), name.c_str()) == 0) {
                platform::syncFolder(GetFolderPart(target));
                return;
            }
            if (errno != EEXIST)
                return;
        }
    } catch (...) {
    }
}

// Puts the written result in place: flushed first, then the source removed, then the rename and
// the folder sync. A result that replaces its own source is renamed over it in one step.
void replaceSource(platform::AtomicWriter& writer, const std::string& source, const std::string& target,
                   const EngineContext& ctx) {
    writer.flush();
    step(ctx, "written");
    const bool inPlace = source == target;
    if (!inPlace) {
        platform::removeFile(source);
        step(ctx, "source removed");
    }
    try {
        writer.commit(inPlace);
    } catch (...) {
        if (!inPlace)
            keepTemporary(writer, target);
        throw;
    }
    step(ctx, "committed");
}

enum class Messages { Lock, Unlock, None };

// The engines' error handler: the numbers the engine knows get their boxes, the rest is reported.
// Every box ends by naming the file and the reason in the system's words.
bool handleError(const EngineContext& ctx, Messages messages, const char* procedure, int number,
                 const std::string& description, const std::string& path, bool lock, const std::string& reason) {
    const std::string why = Quoted(ShownName(path)) + ": " + reason + ".";
    const std::string line = std::string(kCrLf) + why;
    if (messages == Messages::Lock && number == 55)
        ctx.prompt.show("The file you are trying to lock is already open or in read-only mode." + line, Buttons::OK,
                        Icon::Critical, "File Already Open");
    else if (messages == Messages::Lock && number == 75)
        ctx.prompt.show("Path/File access error" + line, Buttons::OK, Icon::Critical, "Path/File access error");
    else if (messages == Messages::Unlock && number == 55)
        ctx.prompt.show("The file you are trying to unlock is already opened. Restart the application and try again" +
                            line,
                        Buttons::OK, Icon::Critical, "File Already Open");
    else if (messages == Messages::Unlock && number == 75)
        ctx.prompt.show("A Path/File access error occured during unlocking one of the selected file" + line,
                        Buttons::OK, Icon::Critical, "Path/File access error");
    else {
        ReportError(ctx.windowName, number, description, procedure);
        ctx.prompt.show(Quoted(ShownName(path)) + " could not be " + (lock ? "locked: " : "unlocked: ") + reason + ".",
                        Buttons::OK, Icon::Critical);
    }
    return false;
}

template <class Body>
bool guarded(const EngineContext& ctx, Messages messages, const char* procedure, const std::string& path, bool lock,
             Body&& body) {
    try {
        return body();
    } catch (const platform::SysError& e) {
        return handleError(ctx, messages, procedure, e.number, e.description(), path, lock, e.reason());
    } catch (const std::bad_alloc&) {
        return handleError(ctx, messages, procedure, 7, "Out of memory", path, lock, "out of memory");
    } catch (const std::exception& e) {
        return handleError(ctx, messages, procedure, 5, e.what(), path, lock, e.what());
    }
}

bool encryptSmall(const std::string& path, const std::string& password, const EngineContext& ctx) {
    if (!FileExists(path) || refuseUnrecordable(ctx, path) || refuse(ctx, RefuseFileLock(ctx.registerPath, path)))
        return false;
    const std::string content = platform::readAll(path);
    if (content.empty()) {
        ctx.prompt.show("we can not lock the file of size 0 byte", Buttons::OK, Icon::Information, "Lock Error");
        return false;
    }
    const std::string header = MakeHeader(ctx.salt.empty() ? MakeSalt() : ctx.salt, password);

    Cipher cipher;
    cipher.setKeyString(header);
    cipher.setText(content);
    cipher.DoXor();
    cipher.Stretch();
    const std::string body = cipher.takeText();

    // A locked small file is locked again in place; anything else, a plain file that merely carries
    // the ".TSL" name included, goes to its transformed name.
    const bool relock = platform::upperText(GetExtension(path)) == "TSL" && startsWithHeaderLine(content);
    const std::string target = relock ? path : lockTarget(path, ".TSL");
    if (target != path && targetTaken(target)) {
        showTargetTaken(ctx, path, target, true);
        return false;
    }

    std::string locked;
    locked.reserve(kHeaderLength + 2 + body.size() + (body.size() / kBodyLineLength + 1) * 2);
    locked += header;
    locked += kCrLf;
    for (std::size_t i = 0; i < body.size(); i += kBodyLineLength) {
        locked.append(body, i, kBodyLineLength);
        locked += kCrLf;
    }

    platform::AtomicWriter writer(target);
    constexpr std::size_t kPiece = 64 * 1024;
    for (std::size_t done = 0; done < locked.size();) {
        const std::size_t n = std::min(kPiece, locked.size() - done);
        writer.write(locked.data() + done, n);
        done += n;
        progress(ctx, done, locked.size());
    }
    replaceSource(writer, path, target, ctx);

    platform::setAttributes(target, platform::kAttrReadOnly | platform::kAttrHidden);
    RecordLock(ctx.registerPath, settings::kSectionTSL, path, target);
    return true;
}

bool decryptSmall(const std::string& path, const std::string& password, const EngineContext& ctx) {
    if (refuse(ctx, RefuseFileKind(path)))
        return false;
    const unsigned attributesBefore = platform::getAttributes(path) & ~platform::kAttrDirectory;
    platform::setAttributes(path, platform::kAttrNormal);
    const auto restoreAttributes = [&] { platform::setAttributes(path, attributesBefore); };

    const std::string header = readFirstLine(path);
    if (!passwordMatches(header, password)) {
        showWrongPassword(ctx);
        return false;
    }

    // The body: every further line, joined without line ends.
    const std::string file = platform::readAll(path);
    std::string body(file.size() - std::min(header.size(), file.size()), '\0');
    const auto bodyEnd = std::remove_copy_if(file.begin() + static_cast<std::ptrdiff_t>(file.size() - body.size()),
                                             file.end(), body.begin(), [](char c) { return c == '\r' || c == '\n'; });
    body.erase(bodyEnd, body.end());

    // A body that cannot be decoded would give no content back: keep the locked file.
    if (!Cipher::IsStretched(body)) {
        restoreAttributes();
        ctx.prompt.show("The locked file '" + ShownName(path) + "' is damaged and cannot be unlocked.", Buttons::OK,
                        Icon::Critical);
        return false;
    }

    Cipher cipher;
    cipher.setKeyString(header);
    cipher.setText(body);
    cipher.Shrink();
    cipher.DoXor();
    const std::string content = cipher.takeText();

    // A content that is itself a locked file (a whole header line) stays locked in place.
    const std::string target = startsWithHeaderLine(content) ? path : unlockTarget(path);
    if (target != path && targetTaken(target)) {
        restoreAttributes();
        showTargetTaken(ctx, path, target, false);
        return false;
    }

    platform::AtomicWriter writer(target);
    writer.write(content);
    progress(ctx, content.size(), content.size());
    replaceSource(writer, path, target, ctx);

    RemoveAfterFileUnlock(ctx.registerPath, settings::kSectionTSL, target);
    return true;
}

// The n content bytes of a large locked file, from `in` to `writer` (either direction, RC4 being
// its own inverse): only the head, the length modulo 32768, is enciphered; the rest is copied as it is.
void copyLargeContent(platform::InputFile& in, platform::AtomicWriter& writer, std::uint64_t n,
                      const EngineContext& ctx) {
    std::string head(static_cast<std::size_t>(n % kBlock), '\0');
    in.readExact(head.data(), head.size());
    writer.write(RC4Text(head, kFixedKey));
    std::uint64_t done = head.size();
    progress(ctx, done, n);
    while (done < n) {
        const std::uint64_t piece = std::min(kCopyPiece, n - done);
        writer.copyFrom(in, piece);
        done += piece;
        progress(ctx, done, n);
    }
}

bool encryptLarge(const std::string& path, const std::string& password, const EngineContext& ctx) {
    if (!FileExists(path) || refuseUnrecordable(ctx, path) || refuse(ctx, RefuseFileLock(ctx.registerPath, path)))
        return false;
    const std::string header = MakeHeader(ctx.salt.empty() ? MakeSalt() : ctx.salt, password);
    // A large locked file is not locked again; a plain file that only carries the name is.
    if (platform::upperText(GetExtension(path)) == "TSW" && StartsWithLockedHeader(path)) {
        ctx.prompt.show(std::string("The file you are trying to lock is already locked.") + kCrLf +
                            "Multiple locking is supported in small files only",
                        Buttons::OK, Icon::None);
        return false;
    }
    const std::string target = lockTarget(path, ".TSW");
    if (targetTaken(target)) {
        showTargetTaken(ctx, path, target, true);
        return false;
    }

    platform::InputFile in(path);
    const std::uint64_t n = in.size();
    if (n == 0)
        return false;

    platform::AtomicWriter writer(target);
    writer.write(header + "\r");
    copyLargeContent(in, writer, n, ctx);
    replaceSource(writer, path, target, ctx);

    platform::setAttributes(target, platform::kAttrReadOnly | platform::kAttrHidden);
    RecordLock(ctx.registerPath, settings::kSectionTSW, path, target);
    return true;
}

bool decryptLarge(const std::string& path, const std::string& password, const EngineContext& ctx) {
    if (refuse(ctx, RefuseFileKind(path)))
        return false;
    const unsigned attributesBefore = platform::getAttributes(path) & ~platform::kAttrDirectory;
    platform::setAttributes(path, platform::kAttrNormal);

    const std::string header = readFirstLine(path);
    if (!passwordMatches(header, password)) {
        showWrongPassword(ctx);
        return false;
    }
    const std::uint64_t headerLength = header.size() + 1; // the line and its carriage return

    const std::string target = unlockTarget(path);
    if (target != path && targetTaken(target)) {
        platform::setAttributes(path, attributesBefore);
        showTargetTaken(ctx, path, target, false);
        return false;
    }

    platform::InputFile in(path);
    if (in.size() < headerLength)
        throw platform::SysError(62, platform::errorDescription(62));
    const std::uint64_t n = in.size() - headerLength;

    platform::AtomicWriter writer(target);
    std::string skip(static_cast<std::size_t>(headerLength), '\0');
    in.readExact(skip.data(), skip.size());
    copyLargeContent(in, writer, n, ctx);
    replaceSource(writer, path, target, ctx);

    RemoveAfterFileUnlock(ctx.registerPath, settings::kSectionTSW, target);
    return true;
}

} // namespace

std::string MakeHeader(const std::string& salt, const std::string& password) {
    return kMarker + salt + DigestText(salt + password);
}

std::string MakeSalt() {
    const auto now = std::chrono::system_clock::now();
    const std::time_t t = std::chrono::system_clock::to_time_t(now);
    std::tm local{};
    localtime_r(&t, &local);
    const auto sinceSecond =
        std::chrono::duration_cast<std::chrono::microseconds>(now - std::chrono::system_clock::from_time_t(t)).count();
    const long seconds = local.tm_hour * 3600L + local.tm_min * 60L + local.tm_sec;
    char text[64];
    std::snprintf(text, sizeof text, "%02d/%02d/%04d %ld.%06ld", local.tm_mday, local.tm_mon + 1, local.tm_year + 1900,
                  seconds, static_cast<long>(sinceSecond));
    return DigestText(text);
}

bool Encrypt(const std::string& path, const std::string& password, const EngineContext& ctx) {
    return guarded(ctx, Messages::Lock, "Encrypt", path, true, [&] { return encryptSmall(path, password, ctx); });
}

bool Decrypt(const std::string& path, const std::string& password, const EngineContext& ctx) {
    return guarded(ctx, Messages::Unlock, "Decrypt", path, false, [&] { return decryptSmall(path, password, ctx); });
}

bool Decrypt1(const std::string& path, const std::string& password, const EngineContext& ctx) {
    return guarded(ctx, Messages::Unlock, "Decrypt1", path, false, [&] { return decryptSmall(path, password, ctx); });
}

bool BigEncrypt(const std::string& path, const std::string& password, const EngineContext& ctx) {
    return guarded(ctx, Messages::None, "BigEncription", path, true, [&] { return encryptLarge(path, password, ctx); });
}

bool BigDecrypt(const std::string& path, const std::string& password, const EngineContext& ctx) {
    return guarded(ctx, Messages::None, "BigDecrypt", path, false, [&] { return decryptLarge(path, password, ctx); });
}

bool BigDecrypt1(const std::string& path, const std::string& password, const EngineContext& ctx) {
    return guarded(ctx, Messages::None, "BigDecrypt1", path, false, [&] { return decryptLarge(path, password, ctx); });
}

std::string LockTargetPath(const std::string& path, bool small) {
    if (!small)
        return lockTarget(path, ".TSW");
    if (platform::upperText(GetExtension(path)) == "TSL" &&
        startsWithHeaderLine(platform::InputFile(path).readUpTo(kHeaderLength + 2)))
        return path;
    return lockTarget(path, ".TSL");
}

bool StartsWithLockedHeader(const std::string& path) {
    const std::string start = platform::InputFile(path).readUpTo(kHeaderLength + 1);
    return startsWithHeader(start) && start.size() == kHeaderLength + 1 && start[kHeaderLength] == '\r';
}

LockInfo InspectFile(const std::string& path) {
    platform::InputFile in(path);
    const std::uint64_t size = in.size();
    LockInfo info;
    info.contentSize = size;

    char head[kHeaderLength + 2] = {};
    const std::size_t got = in.read(head, sizeof head);
    const std::string start(head, got);
    if (!startsWithHeader(start) || start.size() < kHeaderLength + 1 || start[kHeaderLength] != '\r')
        return info;

    if (startsWithHeaderLine(start) && size <= kMaxSmallLocked) {
        // Small: after the header line, lines of alphabet characters only.
        const std::string file = platform::readAll(path);
        std::uint64_t bodyLength = 0;
        bool wellFormed = true;
        std::size_t i = kHeaderLength + 2;
        while (i < file.size() && wellFormed) {
            auto end = file.find(kCrLf, i);
            if (end == std::string::npos)
                end = file.size();
            wellFormed = end > i && std::all_of(file.begin() + static_cast<std::ptrdiff_t>(i),
                                                file.begin() + static_cast<std::ptrdiff_t>(end), isAlphabet);
            bodyLength += end - i;
            i = end + 2;
        }
        if (wellFormed && bodyLength > 0 && bodyLength % 4 != 1) {
            info.kind = LockInfo::Small;
            info.contentSize = (bodyLength - 1) - (bodyLength - 1) / 4;
            return info;
        }
    }
    // Large: the header and a lone carriage return. The first enciphered byte may be a line feed,
    // which only the ".TSW" name tells apart from a small file.
    if (!startsWithHeaderLine(start) || platform::upperText(GetExtension(path)) == "TSW") {
        info.kind = LockInfo::Large;
        info.contentSize = size - (kHeaderLength + 1);
    }
    return info;
}

} // namespace core
