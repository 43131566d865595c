#include "favourites/BrowserWindow.h"

#include "platform/Opener.h"
#include "platform/Text.h"
#include "settings/SettingsTable.h"

#include <cctype>

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QStringList>

namespace favourites {

namespace {

// Browsers whose command line opens a new window with "--new-window".
constexpr const char* kNewWindowBrowsers[] = {
    "firefox",       "firefox-esr", "chromium",       "chromium-browser", "google-chrome", "google-chrome-stable",
    "brave-browser", "vivaldi",     "microsoft-edge", "epiphany",         "opera"};

// The default browser's desktop file id ("something.desktop"), "" when unknown.
QString defaultBrowserId() {
    QProcess query;
    query.start(QStringLiteral("xdg-settings"), {QStringLiteral("get"), QStringLiteral("default-web-browser")});
    if (!query.waitForFinished(3000) || query.exitStatus() != QProcess::NormalExit || query.exitCode() != 0)
        return {};
    return QString::fromLocal8Bit(query.readAllStandardOutput()).trimmed();
}

// The program of the desktop file's first Exec line.
QString desktopProgram(const QString& id) {
    const QString file = QStandardPaths::locate(QStandardPaths::ApplicationsLocation, id);
    QFile f(file);
    if (id.isEmpty() || file.isEmpty() || !f.open(QIODevice::ReadOnly))
        return {};
    while (!f.atEnd()) {
        const QString line = QString::fromUtf8(f.readLine()).trimmed();
        if (line.startsWith(QStringLiteral("Exec="))) {
            const QStringList parts = QProcess::splitCommand(line.mid(5));
            return parts.isEmpty() ? QString() : parts.first();
        }
    }
    return {};
}

} // namespace

Launch NewWindowLaunch(const std::string& url) {
    // An address starting with "-" would be read by the browser as an option of its own (some
    // options run commands): it goes to xdg-open, which refuses it.
    if (!url.empty() && url.front() == '-')
        return {"xdg-open", {url}};
    const QString program = desktopProgram(defaultBrowserId());
    const std::string name = QFileInfo(program).fileName().toStdString();
    for (const char* known : kNewWindowBrowsers)
        if (!name.empty() && name == known)
            return {program.toLocal8Bit().toStdString(), {"--new-window", url}};
    return {"xdg-open", {url}};
}

bool IsOpenableAddress(const std::string& url) {
    const auto colon = url.find(':');
    if (colon == std::string::npos)
        return false;
    const std::string scheme = platform::lowerText(url.substr(0, colon));
    const std::string rest = url.substr(colon + 1);
    if (scheme == "mailto")
        return !rest.empty();
    return (scheme == "http" || scheme == "https" || scheme == "ftp") && rest.size() > 2 &&
           rest.compare(0, 2, "//") == 0;
}

std::string WithWebScheme(const std::string& url) {
    const std::string text = platform::trimBlanks(url);
    if (text.empty() || text.find("://") != std::string::npos || platform::lowerText(text).rfind("mailto:", 0) == 0)
        return url;
    std::string host = text.substr(0, text.find_first_of("/?#"));
    // A port is digits only: "about:blank" or "javascript:..." have a scheme, not a port.
    if (const auto colon = host.rfind(':'); colon != std::string::npos) {
        const std::string port = host.substr(colon + 1);
        if (port.empty() || port.size() > 5 || port.find_first_not_of("0123456789") != std::string::npos)
            return url;
        host.resize(colon);
    }
    if (host.empty() || host.front() == '.' || host.front() == '-')
        return url;
    for (const char c : host) {
        const auto u = static_cast<unsigned char>(c);
        // Letters and digits (those beyond ASCII as UTF-8 bytes), dots, hyphens and underscores.
        if (!(std::isalnum(u) || c == '.' || c == '-' || c == '_' || u >= 0x80))
            return url;
    }
    return "http://" + text;
}

std::string NotOpenedMessage(const std::string& url) {
    return "'" + url +
           "' was not opened: only web addresses (http, https, ftp) and mail addresses (mailto) are opened.";
}

bool OpenFavourite(const std::string& url, QObject* context, OpenFailed failed) {
    if (!IsOpenableAddress(url))
        return false;
    const std::string helper =
        platform::lowerText(url).rfind("mailto:", 0) == 0 ? std::string("mail program") : std::string("web browser");
    const std::string cannot = "'" + url + "' could not be opened: ";
    const auto tell = [failed](const std::string& why) {
        if (failed)
            failed(why);
    };
    const Launch launch = settings::LaunchNewIE.get() == "True" ? NewWindowLaunch(url) : Launch{"xdg-open", {url}};
    QStringList args;
    for (const auto& a : launch.arguments)
        args << QString::fromLocal8Bit(a);
    if (launch.program != "xdg-open") {
        // The browser runs as long as its window: it is started on its own, not waited for.
        if (!QProcess::startDetached(QString::fromLocal8Bit(launch.program), args))
            tell(cannot + "the web browser '" + launch.program + "' could not be started.");
        return true;
    }
    // xdg-open is waited for, to hear whether it found a program for the address. Its process object
    // has no parent and goes when the helper ends: deleting it earlier would kill the helper, and
    // with it a browser that xdg-open runs in the foreground.
    auto* process = new QProcess;
    process->setStandardOutputFile(QProcess::nullDevice());
    process->setStandardErrorFile(QProcess::nullDevice());
    QObject::connect(process, &QProcess::finished, process, &QObject::deleteLater);
    QObject::connect(process, &QProcess::errorOccurred, process, [process](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            process->deleteLater();
    });
    QObject::connect(process, &QProcess::errorOccurred, context, [tell, cannot, helper](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            tell(cannot + "xdg-open, which hands addresses to the " + helper +
                 ", could not be started. Install the package xdg-utils.");
    });
    QObject::connect(process, &QProcess::finished, context,
                     [tell, cannot, helper](int code, QProcess::ExitStatus status) {
                         // xdg-open's statuses: 3 no program found for the address, 4 the program failed.
                         if (status != QProcess::NormalExit)
                             tell(cannot + "xdg-open ended abnormally.");
                         else if (code == 3)
                             tell(cannot + "no " + helper + " is installed or set up to open it.");
                         else if (code == 4)
                             tell(cannot + "the " + helper + " set up to open it did not start.");
                         else if (code != 0)
                             tell(cannot + "xdg-open ended with status " + std::to_string(code) + ".");
                     });
    process->start(QStringLiteral("xdg-open"), args);
    return true;
}

} // namespace favourites
