// The status text: the external device's menu text at the top left and, while the core
// library reports the image as shown, the camera view's title under the image.
#include "camera/status_text.h"

#include <cmath>

#include "camera/image_state.h"
#include "device/device_modes.h"
#include "frame/expt_window.h"
#include "frame/window_background.h"
#include "text/fonts.h"
#include "text/message_renderer.h"
#include "text/text_cache.h"
#include "vistrak_core64.h"

float statusFontScale = 0.0f;

namespace {

constexpr int kTitleGap = 10;  // pixels between the image's bottom edge and the title

// Tried in order. "Times Roman" is in no row of the family table and never loads.
constexpr const char *kStatusFamilies[] = {"sans",        "Times Roman", "Arial", "Arial Unicode",
                                           "Courier New", "Verdana",     "Tahoma"};

}  // namespace

void select_scaled_font(float scale) {
    // Compared after clamping, as stored: a small window (scale below 0.9) would otherwise ask
    // for the font, and log the request, on every camera frame, and replace a font the
    // application chose at once.
    if (scale < 1.0f) scale = 1.0f;
    if (statusFontLoaded && std::fabs(double(statusFontScale) - double(scale)) < 0.1) return;
    statusFontScale = scale;
    float size = scale * 15.0f;
    if (size < 5.0f || size > 100.0f) size = 15.0f;
    for (const char *family : kStatusFamilies) {
        if (get_new_font(family, static_cast<int>(size), 1) == 0) {
            statusFontLoaded = 1;
            return;
        }
    }
}

namespace {

void draw_texts(const char *menu_text) {
    if (!window_open()) return;
    take_renderer();
    // Each drawing of the texts is a frame: what it no longer draws is dropped from the cache.
    start_text_frame();
    const float width_ratio = static_cast<float>(exptGraphics.window_rect.w / 1920.0);
    const float scaled = width_ratio * imageState.textScale;
    select_scaled_font(static_cast<float>(scaled * 0.7));

    const SDL_Color colour = windowLook.foregroundColor;
    if (menu_text && *menu_text) {
        set_text_margins(10, 10, 10, 10);
        draw_message(exptGraphics.window, colour, kTextContinue, 5, 5, "%s", menu_text);
    }
    if (core_display_flags() & VT_DISPLAY_IMAGE_SHOWN) {
        set_text_margins(0, 0, 0, 0);
        const SDL_Rect &image = imageState.imageRect;
        draw_message(exptGraphics.window, colour, 0, image.x, image.y + image.h + kTitleGap,
                     "%.*s", int(kImageTitleSize), imageState.imageTitle);
    }
}

}  // namespace

void draw_status_text_with_menu(const char *menu_text) { draw_texts(menu_text); }

namespace {

// The device's menu as the texts show it now. Bringing the mode up to date may mark the menu
// changed again; the next key poll then draws it once more.
const char *shown_menu() {
    menu_shown();
    update_setup_mode();
    return current_menu_text();
}

}  // namespace

void draw_status_text() { draw_texts(shown_menu()); }

void draw_changed_status_text() {
    // A video target keeps the screen while it plays; the menu shows once it has ended.
    if (!menu_changed() || renderer_lent()) return;
    draw_status_text();
    if (window_open()) SDL_RenderPresent(drawing_renderer());
}
