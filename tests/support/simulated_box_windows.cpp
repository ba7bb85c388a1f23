// The simulated box's line under Wine: a Windows program cannot make a pseudo-terminal, so the
// box starts pty_relay (tests/windows/pty_relay.cpp), a program of the build machine, which
// Wine's CreateProcess runs as it is. The relay makes the terminal, maps it to a free COM
// number of the prefix that wine_test.sh set up, and passes bytes between its controller side
// and a TCP connection to this program on 127.0.0.1. The port's path is \\.\COM<n>.
#include <winsock2.h>
#include <windows.h>

#include <chrono>
#include <cstdlib>
#include <string>

#include "simulated_box.h"

namespace vt_test {

namespace {

constexpr int kStartWaitMs = 10000;  // for the relay to connect and name its number
constexpr int kHangUpWaitMs = 5000;  // for the relay to close the terminal

bool winsock_ready() {
    static const bool ready = [] {
        WSADATA data;
        return WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    return ready;
}

// Waits until socket is ready for reading (or, with write, for writing); false on time-out.
bool wait_ready(SOCKET socket, bool write, int timeout_ms) {
    fd_set set;
    FD_ZERO(&set);
    FD_SET(socket, &set);
    timeval timeout{timeout_ms / 1000, (timeout_ms % 1000) * 1000};
    return select(0, write ? nullptr : &set, write ? &set : nullptr, nullptr, &timeout) == 1;
}

// A path of the build machine as Wine's drive Z: shows it.
std::string wine_path(std::string path) {
    for (char &c : path)
        if (c == '/') c = '\\';
    return "Z:" + path;
}

}  // namespace

struct BoxLine::Ends {
    SOCKET relay = INVALID_SOCKET;  // the connection to the relay
};

BoxLine::BoxLine() : ends_(new Ends) {
    const char *ports = std::getenv("VT_WINE_PORTS");
    if (!ports || !*ports) {
        error_ = "VT_WINE_PORTS is not set: the program runs outside wine_test.sh";
        return;
    }
    if (!winsock_ready()) {
        error_ = "WSAStartup failed";
        return;
    }
    const SOCKET listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int length = sizeof address;
    if (listener == INVALID_SOCKET ||
        bind(listener, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 ||
        listen(listener, 1) != 0 ||
        getsockname(listener, reinterpret_cast<sockaddr *>(&address), &length) != 0) {
        error_ = "cannot listen on 127.0.0.1: error " + std::to_string(WSAGetLastError());
        if (listener != INVALID_SOCKET) closesocket(listener);
        return;
    }

    // Wine starts a program of the build machine without a process handle: the relay's end
    // is known by the connection closing.
    const std::string program = wine_path(PTY_RELAY);
    std::string command = "pty_relay " + std::to_string(ntohs(address.sin_port)) + " " + ports;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(program.c_str(), &command[0], nullptr, nullptr, FALSE, 0, nullptr,
                        nullptr, &startup, &process)) {
        error_ = "cannot start " + program + ": error " + std::to_string(GetLastError());
        closesocket(listener);
        return;
    }
    if (process.hProcess) CloseHandle(process.hProcess);
    if (process.hThread) CloseHandle(process.hThread);

    if (wait_ready(listener, false, kStartWaitMs))
        ends_->relay = accept(listener, nullptr, nullptr);
    closesocket(listener);
    if (ends_->relay == INVALID_SOCKET) {
        error_ = "pty_relay did not connect (see its message above)";
        return;
    }
    // The relay's first line names the number: "COM<n> <terminal>\n".
    std::string hello;
    char byte = 0;
    while (hello.size() < 256 && wait_ready(ends_->relay, false, kStartWaitMs) &&
           recv(ends_->relay, &byte, 1, 0) == 1 && byte != '\n')
        hello += byte;
    const int number = hello.rfind("COM", 0) == 0 ? std::atoi(hello.c_str() + 3) : 0;
    if (number <= 0) {
        error_ = "pty_relay named no COM number: '" + hello + "'";
        return;
    }
    u_long nonblocking = 1;
    ioctlsocket(ends_->relay, FIONBIO, &nonblocking);
    path_ = "\\\\.\\COM" + std::to_string(number);
}

BoxLine::~BoxLine() { hang_up(); }

bool BoxLine::send(const char *bytes, size_t count, bool wait) {
    while (count > 0) {
        const int sent = ::send(ends_->relay, bytes, int(count), 0);
        if (sent > 0) {
            bytes += sent;
            count -= size_t(sent);
        } else if (!wait || WSAGetLastError() != WSAEWOULDBLOCK ||
                   !wait_ready(ends_->relay, true, 1000)) {
            return false;
        }
    }
    return true;
}

long BoxLine::receive(char *buffer, size_t size, int timeout_ms) {
    if (!wait_ready(ends_->relay, false, timeout_ms)) return 0;
    const int got = recv(ends_->relay, buffer, int(size), 0);
    return got > 0 ? got : 0;
}

// The relay closes the terminal's controller side when this side stops sending, and the
// connection after it: once it has closed, the line is down.
void BoxLine::hang_up() {
    if (ends_->relay == INVALID_SOCKET) return;
    shutdown(ends_->relay, SD_SEND);
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(kHangUpWaitMs);
    char chunk[256];
    while (std::chrono::steady_clock::now() < deadline) {
        if (!wait_ready(ends_->relay, false, 50)) continue;
        const int got = recv(ends_->relay, chunk, sizeof chunk, 0);
        if (got == 0 || (got < 0 && WSAGetLastError() != WSAEWOULDBLOCK)) break;
    }
    closesocket(ends_->relay);
    ends_->relay = INVALID_SOCKET;
}

}  // namespace vt_test
