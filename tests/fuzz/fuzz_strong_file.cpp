// Fuzzes the strong locked file reader and its unlock engine. The first input byte picks the case:
//   0  the bytes as they are: the header's checks, then the stream read with the harness's key;
//   1  the bytes with the harness's salt and limits written over the header's, so the stream
//      verifies for files made with the harness's key and the name record, tags and chunks are
//      reached;
//   2  a round trip: a name and content taken from the input are written and read back, and must
//      come back the same;
//   3  as 1, through the unlock engine on a file on disk: a refused file must be left unchanged.
// The key is derived once, at the format's smallest limits, from the password "pw" and the salt
// "tessaly-fuzzsalt"; the seed corpus (tests/fuzz/corpus/fuzz_strong_file) is made with the same.

#include "FuzzSandbox.h"

#include "core/LockEngine.h"
#include "core/Register.h"
#include "core/StrongFormat.h"
#include "platform/SysError.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

namespace {

namespace strong = core::strong;

const strong::Salt& fuzzSalt() {
    static const strong::Salt salt = [] {
        strong::Salt s{};
        std::memcpy(s.data(), "tessaly-fuzzsalt", s.size());
        return s;
    }();
    return salt;
}

const std::shared_ptr<strong::KeyCache>& keys() {
    static const std::shared_ptr<strong::KeyCache> cache = [] {
        auto c = std::make_shared<strong::KeyCache>("pw");
        c->keyFor(fuzzSalt(), strong::kMinimumLimits);
        return c;
    }();
    return cache;
}

const strong::Key& fuzzKey() {
    return keys()->keyFor(fuzzSalt(), strong::kMinimumLimits);
}

// The harness's limits and salt over bytes 10 to 33.
void useFuzzKey(std::string& bytes) {
    if (bytes.size() < 34)
        return;
    const unsigned char limits[8] = {1, 0, 0, 0, 0x00, 0x20, 0, 0};
    std::memcpy(bytes.data() + 10, limits, sizeof limits);
    std::memcpy(bytes.data() + 18, fuzzSalt().data(), fuzzSalt().size());
}

void readAll(const std::string& bytes) {
    std::size_t pos = 0;
    try {
        strong::Reader reader([&](unsigned char* p, std::size_t n) {
            const std::size_t take = std::min(n, bytes.size() - pos);
            std::memcpy(p, bytes.data() + pos, take);
            pos += take;
            return take;
        });
        const std::string name = reader.open(fuzzKey());
        if (!strong::IsStorableName(name))
            std::abort(); // the reader hands out only names it can store
        std::string piece;
        while (reader.next(piece))
            if (piece.size() > strong::kChunkSize)
                std::abort();
    } catch (const strong::FormatError&) {
    }
}

void roundTrip(const std::string& input) {
    if (input.empty())
        return;
    const std::size_t nameLength = std::min<std::size_t>(1 + static_cast<unsigned char>(input[0]), input.size() - 1);
    std::string name = input.substr(1, nameLength);
    const std::string content = input.substr(1 + nameLength);
    if (!strong::IsStorableName(name))
        name = "name";
    std::string file;
    strong::Writer writer(fuzzKey(), name, [&file](const unsigned char* p, std::size_t n) {
        file.append(reinterpret_cast<const char*>(p), n);
    });
    writer.write(content.data(), content.size());
    writer.finish();
    if (file.size() != strong::LockedSize(content.size()))
        std::abort();
    std::size_t pos = 0;
    strong::Reader reader([&](unsigned char* p, std::size_t n) {
        const std::size_t take = std::min(n, file.size() - pos);
        std::memcpy(p, file.data() + pos, take);
        pos += take;
        return take;
    });
    if (reader.open(fuzzKey()) != name)
        std::abort();
    std::string back, piece;
    while (reader.next(piece))
        back += piece;
    if (back != content)
        std::abort();
}

void unlockOnDisk(const std::string& bytes) {
    const std::string& root = fuzz_support::sandboxRoot();
    const std::string host = root + "/work/a.TSX";
    fuzz_support::writeHostFile(host, reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
    fuzz_support::SilentPrompt prompt;
    core::EngineContext ctx{prompt};
    ctx.registerPath = "C:\\work\\register.tcl";
    ctx.strongKeys = keys();
    core::EnsureRegister(ctx.registerPath);
    const bool done = core::UnlockFilesTogether({"C:\\work\\a.TSX"}, "pw", ctx).front();
    if (!done) {
        std::ifstream in(host, std::ios::binary);
        const std::string after((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (after != bytes)
            std::abort(); // a refused file is left exactly as it was
    }
    fuzz_support::clearWorkFolder();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    std::string bytes(reinterpret_cast<const char*>(data + 1), size - 1);
    switch (data[0] % 4) {
    case 0:
        readAll(bytes);
        break;
    case 1:
        useFuzzKey(bytes);
        readAll(bytes);
        break;
    case 2:
        roundTrip(bytes);
        break;
    case 3:
        useFuzzKey(bytes);
        unlockOnDisk(bytes);
        break;
    }
    return 0;
}
