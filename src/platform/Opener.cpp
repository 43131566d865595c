#include "platform/Opener.h"

#include "platform/Environment.h"
#include "platform/SysError.h"

#include <QProcess>
#include <QString>
#include <QStringList>

namespace platform {

namespace {

// "C:..." is a drive path; "scheme:..." with a longer scheme is an address.
bool isDrivePath(const std::string& s) {
    return s.size() >= 2 && s[1] == ':' && ((s[0] >= 'A' && s[0] <= 'Z') || (s[0] >= 'a' && s[0] <= 'z'));
}

} // namespace

bool openDefault(const std::string& target) {
    if (target.empty())
        return false;
    std::string arg = target;
    if (isDrivePath(target)) {
        try {
            arg = toHost(target);
        } catch (const SysError&) {
            return false;
        }
    }
    return QProcess::startDetached(QStringLiteral("xdg-open"), {QString::fromLocal8Bit(arg)});
}

bool sendMail(const std::vector<std::string>& arguments) {
    QStringList args;
    for (const auto& a : arguments)
        args << QString::fromLocal8Bit(a);
    return QProcess::startDetached(QStringLiteral("xdg-email"), args);
}

} // namespace platform
