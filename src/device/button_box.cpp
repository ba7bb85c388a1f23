// The Cedrus response box on the serial port: finding it with the XID protocol and protocol
// queries, and turning its 'k' key reports into button states.
#include <cstdio>
#include <cstring>
#include <string>

#include "device/commport.h"

namespace {

constexpr int32_t kProbeBytes = 32;
// Reads that empty the input before probing; a port that still sends after them is probed
// with what it sends.
constexpr int kMaxDrainReads = 32;
constexpr int32_t kReportBytes = 64;

// A 'k' that ended the previous read: the next read starts with its info byte.
bool report_pending = false;

// Bytes from a serial line as printable text: other bytes as \xNN.
std::string printable(const char *bytes, int32_t count) {
    std::string text;
    for (int32_t i = 0; i < count; ++i) {
        const auto byte = static_cast<unsigned char>(bytes[i]);
        if (byte >= 0x20 && byte < 0x7F) {
            text += static_cast<char>(byte);
        } else {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
            text += escaped;
        }
    }
    return text;
}

// Probes the port just opened. True when a box answered.
bool box_answers(int32_t port) {
    platform::serial_flush(com_handle);
    char answer[kProbeBytes + 1];
    for (int reads = 0; reads < kMaxDrainReads; ++reads)
        if (readCOM(answer, kProbeBytes) <= 0) break;

    writeCOM("____c1");  // XID protocol query
    int32_t count = readCOM(answer, kProbeBytes);
    if (count > 0) {
        if (count == 5 && std::memcmp(answer, "_xid0", 5) == 0) {
            std::printf("Found Cedrus box on port %d \n", port);
            return true;
        }
        std::printf("Read data '%s' \n", printable(answer, count).c_str());
        return false;
    }

    writeCOM("_d2");  // product query
    count = readCOM(answer, kProbeBytes);
    if (count > 0 && answer[0] >= '0' && answer[0] <= '2') {
        std::printf("Found buttonbox \n");
        return true;
    }
    std::printf("Looking for CEDRUS ButtonBox. No luck on COM port %d \n", port);
    return false;
}

}  // namespace

int32_t find_button_box() {
    for (int32_t port = 0; port < platform::kSerialPortCount; ++port) {
        if (!open_com_port(port)) continue;
        report_pending = false;
        const bool found = box_answers(port);
        std::fflush(stdout);
        if (found) return 1;
        close_com_port();
    }
    return 0;
}

int32_t button_box_device_callback(DeviceButtons *record) {
    if (!record) return -1;
    // One byte in front for a report whose info byte is the first one read.
    unsigned char data[1 + kReportBytes];
    const int32_t start = report_pending ? 1 : 0;
    data[0] = 'k';
    const int32_t count = readCOMNoWait(data + start, kReportBytes);
    if (count <= 0) return count < 0 ? -1 : 0;

    // Every 'k' starts a report: bits 5-7 of the byte after it are the key, bit 4 its state.
    const int32_t total = start + count;
    int32_t events = 0;
    report_pending = false;
    for (int32_t i = 0; i < total; ++i) {
        if (data[i] != 'k') continue;
        if (i + 1 == total) {
            report_pending = true;
            break;
        }
        const int key = data[i + 1] >> 5;
        // Key 0 has no button: buttons are numbered from 1.
        if (key == 0) continue;
        record->states[key - 1] = (data[i + 1] >> 4) & 1;
        ++events;
    }
    return events;
}
