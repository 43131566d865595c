#pragma once
// Helpers of the shredder tests: a second hard link that shows a file's content after its name is
// gone, and the bytes the first pass leaves.

#include "shredder/ShredEngine.h"

#include <QApplication>

#include <algorithm>
#include <filesystem>
#include <string>

#include "support/Sandbox.h"

namespace shredder_test {

// One QApplication for the whole test program (the page needs widgets, the CLI runs need events).
inline void ensureApp() {
    if (QApplication::instance())
        return;
    static int argc = 1;
    static char name[] = "test_shredder";
    static char* argv[] = {name, nullptr};
    new QApplication(argc, argv);
}

// A hard link to `host` in the sandbox's "links" folder, outside everything a test shreds.
inline std::string keepLink(const testing_support::Sandbox& sandbox, const std::string& host, const std::string& name) {
    const std::string folder = sandbox.root() + "/links";
    std::filesystem::create_directories(folder);
    const std::string link = folder + "/" + name;
    std::filesystem::create_hard_link(host, link);
    return link;
}

// What the first pass at level 0 writes over a file of `size` bytes: the start runs, then zeros.
inline std::string firstPass(std::size_t size) {
    std::string expected = shredder::StartPattern(0);
    if (size > expected.size())
        expected.resize(size, '\0');
    return expected;
}

} // namespace shredder_test
