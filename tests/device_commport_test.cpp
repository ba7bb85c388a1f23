// The serial button box: COM numbering, the probe against simulated boxes on pseudo-terminals
// and what it leaves of other ports, key reports decoded into button states, the read time-out
// and failing ports.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>

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

// Expects the line settings of the terminal fd to be settings.
void expect_line_settings(int fd, const termios &settings) {
    termios now{};
    ASSERT_EQ(tcgetattr(fd, &now), 0);
    EXPECT_EQ(cfgetispeed(&now), cfgetispeed(&settings));
    EXPECT_EQ(cfgetospeed(&now), cfgetospeed(&settings));
    EXPECT_EQ(now.c_iflag, settings.c_iflag);
    EXPECT_EQ(now.c_oflag, settings.c_oflag);
    EXPECT_EQ(now.c_cflag, settings.c_cflag);
    EXPECT_EQ(now.c_lflag, settings.c_lflag);
    EXPECT_EQ(std::vector<cc_t>(now.c_cc, now.c_cc + NCCS),
              std::vector<cc_t>(settings.c_cc, settings.c_cc + NCCS));
}

class ButtonBox : public ::testing::Test {
protected:
    void SetUp() override { standin_reset(); }
    void TearDown() override { close_com_port(); }
};

TEST_F(ButtonBox, ComNumbersFollowTheOverrideList) {
    {
        SerialPortsOverride ports("/dev/pts/a, ,/dev/pts/b");
        EXPECT_EQ(platform::serial_port_paths(),
                  (std::vector<std::string>{"/dev/pts/a", "", "/dev/pts/b"}));
    }
    {
        SerialPortsOverride ports("");
        EXPECT_TRUE(platform::serial_port_paths().empty());
    }
    std::string many;
    for (int i = 0; i < 40; ++i) many += "/p" + std::to_string(i) + ",";
    SerialPortsOverride ports(many);
    const auto paths = platform::serial_port_paths();
    ASSERT_EQ(paths.size(), 32u);
    EXPECT_EQ(paths[31], "/p31");
}

TEST_F(ButtonBox, DevicesFoundInAStableOrder) {
    namespace fs = std::filesystem;
    const fs::path dev = vt_test::temp_dir();
    for (const char *name : {"ttyS1", "ttyUSB10", "ttyS0", "ttyACM0", "ttyUSB2", "ttyUSBx",
                             "ttyS", "tty0", "console"})
        std::ofstream(dev / name) << "";
    fs::create_directories(dev / "serial" / "by-id");
    fs::create_symlink("../../ttyUSB10", dev / "serial" / "by-id" / "usb-Cedrus_RB-830");
    fs::create_symlink("../../gone", dev / "serial" / "by-id" / "usb-unplugged");
    const std::vector<std::string> expected = {
        (dev / "serial/by-id/usb-Cedrus_RB-830").string(), (dev / "ttyUSB2").string(),
        (dev / "ttyACM0").string(), (dev / "ttyS0").string(), (dev / "ttyS1").string()};
    EXPECT_EQ(platform::scan_serial_devices(dev.string()), expected);

    for (int i = 2; i < 40; ++i) std::ofstream(dev / ("ttyS" + std::to_string(i))) << "";
    const auto capped = platform::scan_serial_devices(dev.string());
    ASSERT_EQ(capped.size(), 32u);
    EXPECT_EQ(capped.back(), (dev / "ttyS28").string()) << "3 USB devices, then ttyS0 to ttyS28";
}

// Windows lists its ports in the registry: each keeps its number below 32, higher ones take
// the numbers left, and Bluetooth ports and names that are no COM port are left out.
TEST_F(ButtonBox, WindowsListedPortsTakeComNumbers) {
    const std::vector<platform::ListedPort> listed = {
        {"\\Device\\Serial0", "COM3"},      {"\\Device\\BthModem0", "COM4"},
        {"\\Device\\VCP0", "COM40"},        {"\\Device\\Serial1", "COM1"},
        {"\\Device\\ProlificSerial0", "COM33"}, {"\\Device\\Parallel0", "LPT1"},
        {"\\Device\\Serial2", "COM3"}};
    EXPECT_EQ(platform::com_port_slots(listed),
              (std::vector<std::string>{"\\\\.\\COM33", "\\\\.\\COM1", "\\\\.\\COM40", "\\\\.\\COM3"}));
    std::vector<platform::ListedPort> many;
    for (int n = 100; n < 140; ++n) many.push_back({"\\Device\\VCP", "COM" + std::to_string(n)});
    const std::vector<std::string> capped = platform::com_port_slots(many);
    ASSERT_EQ(capped.size(), 32u);
    EXPECT_EQ(capped.back(), "\\\\.\\COM131");
}

TEST_F(ButtonBox, NoPortsMeansNoBoxAndNoMessages) {
    SerialPortsOverride ports("");
    const auto start = Clock::now();
    const std::string out = vt_test::capture_stdout([] { EXPECT_EQ(find_button_box(), 0); });
    EXPECT_LT(seconds_since(start), 0.5);
    EXPECT_EQ(out, "");
    EXPECT_EQ(standin_log_count(), 0u);
    EXPECT_EQ(com_handle, nullptr);
}

TEST_F(ButtonBox, PortsThatAreNoTerminalsAreSkipped) {
    const std::string file = vt_test::temp_dir() + "/not-a-port";
    std::ofstream(file) << "plain file";
    SerialPortsOverride ports("/nonexistent/ttyUSB0," + file);
    const std::string out = vt_test::capture_stdout([] { EXPECT_EQ(find_button_box(), 0); });
    EXPECT_EQ(out, "");
    EXPECT_EQ(standin_log_matches("commport:open_com_port:COM1:"), 1u) << "configuring fails";
    EXPECT_EQ(standin_log_matches("COM0"), 0u) << "a missing device is skipped silently";
}

TEST_F(ButtonBox, FindsAnXidBoxBehindASilentPort) {
    SimulatedBox silent(SimulatedBox::Answer::Silent);
    SimulatedBox box(SimulatedBox::Answer::Xid);
    SerialPortsOverride ports(silent.path() + "," + box.path());
    // The silent port belongs to another device, at 9600 baud, 7E1, canonical with echo.
    const int other = open(silent.path().c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(other, 0);
    termios settings{};
    ASSERT_EQ(tcgetattr(other, &settings), 0);
    cfsetspeed(&settings, B9600);
    settings.c_cflag = (settings.c_cflag & ~CSIZE) | CS7 | PARENB | HUPCL | CREAD;
    settings.c_iflag = ICRNL | IXON | IXANY;
    settings.c_oflag = OPOST | ONLCR;
    settings.c_lflag = ICANON | ECHO | ECHOE | ECHOK | ISIG | IEXTEN;
    settings.c_cc[VMIN] = 1;
    settings.c_cc[VTIME] = 5;
    settings.c_cc[VSTOP] = 0x13;
    ASSERT_EQ(tcsetattr(other, TCSANOW, &settings), 0);
    ASSERT_EQ(tcgetattr(other, &settings), 0);

    const std::string out = vt_test::capture_stdout([] { EXPECT_EQ(find_button_box(), 1); });
    EXPECT_EQ(out,
              "Looking for CEDRUS ButtonBox. No luck on COM port 0 \n"
              "Found Cedrus box on port 1 \n");
    EXPECT_EQ(silent.received(), "____c1_d2");
    expect_line_settings(other, settings);
    close(other);
    EXPECT_EQ(box.received(), "____c1");
    EXPECT_NE(com_handle, nullptr) << "the box's port stays open";
    EXPECT_GE(standin_log_matches("commport:readCOM:ReadSerial:nothing read"), 3u);
}

TEST_F(ButtonBox, PortsHeldByOtherProgramsAreSkippedUntouched) {
    SimulatedBox box(SimulatedBox::Answer::Xid);
    SerialPortsOverride ports(box.path());
    const int other = open(box.path().c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(other, 0);
    termios settings{};
    ASSERT_EQ(tcgetattr(other, &settings), 0);
    const std::string in_use = box.path() + ": in use by another program";
    const struct {
        const char *how;
        int (*take)(int);
        int (*give_back)(int);
    } holds[] = {
        {"flock", [](int fd) { return flock(fd, LOCK_EX | LOCK_NB); },
         [](int fd) { return flock(fd, LOCK_UN); }},
        // Root opens a port through TIOCEXCL; the tests run as root too.
        {"TIOCEXCL", [](int fd) { return ioctl(fd, TIOCEXCL); },
         [](int fd) { return ioctl(fd, TIOCNXCL); }},
    };
    for (const auto &hold : holds) {
        SCOPED_TRACE(hold.how);
        ASSERT_EQ(hold.take(other), 0);
        standin_reset();
        const std::string out = vt_test::capture_stdout([] { EXPECT_EQ(find_button_box(), 0); });
        EXPECT_EQ(out, "");
        EXPECT_EQ(box.received(), "") << "not probed";
        EXPECT_EQ(standin_log_matches(in_use.c_str()), 1u);
        expect_line_settings(other, settings);
        ASSERT_EQ(hold.give_back(other), 0);
    }

    // Once free, the box's port is held for this process alone until it is closed.
    vt_test::capture_stdout([] { EXPECT_EQ(find_button_box(), 1); });
    int exclusive = 0;
    ASSERT_EQ(ioctl(other, TIOCGEXCL, &exclusive), 0);
    EXPECT_EQ(exclusive, 1);
    EXPECT_NE(flock(other, LOCK_EX | LOCK_NB), 0);
    close_com_port();
    ASSERT_EQ(ioctl(other, TIOCGEXCL, &exclusive), 0);
    EXPECT_EQ(exclusive, 0);
    EXPECT_EQ(flock(other, LOCK_EX | LOCK_NB), 0);
    expect_line_settings(other, settings);
    close(other);
}

TEST_F(ButtonBox, FindsABoxThatAnswersOnlyTheProductQuery) {
    SimulatedBox box(SimulatedBox::Answer::ProductOnly);
    SerialPortsOverride ports(box.path());
    const std::string out = vt_test::capture_stdout([] { EXPECT_EQ(find_button_box(), 1); });
    EXPECT_EQ(out, "Found buttonbox \n");
    EXPECT_EQ(box.received(), "____c1_d2");
}

TEST_F(ButtonBox, AnXidAnswerWithMoreBytesIsNotABox) {
    SimulatedBox box(SimulatedBox::Answer::XidAndMore);
    SerialPortsOverride ports(box.path());
    const std::string out = vt_test::capture_stdout([] { EXPECT_EQ(find_button_box(), 0); });
    EXPECT_EQ(out, "Read data '_xid0\\x01Z' \n");
    EXPECT_EQ(box.received(), "____c1") << "no product query on that port";
    EXPECT_EQ(com_handle, nullptr);
}

TEST_F(ButtonBox, APortThatNeverStopsSendingEndsTheSearch) {
    SimulatedBox chatter(SimulatedBox::Answer::Chatter);
    SerialPortsOverride ports(chatter.path());
    std::string out;
    const auto start = Clock::now();
    out = vt_test::capture_stdout([] { EXPECT_EQ(find_button_box(), 0); });
    EXPECT_LT(seconds_since(start), 10.0);
    EXPECT_EQ(out.rfind("Read data 'noise", 0), 0u) << out;
    EXPECT_EQ(com_handle, nullptr);
}

TEST_F(ButtonBox, KeyReportsBecomeButtonStates) {
    SimulatedBox box(SimulatedBox::Answer::Xid);
    SerialPortsOverride ports(box.path());
    vt_test::capture_stdout([] { ASSERT_EQ(find_button_box(), 1); });
    DeviceButtons record{};
    record.user_data = &record;
    standin_reset();

    EXPECT_EQ(button_box_device_callback(&record), 0) << "nothing waiting";
    EXPECT_EQ(standin_log_count(), 0u) << "an empty poll is not logged";

    box.send(std::string("k\x30\x01\x02\x03\x04", 6));  // key 1 pressed
    ASSERT_TRUE(bytes_arrive(6));
    EXPECT_EQ(button_box_device_callback(&record), 1);
    EXPECT_EQ(record.states[0], 1);

    box.send(std::string("k\x20\x01\x02\x03\x04", 6));  // key 1 released
    ASSERT_TRUE(bytes_arrive(6));
    EXPECT_EQ(button_box_device_callback(&record), 1);
    EXPECT_EQ(record.states[0], 0);

    // Reports are read six bytes at a time: a 'k' among the time bytes starts none.
    box.send(std::string("k\x50\x01\x6B\x70\x02", 6));  // key 2 pressed
    ASSERT_TRUE(bytes_arrive(6));
    EXPECT_EQ(button_box_device_callback(&record), 1);
    EXPECT_EQ(record.states[1], 1);
    EXPECT_EQ(record.states[2], 0);
    box.send(std::string("k\x40kk\x30k", 6));  // key 2 released
    ASSERT_TRUE(bytes_arrive(6));
    EXPECT_EQ(button_box_device_callback(&record), 1);
    EXPECT_EQ(record.states[1], 0);
    EXPECT_EQ(record.states[0], 0);

    // Bytes where a report should start that are no report are skipped up to the next 'k'.
    box.send(std::string("_xid0\x01" "k\xB0k\x90kk", 12));  // key 5 pressed
    ASSERT_TRUE(bytes_arrive(12));
    EXPECT_EQ(button_box_device_callback(&record), 1);
    EXPECT_EQ(record.states[4], 1);
    EXPECT_EQ(record.states[3], 0);

    // A press and its release in one read: seen one call after the other.
    box.send(std::string("k\x90\x01\x02\x03\x04k\x80\x05\x06\x07\x08", 12));
    ASSERT_TRUE(bytes_arrive(12));
    EXPECT_EQ(button_box_device_callback(&record), 1);
    EXPECT_EQ(record.states[3], 1);
    EXPECT_EQ(button_box_device_callback(&record), 1);
    EXPECT_EQ(record.states[3], 0);
    EXPECT_EQ(button_box_device_callback(&record), 0);

    // Key 0 has no button and leaves the record alone, its time bytes too.
    const DeviceButtons before = record;
    box.send(std::string("k\x10k\xF0\x01\x02", 6));
    ASSERT_TRUE(bytes_arrive(6));
    EXPECT_EQ(button_box_device_callback(&record), 0);
    EXPECT_EQ(std::memcmp(&before, &record, sizeof record), 0);
    EXPECT_EQ(record.user_data, &record);

    box.hang_up();
    EXPECT_EQ(button_box_device_callback(&record), -1);
    EXPECT_EQ(button_box_device_callback(nullptr), -1);
}

TEST_F(ButtonBox, AReportSplitBetweenReadsWaitsForItsRest) {
    SimulatedBox box(SimulatedBox::Answer::Xid);
    SerialPortsOverride ports(box.path());
    vt_test::capture_stdout([] { ASSERT_EQ(find_button_box(), 1); });
    const std::string report("k\xF0k\xD0kk", 6);  // key 7 pressed
    for (size_t split = 1; split < report.size(); ++split) {
        SCOPED_TRACE("first read of " + std::to_string(split) + " bytes");
        DeviceButtons record{};
        box.send(report.substr(0, split));
        ASSERT_TRUE(bytes_arrive(int32_t(split)));
        EXPECT_EQ(button_box_device_callback(&record), 0);
        box.send(report.substr(split));
        ASSERT_TRUE(bytes_arrive(int32_t(report.size() - split)));
        EXPECT_EQ(button_box_device_callback(&record), 1);
        EXPECT_EQ(std::vector<int>(record.states, record.states + 8),
                  (std::vector<int>{0, 0, 0, 0, 0, 0, 1, 0}));
    }
}

TEST_F(ButtonBox, ReadsWaitAboutOneSecond) {
    SimulatedBox box(SimulatedBox::Answer::Silent);
    SerialPortsOverride ports(box.path());
    ASSERT_EQ(open_com_port(0), 1);
    vt_test::expect_reads_wait_about_one_second(box, false);
}

TEST_F(ButtonBox, IoWithoutAPortIsLogged) {
    char buffer[8];
    EXPECT_EQ(writeCOM("____c1"), 0);
    EXPECT_EQ(readCOM(buffer, sizeof buffer), -1);
    EXPECT_EQ(readCOMNoWait(buffer, sizeof buffer), -1);
    EXPECT_EQ(standin_log_matches("commport:writeCOM:WriteSerial:error during write"), 1u);
    EXPECT_EQ(standin_log_matches("commport:readCOM:ReadSerial:error during read"), 1u);
    EXPECT_EQ(open_com_port(-1), 0);
    EXPECT_EQ(open_com_port(32), 0);
}

}  // namespace
