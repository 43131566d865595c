#include "platform/SysError.h"

#include <gtest/gtest.h>

#include <cerrno>

#include "support/Sandbox.h"

using platform::errorDescription;
using platform::errorNumberFromErrno;

TEST(SysError, DescriptionsOfTheKnownNumbers) {
    const std::pair<int, const char*> table[] = {
        {5, "Invalid procedure call or argument"},
        {52, "Bad file name or number"},
        {53, "File not found"},
        {55, "File already open"},
        {57, "Device I/O error"},
        {58, "File already exists"},
        {61, "Disk full"},
        {62, "Input past end of file"},
        {68, "Device unavailable"},
        {70, "Permission denied"},
        {75, "Path/File access error"},
        {76, "Path not found"},
    };
    for (const auto& [number, text] : table)
        EXPECT_EQ(errorDescription(number), text) << number;
}

TEST(SysError, ErrnoMapping) {
    const std::pair<int, int> table[] = {
        {ENOENT, 53}, {EACCES, 75},       {EPERM, 75}, {EROFS, 75},     {ENOSPC, 61}, {EDQUOT, 61},
        {EIO, 57},    {ENODEV, 68},       {ENXIO, 68}, {ENOMEDIUM, 68}, {EBUSY, 55},  {ETXTBSY, 55},
        {EINVAL, 5},  {ENAMETOOLONG, 52}, {ELOOP, 75}, {EMFILE, 75},
    };
    for (const auto& [err, number] : table)
        EXPECT_EQ(errorNumberFromErrno(err), number) << err;
    EXPECT_EQ(errorNumberFromErrno(ENOENT, true), 76);
}

class SysErrorPaths : public testing_support::SandboxTest {};

TEST_F(SysErrorPaths, MissingFileIs53AndMissingFolderIs76) {
    sandbox.makeFolder("C:\\here");
    const auto fileMissing = platform::sysErrorFromErrno(ENOENT, sandbox.host("C:\\here\\nothing.txt"));
    EXPECT_EQ(fileMissing.number, 53);
    EXPECT_EQ(fileMissing.description(), "File not found");
    const auto folderMissing = platform::sysErrorFromErrno(ENOENT, sandbox.host("C:\\gone\\nothing.txt"));
    EXPECT_EQ(folderMissing.number, 76);
    EXPECT_EQ(folderMissing.description(), "Path not found");
    EXPECT_EQ(platform::sysErrorFromErrno(ENOSPC, sandbox.host("C:\\here\\x")).number, 61);
}
