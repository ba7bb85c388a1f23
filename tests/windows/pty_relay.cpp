// A program of the build machine for the Windows test programs, which run under Wine and
// cannot make pseudo-terminals themselves:
//   pty_relay <tcp-port> <ports-folder>
// It makes a raw pseudo-terminal, maps it to a free COM number of the Wine prefix, tells the
// test program listening on 127.0.0.1:<tcp-port> that number ("COM<n> <terminal>\n"), and then
// passes bytes both ways between the terminal's controller side and that connection. When the
// test program closes the connection (or ends), the number goes back to idle and the
// controller side is closed, which hangs up the line. wine_test.sh maps the prefix's COM1 to
// COM31 to the entries <ports-folder>/com<n>: a busy number's entry is a link to its terminal,
// an idle one's a socket file, which the prefix opens as no device at all. Each busy number is
// held with a flock() lock on com<n>.lock, which the system drops when the relay ends however
// it ends, so that the next relay puts that entry back to idle.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <pty.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

constexpr int kFirstNumber = 1;  // the prefix cannot map COM0
constexpr int kLastNumber = 31;  // the library looks no further
constexpr size_t kMaxPending = size_t(1) << 20;  // bytes the terminal has not taken, at most

volatile std::sig_atomic_t stopping = 0;
void stop(int) { stopping = 1; }

// Replaces entry with a link to target, in one step for anyone opening it.
bool link_entry(const std::string &entry, const std::string &target) {
    const std::string next = entry + ".next";
    unlink(next.c_str());
    return symlink(target.c_str(), next.c_str()) == 0 && rename(next.c_str(), entry.c_str()) == 0;
}

// Makes entry an idle number's socket file unless it is one; when no socket can be made there,
// the entry is removed.
void idle_entry(const std::string &entry) {
    struct stat status {};
    if (lstat(entry.c_str(), &status) == 0 && S_ISSOCK(status.st_mode)) return;
    const std::string next = entry + ".next";
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const int made = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    bool ready = false;
    if (made >= 0 && next.size() < sizeof address.sun_path) {
        std::memcpy(address.sun_path, next.c_str(), next.size() + 1);
        unlink(next.c_str());
        ready = bind(made, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0 &&
                rename(next.c_str(), entry.c_str()) == 0;
    }
    if (made >= 0) close(made);
    if (!ready) unlink(entry.c_str());
}

std::string entry_of(const std::string &folder, int number) {
    return folder + "/com" + std::to_string(number);
}

// Takes the first free number for terminal and puts every other free number's entry back to
// idle. Returns the number (its lock held in lock_fd), 0 when none is free.
int claim_number(const std::string &folder, const std::string &terminal, int &lock_fd) {
    int claimed = 0;
    for (int number = kFirstNumber; number <= kLastNumber; ++number) {
        const std::string entry = entry_of(folder, number);
        const int lock = open((entry + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (lock < 0) continue;
        if (flock(lock, LOCK_EX | LOCK_NB) != 0) {  // another relay's number
            close(lock);
            continue;
        }
        if (!claimed && link_entry(entry, terminal)) {
            claimed = number;
            lock_fd = lock;
            continue;
        }
        idle_entry(entry);
        close(lock);
    }
    return claimed;
}

int connect_to(int port) {
    const int connection = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(uint16_t(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connection < 0 ||
        connect(connection, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0) {
        if (connection >= 0) close(connection);
        return -1;
    }
    return connection;
}

bool send_all(int connection, const char *bytes, size_t count) {
    while (count > 0) {
        const ssize_t sent = send(connection, bytes, count, MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR) continue;
        if (sent <= 0) return false;
        bytes += sent;
        count -= size_t(sent);
    }
    return true;
}

// Passes bytes until the connection closes or the relay is told to stop.
void relay(int controller, int connection) {
    std::string pending;  // from the connection, not yet taken by the terminal
    while (!stopping) {
        pollfd entries[2] = {{controller, short(POLLIN | (pending.empty() ? 0 : POLLOUT)), 0},
                             {connection, POLLIN, 0}};
        if (poll(entries, 2, -1) < 0) {
            if (errno == EINTR) continue;
            return;
        }
        char chunk[4096];
        if (entries[0].revents & POLLIN) {
            const ssize_t got = read(controller, chunk, sizeof chunk);
            if (got > 0 && !send_all(connection, chunk, size_t(got))) return;
        }
        if (entries[1].revents & (POLLIN | POLLHUP | POLLERR)) {
            const ssize_t got = recv(connection, chunk, sizeof chunk, 0);
            if (got == 0 || (got < 0 && errno != EINTR && errno != EAGAIN)) return;
            // A line nobody reads overruns, as a UART's does.
            if (got > 0 && pending.size() < kMaxPending) pending.append(chunk, size_t(got));
        }
        if (!pending.empty() && (entries[0].revents & POLLOUT)) {
            const ssize_t put = write(controller, pending.data(), pending.size());
            if (put > 0) pending.erase(0, size_t(put));
        }
    }
}

}  // namespace

int main(int argc, char **argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: pty_relay <tcp-port> <ports-folder>\n");
        return 2;
    }
    const int port = std::atoi(argv[1]);
    const std::string folder = argv[2];
    std::signal(SIGTERM, stop);
    std::signal(SIGINT, stop);
    // The controller's close hangs the terminal up, which signals its session: this one.
    std::signal(SIGHUP, SIG_IGN);
    std::signal(SIGPIPE, SIG_IGN);

    int controller = -1, terminal = -1;
    char name[256] = {};
    termios raw{};
    cfmakeraw(&raw);
    if (openpty(&controller, &terminal, name, &raw, nullptr) != 0) {
        std::perror("pty_relay: openpty");
        return 1;
    }
    // The terminal is this session's own controlling terminal, so that it becomes no other
    // process's (wineserver opens it without O_NOCTTY, and as a session leader would take it).
    setsid();
    ioctl(terminal, TIOCSCTTY, 0);
    fcntl(controller, F_SETFL, fcntl(controller, F_GETFL) | O_NONBLOCK);

    int lock = -1;
    const int number = claim_number(folder, name, lock);
    if (!number) {
        std::fprintf(stderr, "pty_relay: no free COM number in %s\n", folder.c_str());
        return 1;
    }
    const int connection = connect_to(port);
    const std::string hello = "COM" + std::to_string(number) + " " + name + "\n";
    if (connection >= 0 && send_all(connection, hello.data(), hello.size()))
        relay(controller, connection);
    else
        std::perror("pty_relay: connect");

    // The number goes back to idle before the line hangs up, so that nothing opens a dying
    // terminal; the connection closes last, telling the test program the line is down.
    idle_entry(entry_of(folder, number));
    close(controller);
    close(terminal);
    close(lock);
    if (connection >= 0) close(connection);
    return 0;
}
