// SPDX-License-Identifier: MIT
#include "ScriptedSmtpServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

namespace tessaly::test {
namespace {

int ListenOnLoopback(int* port)
{
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&address), size) != 0 || ::listen(fd, 4) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
        if (fd >= 0)
            ::close(fd);
        return -1;
    }
    *port = ntohs(address.sin_port);
    return fd;
}

void Say(int client, const std::string& line)
{
    std::string text = line + "\r\n";
    (void)!::send(client, text.data(), text.size(), MSG_NOSIGNAL);
}

} // namespace

int ClosedPort()
{
    int port = 0;
    int fd = ListenOnLoopback(&port);
    ::close(fd);
    return port;
}

ScriptedSmtpServer::ScriptedSmtpServer(Behaviour behaviour)
{
    m_listen = ListenOnLoopback(&m_port);
    if (behaviour != Behaviour::Silent && m_listen >= 0)
        m_thread = std::thread([this, behaviour] { Serve(behaviour); });
}

ScriptedSmtpServer::~ScriptedSmtpServer()
{
    m_stop = true;
    if (m_thread.joinable())
        m_thread.join();
    if (m_listen >= 0)
        ::close(m_listen);
}

bool ScriptedSmtpServer::ReadLine(int client, std::string* line)
{
    line->clear();
    while (!m_stop) {
        pollfd ready{client, POLLIN, 0};
        if (::poll(&ready, 1, 50) <= 0)
            continue;
        char c = 0;
        if (::recv(client, &c, 1, 0) != 1)
            return false;
        if (c == '\n') {
            if (!line->empty() && line->back() == '\r')
                line->pop_back();
            return true;
        }
        line->push_back(c);
    }
    return false;
}

void ScriptedSmtpServer::PlayAlong(int client)
{
    Say(client, "220 fake ESMTP");
    std::string line;
    while (ReadLine(client, &line)) {
        std::string verb = line.substr(0, 4);
        if (verb == "DATA") {
            Say(client, "354 go ahead");
            while (ReadLine(client, &line) && line != ".") {
            }
            m_receivedMessage = true;
            // Never answers the end of the message: wait for the client to
            // give up and hang up.
            while (ReadLine(client, &line)) {
            }
            return;
        }
        Say(client, verb == "QUIT" ? "221 bye" : "250 ok");
    }
}

void ScriptedSmtpServer::Serve(Behaviour behaviour)
{
    int client = -1;
    while (!m_stop && client < 0) {
        pollfd ready{m_listen, POLLIN, 0};
        if (::poll(&ready, 1, 50) > 0)
            client = ::accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC);
    }
    if (client < 0)
        return;
    if (behaviour == Behaviour::HangUpAfterGreeting)
        Say(client, "220 fake ESMTP");
    else
        PlayAlong(client);
    ::close(client);
}

} // namespace tessaly::test
