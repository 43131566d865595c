#include "options/UpgradeCheck.h"

#include "diagnostics/ErrorReport.h"
#include "diagnostics/HttpGet.h"
#include "platform/Opener.h"
#include "platform/Prompt.h"
#include "platform/SysError.h"
#include "settings/SettingsTable.h"

#include <QUrl>

#include <cctype>
#include <cmath>
#include <exception>
#include <limits>

namespace options {

namespace {

constexpr const char* kWindowName = "frmOptions";
constexpr const char* kProcedure = "cmdUpgrade_Click";

// The host without a trailing slash, so that paths join with one.
std::string hostBase() {
    std::string host = settings::UpgradeHost.get();
    while (!host.empty() && host.back() == '/')
        host.pop_back();
    return host;
}

// Closes the progress window on every way out.
class ProgressShown final {
public:
    ProgressShown(ProgressPort& port, const std::string& message) : m_port(port) { m_port.show(message); }
    ~ProgressShown() { close(); }
    ProgressShown(const ProgressShown&) = delete;
    ProgressShown& operator=(const ProgressShown&) = delete;
    void close() {
        if (m_open)
            m_port.close();
        m_open = false;
    }

private:
    ProgressPort& m_port;
    bool m_open = true;
};

} // namespace

std::int16_t VersionNumber(const std::string& text) {
    std::size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i])))
        ++i;
    const std::size_t start = i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        ++i;
    const std::size_t digitsFrom = i;
    while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])))
        ++i;
    bool any = i > digitsFrom;
    if (i < text.size() && text[i] == '.') {
        const std::size_t fraction = ++i;
        while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])))
            ++i;
        any = any || i > fraction;
    }
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i])))
        ++i;
    // The version file holds a number and nothing else: "9999garbage" is no version.
    if (!any || i != text.size())
        return 0;
    // The C locale's reading of the numeric part; nearbyint rounds half to even.
    const double value = std::nearbyint(std::strtod(text.substr(start, i - start).c_str(), nullptr));
    if (value >= std::numeric_limits<std::int16_t>::max())
        return std::numeric_limits<std::int16_t>::max();
    if (value <= std::numeric_limits<std::int16_t>::min())
        return std::numeric_limits<std::int16_t>::min();
    return static_cast<std::int16_t>(value);
}

std::string FetchText(const std::string& url, int timeoutMs) {
    diagnostics::HttpGetOptions options;
    options.timeoutMs = timeoutMs;
    options.maxBodyBytes = kVersionFileLimit;
    return diagnostics::HttpGet(QUrl(QString::fromLocal8Bit(url)), options).body;
}

bool CheckUpgrade(std::int16_t current, const std::string& versionUrl, int timeoutMs) {
    return VersionNumber(FetchText(versionUrl, timeoutMs)) > current;
}

void cmdUpgrade_Click(platform::Prompt& prompt, ProgressPort& progress, int timeoutMs) {
    try {
        const std::string host = hostBase();
        if (host.empty()) {
            prompt.show(kUpgradesOff, platform::Buttons::OK, platform::Icon::Information, kUpgradeCaption);
            return;
        }
        // Only over https:// (plain http:// only to this machine, for tests): a version file or page
        // that anyone on the way could change is not asked for.
        if (!diagnostics::IsAllowedAddress(QUrl(QString::fromLocal8Bit(host + "/tsl.txt")))) {
            prompt.show(kInsecureUpgradeAddress + host + "), so it was not made.", platform::Buttons::OK,
                        platform::Icon::Exclamation, kUpgradeCaption);
            return;
        }
        ProgressShown shown(progress, "Checking for Upgrade...");
        // Without a probe address the version fetch itself tells whether the site can be reached.
        if (!settings::ConnectionProbeUrl.get().empty() && !IsConnection()) {
            shown.close();
            prompt.show(kNotConnected, platform::Buttons::OK, platform::Icon::Exclamation);
            return;
        }
        const bool available = CheckUpgrade(kCurrentVersion, host + "/tsl.txt", timeoutMs);
        shown.close();
        if (!available) {
            prompt.show(kNoUpgrade, platform::Buttons::OK, platform::Icon::Information, kUpgradeCaption);
            return;
        }
        if (prompt.show(kUpgradeAvailable, platform::Buttons::OKCancel, platform::Icon::None, kUpgradeCaption) !=
            platform::Answer::OK)
            return;
        const std::string page = host + "/upgrade.html";
        if (!platform::openDefault(page))
            prompt.show("The upgrade page " + page + " could not be opened: xdg-open could not be started.",
                        platform::Buttons::OK, platform::Icon::Critical, kUpgradeCaption);
    } catch (const platform::SysError& e) {
        ReportError(kWindowName, e.number(), e.description(), kProcedure);
    } catch (const std::exception& e) {
        ReportError(kWindowName, platform::errorNumber(platform::ErrorKind::InvalidArgument), e.what(), kProcedure);
    }
}

} // namespace options
