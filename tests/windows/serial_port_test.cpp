// The Windows serial ports (serial_port_windows.cpp) against simulated boxes on COM numbers of
// the test prefix: the box found through VT_SERIAL_PORTS and through the system's list of ports
// (a Bluetooth port in it left alone), key reports decoded into button states, the read
// time-out, the DCB and time-outs put back at close, held ports skipped, and no port but the
// named ones touched.
#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "device/commport.h"
#include "serial_checks.h"
#include "simulated_box.h"
#include "test_support.h"
#include "vistrak_core64_control.h"

namespace {

using vt_test::SerialPortsOverride;
using vt_test::SimulatedBox;
using vt_test::bytes_arrive;
using vt_test::Clock;
using vt_test::seconds_since;

// The COM number of a box's path \\.\COMn.
int com_number(const SimulatedBox &box) {
    const std::string &path = box.path();
    return path.rfind("\\\\.\\COM", 0) == 0 ? std::atoi(path.c_str() + 7) : -1;
}

HANDLE open_port(const std::string &path) {
    return CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0,
                       nullptr);
}

// VT_SERIAL_PORTS unset while the object lives: the library uses the \\.\COMn names.
class SystemPortNames {
public:
    SystemPortNames() {
        if (const char *listed = std::getenv("VT_SERIAL_PORTS")) previous_ = listed;
        vt_test::unset_env("VT_SERIAL_PORTS");
    }
    ~SystemPortNames() {
        if (previous_) vt_test::set_env("VT_SERIAL_PORTS", *previous_);
    }

private:
    std::optional<std::string> previous_;
};

// The system's list of ports (SERIALCOMM), edited while the object lives and put back after.
// Wine lists every number the prefix gives a device, COM255 included; a machine lists its
// ports alone.
class PortList {
public:
    PortList() {
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0,
                          KEY_QUERY_VALUE | KEY_SET_VALUE, &key_) != ERROR_SUCCESS)
            return;
        for (DWORD index = 0;; ++index) {
            wchar_t device[256], name[64] = L"";
            DWORD device_length = 256, name_bytes = sizeof name - sizeof(wchar_t);
            if (RegEnumValueW(key_, index, device, &device_length, nullptr, nullptr,
                              reinterpret_cast<BYTE *>(name), &name_bytes) != ERROR_SUCCESS)
                break;
            saved_.emplace_back(device, name);
        }
    }
    ~PortList() {
        if (!key_) return;
        for (const auto &[device, name] : saved_) {
            RegDeleteValueW(key_, device.c_str());
            set(device, name);
        }
        RegDeleteValueW(key_, kBluetooth);
        RegCloseKey(key_);
    }
    bool readable() const { return key_ && !saved_.empty(); }

    // Leaves out the ports numbered from first on, Wine's own devices.
    void only_below(int first) {
        for (const auto &[device, name] : saved_)
            if (std::wcstol(name.c_str() + 3, nullptr, 10) >= first)
                RegDeleteValueW(key_, device.c_str());
    }
    // Lists COM number as a Bluetooth port.
    bool bluetooth(int number) {
        const std::wstring name = L"COM" + std::to_wstring(number);
        for (const auto &[device, listed] : saved_)
            if (listed == name) RegDeleteValueW(key_, device.c_str());
        return set(kBluetooth, name);
    }

private:
    static constexpr const wchar_t *kBluetooth = L"\\Device\\BthModem0";
    bool set(const std::wstring &device, const std::wstring &name) {
        return RegSetValueExW(key_, device.c_str(), 0, REG_SZ,
                              reinterpret_cast<const BYTE *>(name.c_str()),
                              DWORD((name.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
    }
    std::vector<std::pair<std::wstring, std::wstring>> saved_;
    HKEY key_ = nullptr;
};

class WindowsSerialPort : public ::testing::Test {
protected:
    void SetUp() override { standin_reset(); }
    void TearDown() override { close_com_port(); }
};

TEST_F(WindowsSerialPort, BoxFoundOnItsComNumberThroughTheList) {
    SimulatedBox silent(SimulatedBox::Answer::Silent);
    SimulatedBox box(SimulatedBox::Answer::Xid);
    SimulatedBox unlisted(SimulatedBox::Answer::Xid);
    SerialPortsOverride ports(silent.path() + "," + box.path());
    const std::string out = vt_test::capture_stdout([] { EXPECT_EQ(find_button_box(), 1); });
    EXPECT_EQ(out,
              "Looking for CEDRUS ButtonBox. No luck on COM port 0 \n"
              "Found Cedrus box on port 1 \n");
    EXPECT_EQ(silent.received(), "____c1_d2");
    EXPECT_EQ(box.received(), "____c1");
    EXPECT_NE(com_handle, nullptr) << "the box's port stays open";
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(unlisted.received(), "") << "a port the list does not name is not opened";
}

TEST_F(WindowsSerialPort, SystemNamesReachOnlyThePrefixsOwnPorts) {
    SimulatedBox silent(SimulatedBox::Answer::Silent);
    SimulatedBox box(SimulatedBox::Answer::Xid);
    SimulatedBox after(SimulatedBox::Answer::Xid);
    ASSERT_LT(com_number(silent), com_number(box));
    ASSERT_LT(com_number(box), com_number(after));
    PortList list;
    ASSERT_TRUE(list.readable());
    list.only_below(32);
    SystemPortNames names;
    const std::string out = vt_test::capture_stdout([] { EXPECT_EQ(find_button_box(), 1); });
    EXPECT_EQ(out, "Looking for CEDRUS ButtonBox. No luck on COM port " +
                       std::to_string(com_number(silent)) + " \nFound Cedrus box on port " +
                       std::to_string(com_number(box)) + " \n");
    EXPECT_EQ(silent.received(), "____c1_d2");
    EXPECT_EQ(box.received(), "____c1");
    EXPECT_EQ(after.received(), "") << "the search stops at the box";
    // The numbers without a box, COM0 and the machine's own ports among them, open as no
    // device: nothing is logged of them.
    EXPECT_EQ(standin_log_matches("commport:open_com_port"), 0u);
}

// The ports come from the system's list: a paired Bluetooth port, whose open may block for
// seconds, is never opened.
TEST_F(WindowsSerialPort, BluetoothPortsOfTheSystemsListAreNotOpened) {
    SimulatedBox bluetooth(SimulatedBox::Answer::Xid);
    SimulatedBox box(SimulatedBox::Answer::Xid);
    ASSERT_LT(com_number(bluetooth), com_number(box));
    PortList list;
    ASSERT_TRUE(list.readable());
    list.only_below(32);
    ASSERT_TRUE(list.bluetooth(com_number(bluetooth)));
    SystemPortNames names;
    const std::string out = vt_test::capture_stdout([] { EXPECT_EQ(find_button_box(), 1); });
    EXPECT_EQ(out, "Found Cedrus box on port " + std::to_string(com_number(box)) + " \n");
    EXPECT_EQ(bluetooth.received(), "");
    EXPECT_EQ(box.received(), "____c1");
}

TEST_F(WindowsSerialPort, KeyReportsBecomeButtonStates) {
    SimulatedBox box(SimulatedBox::Answer::Xid);
    SerialPortsOverride ports(box.path());
    vt_test::capture_stdout([] { ASSERT_EQ(find_button_box(), 1); });
    DeviceButtons record{};
    standin_reset();
    EXPECT_EQ(button_box_device_callback(&record), 0) << "nothing waiting";
    EXPECT_EQ(standin_log_count(), 0u) << "an empty poll is not logged";

    for (int key : {3, 7}) {
        SCOPED_TRACE("key " + std::to_string(key));
        box.send(box.key_report(key, true));
        ASSERT_TRUE(bytes_arrive(6));
        auto start = Clock::now();
        EXPECT_EQ(button_box_device_callback(&record), 1);
        EXPECT_LT(seconds_since(start), 0.5) << "a poll takes what has arrived at once";
        EXPECT_EQ(record.states[key - 1], 1);
        box.send(box.key_report(key, false));
        ASSERT_TRUE(bytes_arrive(6));
        EXPECT_EQ(button_box_device_callback(&record), 1);
        EXPECT_EQ(record.states[key - 1], 0);
    }

    // A press and its release in one read: seen one call after the other.
    box.send(box.key_report(2, true) + box.key_report(2, false));
    ASSERT_TRUE(bytes_arrive(12));
    EXPECT_EQ(button_box_device_callback(&record), 1);
    EXPECT_EQ(record.states[1], 1);
    EXPECT_EQ(button_box_device_callback(&record), 1);
    EXPECT_EQ(record.states[1], 0);
    EXPECT_EQ(button_box_device_callback(&record), 0);

    box.hang_up();
    EXPECT_EQ(button_box_device_callback(&record), -1);
}

TEST_F(WindowsSerialPort, ReadsWaitAboutOneSecond) {
    SimulatedBox box(SimulatedBox::Answer::Silent);
    SerialPortsOverride ports(box.path());
    ASSERT_EQ(open_com_port(0), 1);
    vt_test::expect_reads_wait_about_one_second(box, true);
}

TEST_F(WindowsSerialPort, LineSettingsAndTimeOutsGoBackAtClose) {
    SimulatedBox box(SimulatedBox::Answer::Silent);
    SerialPortsOverride ports(box.path());
    // Another device's settings: 9600 baud, two stop bits, XON/XOFF, time-outs of its own.
    HANDLE other = open_port(box.path());
    ASSERT_NE(other, INVALID_HANDLE_VALUE);
    DCB settings{};
    settings.DCBlength = sizeof settings;
    ASSERT_TRUE(GetCommState(other, &settings));
    settings.BaudRate = CBR_9600;
    settings.StopBits = TWOSTOPBITS;
    settings.fOutX = settings.fInX = TRUE;
    settings.XonChar = 0x11;
    settings.XoffChar = 0x13;
    ASSERT_TRUE(SetCommState(other, &settings));
    COMMTIMEOUTS timeouts{20, 3, 400, 5, 60};
    ASSERT_TRUE(SetCommTimeouts(other, &timeouts));
    ASSERT_TRUE(CloseHandle(other));

    // What an open finds: Windows keeps the time-outs with the port, Wine gives each open its
    // own (the DCB is the terminal's, kept on both).
    const auto found = [&](DCB &line, COMMTIMEOUTS &waits) {
        const HANDLE port = open_port(box.path());
        ASSERT_NE(port, INVALID_HANDLE_VALUE);
        line = DCB{};
        line.DCBlength = sizeof line;
        EXPECT_TRUE(GetCommState(port, &line));
        EXPECT_TRUE(GetCommTimeouts(port, &waits));
        CloseHandle(port);
    };
    DCB before{};
    COMMTIMEOUTS waits_before{};
    found(before, waits_before);
    ASSERT_EQ(before.BaudRate, DWORD(CBR_9600));

    vt_test::capture_stdout([] { EXPECT_EQ(find_button_box(), 0); });
    EXPECT_EQ(box.received(), "____c1_d2") << "probed at 115200 and closed";
    DCB after{};
    COMMTIMEOUTS waits_after{};
    found(after, waits_after);
    EXPECT_EQ(after.BaudRate, DWORD(CBR_9600));
    EXPECT_EQ(after.StopBits, TWOSTOPBITS);
    EXPECT_EQ(after.fOutX, 1u);
    EXPECT_EQ(after.fInX, 1u);
    EXPECT_EQ(after.XonChar, 0x11);
    EXPECT_EQ(after.XoffChar, 0x13);
    EXPECT_EQ(std::memcmp(&after, &before, sizeof after), 0) << "every field as found";
    EXPECT_EQ(std::memcmp(&waits_after, &waits_before, sizeof waits_after), 0);
}

TEST_F(WindowsSerialPort, PortsHeldByAnotherHandleAreSkippedUntouched) {
    SimulatedBox box(SimulatedBox::Answer::Xid);
    SerialPortsOverride ports(box.path());
    const HANDLE held = open_port(box.path());
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    const HANDLE second = open_port(box.path());
    if (second != INVALID_HANDLE_VALUE) {
        CloseHandle(second);
        CloseHandle(held);
        GTEST_SKIP() << "the system opens a serial port twice (Wine ignores the sharing mode "
                        "of devices): a held port cannot be told from a free one";
    }
    const std::string out = vt_test::capture_stdout([] { EXPECT_EQ(find_button_box(), 0); });
    EXPECT_EQ(out, "");
    EXPECT_EQ(box.received(), "") << "not probed";
    EXPECT_EQ(standin_log_matches((box.path() + ": in use by another program").c_str()), 1u);
    CloseHandle(held);
    vt_test::capture_stdout([] { EXPECT_EQ(find_button_box(), 1); });
}

}  // namespace
