#include "diagnostics/HttpGet.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QHostAddress>
#include <QNetworkAccessManager>
#include <QNetworkProxyFactory>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>
#include <QHostAddress>
#include <QUrl>

#include <algorithm>

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

bool IsAllowedAddress(const QUrl& url) {
    if (!url.isValid())
        return false;
    const QString scheme = url.scheme().toLower();
    if (scheme == QLatin1String("https"))
        return !url.host().isEmpty();
    if (scheme != QLatin1String("http"))
        return false;
    const QString host = url.host().toLower();
    if (host == QLatin1String("localhost"))
        return true;
    const QHostAddress address(host);
    return !address.isNull() && address.isLoopback();
}

HttpAnswer HttpGet(const QUrl& url, const HttpGetOptions& options) {
    if (!QCoreApplication::instance() || !IsAllowedAddress(url))
        return {};

    QNetworkAccessManager manager;
    manager.setProxyFactory(new SystemProxyFactory);
    QNetworkRequest request(url);
    request.setHeader(QNetworkRequest::UserAgentHeader, QStringLiteral("Tessaly"));
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, options.followRedirects
                                                                       ? QNetworkRequest::SameOriginRedirectPolicy
                                                                       : QNetworkRequest::ManualRedirectPolicy);
    request.setTransferTimeout(options.timeoutMs);

    const qint64 max = std::max<qint64>(options.maxBodyBytes, 1);
    QNetworkReply* reply = manager.get(request);
    // Qt takes in no more than this ahead of what is read: a long answer waits in the network.
    reply->setReadBufferSize(max + 1);
    if (options.started)
        options.started(reply);
    // The transfer timeout counts only silence; this limit bounds the whole wait.
    QEventLoop loop;
    QTimer limit;
    limit.setSingleShot(true);
    HttpAnswer answer;
    QByteArray body;
    bool tooLong = false;
    const auto takeStatus = [&answer, reply] {
        const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
        if (status.isValid()) {
            answer.answered = true;
            answer.status = status.toInt();
        }
        return status.isValid();
    };
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    QObject::connect(&limit, &QTimer::timeout, reply, &QNetworkReply::abort);
    if (options.statusOnly) {
        // The head is in: that is the whole answer wanted (a redirect being followed is not).
        QObject::connect(reply, &QNetworkReply::metaDataChanged, reply, [&, reply] {
            const int code = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
            const bool following = options.followRedirects && code >= 300 && code < 400;
            if (!following && takeStatus())
                reply->abort();
        });
    } else {
        QObject::connect(reply, &QNetworkReply::readyRead, reply, [&, reply] {
            body += reply->read(max + 1 - body.size());
            if (body.size() > max) {
                tooLong = true;
                reply->abort();
            }
        });
    }
    limit.start(options.timeoutMs);
    if (!reply->isFinished())
        loop.exec();

    if (!answer.answered)
        takeStatus();
    if (!options.statusOnly && !tooLong && reply->error() == QNetworkReply::NoError) {
        body += reply->read(max + 1 - body.size());
        tooLong = body.size() > max;
        if (!tooLong && answer.status >= 200 && answer.status < 300)
            answer.body = body.toStdString();
    }
    delete reply;
    return answer;
}

} // namespace diagnostics
