#pragma once
// A tiny HTTP server on 127.0.0.1 for the update check tests: answers every request with one
// fixed body (status 200) on a port chosen by the system, from its own thread, and records the
// request lines and headers it received. A stalling server sends the headers and then nothing,
// holding the connection open until it is destroyed.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>

namespace folvane::test {

class LocalHttpServer {
public:
    explicit LocalHttpServer(std::string body, bool stall = false) : m_body(std::move(body)), m_stall(stall)
    {
        m_listen = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = 0;
        ::bind(m_listen, reinterpret_cast<sockaddr*>(&address), sizeof address);
        ::listen(m_listen, 4);
        socklen_t length = sizeof address;
        ::getsockname(m_listen, reinterpret_cast<sockaddr*>(&address), &length);
        m_port = ntohs(address.sin_port);
        m_thread = std::thread([this] { serve(); });
    }

    ~LocalHttpServer()
    {
        m_stop = true;
        m_thread.join();
        ::close(m_listen);
    }

    std::string address() const { return "http://127.0.0.1:" + std::to_string(m_port); }

    std::string lastRequest() const
    {
        std::lock_guard lock(m_mutex);
        return m_request;
    }

private:
    void serve()
    {
        while (!m_stop) {
            pollfd fd{m_listen, POLLIN, 0};
            if (::poll(&fd, 1, 50) <= 0)
                continue;
            int client = ::accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC);
            if (client < 0)
                continue;
            std::string request;
            char buffer[1024];
            while (request.find("\r\n\r\n") == std::string::npos) {
                ssize_t n = ::recv(client, buffer, sizeof buffer, 0);
                if (n <= 0)
                    break;
                request.append(buffer, static_cast<size_t>(n));
            }
            {
                std::lock_guard lock(m_mutex);
                m_request = request;
            }
            std::string answer = "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nContent-Length: "
                                 + std::to_string(m_body.size()) + "\r\nConnection: close\r\n\r\n";
            if (!m_stall)
                answer += m_body;
            size_t sent = 0;
            while (sent < answer.size()) {
                ssize_t n = ::send(client, answer.data() + sent, answer.size() - sent, MSG_NOSIGNAL);
                if (n <= 0)
                    break;
                sent += static_cast<size_t>(n);
            }
            while (m_stall && !m_stop)
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            ::close(client);
        }
    }

    std::string m_body;
    bool m_stall = false;
    int m_listen = -1;
    int m_port = 0;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
    mutable std::mutex m_mutex;
    std::string m_request;
};

// An address on 127.0.0.1 where nothing listens: a port the system gave out and took back.
inline std::string closedLocalAddress()
{
    int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    ::getsockname(s, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(s);
    return "http://127.0.0.1:" + std::to_string(ntohs(address.sin_port));
}

} // namespace folvane::test
