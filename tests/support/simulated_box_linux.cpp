// The simulated box's line on Linux: a pseudo-terminal pair, raw, made with openpty. The box
// keeps the controller side; it also keeps the terminal side open, so that the pair lives
// while the library closes and reopens the terminal.
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include "simulated_box.h"

namespace vt_test {

struct BoxLine::Ends {
    int controller = -1;  // the box's side
    int terminal = -1;
};

BoxLine::BoxLine() : ends_(new Ends) {
    char name[256] = {};
    termios raw{};
    cfmakeraw(&raw);
    if (openpty(&ends_->controller, &ends_->terminal, name, &raw, nullptr) != 0) {
        error_ = "openpty failed";
        return;
    }
    path_ = name;
    fcntl(ends_->controller, F_SETFL, fcntl(ends_->controller, F_GETFL) | O_NONBLOCK);
}

BoxLine::~BoxLine() {
    hang_up();
    if (ends_->terminal >= 0) close(ends_->terminal);
}

// The controller side does not block: a full terminal takes part of a write or none of it,
// whatever wait says.
bool BoxLine::send(const char *bytes, size_t count, bool) {
    return write(ends_->controller, bytes, count) == ssize_t(count);
}

long BoxLine::receive(char *buffer, size_t size, int timeout_ms) {
    pollfd entry{ends_->controller, POLLIN, 0};
    if (poll(&entry, 1, timeout_ms) <= 0) return 0;
    const ssize_t got = read(ends_->controller, buffer, size);
    return got > 0 ? long(got) : 0;
}

void BoxLine::hang_up() {
    if (ends_->controller >= 0) close(ends_->controller);
    ends_->controller = -1;
}

}  // namespace vt_test
