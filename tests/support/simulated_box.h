// A simulated Cedrus response box on a pseudo-terminal pair: the library opens the terminal
// side as a serial port; a thread on the other side answers its probes and sends key reports.
#pragma once

#include <atomic>
#include <mutex>
#include <random>
#include <string>
#include <thread>

#include "test_system.h"

namespace vt_test {

class SimulatedBox {
public:
    enum class Answer {
        Xid,           // "_xid0" to the protocol query
        XidAndMore,    // "_xid0" and more bytes in the same write
        ProductOnly,   // silent on the protocol query, "2..." to the product query
        Silent,        // never answers
        Chatter,       // sends bytes without pause, answering nothing
    };

    explicit SimulatedBox(Answer answer);
    ~SimulatedBox();
    SimulatedBox(const SimulatedBox &) = delete;
    SimulatedBox &operator=(const SimulatedBox &) = delete;

    // The terminal's path, to be listed in VT_SERIAL_PORTS.
    const std::string &path() const { return path_; }
    // Everything the library has written so far.
    std::string received();
    // Sends bytes to the library.
    void send(const std::string &bytes);
    // A key report as the box sends it: 'k', key (0 to 7) and state, and four time bytes from
    // a seeded generator that makes many of them 0x6B ('k').
    std::string key_report(int key, bool pressed);
    // Closes the box's side: the library's next read fails.
    void hang_up();

private:
    void run();

    Answer answer_;
    int controller_ = -1;  // the box's side
    int terminal_ = -1;    // kept open so the pair lives while the library reopens it
    std::string path_;
    std::mutex mutex_;
    std::string received_;
    size_t answered_ = 0;  // received_ up to here has been answered
    std::mt19937 time_bytes_{20240611};
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

// Sets VT_SERIAL_PORTS for the lifetime of the object and restores it after.
class SerialPortsOverride : public EnvironmentOverride {
public:
    explicit SerialPortsOverride(const std::string &paths)
        : EnvironmentOverride("VT_SERIAL_PORTS", paths) {}
};

}  // namespace vt_test
