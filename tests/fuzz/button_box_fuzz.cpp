// libFuzzer harness for the serial report decoder: the input's bytes arrive in chunks of
// arbitrary sizes on a pseudo-terminal opened as COM0, and the button box's device callback
// decodes them. Once every byte has been taken, the record holds, for each key, the state of
// its last report ('k' and an info byte: key in bits 5-7, state in bit 4), every report was
// counted once, and nothing outside buttons 1 to 7 was written.
#include <fuzzer/FuzzedDataProvider.h>
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
    FuzzedDataProvider input(data, size);
    auto record = std::make_unique<DeviceButtons>();
    std::memset(record->states, kUntouched, sizeof record->states);
    std::vector<uint8_t> stream;
    int events = 0;
    while (input.remaining_bytes() > 0) {
        const size_t length = input.ConsumeIntegralInRange<size_t>(1, 100);
        std::vector<uint8_t> chunk = input.ConsumeBytes<uint8_t>(length);
        stream.insert(stream.end(), chunk.begin(), chunk.end());
        send(chunk);
        events += decode_all(record.get());
    }
    // A NUL ends a report left open at the end (key 0 has no button), so that nothing is
    // carried over to the next input.
    send({0});
    events += decode_all(record.get());
    stream.push_back(0);

    std::array<uint8_t, 8> expected;
    expected.fill(kUntouched);
    int reports = 0;
    for (size_t i = 0; i + 1 < stream.size(); ++i) {
        if (stream[i] != 'k' || stream[i + 1] >> 5 == 0) continue;
        expected[stream[i + 1] >> 5] = (stream[i + 1] >> 4) & 1;
        ++reports;
    }
    check(events == reports);
    for (int key = 1; key <= 7; ++key) check(record->states[key - 1] == expected[size_t(key)]);
    for (size_t i = 7; i < sizeof record->states; ++i) check(record->states[i] == kUntouched);
    return 0;
}
