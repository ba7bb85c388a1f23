// The Cedrus response box on the serial port: finding it with the XID protocol and protocol
// queries, and turning its six-byte 'k' key reports into button states.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/console_output.h"

#include "device/commport.h"

namespace {

constexpr int32_t kProbeBytes = 32;
// Reads that empty the input before probing; a port that still sends after them is probed
// with what it sends.
constexpr int kMaxDrainReads = 32;
constexpr int32_t kReadBytes = 64;
// A key report: 'k', the info byte (key in bits 5-7, state in bit 4, the box's input port in
// bits 0-3) and four bytes of reaction time, which take any value, 'k' included.
constexpr int32_t kReportBytes = 6;
// Bytes read but not decoded yet, at most: further bytes wait in the port.
constexpr int32_t kUndecodedBytes = 256;

// Received bytes from a report on that the last call left for the next.
unsigned char undecoded[kUndecodedBytes];
int32_t undecoded_count = 0;

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
            platform::print("Found Cedrus box on port %d \n", port);
            return true;
        }
        platform::print("Read data '%s' \n", printable(answer, count).c_str());
        return false;
    }

    writeCOM("_d2");  // product query
    count = readCOM(answer, kProbeBytes);
    if (count > 0 && answer[0] >= '0' && answer[0] <= '2') {
        platform::print("Found buttonbox \n");
        return true;
    }
    platform::print("Looking for CEDRUS ButtonBox. No luck on COM port %d \n", port);
    return false;
}

}  // namespace

int32_t find_button_box() {
    for (int32_t port = 0; port < platform::kSerialPortCount; ++port) {
        if (!open_com_port(port)) continue;
        undecoded_count = 0;
        const bool found = box_answers(port);
        std::fflush(stdout);
        if (found) return 1;
        close_com_port();
    }
    return 0;
}

int32_t button_box_device_callback(DeviceButtons *record) {
    if (!record) return -1;
    unsigned char data[kUndecodedBytes];
    std::memcpy(data, undecoded, undecoded_count);
    int32_t total = undecoded_count;
    if (const int32_t room = std::min(kReadBytes, kUndecodedBytes - total); room > 0) {
        const int32_t count = readCOMNoWait(data + total, room);
        if (count < 0) return -1;
        total += count;
    }

    // Reports are taken six bytes at a time, so a 'k' among the time bytes starts none. Only
    // the leading 'k' marks a report (the info byte's port bits vary with the box's inputs),
    // so a byte other than 'k' where a report should start, the tail of an answer or line
    // noise, is skipped up to the next 'k'.
    // A key's second report in one batch waits for the next call, so that a press and its
    // release that arrive together are seen one after the other and the press is not lost.
    int32_t events = 0;
    unsigned changed_keys = 0;
    int32_t i = 0;
    while (i < total) {
        if (data[i] != 'k') {
            ++i;
            continue;
        }
        if (total - i < kReportBytes) break;  // the rest of the report has not arrived yet
        const int key = data[i + 1] >> 5;
        // Key 0 has no button: buttons are numbered from 1.
        if (key != 0) {
            if (changed_keys & (1u << key)) break;
            changed_keys |= 1u << key;
            record->states[key - 1] = (data[i + 1] >> 4) & 1;
            ++events;
        }
        i += kReportBytes;
    }
    undecoded_count = total - i;
    std::memcpy(undecoded, data + i, size_t(undecoded_count));
    return events;
}
