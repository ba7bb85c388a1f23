// Checks of the library's serial port that hold on every system, against a simulated box whose
// port the library has open.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "device/commport.h"
#include "simulated_box.h"
#include "vistrak_core64_control.h"

namespace vt_test {

using Clock = std::chrono::steady_clock;

inline double seconds_since(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Waits until at least count bytes are waiting on the open port.
inline bool bytes_arrive(int32_t count) {
    for (int i = 0; i < 400; ++i) {
        if (platform::serial_bytes_waiting(com_handle) >= count) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
}

// A read with nothing arriving returns after about a second and is logged; bytes that arrive
// end the wait, bytes already waiting are read at once, and writes reach the box. Wine's serial
// driver may hand over the first byte of a burst alone (first_byte_alone).
inline void expect_reads_wait_about_one_second(SimulatedBox &box, bool first_byte_alone) {
    char buffer[32];
    auto start = Clock::now();
    EXPECT_EQ(readCOM(buffer, sizeof buffer), 0);
    const double waited = seconds_since(start);
    EXPECT_GE(waited, 0.9);
    EXPECT_LT(waited, 2.0);
    EXPECT_EQ(standin_log_matches("commport:readCOM:ReadSerial:nothing read"), 1u);

    std::thread late([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        box.send("late");
    });
    start = Clock::now();
    int32_t got = readCOM(buffer, sizeof buffer);
    EXPECT_LT(seconds_since(start), 0.9) << "bytes end the wait when they arrive";
    late.join();
    if (first_byte_alone && got > 0 && got < 4)
        got += readCOM(buffer + got, int32_t(sizeof buffer) - got);
    ASSERT_EQ(got, 4);
    EXPECT_EQ(std::string(buffer, 4), "late");

    box.send("_xid0");
    ASSERT_TRUE(bytes_arrive(5));
    start = Clock::now();
    EXPECT_EQ(readCOM(buffer, sizeof buffer), 5);
    EXPECT_LT(seconds_since(start), 0.5) << "bytes waiting are read without a wait";

    EXPECT_EQ(writeCOM("ping"), 0);
    for (int i = 0; i < 200 && box.received().size() < 4; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_EQ(box.received(), "ping");
}

}  // namespace vt_test
