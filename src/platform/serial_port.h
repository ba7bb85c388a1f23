// Serial ports known by COM number (0..31), opened raw at 115200 baud, 8 data bits, no parity,
// one stop bit. A port is opened for this process alone, and a port another program holds is
// skipped; closing a port gives it back the line settings it had at open, so probing a device
// that turns out to be something else leaves it as it was. A read returns what has arrived,
// waiting about one second for the first byte. How COM numbers map to the system's devices is
// described in README.md ("Serial ports").
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace platform {

constexpr int32_t kSerialPortCount = 32;  // COM0 to COM31

struct SerialPort;  // an open, configured port

// The device path of each COM number in order (at most kSerialPortCount entries; an empty
// entry is a number without a device). The environment variable VT_SERIAL_PORTS, when set,
// decides alone: a comma-separated list of paths, COM0 first. Otherwise system_serial_ports().
std::vector<std::string> serial_port_paths();

// The system's own ports by COM number: on Linux the serial devices found under /dev (see
// scan_serial_devices), on Windows the ports the system lists (see com_port_slots).
std::vector<std::string> system_serial_ports();

// A port as Windows lists it under HKLM\HARDWARE\DEVICEMAP\SERIALCOMM: its device
// ("\Device\Serial0") and its name ("COM1").
struct ListedPort {
    std::string device;
    std::string name;
};

// The listed ports by COM number: COMn as \\.\COMn at number n below kSerialPortCount, and the
// ports numbered higher (USB adapters past COM31) at the lowest numbers left, in their order.
// Bluetooth serial ports (devices \Device\BthModem*) are left out: opening one that is paired
// but out of reach blocks for seconds. Numbers without a port are empty.
std::vector<std::string> com_port_slots(const std::vector<ListedPort> &listed);

// The serial devices below dev_dir, a folder laid out as Linux's /dev, in COM order:
// serial/by-id/* by name, then ttyUSB*, ttyACM* and ttyS* by number; a device reached by
// several names is listed once, under the first. At most kSerialPortCount paths.
std::vector<std::string> scan_serial_devices(const std::string &dev_dir);

// Opens and configures COM number. Null when the number has no device or the device cannot
// be opened (error stays empty), or when another program holds it or it cannot be configured
// (error says why).
SerialPort *open_serial_port(int32_t number, std::string &error);
// Restores the line settings found at open, and closes the port.
void close_serial_port(SerialPort *port);

// Writes count bytes; returns the number written, -1 on error.
int32_t serial_write(SerialPort *port, const void *bytes, int32_t count);
// Reads up to count bytes that have arrived, waiting up to about one second for the first
// one; returns the number read (0 when none came), -1 on error.
int32_t serial_read(SerialPort *port, void *buffer, int32_t count);
// Bytes received and not yet read, -1 when the port cannot say.
int32_t serial_bytes_waiting(SerialPort *port);
// Waits until everything written has been sent; false on error.
bool serial_flush(SerialPort *port);

}  // namespace platform
