// The simulated response box (see simulated_box.h): its answers and key reports, the same on
// every system; the line it talks on is BoxLine's.
#include "simulated_box.h"

#include <gtest/gtest.h>

#include <cstring>

namespace vt_test {

SimulatedBox::SimulatedBox(Answer answer) : answer_(answer) {
    if (line_.path().empty()) {
        ADD_FAILURE() << line_.error();
        return;
    }
    thread_ = std::thread(&SimulatedBox::run, this);
}

SimulatedBox::~SimulatedBox() { hang_up(); }

void SimulatedBox::hang_up() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    line_.hang_up();
}

std::string SimulatedBox::received() {
    std::lock_guard<std::mutex> lock(mutex_);
    return received_;
}

void SimulatedBox::send(const std::string &bytes) {
    std::lock_guard<std::mutex> lock(mutex_);
    ASSERT_TRUE(line_.send(bytes.data(), bytes.size()));
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
            line_.send(noise, sizeof noise - 1, false);  // a full line drops the noise
        }
        char chunk[256];
        const long got = line_.receive(chunk, sizeof chunk, 5);
        if (got <= 0) continue;
        std::lock_guard<std::mutex> lock(mutex_);
        received_.append(chunk, size_t(got));
        const auto answer = [&](const char *query, const std::string &reply) {
            const size_t at = received_.find(query, answered_);
            if (at == std::string::npos) return;
            answered_ = at + std::strlen(query);
            EXPECT_TRUE(line_.send(reply.data(), reply.size()));
        };
        if (answer_ == Answer::Xid) answer("____c1", "_xid0");
        if (answer_ == Answer::XidAndMore) answer("____c1", "_xid0\x01Z");
        if (answer_ == Answer::ProductOnly) answer("_d2", "2 RB-830");
    }
}

}  // namespace vt_test
