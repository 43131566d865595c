// Fuzzes the sealed folder's reader. The first input byte picks the case:
//   0  the bytes as a sealed file, with the format's smallest limits written over the header's (so
//      no input can make a derivation slow): listing and opening must refuse it or give a tree,
//      and a refused file is left exactly as it was with nothing written beside it;
//   1  the index parser on the bytes as plaintext (entry count, index offset and first chunk taken
//      from the first 18 bytes): what it accepts must hold the invariants a reader relies on;
//   2  a round trip: a tree described by the input (records of kind, name and content) is sealed,
//      listed and opened, and must come back the same.
// The seed corpus is tests/fuzz/corpus/fuzz_sealed_folder. With SEALED_FUZZ_KEEP set to a file name,
// case 2 also keeps the sealed file it made there (how the case-0 seeds were made).

#include "FuzzSandbox.h"

#include "core/SealedFolder.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <set>
#include <string>

namespace {

namespace sealed = core::sealed;
namespace fs = std::filesystem;

const std::shared_ptr<core::strong::KeyCache>& keys() {
    static const auto cache = std::make_shared<core::strong::KeyCache>("pw");
    return cache;
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::set<std::string> namesIn(const std::string& folder) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.insert(entry.path().filename().string());
    return names;
}

void readSealed(std::string bytes) {
    if (bytes.size() >= 18) {
        const unsigned char limits[8] = {1, 0, 0, 0, 0x00, 0x20, 0, 0};
        std::memcpy(bytes.data() + 10, limits, sizeof limits);
    }
    const std::string work = fuzz_support::sandboxRoot() + "/work";
    const std::string file = work + "/a.TSX";
    fuzz_support::writeHostFile(file, reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
    sealed::Options options;
    options.keys = keys();
    try {
        const sealed::Listing listing = sealed::List(file, "pw", options);
        if (listing.entries.empty() || listing.entries[0].kind != sealed::Kind::Folder)
            std::abort();
        sealed::Open(file, "pw", options);
    } catch (const sealed::SealedError&) {
        if (readFile(file) != bytes || namesIn(work) != std::set<std::string>{"a.TSX"})
            std::abort(); // a refusal changes nothing and leaves nothing
    }
    fuzz_support::clearWorkFolder();
}

void parseIndex(const std::string& bytes) {
    if (bytes.size() < 18)
        return;
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const std::uint64_t count = p[0] | static_cast<std::uint64_t>(p[1]) << 8;
    std::uint64_t offset = 0, first = 0;
    for (int i = 7; i >= 0; --i) {
        offset = offset << 8 | p[2 + i];
        first = first << 8 | p[10 + i];
    }
    try {
        const std::vector<sealed::Entry> entries = sealed::ParseIndex(bytes.substr(18), count, offset, first);
        if (entries.size() != count || entries[0].kind != sealed::Kind::Folder)
            std::abort();
        std::set<std::pair<std::uint32_t, std::string>> seen;
        for (std::size_t i = 1; i < entries.size(); ++i) {
            const sealed::Entry& e = entries[i];
            if (e.parent >= i || entries[e.parent].kind != sealed::Kind::Folder || e.name.empty() ||
                e.name.size() > sealed::kMaxNameLength || e.name.find('/') != std::string::npos ||
                e.name.find('\0') != std::string::npos || e.name == "." || e.name == ".." ||
                !seen.insert({e.parent, e.name}).second)
                std::abort();
            if (e.kind == sealed::Kind::File && e.offset + e.size > offset)
                std::abort();
        }
    } catch (const sealed::FormatError&) {
    }
}

// A file name from fuzzed bytes that a folder can hold.
std::string storable(std::string name) {
    for (char& c : name)
        if (c == '/' || c == '\0')
            c = '_';
    if (name.empty() || name == "." || name == "..")
        name.insert(0, 1, 'n');
    return name;
}

std::string tagged(char tag, const std::string& text) {
    std::string out(1, tag);
    out += text;
    return out;
}

// Kind, content or target of each entry below `root`.
std::map<std::string, std::string> tree(const std::string& root) {
    std::map<std::string, std::string> out;
    for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator(); ++it) {
        const std::string rel = it->path().lexically_relative(root).string();
        if (it->is_symlink())
            out[rel] = tagged('l', fs::read_symlink(it->path()).string());
        else if (it->is_directory())
            out[rel] = tagged('d', {});
        else
            out[rel] = tagged('f', readFile(it->path()));
    }
    return out;
}

void roundTrip(const std::string& input) {
    const std::string work = fuzz_support::sandboxRoot() + "/work";
    const std::string root = work + "/T";
    fs::create_directories(root);
    std::string folder = root;
    std::size_t pos = 0;
    // Records: kind, name length, name, content length (two bytes), content. Kind 0 a file, 1 a
    // folder (later records go into it), 2 a link, 3 back to the folder above.
    while (pos + 4 <= input.size()) {
        const unsigned kind = static_cast<unsigned char>(input[pos]) % 4;
        const std::size_t nameLength = static_cast<unsigned char>(input[pos + 1]);
        const std::string name = storable(input.substr(pos + 2, nameLength));
        pos += 2 + std::min(nameLength, input.size() - pos - 2);
        std::size_t dataLength = 0;
        if (pos + 2 <= input.size()) {
            dataLength = static_cast<unsigned char>(input[pos]) | static_cast<std::size_t>(input[pos + 1]) << 8;
            pos += 2;
        }
        const std::string data = input.substr(std::min(pos, input.size()), dataLength);
        pos += data.size();
        const std::string path = folder + "/" + name;
        if (kind == 3) {
            if (folder != root)
                folder = fs::path(folder).parent_path().string();
            continue;
        }
        std::error_code ec;
        if (fs::symlink_status(path, ec).type() != fs::file_type::not_found)
            continue;
        if (kind == 0)
            fuzz_support::writeHostFile(path, reinterpret_cast<const unsigned char*>(data.data()), data.size());
        else if (kind == 1) {
            fs::create_directory(path);
            folder = path;
        } else {
            // A link's target: the content up to its first zero byte, never empty.
            std::string target = data.substr(0, data.find('\0'));
            if (target.empty())
                target.push_back('t');
            fs::create_symlink(target, path);
        }
    }
    const auto before = tree(root);
    sealed::Options options;
    options.limits = core::strong::kMinimumLimits;
    const sealed::SealResult result = sealed::Seal(root, "pw", options);
    if (!result.notRemoved.empty() || fs::exists(root)) {
        std::fprintf(stderr, "%s\n", result.notRemoved.empty() ? "root" : result.notRemoved[0].c_str());
        std::abort();
    }
    if (const char* keep = std::getenv("SEALED_FUZZ_KEEP"))
        fs::copy_file(result.sealedPath, keep, fs::copy_options::overwrite_existing);
    const sealed::Listing listing = sealed::List(result.sealedPath, "pw", options);
    if (listing.entries.size() != before.size() + 1)
        std::abort();
    const std::string opened = sealed::Open(result.sealedPath, "pw", options);
    if (!fs::equivalent(opened, root) || tree(root) != before || fs::exists(result.sealedPath))
        std::abort();
    fuzz_support::clearWorkFolder();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    const std::string bytes(reinterpret_cast<const char*>(data + 1), size - 1);
    switch (data[0] % 3) {
    case 0:
        readSealed(bytes);
        break;
    case 1:
        parseIndex(bytes);
        break;
    case 2:
        roundTrip(bytes);
        break;
    }
    return 0;
}
