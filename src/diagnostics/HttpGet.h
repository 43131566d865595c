#pragma once
// One GET over HTTP or HTTPS that waits for its answer while window events keep running, with a time
// limit: the connection probe, the error report and the version file of the upgrade check all fetch
// this way. The system's proxy settings apply, except to addresses on this machine.

#include <functional>
#include <string>

class QNetworkReply;
class QUrl;

namespace diagnostics {

struct HttpAnswer {
    bool answered = false; // an HTTP answer of any status arrived within the limit
    int status = 0;        // its status code
    std::string body;      // its body when the status is 2xx and the transfer completed
};

struct HttpGetOptions {
    int timeoutMs = 5000;
    // Follows redirects to the same scheme, host and port only; a redirect elsewhere is an answer
    // without a body.
    bool followRedirects = true;
    // Only the status is wanted: the transfer ends as soon as the answer's head is in, and no byte
    // of the body is read.
    bool statusOnly = false;
    // A body longer than this ends the transfer and is not kept. Every read is bounded: no more
    // than this (and the network buffers' worth) is ever taken in.
    long long maxBodyBytes = 4096;
    // Called with the request as soon as it is under way (so that a caller can cancel it later).
    std::function<void(QNetworkReply*)> started;
};

// Whether the program may fetch from an address: https:// (its certificate checked), or plain http://
// to this machine's loopback address only (127.0.0.0/8, ::1, "localhost"; for tests).
bool IsAllowedAddress(const QUrl& url);

// Needs a QCoreApplication; without one, or for an invalid address or one IsAllowedAddress refuses,
// nothing is asked and the answer is empty.
HttpAnswer HttpGet(const QUrl& url, const HttpGetOptions& options);

} // namespace diagnostics
