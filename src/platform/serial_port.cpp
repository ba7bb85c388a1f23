// The COM-number rule shared by the systems: VT_SERIAL_PORTS when set, else the system's own
// ports; the scan of a Linux-style device folder, which is plain file-system work; and the
// numbers of the ports Windows lists.
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <system_error>

#include "platform/serial_port.h"

namespace platform {

namespace {

namespace fs = std::filesystem;

std::string trimmed(const std::string &text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// The number after prefix when name is prefix followed by decimal digits only, else -1.
long device_number(const std::string &name, const std::string &prefix) {
    if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0) return -1;
    const std::string digits = name.substr(prefix.size());
    const auto is_digit = [](char c) { return c >= '0' && c <= '9'; };
    if (digits.size() > 6 || !std::all_of(digits.begin(), digits.end(), is_digit)) return -1;
    return std::strtol(digits.c_str(), nullptr, 10);
}

// The entries of a folder, without throwing; none when it cannot be read.
std::vector<fs::path> folder_entries(const fs::path &folder) {
    std::vector<fs::path> entries;
    std::error_code failed;
    for (fs::directory_iterator it(folder, failed), end; !failed && it != end;
         it.increment(failed))
        entries.push_back(it->path());
    return entries;
}

}  // namespace

std::vector<std::string> scan_serial_devices(const std::string &dev_dir) {
    std::vector<std::string> paths;
    std::set<fs::path> seen;  // canonical devices already listed
    const auto add = [&](const fs::path &path) {
        std::error_code failed;
        const fs::path device = fs::canonical(path, failed);
        if (failed || !seen.insert(device).second) return;
        if (paths.size() < size_t(kSerialPortCount)) paths.push_back(path.string());
    };

    std::vector<fs::path> by_id = folder_entries(fs::path(dev_dir) / "serial" / "by-id");
    std::sort(by_id.begin(), by_id.end());
    for (const auto &path : by_id) add(path);

    const std::vector<fs::path> devices = folder_entries(dev_dir);
    for (const std::string prefix : {"ttyUSB", "ttyACM", "ttyS"}) {
        std::vector<std::pair<long, fs::path>> numbered;
        for (const fs::path &path : devices) {
            const long number = device_number(path.filename().string(), prefix);
            if (number >= 0) numbered.emplace_back(number, path);
        }
        std::sort(numbered.begin(), numbered.end());
        for (const auto &item : numbered) add(item.second);
    }
    return paths;
}

std::vector<std::string> com_port_slots(const std::vector<ListedPort> &listed) {
    std::vector<std::pair<long, std::string>> ports;  // by number
    for (const ListedPort &port : listed) {
        const long number = device_number(port.name, "COM");
        if (number > 0 && port.device.rfind("\\Device\\BthModem", 0) != 0)
            ports.emplace_back(number, "\\\\.\\" + port.name);
    }
    std::sort(ports.begin(), ports.end());
    ports.erase(std::unique(ports.begin(), ports.end()), ports.end());
    std::vector<std::string> slots(static_cast<size_t>(kSerialPortCount));
    size_t free = 0;
    for (const auto &[number, path] : ports) {
        if (number < kSerialPortCount) {
            slots[size_t(number)] = path;
            continue;
        }
        while (free < slots.size() && !slots[free].empty()) ++free;
        if (free == slots.size()) break;
        slots[free] = path;
    }
    while (!slots.empty() && slots.back().empty()) slots.pop_back();
    return slots;
}

std::vector<std::string> serial_port_paths() {
    const char *listed = std::getenv("VT_SERIAL_PORTS");
    if (!listed) return system_serial_ports();
    std::vector<std::string> paths;
    if (!*listed) return paths;
    const std::string text = listed;
    size_t start = 0;
    while (paths.size() < size_t(kSerialPortCount)) {
        const size_t comma = text.find(',', start);
        paths.push_back(trimmed(text.substr(start, comma - start)));
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    return paths;
}

}  // namespace platform
