// The uncompressed AVI writer (see avi_writer.h).
#include "avi_writer.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>

namespace avi {

namespace {

// RIFF chunks written into one byte buffer, sizes patched when a chunk ends.
struct Riff {
    std::vector<uint8_t> bytes;
    void u16(uint32_t v) { bytes.insert(bytes.end(), {uint8_t(v), uint8_t(v >> 8)}); }
    void u32(uint32_t v) {
        bytes.insert(bytes.end(), {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)});
    }
    void fourcc(const char *id) { bytes.insert(bytes.end(), id, id + 4); }
    void raw(const void *data, size_t size) {
        const auto *p = static_cast<const uint8_t *>(data);
        bytes.insert(bytes.end(), p, p + size);
    }
    size_t begin(const char *id) {
        fourcc(id);
        u32(0);
        return bytes.size() - 4;
    }
    size_t list(const char *type, const char *name) {
        const size_t at = begin(type);
        fourcc(name);
        return at;
    }
    void end(size_t at) {
        const uint32_t size = uint32_t(bytes.size() - at - 4);
        std::memcpy(bytes.data() + at, &size, 4);
        if (size & 1) bytes.push_back(0);
    }
};

bool save(const std::string &path, const std::vector<uint8_t> &bytes) {
    FILE *out = std::fopen(path.c_str(), "wb");
    if (!out) return false;
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
    return std::fclose(out) == 0 && written;
}

uint32_t stride_of(int width, int bits) { return ((uint32_t(width) * uint32_t(bits) + 31) / 32) * 4; }

// The DIB rows of a picture, bottom-up; colour_index gives 8-bit palette indices.
std::vector<uint8_t> dib_rows(const Picture &picture, int bits,
                              const std::map<uint32_t, uint8_t> &colour_index) {
    const uint32_t stride = stride_of(picture.width, bits);
    std::vector<uint8_t> rows(size_t(stride) * size_t(picture.height), 0);
    for (int y = 0; y < picture.height; ++y) {
        uint8_t *row = rows.data() + size_t(picture.height - 1 - y) * stride;
        for (int x = 0; x < picture.width; ++x) {
            const uint32_t c = picture.at(x, y);
            const uint8_t r = uint8_t(c >> 16), g = uint8_t(c >> 8), b = uint8_t(c);
            switch (bits) {
                case 8:
                    row[x] = colour_index.at(c);
                    break;
                case 16: {
                    const uint16_t v = uint16_t(((r >> 3) << 10) | ((g >> 3) << 5) | (b >> 3));
                    row[2 * x] = uint8_t(v);
                    row[2 * x + 1] = uint8_t(v >> 8);
                    break;
                }
                default: {
                    uint8_t *p = row + size_t(x) * size_t(bits / 8);
                    p[0] = b, p[1] = g, p[2] = r;
                    break;
                }
            }
        }
    }
    return rows;
}

// BI_RLE8 of 8-bit DIB rows: runs of one colour index, up to 255 pixels each, every row ended
// by the end-of-line code and the picture by the end-of-bitmap code.
std::vector<uint8_t> rle8(const std::vector<uint8_t> &rows, int width, int height) {
    const uint32_t stride = stride_of(width, 8);
    std::vector<uint8_t> out;
    for (int y = 0; y < height; ++y) {
        const uint8_t *row = rows.data() + size_t(y) * stride;
        for (int x = 0; x < width;) {
            int run = 1;
            while (x + run < width && run < 255 && row[x + run] == row[x]) ++run;
            out.insert(out.end(), {uint8_t(run), row[x]});
            x += run;
        }
        out.insert(out.end(), {0, 0});
    }
    out.insert(out.end(), {0, 1});
    return out;
}

}  // namespace

bool write_avi(const std::string &path, const AviSpec &spec) {
    const bool blank = spec.blank_frames > 0;
    const int width = spec.frames.empty() ? spec.width : spec.frames[0].width;
    const int height = spec.frames.empty() ? spec.height : spec.frames[0].height;
    const uint32_t count = blank ? uint32_t(spec.blank_frames) : uint32_t(spec.frames.size());
    const int bits = blank ? 8 : spec.bits;
    std::map<uint32_t, uint8_t> colour_index;
    std::vector<uint8_t> palette;
    if (blank) palette = {0, 0, 0, 0};
    if (spec.bits == 8)
        for (const Picture &picture : spec.frames)
            for (uint32_t c : picture.rgb)
                if (colour_index.emplace(c, uint8_t(colour_index.size())).second)
                    palette.insert(palette.end(), {uint8_t(c), uint8_t(c >> 8), uint8_t(c >> 16), 0});
    // The frames' chunks come first: the headers give the largest.
    const bool rle = blank || (spec.rle8 && spec.bits == 8);
    std::vector<std::vector<uint8_t>> frame_chunks;
    uint32_t frame_bytes = rle ? 0 : stride_of(width, bits) * uint32_t(height);
    for (uint32_t i = 0; i < count; ++i) {
        std::vector<uint8_t> rows = blank ? std::vector<uint8_t>{0, 1}  // end of picture alone
                                          : dib_rows(spec.frames[i], spec.bits, colour_index);
        if (rle && !blank) rows = rle8(rows, width, height);
        if (int(i) == spec.short_frame) rows.resize(rows.size() / 2);
        if (rle) frame_bytes = std::max(frame_bytes, uint32_t(rows.size()));
        frame_chunks.push_back(std::move(rows));
    }
    const uint16_t block = uint16_t(spec.sound.channels * spec.sound.bits / 8);

    Riff riff;
    const size_t file = riff.list("RIFF", "AVI ");
    const size_t header_list = riff.list("LIST", "hdrl");
    const size_t main_header = riff.begin("avih");
    riff.u32(uint32_t(1000000.0 * spec.scale / spec.rate));
    riff.u32(0), riff.u32(0), riff.u32(0x10), riff.u32(count), riff.u32(0);
    riff.u32(spec.with_sound ? 2 : 1), riff.u32(frame_bytes), riff.u32(uint32_t(width));
    riff.u32(uint32_t(height));
    for (int i = 0; i < 4; ++i) riff.u32(0);
    riff.end(main_header);

    size_t stream_list = riff.list("LIST", "strl");
    size_t chunk = riff.begin("strh");
    riff.fourcc("vids"), riff.u32(0), riff.u32(0), riff.u16(0), riff.u16(0), riff.u32(0);
    riff.u32(spec.scale), riff.u32(spec.rate), riff.u32(0), riff.u32(count), riff.u32(frame_bytes);
    riff.u32(0xFFFFFFFF), riff.u32(0), riff.u16(0), riff.u16(0), riff.u16(uint32_t(width));
    riff.u16(uint32_t(height));
    riff.end(chunk);
    chunk = riff.begin("strf");
    riff.u32(40), riff.u32(uint32_t(width)), riff.u32(uint32_t(height)), riff.u16(1);
    riff.u16(uint32_t(bits)), riff.u32(rle ? 1 : 0), riff.u32(frame_bytes), riff.u32(0);
    riff.u32(0);
    riff.u32(uint32_t(palette.size() / 4)), riff.u32(0);
    if (!palette.empty()) riff.raw(palette.data(), palette.size());
    riff.end(chunk);
    riff.end(stream_list);

    if (spec.with_sound) {
        stream_list = riff.list("LIST", "strl");
        chunk = riff.begin("strh");
        riff.fourcc("auds"), riff.u32(0), riff.u32(0), riff.u16(0), riff.u16(0), riff.u32(0);
        riff.u32(block), riff.u32(spec.sound.rate * block), riff.u32(0);
        riff.u32(block ? uint32_t(spec.sound.data.size() / block) : 0), riff.u32(0), riff.u32(0xFFFFFFFF);
        riff.u32(block), riff.u16(0), riff.u16(0), riff.u16(0), riff.u16(0);
        riff.end(chunk);
        chunk = riff.begin("strf");
        riff.u16(spec.sound.format_tag), riff.u16(spec.sound.channels), riff.u32(spec.sound.rate);
        riff.u32(spec.sound.rate * block), riff.u16(block), riff.u16(spec.sound.bits), riff.u16(0);
        riff.end(chunk);
        riff.end(stream_list);
    }
    riff.end(header_list);

    struct IndexEntry {
        const char *id;
        uint32_t offset, size;
    };
    std::vector<IndexEntry> index;
    const size_t movi = riff.list("LIST", "movi");
    const size_t movi_start = movi + 4;  // index offsets count from the 'movi' name
    if (spec.with_sound) {
        index.push_back({"01wb", uint32_t(riff.bytes.size() - movi_start), uint32_t(spec.sound.data.size())});
        chunk = riff.begin("01wb");
        riff.raw(spec.sound.data.data(), spec.sound.data.size());
        riff.end(chunk);
    }
    const char *frame_id = rle ? "00dc" : "00db";  // compressed or DIB rows
    for (const std::vector<uint8_t> &rows : frame_chunks) {
        index.push_back({frame_id, uint32_t(riff.bytes.size() - movi_start), uint32_t(rows.size())});
        chunk = riff.begin(frame_id);
        riff.raw(rows.data(), rows.size());
        riff.end(chunk);
    }
    riff.end(movi);
    chunk = riff.begin("idx1");
    for (const IndexEntry &entry : index) {
        riff.fourcc(entry.id), riff.u32(0x10), riff.u32(entry.offset), riff.u32(entry.size);
    }
    riff.end(chunk);
    riff.end(file);

    return save(path, riff.bytes);
}

bool write_wav(const std::string &path, const PcmSound &sound) {
    const uint16_t block = uint16_t(sound.channels * sound.bits / 8);
    Riff riff;
    const size_t file = riff.list("RIFF", "WAVE");
    size_t chunk = riff.begin("fmt ");
    riff.u16(sound.format_tag), riff.u16(sound.channels), riff.u32(sound.rate);
    riff.u32(sound.rate * block), riff.u16(block), riff.u16(sound.bits);
    riff.end(chunk);
    chunk = riff.begin("data");
    riff.raw(sound.data.data(), sound.data.size());
    riff.end(chunk);
    riff.end(file);
    return save(path, riff.bytes);
}

}  // namespace avi
