#include "platform/SysError.h"

#include <gtest/gtest.h>

#include <cerrno>

#include "support/Sandbox.h"

using platform::errorDescription;
using platform::ErrorKind;
using platform::errorKindFromErrno;

TEST(SysError, DescriptionsOfTheKnownNumbers) {
    const struct {
        ErrorKind kind;
        int number;
        const char* text;
    } table[] = {
        {ErrorKind::InvalidArgument, 5, "Invalid procedure call or argument"},
        {ErrorKind::OutOfMemory, 7, "Out of memory"},
        {ErrorKind::SubscriptOutOfRange, 9, "Subscript out of range"},
        {ErrorKind::BadFileName, 52, "Bad file name or number"},
        {ErrorKind::FileNotFound, 53, "File not found"},
        {ErrorKind::FileAlreadyOpen, 55, "File already open"},
        {ErrorKind::DeviceIO, 57, "Device I/O error"},
        {ErrorKind::FileAlreadyExists, 58, "File already exists"},
        {ErrorKind::DiskFull, 61, "Disk full"},
        {ErrorKind::InputPastEnd, 62, "Input past end of file"},
        {ErrorKind::DeviceUnavailable, 68, "Device unavailable"},
        {ErrorKind::PermissionDenied, 70, "Permission denied"},
        {ErrorKind::PathFileAccess, 75, "Path/File access error"},
        {ErrorKind::PathNotFound, 76, "Path not found"},
        {ErrorKind::ObjectNotSet, 91, "Object variable or With block variable not set"},
        {ErrorKind::IndexOutOfBounds, 35600, "Index out of bounds"},
    };
    for (const auto& c : table) {
        EXPECT_EQ(errorDescription(c.kind), c.text) << c.number;
        EXPECT_EQ(platform::errorNumber(c.kind), c.number) << c.text;
        // A failure raised from its kind carries the kind's number and description.
        const platform::SysError e(c.kind);
        EXPECT_EQ(e.number(), c.number);
        EXPECT_EQ(e.description(), c.text);
    }
}

TEST(SysError, ErrnoMapping) {
    const std::pair<int, int> table[] = {
        {ENOENT, 53}, {EACCES, 75},       {EPERM, 75}, {EROFS, 75},     {ENOSPC, 61}, {EDQUOT, 61},
        {EIO, 57},    {ENODEV, 68},       {ENXIO, 68}, {ENOMEDIUM, 68}, {EBUSY, 55},  {ETXTBSY, 55},
        {EINVAL, 5},  {ENAMETOOLONG, 52}, {ELOOP, 75}, {EMFILE, 75},    {EEXIST, 58},
    };
    for (const auto& [err, number] : table)
        EXPECT_EQ(platform::errorNumber(errorKindFromErrno(err)), number) << err;
    EXPECT_EQ(errorKindFromErrno(ENOENT, true), ErrorKind::PathNotFound);
}

class SysErrorPaths : public testing_support::SandboxTest {};

TEST_F(SysErrorPaths, MissingFileIs53AndMissingFolderIs76) {
    sandbox.makeFolder("C:\\here");
    const auto fileMissing = platform::sysErrorFromErrno(ENOENT, sandbox.host("C:\\here\\nothing.txt"));
    EXPECT_EQ(fileMissing.kind, ErrorKind::FileNotFound);
    EXPECT_EQ(fileMissing.description(), "File not found");
    const auto folderMissing = platform::sysErrorFromErrno(ENOENT, sandbox.host("C:\\gone\\nothing.txt"));
    EXPECT_EQ(folderMissing.kind, ErrorKind::PathNotFound);
    EXPECT_EQ(folderMissing.description(), "Path not found");
    EXPECT_EQ(platform::sysErrorFromErrno(ENOSPC, sandbox.host("C:\\here\\x")).kind, ErrorKind::DiskFull);
}
