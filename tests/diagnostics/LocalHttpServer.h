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
    std::thread m_thread;
};

} // namespace testing_support
