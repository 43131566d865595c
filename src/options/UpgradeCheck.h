#pragma once
// The upgrade check: the version file "<UpgradeHost>/tsl.txt" holds the newest version number; when
// it is above ours, the upgrade page "<UpgradeHost>/upgrade.html" is offered. An empty UpgradeHost
// switches the check off and nothing is asked of the network.

#include <cstdint>
#include <string>

namespace platform {
class Prompt;
}

namespace options {

// The progress window the check shows while it waits (the shell's frmProgress).
class ProgressPort {
public:
    virtual ~ProgressPort() = default;
    virtual void show(const std::string& message) = 0;
    virtual void close() = 0;
};

// The version file holds whole release numbers: this program's is its major version, so that the
// check never offers the release that is already installed.
inline constexpr int kCurrentVersion = TESSALY_VERSION_MAJOR;
inline constexpr int kUpgradeTimeoutMs = 10000;
// The version file is one short line; a longer answer is not a version file and is not read.
inline constexpr long long kVersionFileLimit = 4096;

// The decimal number the text is (blanks and line ends around it allowed), rounded half to even
// into the 16-bit range; 0 for a text that is not a plain number ("2.5abc", "1e5", "").
std::int16_t VersionNumber(const std::string& text);

// The body of a GET of the address, or "" when it fails, answers other than 2xx, takes longer
// than the limit or is longer than kVersionFileLimit. Window events run while it waits.
std::string FetchText(const std::string& url, int timeoutMs);

// True when the version file's number is greater than the current version.
bool CheckUpgrade(std::int16_t current, const std::string& versionUrl, int timeoutMs);

// The "Check for Upgrade" button.
void cmdUpgrade_Click(platform::Prompt& prompt, ProgressPort& progress, int timeoutMs = kUpgradeTimeoutMs);

inline constexpr const char* kUpgradeCaption = "Check For Tessaly Update";
inline constexpr const char* kUpgradesOff = "Upgrade checks are switched off in this installation.";
// Followed by the address and "), so it was not made."
inline const std::string kInsecureUpgradeAddress = "The upgrade check needs an https:// address (this installation has ";
inline constexpr const char* kNotConnected =
    "You are not connected to Internet\r\nMake sure you are connected to Internet";
inline constexpr const char* kUpgradeAvailable = "Upgrade available.\r\nDo you want to download?";
inline constexpr const char* kNoUpgrade = "No Upgrade of Tessaly was available";

} // namespace options
