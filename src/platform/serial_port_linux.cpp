// Serial ports on Linux: termios in raw mode on a non-blocking descriptor, poll() for the
// one-second read wait; the system's ports are the serial devices in /dev. A port is held
// with TIOCEXCL and flock(), and gets back the termios found at open when it is closed.
#include "platform/serial_port.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>

namespace platform {

struct SerialPort {
    int fd = -1;
    termios found{};  // the line settings at open, put back at close
};

namespace {

constexpr int kReadWaitMs = 1000;
constexpr int kWriteWaitMs = 1000;

// Waits for events on fd for at most timeout_ms, across interruptions. Returns the revents,
// 0 on time-out, -1 on error.
int wait_for(int fd, short events, int timeout_ms) {
    using clock = std::chrono::steady_clock;
    const auto deadline = clock::now() + std::chrono::milliseconds(timeout_ms);
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - clock::now());
        pollfd entry{fd, events, 0};
        const int ready = poll(&entry, 1, static_cast<int>(std::max<long>(0, left.count())));
        if (ready > 0) return entry.revents;
        if (ready == 0) return 0;
        if (errno != EINTR) return -1;
    }
}

// Takes the port for this process alone; false when another program holds it: with TIOCEXCL
// (opens then fail with EBUSY, but root's succeed, hence TIOCGEXCL) or with the advisory
// flock() lock that serial programs take.
bool claim(int fd) {
    int exclusive = 0;
    if (ioctl(fd, TIOCGEXCL, &exclusive) == 0 && exclusive) return false;
    if (flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) return false;
    ioctl(fd, TIOCEXCL);
    return true;
}

bool configure(int fd, termios settings, std::string &error) {
    cfmakeraw(&settings);
    settings.c_cflag &= ~(PARENB | CSTOPB | CSIZE | CRTSCTS);
    settings.c_cflag |= CS8 | CLOCAL | CREAD;
    settings.c_iflag &= ~(IXON | IXOFF | IXANY);
    settings.c_cc[VSTOP] = 0;  // XOFF character 0
    settings.c_cc[VMIN] = 0;   // reads never block: poll() does the waiting
    settings.c_cc[VTIME] = 0;
    if (cfsetispeed(&settings, B115200) != 0 || cfsetospeed(&settings, B115200) != 0 ||
        tcsetattr(fd, TCSANOW, &settings) != 0) {
        error = std::string("cannot set 115200 8N1: ") + std::strerror(errno);
        return false;
    }
    return true;
}

}  // namespace

std::vector<std::string> system_serial_ports() { return scan_serial_devices("/dev"); }

SerialPort *open_serial_port(int32_t number, std::string &error) {
    error.clear();
    if (number < 0 || number >= kSerialPortCount) return nullptr;
    const std::vector<std::string> paths = serial_port_paths();
    if (size_t(number) >= paths.size() || paths[size_t(number)].empty()) return nullptr;
    const std::string &path = paths[size_t(number)];
    const std::string in_use = path + ": in use by another program";
    // Opening raises DTR and RTS (unless the speed is B0); Linux offers no way to open a tty
    // without that. The lines go back down at close when the port's own settings (HUPCL)
    // say so, as they do after any program.
    const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        if (errno == EBUSY) error = in_use;  // held with TIOCEXCL
        return nullptr;
    }
    termios found{};
    if (tcgetattr(fd, &found) != 0) {
        error = path + ": cannot read line settings: " + std::strerror(errno);
        close(fd);
        return nullptr;
    }
    if (!claim(fd)) {
        error = in_use;
        close(fd);
        return nullptr;
    }
    auto *port = new SerialPort{fd, found};
    if (!configure(fd, found, error)) {
        error = path + ": " + error;
        close_serial_port(port);
        return nullptr;
    }
    return port;
}

void close_serial_port(SerialPort *port) {
    if (!port) return;
    // The found settings go back before the close, so that the close itself (HUPCL dropping
    // DTR and RTS) follows them.
    tcsetattr(port->fd, TCSANOW, &port->found);
    ioctl(port->fd, TIOCNXCL);  // the flag stays with the terminal while others have it open
    close(port->fd);            // releases the flock() lock
    delete port;
}

int32_t serial_write(SerialPort *port, const void *bytes, int32_t count) {
    if (!port || (!bytes && count > 0)) return -1;
    const auto *data = static_cast<const uint8_t *>(bytes);
    int32_t written = 0;
    while (written < count) {
        const ssize_t sent = write(port->fd, data + written, size_t(count - written));
        if (sent > 0) {
            written += int32_t(sent);
        } else if (sent < 0 && errno == EINTR) {
            continue;
        } else if (sent < 0 && errno == EAGAIN) {
            const int ready = wait_for(port->fd, POLLOUT, kWriteWaitMs);
            if (ready <= 0 || !(ready & POLLOUT)) return written > 0 ? written : -1;
        } else {
            return written > 0 ? written : -1;
        }
    }
    return written;
}

int32_t serial_read(SerialPort *port, void *buffer, int32_t count) {
    if (!port || !buffer) return -1;
    if (count <= 0) return 0;
    const int ready = wait_for(port->fd, POLLIN, kReadWaitMs);
    if (ready == 0) return 0;
    if (ready < 0 || !(ready & POLLIN)) return -1;  // error or hang-up with nothing to read
    for (;;) {
        const ssize_t got = read(port->fd, buffer, size_t(count));
        // Nothing to read from a port that signalled: the line has hung up.
        if (got == 0) return (ready & (POLLHUP | POLLERR)) ? -1 : 0;
        if (got > 0) return int32_t(got);
        if (errno == EAGAIN) return 0;
        if (errno != EINTR) return -1;
    }
}

int32_t serial_bytes_waiting(SerialPort *port) {
    int waiting = 0;
    if (!port || ioctl(port->fd, FIONREAD, &waiting) != 0) return -1;
    return waiting;
}

bool serial_flush(SerialPort *port) { return port && tcdrain(port->fd) == 0; }

}  // namespace platform
