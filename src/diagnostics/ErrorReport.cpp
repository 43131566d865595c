#include "diagnostics/ErrorReport.h"

#include "settings/Settings.h"
#include "settings/VbRegMod.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QHostAddress>
#include <QNetworkAccessManager>
#include <QNetworkProxyFactory>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QTimer>
#include <QUrl>

#include <exception>

namespace {

constexpr int kTimeoutMs = 5000;
constexpr const char* kReportPath = "/error-reporting/error-msg.php";

std::string deploymentValue(const char* name) {
    return GetString(HKEY_CURRENT_USER, settings::kAppKey, name);
}

// The system's proxy settings, except for addresses on this machine.
class SystemProxyFactory final : public QNetworkProxyFactory {
public:
    QList<QNetworkProxy> queryProxy(const QNetworkProxyQuery& query) override {
        const QString host = query.peerHostName();
        if (host.compare(QStringLiteral("localhost"), Qt::CaseInsensitive) == 0 || QHostAddress(host).isLoopback())
            return {QNetworkProxy(QNetworkProxy::NoProxy)};
        return systemProxyForQuery(query);
    }
};

// The reply of the report in flight, so that a report started while another waits cancels it first.
QPointer<QNetworkReply> g_inFlight;

// Issues a GET and waits for it (window events keep running meanwhile) for at most kTimeoutMs.
// Returns true when an HTTP answer of any status arrived. Needs a QCoreApplication: every caller of
// the reporter runs inside the application, and without one no request is made at all.
bool getAndWait(const QUrl& url, bool trackAsReport) {
    if (!QCoreApplication::instance() || !url.isValid())
        return false;
    const QString scheme = url.scheme().toLower();
    if (scheme != QLatin1String("http") && scheme != QLatin1String("https"))
        return false;

    QNetworkAccessManager manager;
    manager.setProxyFactory(new SystemProxyFactory);
    QNetworkRequest request(url);
    request.setHeader(QNetworkRequest::UserAgentHeader, QStringLiteral("Tessaly"));
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    request.setTransferTimeout(kTimeoutMs);

    QNetworkReply* reply = manager.get(request);
    if (trackAsReport)
        g_inFlight = reply;
    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    QObject::connect(&timer, &QTimer::timeout, reply, &QNetworkReply::abort);
    timer.start(kTimeoutMs);
    if (!reply->isFinished())
        loop.exec();
    const bool answered = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).isValid();
    if (trackAsReport && g_inFlight == reply)
        g_inFlight = nullptr;
    delete reply;
    return answered;
}

} // namespace

bool IsConnection() {
    try {
        const std::string probe = deploymentValue(settings::kConnectionProbeUrl);
        if (probe.empty())
            return false;
        return getAndWait(QUrl(QString::fromLocal8Bit(probe)), false);
    } catch (...) {
        return false;
    }
}

void ReportError(const std::string& objectName, int number, const std::string& description,
                 const std::string& procedure) {
    try {
        if (number == 0 || !QCoreApplication::instance())
            return;
        const std::string host = deploymentValue(settings::kErrorReportHost);
        if (host.empty() || !IsConnection())
            return;
        if (g_inFlight)
            g_inFlight->abort();
        // The report text goes into the query percent-encoded: blanks, "&" or "#" in a description must
        // not break the request.
        const std::string text = objectName + ", " + procedure + std::to_string(number) + description;
        const QByteArray encoded = QByteArray::fromStdString(text).toPercentEncoding();
        const QByteArray address = QByteArray::fromStdString(host) + kReportPath + '?' + encoded;
        getAndWait(QUrl::fromEncoded(address, QUrl::StrictMode), true);
    } catch (...) {
        // The reporter's own failures are never shown.
    }
}
