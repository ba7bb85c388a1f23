// What the calibration device adds to every key poll of the core library, idle (the usual
// case), against the poll without a device; and parsing a built-in setup script.
#include <benchmark/benchmark.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <cstdlib>

#include "device/commport.h"
#include "device/device_modes.h"
#include "device/setup_script.h"
#include "vistrak_core_graphics_sdl2.h"

namespace {

void BM_KeyPollWithoutDevice(benchmark::State &state) {
    enable_external_calibration_device(0, nullptr, nullptr);
    KeyInput key{};
    for (auto _ : state) benchmark::DoNotOptimize(device_poll_key(&key));
}
BENCHMARK(BM_KeyPollWithoutDevice);

void BM_KeyPollKeypadIdle(benchmark::State &state) {
    enable_external_calibration_device(2, nullptr, nullptr);
    KeyInput key{};
    for (auto _ : state) benchmark::DoNotOptimize(device_poll_key(&key));
    enable_external_calibration_device(0, nullptr, nullptr);
}
BENCHMARK(BM_KeyPollKeypadIdle);

// The box's callback on an idle line: one query of the bytes waiting.
void BM_ButtonBoxCallbackIdle(benchmark::State &state) {
    int controller = -1, terminal = -1;
    char name[256] = {};
    if (openpty(&controller, &terminal, name, nullptr, nullptr) != 0) {
        state.SkipWithError("openpty failed");
        return;
    }
    setenv("VT_SERIAL_PORTS", name, 1);
    if (!open_com_port(0)) {
        state.SkipWithError("cannot open the pseudo-terminal");
    } else {
        DeviceButtons record{};
        for (auto _ : state) benchmark::DoNotOptimize(button_box_device_callback(&record));
    }
    close_com_port();
    unsetenv("VT_SERIAL_PORTS");
    close(terminal);
    close(controller);
}
BENCHMARK(BM_ButtonBoxCallbackIdle);

void BM_ParseButtonBoxScript(benchmark::State &state) {
    for (auto _ : state) benchmark::DoNotOptimize(parse_setup_script(kButtonBoxScript));
}
BENCHMARK(BM_ParseButtonBoxScript);

}  // namespace

BENCHMARK_MAIN();
