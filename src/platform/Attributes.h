#pragma once
// File attributes as the program knows them. The value lives in the extended attribute
// user.DOSATTRIB as hex text ("0x22" = hidden + archive); read-only is also the host's write
// permission; Hidden is also a line in the folder's ".hidden" file. Where the filesystem refuses
// user xattrs only read-only is kept, and nothing fails. Paths are in Windows form.

#include <string>

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

// Host-path forms of the two, for the platform's own use and its tests.
unsigned getAttributesHost(const std::string& hostPath);
void setAttributesHost(const std::string& hostPath, unsigned attributes);
// Removes the entry's name from its folder's ".hidden" list (after a delete or a move away).
void dropHiddenEntryHost(const std::string& hostPath);

} // namespace platform
