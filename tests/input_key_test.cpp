// The key hook on real SDL events: the translation table, which events are taken with and
// without display-flag bits 0x2 and 0x10, the log of every press and release for the keypad
// device, the zoom key, the quit request, and a record left untouched whenever no key is
// reported.
#include <gtest/gtest.h>

#include <cstring>
#include <utility>
#include <vector>

#include "camera/image_state.h"
#include "device/key_events.h"
#include "frame/display_hooks.h"
#include "frame/expt_window.h"
#include "test_support.h"
#include "vistrak_core64_control.h"

namespace {

void push_key(Uint32 type, SDL_Keycode sym, SDL_Scancode scancode, Uint16 mod = KMOD_NONE,
              Uint8 repeat = 0) {
    SDL_Event event{};
    event.type = type;
    event.key.type = type;
    event.key.state = type == SDL_KEYDOWN ? SDL_PRESSED : SDL_RELEASED;
    event.key.repeat = repeat;
    event.key.keysym.sym = sym;
    event.key.keysym.scancode = scancode;
    event.key.keysym.mod = mod;
    ASSERT_EQ(SDL_PushEvent(&event), 1) << SDL_GetError();
}

void press(SDL_Keycode sym, SDL_Scancode scancode, Uint16 mod = KMOD_NONE) {
    push_key(SDL_KEYDOWN, sym, scancode, mod);
}
void release(SDL_Keycode sym, SDL_Scancode scancode) { push_key(SDL_KEYUP, sym, scancode); }

int pending_events() {
    SDL_PumpEvents();
    return SDL_PeepEvents(nullptr, 0, SDL_PEEKEVENT, SDL_FIRSTEVENT, SDL_LASTEVENT);
}

// A record filled with a pattern, so that untouched fields can be told apart.
KeyInput blank_record() {
    KeyInput key;
    std::memset(&key, 0xAB, sizeof(key));
    return key;
}

bool untouched(const KeyInput &key) {
    const KeyInput blank = blank_record();
    return std::memcmp(&key, &blank, sizeof(key)) == 0;
}

// A logged key event: scancode, and 1 for a press or 0 for a release.
using Logged = std::pair<int, int>;

// The events logged for the keypad device since the last call, oldest first.
std::vector<Logged> logged() {
    std::vector<Logged> events;
    KeyEvent event;
    while (take_key_event(event)) events.emplace_back(event.scancode, event.pressed);
    return events;
}

class KeyHook : public ::testing::Test {
protected:
    void SetUp() override {
        vt_test::ensure_window();
        SDL_PumpEvents();
        SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT);
        standin_reset();
        clear_key_events();
        imageState.zoomStep = 0;
    }
    void TearDown() override { standin_set_display_flags(0); }

    // The key the hook reports, or 0 (with the record untouched) when it reports none.
    static uint16_t poll() {
        KeyInput key = blank_record();
        const int16_t result = read_key_hook(&key);
        if (result == 0) {
            EXPECT_TRUE(untouched(key));
            return 0;
        }
        EXPECT_EQ(result, 1);
        EXPECT_EQ(key.type, 1);
        EXPECT_EQ(key.state, 1);
        EXPECT_EQ(key.unicode, 0xABAB) << "only the first four fields are written";
        return key.key;
    }
};

TEST_F(KeyHook, TranslationTable) {
    const std::vector<std::pair<SDL_Keycode, uint16_t>> table = {
        {SDLK_BACKSPACE, 8}, {SDLK_TAB, 9}, {SDLK_RETURN, 13}, {SDLK_ESCAPE, 27},
        {SDLK_F1, 0x3B00}, {SDLK_F2, 0x3C00}, {SDLK_F5, 0x3F00}, {SDLK_F9, 0x4300},
        {SDLK_F10, 0x4400}, {SDLK_UP, 0x4800}, {SDLK_PAGEUP, 0x4900}, {SDLK_LEFT, 0x4B00},
        {SDLK_RIGHT, 0x4D00}, {SDLK_DOWN, 0x5000}, {SDLK_PAGEDOWN, 0x5100},
        {SDLK_KP_MINUS, 45}, {SDLK_KP_PLUS, 43}, {SDLK_a, 97}, {SDLK_q, 113}, {SDLK_0, 48},
        {SDLK_9, 57}, {SDLK_SPACE, 32}, {SDLK_DELETE, 127}, {SDLK_F11, 68}, {SDLK_F12, 69},
        {SDLK_HOME, 74}, {SDLK_END, 77}, {SDLK_INSERT, 73}, {SDLK_KP_1, 89}, {SDLK_KP_9, 97},
        {SDLK_KP_0, 98}, {SDLK_KP_ENTER, 88}, {SDLK_LGUI, 227}, {SDLK_RGUI, 231},
        // Ignored: lock and modifier keys, and codes whose low 16 bits are 1.
        {SDLK_CAPSLOCK, 0}, {SDLK_LCTRL, 0}, {SDLK_LSHIFT, 0}, {SDLK_LALT, 0},
        {SDLK_RCTRL, 0}, {SDLK_RSHIFT, 0}, {SDLK_RALT, 0}, {0x40000001, 0}, {0x10001, 0},
        {SDLK_UNKNOWN, 0}};
    for (const auto &[sym, code] : table) {
        press(sym, SDL_SCANCODE_A);
        EXPECT_EQ(poll(), code) << "keycode 0x" << std::hex << sym;
    }
    EXPECT_EQ(imageState.zoomStep, 0);
}

TEST_F(KeyHook, NothingPendingReportsNothing) {
    EXPECT_EQ(poll(), 0);
    // Other events are discarded, never reported.
    SDL_Event motion{};
    motion.type = SDL_MOUSEMOTION;
    SDL_PushEvent(&motion);
    EXPECT_EQ(poll(), 0);
    EXPECT_EQ(pending_events(), 0);
}

TEST_F(KeyHook, WithoutWideFlagsTheOldestPressWinsAndTheRestIsDropped) {
    press(SDLK_a, SDL_SCANCODE_A);
    press(SDLK_b, SDL_SCANCODE_B);
    SDL_Event motion{};
    motion.type = SDL_MOUSEMOTION;
    SDL_PushEvent(&motion);
    EXPECT_EQ(poll(), 'a');
    EXPECT_EQ(pending_events(), 0);
    EXPECT_EQ(poll(), 0);
    EXPECT_EQ(logged(), (std::vector<Logged>{{SDL_SCANCODE_A, 1}, {SDL_SCANCODE_B, 1}}))
        << "the dropped press still reaches the keypad's log";

    // A release is never the core library's key, but the keypad hears of it.
    release(SDLK_a, SDL_SCANCODE_A);
    EXPECT_EQ(poll(), 0);
    standin_set_display_flags(0x2);
    release(SDLK_b, SDL_SCANCODE_B);
    EXPECT_EQ(poll(), 0);
    EXPECT_EQ(logged(), (std::vector<Logged>{{SDL_SCANCODE_A, 0}, {SDL_SCANCODE_B, 0}}));
}

TEST_F(KeyHook, WithWideFlagsTheLatestPressWins) {
    for (uint16_t flags : {uint16_t(0x2), uint16_t(0x10), uint16_t(0x12 | 0x100)}) {
        standin_set_display_flags(flags);
        press(SDLK_1, SDL_SCANCODE_1);
        press(SDLK_2, SDL_SCANCODE_2);
        press(SDLK_3, SDL_SCANCODE_3);
        EXPECT_EQ(poll(), '3') << "flags " << flags;
        EXPECT_EQ(poll(), 0);
        EXPECT_EQ(logged(), (std::vector<Logged>{
                                {SDL_SCANCODE_1, 1}, {SDL_SCANCODE_2, 1}, {SDL_SCANCODE_3, 1}}))
            << "presses the core library does not get still reach the keypad's log";
    }
    // A release first: a later press replaces it.
    release(SDLK_x, SDL_SCANCODE_X);
    press(SDLK_y, SDL_SCANCODE_Y);
    EXPECT_EQ(poll(), 'y');
    // A press followed by its release: the press is reported.
    press(SDLK_c, SDL_SCANCODE_C);
    release(SDLK_c, SDL_SCANCODE_C);
    EXPECT_EQ(poll(), 'c');
    EXPECT_EQ(pending_events(), 0);
    EXPECT_EQ(logged(), (std::vector<Logged>{{SDL_SCANCODE_X, 0},
                                             {SDL_SCANCODE_Y, 1},
                                             {SDL_SCANCODE_C, 1},
                                             {SDL_SCANCODE_C, 0}}));
}

TEST_F(KeyHook, KeypadLogTakesScancodesBelow255AndNoRepeats) {
    press(SDLK_LSHIFT, SDL_SCANCODE_LSHIFT, KMOD_LSHIFT);
    EXPECT_EQ(poll(), 0) << "Shift alone is no key for the core library";
    EXPECT_EQ(logged(), (std::vector<Logged>{{SDL_SCANCODE_LSHIFT, 1}}));
    // Scancodes from 255 on are reported but not logged.
    press(SDLK_q, SDL_Scancode(255));
    EXPECT_EQ(poll(), 'q');
    press(SDLK_w, SDL_Scancode(300));
    EXPECT_EQ(poll(), 'w');
    press(SDLK_e, SDL_Scancode(254));
    EXPECT_EQ(poll(), 'e');
    // A held key's repeats are presses for the core library, not for the keypad.
    push_key(SDL_KEYDOWN, SDLK_e, SDL_Scancode(254), KMOD_NONE, 1);
    EXPECT_EQ(poll(), 'e');
    EXPECT_EQ(logged(), (std::vector<Logged>{{254, 1}}));
}

TEST_F(KeyHook, FullKeypadLogKeepsTheLatestEvents) {
    // 300 presses and releases pending at one poll, with nobody reading the log.
    for (int i = 0; i < 150; ++i) {
        press(SDLK_a, SDL_SCANCODE_A);
        release(SDLK_a, SDL_SCANCODE_A);
    }
    press(SDLK_b, SDL_SCANCODE_B);
    EXPECT_EQ(poll(), 'a');
    const std::vector<Logged> events = logged();
    ASSERT_EQ(events.size(), 256u);
    EXPECT_EQ(events.front(), Logged(SDL_SCANCODE_A, 0)) << "the oldest made room";
    EXPECT_EQ(events[events.size() - 2], Logged(SDL_SCANCODE_A, 0));
    EXPECT_EQ(events.back(), Logged(SDL_SCANCODE_B, 1));
}

TEST_F(KeyHook, ShiftZReportsLowerCaseWithShiftAndZooms) {
    KeyInput key = blank_record();
    press(SDLK_z, SDL_SCANCODE_Z, KMOD_LSHIFT | KMOD_NUM);
    ASSERT_EQ(read_key_hook(&key), 1);
    EXPECT_EQ(key.key, 'z');
    EXPECT_EQ(key.modifier, KMOD_LSHIFT | KMOD_NUM);
    EXPECT_EQ(imageState.zoomStep, 1);
    press(SDLK_z, SDL_SCANCODE_Z);
    EXPECT_EQ(poll(), 'z');
    EXPECT_EQ(imageState.zoomStep, 2);
    // Held keys repeat as new presses.
    push_key(SDL_KEYDOWN, SDLK_z, SDL_SCANCODE_Z, KMOD_NONE, 1);
    EXPECT_EQ(poll(), 'z');
    EXPECT_EQ(imageState.zoomStep, 3);
}

TEST_F(KeyHook, QuitRequestBecomesAnAbortRequest) {
    SDL_Event quit{};
    quit.type = SDL_QUIT;
    SDL_PushEvent(&quit);
    EXPECT_EQ(poll(), 0);
    EXPECT_EQ(standin_calls().set_abort, 1);
    EXPECT_EQ(standin_calls().last_set_abort, 1);
    EXPECT_EQ(core_abort_requested(), 1);

    // With a key press pending too, the abort wins; the press still reaches the keypad's log.
    standin_reset();
    press(SDLK_RETURN, SDL_SCANCODE_RETURN);
    SDL_PushEvent(&quit);
    EXPECT_EQ(poll(), 0);
    EXPECT_EQ(standin_calls().last_set_abort, 1);
    EXPECT_EQ(logged(), (std::vector<Logged>{{SDL_SCANCODE_RETURN, 1}}));
    EXPECT_EQ(pending_events(), 0);
}

TEST_F(KeyHook, NothingIsTakenWhileSdlIsNotReady) {
    press(SDLK_a, SDL_SCANCODE_A);
    exptGraphics.sdl_ready = false;
    KeyInput key = blank_record();
    EXPECT_EQ(read_key_hook(&key), 0);
    exptGraphics.sdl_ready = true;
    EXPECT_TRUE(untouched(key));
    EXPECT_EQ(pending_events(), 1) << "the press stays queued";
    EXPECT_EQ(read_key_hook(nullptr), 0);
    EXPECT_EQ(poll(), 'a');
}

}  // namespace
