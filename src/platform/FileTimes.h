#pragma once
// A file's access and modification times, to the nanosecond where the filesystem keeps them: what a
// lock keeps of a file, so that unlocking it gives them back.

#include <sys/stat.h>

#include <ctime>

namespace platform {

struct FileTimes {
    timespec accessed{};
    timespec modified{};
};

inline FileTimes timesOf(const struct stat& st) {
    return FileTimes{st.st_atim, st.st_mtim};
}

} // namespace platform
