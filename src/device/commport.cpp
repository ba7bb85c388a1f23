// The commport module's port handling: opening COM ports by number, and the logged byte I/O
// on the one open port.
#include "device/commport.h"

#include <cstring>
#include <string>

#include "vistrak_core64.h"

platform::SerialPort *com_handle = nullptr;

int32_t WriteSerial(platform::SerialPort *handle, const void *bytes, int32_t count) {
    const int32_t written = platform::serial_write(handle, bytes, count);
    // Everything goes out before the caller waits for an answer.
    if (written > 0) platform::serial_flush(handle);
    return written;
}

int32_t ReadSerial(platform::SerialPort *handle, void *buffer, int32_t count) {
    return platform::serial_read(handle, buffer, count);
}

int32_t writeCOM(const char *text) {
    const int32_t length = text ? static_cast<int32_t>(std::strlen(text)) : 0;
    const int32_t written = WriteSerial(com_handle, text, length);
    if (written == 0) core_log("commport:writeCOM:WriteSerial:%s\n", "nothing written");
    if (written < 0) core_log("commport:writeCOM:WriteSerial:%s\n", "error during write");
    return 0;
}

int32_t readCOM(void *buffer, int32_t count) {
    const int32_t read = ReadSerial(com_handle, buffer, count);
    if (read == 0) core_log("commport:readCOM:ReadSerial:%s\n", "nothing read");
    if (read < 0) core_log("commport:readCOM:ReadSerial:%s\n", "error during read");
    return read;
}

int32_t readCOMNoWait(void *buffer, int32_t count) {
    const int32_t waiting = platform::serial_bytes_waiting(com_handle);
    if (waiting < 0) return -1;
    // Nothing waiting is the usual answer to a poll and is not logged.
    if (waiting == 0) return 0;
    const int32_t read = ReadSerial(com_handle, buffer, count);
    if (read == 0) core_log("commport:readCOMNoWait:ReadSerial:%s\n", "nothing read");
    if (read < 0) core_log("commport:readCOMNoWait:ReadSerial:%s\n", "error during read");
    return read;
}

int32_t open_com_port(int32_t port) {
    close_com_port();
    std::string error;
    com_handle = platform::open_serial_port(port, error);
    if (!com_handle && !error.empty())
        core_log("commport:open_com_port:COM%d:%s\n", port, error.c_str());
    return com_handle ? 1 : 0;
}

void close_com_port() {
    platform::close_serial_port(com_handle);
    com_handle = nullptr;
}
