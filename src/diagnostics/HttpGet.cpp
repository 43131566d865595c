#include "diagnostics/HttpGet.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QHostAddress>
#include <QNetworkAccessManager>
#include <QNetworkProxyFactory>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>
#include <QUrl>

namespace diagnostics {

namespace {

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

} // namespace

HttpAnswer HttpGet(const QUrl& url, const HttpGetOptions& options) {
    if (!QCoreApplication::instance() || !url.isValid())
        return {};
    const QString scheme = url.scheme().toLower();
    if (scheme != QLatin1String("http") && scheme != QLatin1String("https"))
        return {};

    QNetworkAccessManager manager;
    manager.setProxyFactory(new SystemProxyFactory);
    QNetworkRequest request(url);
    request.setHeader(QNetworkRequest::UserAgentHeader, QStringLiteral("Tessaly"));
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         options.followRedirects ? QNetworkRequest::NoLessSafeRedirectPolicy
                                                 : QNetworkRequest::ManualRedirectPolicy);
    request.setTransferTimeout(options.timeoutMs);

    QNetworkReply* reply = manager.get(request);
    if (options.started)
        options.started(reply);
    // The transfer timeout counts only silence; this limit bounds the whole wait.
    QEventLoop loop;
    QTimer limit;
    limit.setSingleShot(true);
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    QObject::connect(&limit, &QTimer::timeout, reply, &QNetworkReply::abort);
    if (options.maxBodyBytes > 0)
        QObject::connect(reply, &QNetworkReply::downloadProgress, reply,
                         [reply, max = options.maxBodyBytes](qint64 received, qint64 total) {
                             if (received > max || total > max)
                                 reply->abort();
                         });
    limit.start(options.timeoutMs);
    if (!reply->isFinished())
        loop.exec();

    HttpAnswer answer;
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    answer.answered = status.isValid();
    answer.status = status.toInt();
    // A long body that came in one piece has finished before the progress check could stop it.
    const bool tooLong = options.maxBodyBytes > 0 && reply->bytesAvailable() > options.maxBodyBytes;
    if (reply->error() == QNetworkReply::NoError && answer.status >= 200 && answer.status < 300 && !tooLong)
        answer.body = reply->readAll().toStdString();
    delete reply;
    return answer;
}

} // namespace diagnostics
