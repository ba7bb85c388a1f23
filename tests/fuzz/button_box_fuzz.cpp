// libFuzzer harness for the serial report decoder. The input describes a stream of key reports
// and other bytes, which arrive in pieces of any size on a pseudo-terminal opened as COM0
// where the button box's device callback decodes them. Each step of the input is a control
// byte and what it names:
//   bit 0 set    a report: the next byte is its info byte (key in bits 5-7, state in bit 4);
//                its four time bytes are 'k' where bits 1-4 are set, else the next bytes;
//   bit 0 clear  1 + (bits 1-3) other bytes, the next ones;
//   bits 5-7     how many of the bytes not sent yet stay back; the others are sent.
// While no other byte is 'k', the stream is well-formed, and after every piece the record
// holds, for each key, the state of its last report that has arrived whole, with every such
// report counted once: nothing is read from inside a report. Any stream: no call decodes more
// than 7 reports or more reports than the bytes hold, and nothing outside buttons 1 to 7 is
// written.
#include <pty.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "device/commport.h"
#include "fuzz_check.h"
#include "fuzz_support.h"
#include "vistrak_core64_control.h"

namespace {

constexpr uint8_t kUntouched = 0xA5;
int box = -1;     // the pseudo-terminal's master: the box's end of the line
int watch = -1;   // a second descriptor of the port, to see how many bytes wait on it

int bytes_waiting() {
    int count = 0;
    while (ioctl(watch, FIONREAD, &count) != 0) check(errno == EINTR);
    return count;
}

// Sends bytes from the box and waits until they have arrived at the port. libFuzzer's
// timer signal can interrupt the write.
void send(const std::vector<uint8_t> &bytes) {
    for (size_t sent = 0; sent < bytes.size();) {
        const ssize_t count = write(box, bytes.data() + sent, bytes.size() - sent);
        check(count > 0 || (count < 0 && errno == EINTR));
        if (count > 0) sent += size_t(count);
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (bytes_waiting() < int(bytes.size()))
        check(std::chrono::steady_clock::now() < deadline);
}

// Polls the callback until the port is empty and a poll decodes nothing more.
int decode_all(DeviceButtons *record) {
    int events = 0;
    for (;;) {
        const int32_t result = button_box_device_callback(record);
        check(result >= 0 && result <= 7);
        events += result;
        if (result == 0 && bytes_waiting() == 0) return events;
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    fuzz_support::drop_standard_output();
    int port = -1;
    char name[256];
    check(openpty(&box, &port, name, nullptr, nullptr) == 0);
    setenv("VT_SERIAL_PORTS", name, 1);
    check(open_com_port(0) == 1);
    watch = port;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    standin_reset();  // the stand-in core keeps every log line and alert
    auto record = std::make_unique<DeviceButtons>();
    std::memset(record->states, kUntouched, sizeof record->states);
    struct Report {
        size_t end;  // stream offset after its last byte
        int key;
        uint8_t state;
    };
    std::vector<Report> reports;  // reports of keys 1 to 7, in stream order
    std::vector<uint8_t> unsent;
    size_t sent = 0;
    bool well_formed = true;
    size_t arrived_reports = 0;  // reports[] that have arrived whole
    std::array<uint8_t, 8> expected;
    expected.fill(kUntouched);
    int events = 0;
    const auto deliver = [&](size_t count) {
        send(std::vector<uint8_t>(unsent.begin(), unsent.begin() + long(count)));
        unsent.erase(unsent.begin(), unsent.begin() + long(count));
        sent += count;
        events += decode_all(record.get());
        check(size_t(events) * 6 <= sent);
        for (; arrived_reports < reports.size() && reports[arrived_reports].end <= sent;
             ++arrived_reports)
            expected[size_t(reports[arrived_reports].key)] = reports[arrived_reports].state;
        if (!well_formed) return;
        check(size_t(events) == arrived_reports);
        for (int key = 1; key <= 7; ++key)
            check(record->states[key - 1] == expected[size_t(key)]);
    };

    size_t at = 0;
    const auto next = [&] { return at < size ? data[at++] : uint8_t(0); };
    while (at < size) {
        const uint8_t control = next();
        if (control & 1) {
            const uint8_t info = next();
            unsent.push_back('k');
            unsent.push_back(info);
            for (int bit = 1; bit <= 4; ++bit)
                unsent.push_back(control & (1 << bit) ? 'k' : next());
            if (info >> 5)
                reports.push_back({sent + unsent.size(), info >> 5, uint8_t((info >> 4) & 1)});
        } else {
            for (int count = 1 + ((control >> 1) & 7); count > 0 && at < size; --count) {
                unsent.push_back(next());
                well_formed = well_formed && unsent.back() != 'k';
            }
        }
        const size_t kept = control >> 5;
        deliver(unsent.size() > kept ? unsent.size() - kept : 0);
    }
    deliver(unsent.size());
    // Five bytes 0 complete a report that a 'k' among the other bytes left open, so that
    // nothing is carried over to the next input.
    unsent.assign(5, 0);
    deliver(unsent.size());
    for (size_t i = 7; i < sizeof record->states; ++i) check(record->states[i] == kUntouched);
    return 0;
}
