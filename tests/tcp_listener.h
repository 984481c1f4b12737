// A TCP listener on 127.0.0.1 at a free port, run by a thread of its own: it takes one
// connection, keeps the bytes that arrive up to the request's blank line, then answers and
// closes, or stays silent until the peer goes.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>

class TcpListener {
public:
    enum class Reply { answer, silent };

    explicit TcpListener(Reply reply) : m_reply(reply)
    {
        m_socket = open_bound_socket(m_port);
        if (m_socket >= 0 && listen(m_socket, 4) == 0) m_thread = std::thread([this] { serve(); });
    }
    ~TcpListener() { finish(); }
    TcpListener(const TcpListener&) = delete;
    TcpListener& operator=(const TcpListener&) = delete;

    std::uint16_t port() const { return m_port; }
    // Stops the listener and returns what the one connection sent (empty when none came).
    const std::string& finish()
    {
        m_stop = true;
        if (m_thread.joinable()) m_thread.join();
        if (m_socket >= 0) close(m_socket);
        m_socket = -1;
        return m_received;
    }
    bool accepted() const { return m_accepted; }

    // A port on 127.0.0.1 that nothing listens on.
    static std::uint16_t closed_port()
    {
        std::uint16_t port = 0;
        int s = open_bound_socket(port);
        if (s >= 0) close(s);
        return port;
    }

private:
    static int open_bound_socket(std::uint16_t& port)
    {
        int s = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof address;
        if (s < 0 || bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            getsockname(s, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
            if (s >= 0) close(s);
            return -1;
        }
        port = ntohs(address.sin_port);
        return s;
    }

    // Waits for the descriptor to become readable; false once the listener is told to stop.
    bool wait_readable(int fd)
    {
        pollfd entry{fd, POLLIN, 0};
        while (!m_stop)
            if (poll(&entry, 1, 50) > 0) return true;
        return false;
    }

    void serve()
    {
        if (!wait_readable(m_socket)) return;
        int peer = accept(m_socket, nullptr, nullptr);
        if (peer < 0) return;
        m_accepted = true;
        char piece[512];
        while (m_received.find("\r\n\r\n") == std::string::npos && wait_readable(peer)) {
            ssize_t got = recv(peer, piece, sizeof piece, 0);
            if (got <= 0) break;
            m_received.append(piece, static_cast<std::size_t>(got));
        }
        if (m_reply == Reply::answer) {
            static const char k_ok[] = "SSTP/1.1 200 OK\r\nCharset: SJIS\r\n\r\n";
            send(peer, k_ok, sizeof k_ok - 1, MSG_NOSIGNAL);
        } else {
            while (wait_readable(peer) && recv(peer, piece, sizeof piece, 0) > 0) {
            }
        }
        close(peer);
    }

    Reply m_reply;
    int m_socket = -1;
    std::uint16_t m_port = 0;
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_accepted{false};
    std::string m_received;
};
