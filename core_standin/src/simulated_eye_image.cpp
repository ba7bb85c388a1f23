// The synthetic eye camera: a believable eye (skin, eyelids, sclera, textured iris, dark pupil,
// bright corneal reflection) or a head marker, moving with a simulated gaze, with noise; the
// pupil and reflection found by threshold as a tracker finds them, and their overlay.
#include <algorithm>
#include <cmath>
#include <cstdio>

#include "simulated_tracker.h"

namespace simtracker {

namespace {

// Palette: 128 grey levels (index i shows grey 2i + 1), then the two highlights.
constexpr int kGreyLevels = 128;
constexpr uint8_t kPupilIndex = 128;
constexpr uint8_t kReflectionIndex = 129;
constexpr int16_t kPaletteSize = 130;
constexpr SDL_Color kPupilColour{40, 90, 255, 255};
constexpr SDL_Color kReflectionColour{0, 255, 255, 255};

constexpr const char *kViewNames[kViewCount] = {"Close-up eye", "Wide view", "Head Marker"};

// Overlay colour numbers.
constexpr int32_t kPupilCross = 1;
constexpr int32_t kReflectionCross = 2;
constexpr int32_t kPupilBox = 3;
constexpr int32_t kReflectionBox = 4;
constexpr int32_t kPupilBoxOversized = 5;
constexpr int32_t kSearchLimits = 6;
constexpr int32_t kSearchLimitsLost = 7;
constexpr SDL_Rect kSearchArea{40, 24, 304, 272};

constexpr float kPi = 3.14159265f;

uint32_t next_noise(uint32_t &state) {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    return state;
}

// Where the eye looks, -1..1 each way: slow wandering with quicker small movements.
void gaze(int64_t now, float &gx, float &gy) {
    const float t = float(now % 600000) / 1000.0f;
    gx = 0.6f * std::sin(2 * kPi * t / 5.3f) + 0.2f * std::sin(2 * kPi * t / 1.7f);
    gy = 0.4f * std::sin(2 * kPi * t / 4.1f + 1.0f) + 0.1f * std::sin(2 * kPi * t / 0.9f);
}

float smooth_edge(float distance, float radius) {
    return std::clamp(radius - distance + 0.5f, 0.0f, 1.0f);
}

// Grey level of the eye scene at (x, y). scale 1 is the close-up view.
float eye_scene(float x, float y, float scale, float gx, float gy, float pupil_radius) {
    const float cx = 192, cy = 165;
    const float dx = (x - cx) / scale, dy = (y - cy) / scale;
    float grey = 150 + 0.06f * dy;  // skin, lit from above
    // Brow in the wide view.
    const float brow = (dy + 95 + 0.0012f * dx * dx) / 14;
    if (std::fabs(brow) < 1 && std::fabs(dx) < 150) grey = 85 + 30 * std::fabs(brow);
    // Eye opening: between two eyelid arcs.
    const float half_width = 150;
    if (std::fabs(dx) >= half_width) return grey;
    const float lid = 1 - (dx * dx) / (half_width * half_width);
    const float upper = -72 * lid, lower = 58 * lid;
    if (dy < upper - 4 || dy > lower + 3) return grey;
    if (dy < upper || dy > lower) return 70;       // lashes and lid rims
    grey = 205 - 25 * std::fabs(dx) / half_width;  // sclera, shaded toward the corners
    const float px = gx * 48, py = gy * 30;
    const float ix = dx - px, iy = dy - py;
    const float r = std::sqrt(ix * ix + iy * iy);
    const float iris_radius = 62;
    if (r < iris_radius + 1) {
        const float angle = std::atan2(iy, ix);
        const float iris =
            95 + 10 * std::sin(angle * 12) * (r / iris_radius) - 12 * (r / iris_radius);
        const float edge = smooth_edge(r, iris_radius);
        grey = grey * (1 - edge) + iris * edge;
        const float in_pupil = smooth_edge(r, pupil_radius);
        grey = grey * (1 - in_pupil) + 18 * in_pupil;
    }
    // The corneal reflection sits up-left of the pupil and follows the gaze less.
    const float rx = dx - (gx * 16 - 14), ry = dy - (gy * 10 - 12);
    const float reflection = smooth_edge(std::sqrt(rx * rx + ry * ry), 4.5f);
    return grey * (1 - reflection) + 252 * reflection;
}

// Grey level of the head-marker scene: a ringed sticker on the forehead.
float marker_scene(float x, float y, float mx, float my) {
    const float r = std::hypot(x - mx, y - my);
    if (r < 6) return 20;
    if (r < 18) return 235;
    if (r < 28) return 20;
    if (r < 42) return 235;
    return 150 + 0.06f * (y - 160);
}

uint8_t index_of(int grey, const Camera &camera) {
    if (grey < camera.pupil_threshold) return kPupilIndex;
    if (grey > camera.cr_threshold) return kReflectionIndex;
    return uint8_t(grey / 2);
}

void find_features(Camera &camera, float scale) {
    EyeFeatures found;
    long px = 0, py = 0, pupil_count = 0, rx = 0, ry = 0, cr_count = 0;
    int left = kFrameWidth, top = kFrameHeight, right = -1, bottom = -1;
    for (int y = kSearchArea.y; y < kSearchArea.y + kSearchArea.h; ++y)
        for (int x = kSearchArea.x; x < kSearchArea.x + kSearchArea.w; ++x) {
            const uint8_t index = camera.indices[size_t(y) * kFrameWidth + size_t(x)];
            if (index == kPupilIndex) {
                px += x, py += y, ++pupil_count;
                left = std::min(left, x), right = std::max(right, x);
                top = std::min(top, y), bottom = std::max(bottom, y);
            } else if (index == kReflectionIndex) {
                rx += x, ry += y, ++cr_count;
            }
        }
    const float pupil_area = kPi * 26 * 26 * scale * scale;
    found.pupil_found = pupil_count >= long(pupil_area / 8);
    if (found.pupil_found) {
        found.pupil_x = int(px / pupil_count);
        found.pupil_y = int(py / pupil_count);
        found.pupil_box = SDL_Rect{left, top, right - left + 1, bottom - top + 1};
        found.pupil_oversized = float(pupil_count) > 2.5f * pupil_area;
    }
    found.cr_found = cr_count >= 3 && float(cr_count) < 200 * scale * scale + 20;
    if (found.cr_found) {
        found.cr_x = int(rx / cr_count);
        found.cr_y = int(ry / cr_count);
        found.cr_size = std::max(6, int(std::sqrt(float(cr_count)) * 2));
    }
    camera.features = found;
}

void line(OverlayContext *context, float sx, float sy, int x1, int y1, int x2, int y2,
          int32_t colour) {
    context->lineCallback(context, int32_t(float(x1) * sx), int32_t(float(y1) * sy),
                          int32_t(float(x2) * sx), int32_t(float(y2) * sy), colour);
}

void lozenge(OverlayContext *context, float sx, float sy, SDL_Rect box, int32_t colour) {
    context->lozengeCallback(context, int32_t(float(box.x) * sx), int32_t(float(box.y) * sy),
                             int32_t(float(box.w) * sx), int32_t(float(box.h) * sy), colour);
}

void cross(OverlayContext *context, float sx, float sy, int x, int y, int arm, int32_t colour) {
    line(context, sx, sy, x - arm, y, x + arm, y, colour);
    line(context, sx, sy, x, y - arm, x, y + arm, colour);
}

// Corner brackets around the area in which the pupil is searched.
void search_limits(OverlayContext *context, float sx, float sy, int32_t colour) {
    const SDL_Rect a = kSearchArea;
    const int arm = 24;
    const int xs[2] = {a.x, a.x + a.w - 1}, ys[2] = {a.y, a.y + a.h - 1};
    for (int i = 0; i < 2; ++i)
        for (int j = 0; j < 2; ++j) {
            const int hx = i == 0 ? xs[i] + arm : xs[i] - arm;
            const int vy = j == 0 ? ys[j] + arm : ys[j] - arm;
            line(context, sx, sy, xs[i], ys[j], hx, ys[j], colour);
            line(context, sx, sy, xs[i], ys[j], xs[i], vy, colour);
        }
}

}  // namespace

void render_frame(Camera &camera, int64_t now) {
    float gx = 0, gy = 0;
    gaze(now, gx, gy);
    const float t = float(now % 600000) / 1000.0f;
    const float pupil_radius = 26 + 3 * std::sin(2 * kPi * t / 7.0f);
    const float scale = camera.view == 1 ? 0.5f : 1.0f;
    const float mx = 192 + 30 * gx, my = 150 + 12 * gy;
    for (int y = 0; y < kFrameHeight; ++y)
        for (int x = 0; x < kFrameWidth; ++x) {
            const float scene = camera.view == 2
                                    ? marker_scene(float(x), float(y), mx, my)
                                    : eye_scene(float(x), float(y), scale, gx, gy, pupil_radius);
            const int noise = int(next_noise(camera.noise) % 17) - 8;
            const int grey = std::clamp(int(scene) + noise, 0, 255);
            const size_t at = size_t(y) * kFrameWidth + size_t(x);
            camera.grey[at] = uint8_t(grey);
            // The marker is located by its shape: no threshold highlights in its view.
            camera.indices[at] = camera.view == 2 ? uint8_t(grey / 2) : index_of(grey, camera);
        }
    if (camera.view == 2) {
        EyeFeatures marker;
        marker.pupil_found = true;
        marker.pupil_x = int(mx), marker.pupil_y = int(my);
        marker.pupil_box = SDL_Rect{int(mx) - 42, int(my) - 42, 85, 85};
        camera.features = marker;
        return;
    }
    find_features(camera, scale);
}

void send_palette() {
    std::array<uint8_t, kPaletteSize> red{}, green{}, blue{};
    for (int i = 0; i < kGreyLevels; ++i) red[i] = green[i] = blue[i] = uint8_t(2 * i + 1);
    red[kPupilIndex] = kPupilColour.r, green[kPupilIndex] = kPupilColour.g;
    blue[kPupilIndex] = kPupilColour.b;
    red[kReflectionIndex] = kReflectionColour.r, green[kReflectionIndex] = kReflectionColour.g;
    blue[kReflectionIndex] = kReflectionColour.b;
    hook_palette(kPaletteSize, red.data(), green.data(), blue.data());
}

void auto_thresholds(Camera &camera) {
    std::array<long, 256> histogram{};
    for (uint8_t grey : camera.grey) ++histogram[grey];
    const long total = long(camera.grey.size());
    // Grey level below which a share of the pixels lies.
    auto level_at = [&](double share) {
        long seen = 0;
        for (int level = 0; level < 256; ++level) {
            seen += histogram[size_t(level)];
            if (double(seen) >= share * double(total)) return level;
        }
        return 255;
    };
    const int dark = level_at(0.005), median = level_at(0.5);
    const int bright = level_at(0.995), brightest = level_at(1.0);
    camera.pupil_threshold = std::clamp(dark + (median - dark) * 3 / 10, 1, 254);
    camera.cr_threshold = std::clamp((bright + brightest) / 2, camera.pupil_threshold + 1, 254);
}

std::string camera_title(const Camera &camera) {
    char title[96];
    std::snprintf(title, sizeof title, "%s   pupil %d  CR %d", kViewNames[camera.view],
                  camera.pupil_threshold, camera.cr_threshold);
    return title;
}

void paint_overlay(OverlayContext *context) {
    if (!context->lineCallback || !context->lozengeCallback || context->drawnWidth <= 0 ||
        context->drawnHeight <= 0)
        return;
    const EyeFeatures &f = tracker().camera.features;
    const float sx = float(context->drawnWidth) / kFrameWidth;
    const float sy = float(context->drawnHeight) / kFrameHeight;
    if (tracker().camera.view == 2) {
        cross(context, sx, sy, f.pupil_x, f.pupil_y, 12, kPupilCross);
        lozenge(context, sx, sy, f.pupil_box, kPupilBox);
        return;
    }
    search_limits(context, sx, sy, f.pupil_found ? kSearchLimits : kSearchLimitsLost);
    if (f.pupil_found) {
        const SDL_Rect box{f.pupil_box.x - 2, f.pupil_box.y - 2, f.pupil_box.w + 4,
                           f.pupil_box.h + 4};
        lozenge(context, sx, sy, box, f.pupil_oversized ? kPupilBoxOversized : kPupilBox);
        cross(context, sx, sy, f.pupil_x, f.pupil_y, 14, kPupilCross);
    }
    if (f.cr_found) {
        const int half = f.cr_size / 2;
        lozenge(context, sx, sy, SDL_Rect{f.cr_x - half, f.cr_y - half, f.cr_size, f.cr_size},
                kReflectionBox);
        cross(context, sx, sy, f.cr_x, f.cr_y, 8, kReflectionCross);
    }
}

}  // namespace simtracker
