// A simulated Cedrus response box on a serial line: the library opens the line's far end as a
// serial port; a thread on the box's end answers its probes and sends key reports. The box's
// end is a pseudo-terminal's controller side, held on Linux by the test program itself and under
// Wine by a relay program of the build machine that maps the terminal to a COM number of the
// prefix (BoxLine, one implementation per system).
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <thread>

#include "test_system.h"

namespace vt_test {

// The box's end of the line (simulated_box_linux.cpp, simulated_box_windows.cpp).
class BoxLine {
public:
    // Makes a new line; on failure path() is empty and error says why.
    BoxLine();
    ~BoxLine();
    BoxLine(const BoxLine &) = delete;
    BoxLine &operator=(const BoxLine &) = delete;

    // The port's name for VT_SERIAL_PORTS; empty when the line could not be made.
    const std::string &path() const { return path_; }
    const std::string &error() const { return error_; }
    // Sends all of bytes; false when they did not all go. With wait false a full line takes
    // what it can at once.
    bool send(const char *bytes, size_t count, bool wait = true);
    // Bytes that arrive within timeout_ms, at most size; 0 when none did.
    long receive(char *buffer, size_t size, int timeout_ms);
    // Closes the box's end: the library's reads on the port fail from now on.
    void hang_up();

private:
    struct Ends;
    std::unique_ptr<Ends> ends_;
    std::string path_;
    std::string error_;
};

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

    // The port's path, to be listed in VT_SERIAL_PORTS.
    const std::string &path() const { return line_.path(); }
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
    BoxLine line_;
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
