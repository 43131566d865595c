#pragma once
// A small HTTP server on 127.0.0.1 for the network tests: it records the request line of every
// request, answers with a fixed status, or drops the connection unanswered for chosen paths.

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace testing_support {

class LocalHttpServer final {
public:
    explicit LocalHttpServer(int status = 200);
    ~LocalHttpServer();
    LocalHttpServer(const LocalHttpServer&) = delete;
    LocalHttpServer& operator=(const LocalHttpServer&) = delete;

    // Requests whose path begins with this prefix get no answer: the connection is closed.
    void dropRequestsTo(const std::string& pathPrefix);
    // The body of every answer ("ok" unless set).
    void setBody(const std::string& body);
    // Answers every request with "302 Found" and this Location ("" again: the fixed status).
    void setRedirect(const std::string& location);
    // How many bytes of its last answer the server could hand to the network before the client
    // closed the connection or took them all.
    std::size_t lastAnswerBytesSent() const;
    std::string base() const; // "http://127.0.0.1:<port>"
    std::vector<std::string> requestLines() const;

    // A port on 127.0.0.1 that nothing listens on.
    static int closedPort();

private:
    void run();
    void serve(int client);

    int m_listen = -1;
    int m_port = 0;
    int m_status;
    std::atomic<bool> m_stop{false};
    mutable std::mutex m_mutex;
    std::vector<std::string> m_lines;
    std::string m_dropPrefix;
    std::string m_body = "ok";
    std::string m_redirect;
    std::size_t m_lastSent = 0;
    std::thread m_thread;
};

} // namespace testing_support
