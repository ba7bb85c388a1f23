// The commport module: the one open serial port, byte I/O on it, the search for a Cedrus
// response box on COM0 to COM31 (XID protocol), and the box's key reports as button states.
#pragma once

#include <cstdint>

#include "platform/serial_port.h"
#include "vistrak_core_graphics_sdl2.h"

// The open port; null while none is open.
extern platform::SerialPort *com_handle;

// Writes count bytes and waits until they are sent; returns the number written, -1 on error.
int32_t WriteSerial(platform::SerialPort *handle, const void *bytes, int32_t count);
// Reads up to count bytes, waiting about one second for the first; returns the number read
// (0 when none came), -1 on error.
int32_t ReadSerial(platform::SerialPort *handle, void *buffer, int32_t count);

// Writes text to com_handle. Always 0; problems are logged.
int32_t writeCOM(const char *text);
// Reads up to count bytes from com_handle, waiting about one second; returns ReadSerial's count.
int32_t readCOM(void *buffer, int32_t count);
// Reads only bytes already waiting on com_handle: 0 when none are, -1 when the port fails.
int32_t readCOMNoWait(void *buffer, int32_t count);

// Opens "COM<port>" as com_handle (closing any open port first). 1 on success, else 0.
int32_t open_com_port(int32_t port);
void close_com_port();

// Probes COM0 to COM31 for a box; 1 leaves its port open in com_handle, 0 when none answered.
int32_t find_button_box();

// Device callback of the button box: decodes the six-byte key reports waiting on the port
// into record's states; a report not complete yet and each key's second report in a batch
// wait for the next call. Returns the number of reports decoded (0 for none), -1 when the
// port fails.
int32_t button_box_device_callback(DeviceButtons *record);
