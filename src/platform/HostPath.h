#pragma once
// Pieces of host paths ("/" separated), for the platform layer's own files.

#include <string>

namespace platform::hostpath {

// The folder that holds the entry: "/" for an entry of the root, "." for a bare name.
inline std::string folderOf(const std::string& host) {
    const auto slash = host.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? std::string("/") : host.substr(0, slash);
}

// The last part of the path (all of it when there is no "/").
inline std::string nameOf(const std::string& host) {
    const auto slash = host.rfind('/');
    return slash == std::string::npos ? host : host.substr(slash + 1);
}

// `name` inside `folder`, without doubling the root's "/".
inline std::string join(const std::string& folder, const std::string& name) {
    return folder == "/" ? "/" + name : folder + "/" + name;
}

} // namespace platform::hostpath
