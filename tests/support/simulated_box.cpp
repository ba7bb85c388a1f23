// The simulated response box (see simulated_box.h).
#include "simulated_box.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

namespace vt_test {

SimulatedBox::SimulatedBox(Answer answer) : answer_(answer) {
    char name[256] = {};
    termios raw{};
    cfmakeraw(&raw);
    if (openpty(&controller_, &terminal_, name, &raw, nullptr) != 0) {
        ADD_FAILURE() << "openpty failed";
        return;
    }
    path_ = name;
    fcntl(controller_, F_SETFL, fcntl(controller_, F_GETFL) | O_NONBLOCK);
    thread_ = std::thread(&SimulatedBox::run, this);
}

SimulatedBox::~SimulatedBox() {
    hang_up();
    if (terminal_ >= 0) close(terminal_);
}

void SimulatedBox::hang_up() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    if (controller_ >= 0) close(controller_);
    controller_ = -1;
}

std::string SimulatedBox::received() {
    std::lock_guard<std::mutex> lock(mutex_);
    return received_;
}

void SimulatedBox::send(const std::string &bytes) {
    std::lock_guard<std::mutex> lock(mutex_);
    ASSERT_EQ(write(controller_, bytes.data(), bytes.size()), ssize_t(bytes.size()));
}

std::string SimulatedBox::key_report(int key, bool pressed) {
    std::string report{'k', char((key << 5) | (pressed ? 0x10 : 0))};
    std::bernoulli_distribution is_k(0.4);
    std::uniform_int_distribution<int> byte(0, 255);
    for (int i = 0; i < 4; ++i) report += is_k(time_bytes_) ? 'k' : char(byte(time_bytes_));
    return report;
}

void SimulatedBox::run() {
    while (!stop_) {
        if (answer_ == Answer::Chatter) {
            const char noise[] = "noise-noise-noise";
            [[maybe_unused]] const ssize_t sent = write(controller_, noise, sizeof noise - 1);
        }
        pollfd entry{controller_, POLLIN, 0};
        if (poll(&entry, 1, 5) <= 0) continue;
        char chunk[256];
        const ssize_t got = read(controller_, chunk, sizeof chunk);
        if (got <= 0) continue;
        std::lock_guard<std::mutex> lock(mutex_);
        received_.append(chunk, size_t(got));
        const auto answer = [&](const char *query, const std::string &reply) {
            const size_t at = received_.find(query, answered_);
            if (at == std::string::npos) return;
            answered_ = at + std::strlen(query);
            EXPECT_EQ(write(controller_, reply.data(), reply.size()), ssize_t(reply.size()));
        };
        if (answer_ == Answer::Xid) answer("____c1", "_xid0");
        if (answer_ == Answer::XidAndMore) answer("____c1", "_xid0\x01Z");
        if (answer_ == Answer::ProductOnly) answer("_d2", "2 RB-830");
    }
}

}  // namespace vt_test
