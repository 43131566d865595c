#include "shell/BrowserListing.h"

#include "platform/FileIO.h"
#include "platform/Find.h"
#include "platform/SysError.h"
#include "settings/VbRegMod.h"
#include "settings/modFileFunctions.h"
#include "settings/modGeneral.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <exception>

namespace shell {

namespace {

std::string upper(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return text;
}

std::string typeText(const std::string& name) {
    return upper(GetExtension(name)) + " file";
}

} // namespace

std::string FolderNodeText(const std::string& name) {
    if (name.size() > 4 && upper(name.substr(name.size() - 4)) == ".TSL")
        return TransformName(name.substr(0, name.size() - 4));
    return name;
}

std::vector<FolderNode> ListSubfolders(const std::string& folder) {
    std::vector<FolderNode> nodes;
    for (const auto& entry : platform::findFiles(AddBackslash(folder) + "*")) {
        if (!entry.isFolder())
            continue;
        const std::string u = upper(entry.name);
        if (u == "RECYCLED" || u == "RECYCLER" || u == "SYSTEM VOLUME INFORMATION")
            continue;
        nodes.push_back({AddBackslash(folder) + entry.name, FolderNodeText(entry.name)});
    }
    return nodes;
}

std::vector<std::string> ListFileNames(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : platform::findFiles(AddBackslash(folder) + "*"))
        if (!entry.isFolder())
            names.push_back(entry.name);
    return names;
}

FolderListing BuildRows(const std::string& folder, const std::vector<std::string>& names,
                        const std::function<void(int, const std::string&)>& onError) {
    FolderListing listing;
    listing.names = names;
    const std::string base = AddBackslash(folder);
    for (const auto& name : names) {
        const std::string full = base + name;
        try {
            if (name == "desktop.ini") {
                if (FileExists(full) && platform::readAll(full).find(kLockedFolderClassId) != std::string::npos)
                    listing.lockedFolder = true;
                continue;
            }
            listing.rows.push_back(FileRow{name, name, false, {}, {}});
            FileRow& row = listing.rows.back();
            const std::string ext = upper(GetExtension(name));
            if (ext == "TSL" || ext == "TSW") {
                if (FileExists(full)) {
                    platform::InputFile in(full);
                    char head[8];
                    row.lockIcon = in.read(head, sizeof head) == sizeof head && std::string(head, 8) == "[Secret]";
                }
                // Only a locked file is shown under the name it had; the extension alone says nothing.
                if (row.lockIcon)
                    row.text = TransformName(GetFileNamePart(RemoveExtension(name)));
                row.type = typeText(row.text);
            } else {
                row.type = typeText(name);
            }
            const std::string size = FileSizeText(full);
            if (size.empty())
                throw platform::SysError(53, platform::errorDescription(53));
            row.size = FormatByteSize(static_cast<std::int64_t>(std::stoll(size)));
        } catch (const platform::SysError& e) {
            if (onError)
                onError(e.number, e.description());
        } catch (const std::exception& e) {
            if (onError)
                onError(5, e.what());
        }
    }
    return listing;
}

} // namespace shell
