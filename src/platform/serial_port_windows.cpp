// Serial ports on Windows: the ports the system lists, \\.\COMn opened with CreateFileW without
// sharing, a DCB of 115200 8N1 and COMMTIMEOUTS for the one-second read wait. The DCB and
// time-outs found at open go back when the port is closed.
#include "platform/serial_port.h"

#include <windows.h>

#include <algorithm>
#include <iterator>

#include "platform/system_error_windows.h"
#include "platform/wide_text_windows.h"

namespace platform {

struct SerialPort {
    HANDLE handle = INVALID_HANDLE_VALUE;
    DCB found{};  // the line settings at open, put back at close
    COMMTIMEOUTS found_timeouts{};
};

namespace {

bool configure(HANDLE handle, DCB settings, std::string &error) {
    settings.DCBlength = sizeof settings;
    settings.BaudRate = CBR_115200;
    settings.ByteSize = 8;
    settings.Parity = NOPARITY;
    settings.StopBits = ONESTOPBIT;
    settings.fBinary = TRUE;
    settings.fParity = FALSE;
    // No flow control; DTR and RTS up, as an open raises them on Linux.
    settings.fOutxCtsFlow = FALSE;
    settings.fOutxDsrFlow = FALSE;
    settings.fDsrSensitivity = FALSE;
    settings.fDtrControl = DTR_CONTROL_ENABLE;
    settings.fRtsControl = RTS_CONTROL_ENABLE;
    settings.fOutX = FALSE;
    settings.fInX = FALSE;
    settings.fErrorChar = FALSE;
    settings.fNull = FALSE;
    settings.fAbortOnError = FALSE;
    settings.XoffChar = 0;
    settings.XonChar = 0x11;  // SetCommState refuses equal XON and XOFF characters
    if (!SetCommState(handle, &settings)) {
        error = "cannot set 115200 8N1: " + system_message(GetLastError());
        return false;
    }
    // A read returns as soon as bytes have arrived, or after a second without any.
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = MAXDWORD;
    timeouts.ReadTotalTimeoutMultiplier = MAXDWORD;
    timeouts.ReadTotalTimeoutConstant = 1000;
    // A write may take a millisecond a byte (about 11 bytes' time at 115200 baud) and 50 ms
    // more, for a USB adapter behind a busy hub.
    timeouts.WriteTotalTimeoutMultiplier = 1;
    timeouts.WriteTotalTimeoutConstant = 50;
    if (!SetCommTimeouts(handle, &timeouts)) {
        error = "cannot set the read time-out: " + system_message(GetLastError());
        return false;
    }
    return true;
}

}  // namespace

std::vector<std::string> system_serial_ports() {
    // Each serial port's driver enters it here while the port is present: numbers nothing
    // answers to, and whatever else a number might reach, are never opened.
    std::vector<ListedPort> listed;
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_QUERY_VALUE,
                      &key) != ERROR_SUCCESS)
        return {};
    for (DWORD index = 0;; ++index) {
        wchar_t name[256];
        wchar_t data[64];
        DWORD name_length = DWORD(std::size(name));
        DWORD data_bytes = sizeof data - sizeof(wchar_t);  // room for a NUL of ours
        DWORD type = 0;
        const LONG result = RegEnumValueW(key, index, name, &name_length, nullptr, &type,
                                          reinterpret_cast<BYTE *>(data), &data_bytes);
        if (result == ERROR_NO_MORE_ITEMS) break;
        if (result != ERROR_SUCCESS || type != REG_SZ) continue;  // too long: no port name
        data[data_bytes / sizeof(wchar_t)] = L'\0';
        listed.push_back(ListedPort{utf8_text(name, name_length), utf8_text(std::wstring(data))});
    }
    RegCloseKey(key);
    return com_port_slots(listed);
}

SerialPort *open_serial_port(int32_t number, std::string &error) {
    error.clear();
    if (number < 0 || number >= kSerialPortCount) return nullptr;
    const std::vector<std::string> paths = serial_port_paths();
    if (size_t(number) >= paths.size() || paths[size_t(number)].empty()) return nullptr;
    const std::string &path = paths[size_t(number)];
    // No sharing: the port is this process's alone, and one that another program has open
    // fails with access denied.
    const HANDLE handle = CreateFileW(wide_path(path).c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                                      nullptr, OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD failure = GetLastError();
        if (failure == ERROR_ACCESS_DENIED || failure == ERROR_SHARING_VIOLATION)
            error = path + ": in use by another program";
        return nullptr;
    }
    auto *port = new SerialPort{handle, {}, {}};
    port->found.DCBlength = sizeof port->found;
    if (!GetCommState(handle, &port->found) || !GetCommTimeouts(handle, &port->found_timeouts)) {
        error = path + ": cannot read line settings: " + system_message(GetLastError());
        CloseHandle(handle);
        delete port;
        return nullptr;
    }
    if (!configure(handle, port->found, error)) {
        error = path + ": " + error;
        close_serial_port(port);
        return nullptr;
    }
    return port;
}

void close_serial_port(SerialPort *port) {
    if (!port) return;
    SetCommState(port->handle, &port->found);
    SetCommTimeouts(port->handle, &port->found_timeouts);
    CloseHandle(port->handle);
    delete port;
}

int32_t serial_write(SerialPort *port, const void *bytes, int32_t count) {
    if (!port || (!bytes && count > 0)) return -1;
    const auto *data = static_cast<const uint8_t *>(bytes);
    int32_t written = 0;
    while (written < count) {
        DWORD sent = 0;
        // A write the time-out stops sends fewer bytes, possibly none.
        if (!WriteFile(port->handle, data + written, DWORD(count - written), &sent, nullptr) ||
            sent == 0)
            return written > 0 ? written : -1;
        written += int32_t(sent);
    }
    return written;
}

// Reads only as many bytes as have arrived, or one when none has: the time-outs make Windows
// return at once with what has arrived, but Wine waits out the whole second for a buffer that
// is not full, which would hold up every poll of the box by a second.
int32_t serial_read(SerialPort *port, void *buffer, int32_t count) {
    if (!port || !buffer) return -1;
    if (count <= 0) return 0;
    auto *bytes = static_cast<uint8_t *>(buffer);
    int32_t total = 0;
    int32_t waiting = serial_bytes_waiting(port);
    if (waiting < 0) return -1;
    if (waiting == 0) {
        DWORD got = 0;
        if (!ReadFile(port->handle, bytes, 1, &got, nullptr)) return -1;
        if (got == 0) return 0;
        total = 1;
        // What came with the first byte, when the port can tell.
        waiting = serial_bytes_waiting(port);
    }
    const DWORD more = DWORD(std::min(count - total, std::max(waiting, 0)));
    DWORD got = 0;
    if (more > 0 && !ReadFile(port->handle, bytes + total, more, &got, nullptr))
        return total > 0 ? total : -1;
    return total + int32_t(got);
}

int32_t serial_bytes_waiting(SerialPort *port) {
    DWORD errors = 0;
    COMSTAT status{};
    if (!port || !ClearCommError(port->handle, &errors, &status)) return -1;
    return int32_t(status.cbInQue);
}

// FlushFileBuffers on a port returns once the driver has sent everything written.
bool serial_flush(SerialPort *port) { return port && FlushFileBuffers(port->handle); }

}  // namespace platform
