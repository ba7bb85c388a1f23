// The 16 functions of the core library interface, as the stand-in core provides them: it
// records what the graphics plug-in hands over and answers with values set through the
// control interface.
#include <SDL.h>

#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "core_state.h"

namespace {

std::string format_text(const char *format, va_list args) {
    if (!format) return "(null format)";
    va_list copy;
    va_copy(copy, args);
    const int length = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    if (length < 0) return format;
    std::string text(static_cast<size_t>(length), '\0');
    std::vsnprintf(text.data(), text.size() + 1, format, args);
    return text;
}

void record_text(std::vector<std::string> &where, const char *kind, std::string text) {
    const char *echo = std::getenv("VT_CORE_ECHO");
    if (echo && *echo) std::fprintf(stderr, "[core %s] %s%s", kind, text.c_str(),
                                    (!text.empty() && text.back() == '\n') ? "" : "\n");
    std::lock_guard<std::mutex> lock(standin::state().mutex);
    where.push_back(std::move(text));
}

int32_t record_bitmap_call(int function, const CoreBitmap *bitmap,
                           std::initializer_list<int32_t> args, const char *fname,
                           const char *path) {
    auto &s = standin::state();
    std::lock_guard<std::mutex> lock(s.mutex);
    ++s.bitmap_calls;
    StandinBitmapCall call{};
    call.function = function;
    s.bitmap_pixels.clear();
    if (bitmap) {
        call.width = bitmap->width;
        call.height = bitmap->height;
        call.pitch = bitmap->pitch;
        call.depth = bitmap->depth;
        if (bitmap->pixels && bitmap->height > 0 && bitmap->pitch > 0) {
            const auto *bytes = static_cast<const uint8_t *>(bitmap->pixels);
            s.bitmap_pixels.assign(bytes, bytes + size_t(bitmap->height) * size_t(bitmap->pitch));
        }
        if (bitmap->reserved) {
            const auto *block = static_cast<const uint8_t *>(bitmap->reserved);
            call.reserved_zeroed = 1;
            for (int i = 0; i < 32; ++i) call.reserved_zeroed &= block[i] == 0;
        }
    }
    for (int32_t value : args) call.args[call.arg_count++] = value;
    s.bitmap_fname = fname ? fname : "";
    s.bitmap_path = path ? path : "";
    s.last_bitmap = call;
    return s.bitmap_result;
}

}  // namespace

extern "C" {

uint32_t core_clock_ms(void) {
    using namespace std::chrono;
    return static_cast<uint32_t>(
        duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

void core_sleep_ms(uint32_t milliseconds) {
    auto &s = standin::state();
    {
        std::lock_guard<std::mutex> lock(s.mutex);
        ++s.calls.sleep;
        s.calls.last_sleep_ms = milliseconds;
    }
    if (!s.skip_sleep) std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

uint16_t core_display_flags(void) { return standin::state().display_flags; }

uint16_t core_tracker_mode(void) { return standin::state().tracker_mode; }

void core_attach_window(void *) {
    std::lock_guard<std::mutex> lock(standin::state().mutex);
    ++standin::state().calls.attach_window;
}

void core_graphics_ready(void) {
    std::lock_guard<std::mutex> lock(standin::state().mutex);
    ++standin::state().calls.graphics_ready;
}

int16_t core_abort_requested(void) { return standin::state().abort_pending; }

void core_set_abort(int16_t raise) {
    auto &s = standin::state();
    s.abort_pending = raise ? 1 : 0;
    std::lock_guard<std::mutex> lock(s.mutex);
    ++s.calls.set_abort;
    s.calls.last_set_abort = raise;
}

void core_alert(const char *format, ...) {
    va_list args;
    va_start(args, format);
    std::string text = format_text(format, args);
    va_end(args);
    record_text(standin::state().alerts, "alert", std::move(text));
}

void core_log(const char *format, ...) {
    va_list args;
    va_start(args, format);
    std::string text = format_text(format, args);
    va_end(args);
    record_text(standin::state().log_lines, "log", std::move(text));
}

void core_install_hooks(const DisplayHooks *hooks) {
    auto &s = standin::state();
    std::lock_guard<std::mutex> lock(s.mutex);
    ++s.calls.install_hooks;
    // An all-null record (or none) removes the hooks; the caller's record is a temporary.
    s.hooks = hooks ? *hooks : DisplayHooks{};
}

void core_install_image_writer(ImageWriter writer, int32_t) {
    auto &s = standin::state();
    std::lock_guard<std::mutex> lock(s.mutex);
    ++s.calls.install_image_writer;
    s.image_writer = writer;
}

int32_t core_bitmap_save_and_backdrop(const CoreBitmap *bitmap, int32_t xs, int32_t ys,
                                      int32_t width, int32_t height, const char *fname,
                                      const char *path, int32_t sv_options, int32_t xd,
                                      int32_t yd, int32_t bx_options) {
    return record_bitmap_call(501, bitmap, {xs, ys, width, height, sv_options, xd, yd, bx_options},
                              fname, path);
}

int32_t core_bitmap_to_backdrop(const CoreBitmap *bitmap, int32_t xs, int32_t ys, int32_t width,
                                int32_t height, int32_t xd, int32_t yd, int32_t bx_options) {
    return record_bitmap_call(502, bitmap, {xs, ys, width, height, xd, yd, bx_options}, nullptr,
                              nullptr);
}

int32_t core_bitmap_save(const CoreBitmap *bitmap, int32_t xs, int32_t ys, int32_t width,
                         int32_t height, const char *fname, const char *path,
                         int32_t sv_options) {
    const int32_t answer =
        record_bitmap_call(503, bitmap, {xs, ys, width, height, sv_options}, fname, path);
    // As the tracker core saves a screen: the region goes to path/fname through the installed
    // image writer, sv_options being the format code (see vistrak_core64_control.h).
    ImageWriter writer;
    {
        std::lock_guard<std::mutex> lock(standin::state().mutex);
        writer = standin::state().image_writer;
    }
    if (!writer || !bitmap || !fname || !*fname) return answer;
    const std::string file = (path && *path) ? std::string(path) + "/" + fname : fname;
    CoreBitmap region = *bitmap;
    const int32_t x0 = xs <= 0 || bitmap->width <= 0 ? 0 : xs < bitmap->width ? xs : bitmap->width;
    const int32_t y0 =
        ys <= 0 || bitmap->height <= 0 ? 0 : ys < bitmap->height ? ys : bitmap->height;
    region.width = bitmap->width - x0;
    region.height = bitmap->height - y0;
    if (width > 0 && width < region.width) region.width = width;
    if (height > 0 && height < region.height) region.height = height;
    if (bitmap->pixels)
        region.pixels = static_cast<uint8_t *>(bitmap->pixels) +
                        ptrdiff_t(y0) * bitmap->pitch + ptrdiff_t(x0) * ((bitmap->depth + 7) / 8);
    const int32_t written = writer(file.c_str(), sv_options, &region);
    return written != 0 ? written : answer;
}

void core_draw_overlay(OverlayContext *context) {
    auto &s = standin::state();
    std::vector<StandinOverlayOp> script;
    void (*painter)(OverlayContext *) = nullptr;
    {
        std::lock_guard<std::mutex> lock(s.mutex);
        ++s.calls.draw_overlay;
        script = s.overlay_script;
        painter = s.overlay_painter;
    }
    if (!context) return;
    StandinOverlaySeen seen{};
    seen.drawnWidth = context->drawnWidth;
    seen.drawnHeight = context->drawnHeight;
    seen.surfaceWidth = context->overlaySurface ? context->overlaySurface->w : -1;
    seen.surfaceHeight = context->overlaySurface ? context->overlaySurface->h : -1;
    seen.mouseCallback = context->mouseCallback;
    // The callbacks run outside the lock: they may log through core_log.
    if (painter) painter(context);
    for (const StandinOverlayOp &op : script) {
        switch (op.kind) {
        case STANDIN_LINE:
            if (context->lineCallback)
                context->lineCallback(context, op.a, op.b, op.c, op.d, op.colour);
            break;
        case STANDIN_LOZENGE:
            if (context->lozengeCallback)
                context->lozengeCallback(context, op.a, op.b, op.c, op.d, op.colour);
            break;
        case STANDIN_MOUSE:
            seen.mouseState = static_cast<uint32_t>(op.colour);
            if (context->mouseCallback)
                context->mouseCallback(context, &seen.mouseX, &seen.mouseY, &seen.mouseState);
            break;
        }
    }
    std::lock_guard<std::mutex> lock(s.mutex);
    s.overlay_seen = seen;
}

}  // extern "C"
