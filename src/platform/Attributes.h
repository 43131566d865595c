#pragma once
// File attributes as the program knows them. The value lives in the extended attribute
// user.DOSATTRIB as hex text ("0x22" = hidden + archive); read-only is also the host's write
// permission; Hidden is also a line in the folder's ".hidden" file. Where the filesystem refuses
// user xattrs only read-only is kept, and nothing fails. Paths are in Windows form.

#include "platform/Paths.h"

#include <string>
#include <vector>

namespace platform {

constexpr unsigned kAttrNormal = 0x00; // as set: "no attributes"
constexpr unsigned kAttrReadOnly = 0x01;
constexpr unsigned kAttrHidden = 0x02;
constexpr unsigned kAttrSystem = 0x04;
constexpr unsigned kAttrDirectory = 0x10;
constexpr unsigned kAttrArchive = 0x20;

// The attributes of a file or folder (Directory included for folders). Throws SysError.
unsigned getAttributes(const std::string& windowsPath);
// Sets the whole value (Directory is ignored). Throws SysError; a symbolic link is refused (75), so
// that its target's mode is never changed through it.
void setAttributes(const std::string& windowsPath, unsigned attributes);

// Host-path forms of the two, for the platform's own use and its tests. setAttributesHost returns
// whether the filesystem keeps the attribute value (false: only read-only is kept there); with
// HiddenList::Leave the ".hidden" list is left to the caller (a batch updates it once per folder).
// A ".hidden" list that cannot be written fails the change; one that is left alone (see below) does not.
enum class HiddenList { Update, Leave };
unsigned getAttributesHost(const HostPath& path);
bool setAttributesHost(const HostPath& path, unsigned attributes, HiddenList list = HiddenList::Update);
// Adds and removes names in a folder's ".hidden" list in one change, under the folder's lock. The
// list is opened through the folder without following a link: a ".hidden" that is a symbolic link
// or not a regular file is neither read nor changed (LeftAlone), and the caller says so.
enum class HiddenListChange { Done, LeftAlone };
HiddenListChange updateHiddenEntriesHost(const std::string& hostFolder, const std::vector<std::string>& add,
                                         const std::vector<std::string>& remove);
// Whether the folder's ".hidden" is one the program leaves alone (a link, a folder, a pipe...).
bool hiddenListLeftAlone(const std::string& hostFolder);
// Removes the entry's name from its folder's ".hidden" list (after a delete or a move away).
void dropHiddenEntryHost(const HostPath& path);

} // namespace platform
