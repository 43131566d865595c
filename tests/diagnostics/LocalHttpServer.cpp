#include "LocalHttpServer.h"

#include <algorithm>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

namespace testing_support {

namespace {

int listenOnLoopback(int& port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        throw std::runtime_error("socket");
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(fd, 16) != 0) {
        ::close(fd);
        throw std::runtime_error("bind/listen");
    }
    socklen_t len = sizeof addr;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
    port = ntohs(addr.sin_port);
    return fd;
}

const char* reason(int status) {
    switch (status) {
    case 302:
        return "Found";
    case 200:
        return "OK";
    case 404:
        return "Not Found";
    default:
        return "Error";
    }
}

} // namespace

LocalHttpServer::LocalHttpServer(int status) : m_status(status) {
    m_listen = listenOnLoopback(m_port);
    m_thread = std::thread([this] { run(); });
}

LocalHttpServer::~LocalHttpServer() {
    m_stop = true;
    m_thread.join();
    ::close(m_listen);
}

void LocalHttpServer::dropRequestsTo(const std::string& pathPrefix) {
    std::lock_guard lock(m_mutex);
    m_dropPrefix = pathPrefix;
}

void LocalHttpServer::setBody(const std::string& body) {
    std::lock_guard lock(m_mutex);
    m_body = body;
}

void LocalHttpServer::setRedirect(const std::string& location) {
    std::lock_guard lock(m_mutex);
    m_redirect = location;
}

std::size_t LocalHttpServer::lastAnswerBytesSent() const {
    std::lock_guard lock(m_mutex);
    return m_lastSent;
}

std::string LocalHttpServer::base() const {
    return "http://127.0.0.1:" + std::to_string(m_port);
}

std::vector<std::string> LocalHttpServer::requestLines() const {
    std::lock_guard lock(m_mutex);
    return m_lines;
}

int LocalHttpServer::closedPort() {
    int port = 0;
    const int fd = listenOnLoopback(port);
    ::close(fd);
    return port;
}

void LocalHttpServer::run() {
    while (!m_stop) {
        pollfd p{m_listen, POLLIN, 0};
        if (::poll(&p, 1, 50) <= 0)
            continue;
        const int client = ::accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC);
        if (client >= 0) {
            serve(client);
            ::close(client);
        }
    }
}

void LocalHttpServer::serve(int client) {
    // Read the request head (bounded in size and in waiting).
    std::string head;
    char buffer[4096];
    while (head.find("\r\n\r\n") == std::string::npos && head.size() < 65536 && !m_stop) {
        pollfd p{client, POLLIN, 0};
        if (::poll(&p, 1, 2000) <= 0)
            break;
        const ssize_t n = ::recv(client, buffer, sizeof buffer, 0);
        if (n <= 0)
            break;
        head.append(buffer, static_cast<std::size_t>(n));
    }
    const std::string line = head.substr(0, head.find("\r\n"));
    bool drop = false;
    std::string body;
    {
        std::lock_guard lock(m_mutex);
        m_lines.push_back(line);
        body = m_body;
        const auto space = line.find(' ');
        drop = !m_dropPrefix.empty() && space != std::string::npos &&
               line.compare(space + 1, m_dropPrefix.size(), m_dropPrefix) == 0;
    }
    if (drop)
        return;
    std::string redirect;
    {
        std::lock_guard lock(m_mutex);
        redirect = m_redirect;
    }
    const int status = redirect.empty() ? m_status : 302;
    const std::string answerHead = "HTTP/1.1 " + std::to_string(status) + " " + reason(status) +
                                   (redirect.empty() ? std::string() : "\r\nLocation: " + redirect) +
                                   "\r\nContent-Type: text/plain\r\nContent-Length: " + std::to_string(body.size()) +
                                   "\r\nConnection: close\r\n\r\n";
    // Handed over piece by piece until the client has it all or goes away.
    std::size_t sent = 0;
    for (const std::string* part : {&answerHead, static_cast<const std::string*>(&body)}) {
        std::size_t at = 0;
        while (at < part->size() && !m_stop) {
            const ssize_t n =
                ::send(client, part->data() + at, std::min<std::size_t>(part->size() - at, 1 << 16), MSG_NOSIGNAL);
            if (n <= 0)
                break;
            at += static_cast<std::size_t>(n);
        }
        sent += at;
        if (at < part->size())
            break;
    }
    std::lock_guard lock(m_mutex);
    m_lastSent = sent;
}

} // namespace testing_support
