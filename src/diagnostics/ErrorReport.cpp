#include "diagnostics/ErrorReport.h"

#include "diagnostics/HttpGet.h"
#include "settings/SettingsTable.h"

#include <QCoreApplication>
#include <QNetworkReply>
#include <QPointer>
#include <QUrl>

#include <exception>

namespace {

constexpr int kTimeoutMs = 5000;
constexpr const char* kReportPath = "/error-reporting/error-msg.php";

// The reply of the report in flight, so that a report started while another waits cancels it first.
QPointer<QNetworkReply> g_inFlight;

// Issues a GET and waits for it (window events keep running meanwhile) for at most kTimeoutMs.
// Returns true when an HTTP answer of any status arrived. Needs a QCoreApplication: every caller of
// the reporter runs inside the application, and without one no request is made at all.
bool getAndWait(const QUrl& url, bool trackAsReport) {
    diagnostics::HttpGetOptions options;
    options.timeoutMs = kTimeoutMs;
    options.followRedirects = false;
    // Any answer will do: its head is read, its body never.
    options.statusOnly = true;
    if (trackAsReport)
        options.started = [](QNetworkReply* reply) { g_inFlight = reply; };
    // The reply is deleted when the wait ends, which clears g_inFlight (a QPointer) by itself.
    return diagnostics::HttpGet(url, options).answered;
}

} // namespace

bool IsConnection() {
    try {
        const std::string probe = settings::ConnectionProbeUrl.get();
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
        const std::string host = settings::ErrorReportHost.get();
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
