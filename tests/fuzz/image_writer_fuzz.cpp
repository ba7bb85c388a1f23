// libFuzzer harness for the screen image writer: CoreBitmap records of arbitrary sizes, pitches
// and depths, written in any format code, with libgd and without it (the BMP path), into a
// temporary folder. The pixels end right before an inaccessible page, so that a read past
// them stops the run even inside SDL or libgd, which the sanitizers do not see into. A result
// of 0 must leave a non-empty file, -1 none, and neither anything else in the folder; a usable
// bitmap must be written.
#include <fuzzer/FuzzedDataProvider.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "export/gd_library.h"
#include "export/image_writer.h"
#include "fuzz_check.h"
#include "fuzz_support.h"
#include "vistrak_core64_control.h"

namespace {

namespace fs = std::filesystem;

std::string folder;
GdLibrary loaded_gd;

// bytes of memory followed by a page that cannot be read; freed with the object.
class GuardedBuffer {
public:
    explicit GuardedBuffer(size_t bytes) {
        const size_t page = size_t(sysconf(_SC_PAGESIZE));
        length_ = (bytes + page - 1) / page * page + page;
        void *mapped = mmap(nullptr, length_, PROT_READ | PROT_WRITE,
                            MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        check(mapped != MAP_FAILED);
        base_ = static_cast<uint8_t *>(mapped);
        check(mprotect(base_ + length_ - page, page, PROT_NONE) == 0);
        data_ = base_ + length_ - page - bytes;
    }
    ~GuardedBuffer() { munmap(base_, length_); }
    GuardedBuffer(const GuardedBuffer &) = delete;
    GuardedBuffer &operator=(const GuardedBuffer &) = delete;
    uint8_t *data() const { return data_; }

private:
    uint8_t *base_ = nullptr;
    uint8_t *data_ = nullptr;
    size_t length_ = 0;
};

// Whether the writer must succeed: a bitmap it can read completely, in a format it can write.
bool writable(const CoreBitmap &bitmap, int32_t format, bool with_gd) {
    if (bitmap.width < 1 || bitmap.height < 1 || !bitmap.pixels) return false;
    const int bytes_per_pixel = (bitmap.depth + 7) / 8;
    if (bitmap.pitch < int64_t(bitmap.width) * bytes_per_pixel) return false;
    if (with_gd) return bitmap.depth == 32 && format != 4 && (format != 2 || gd.gdImageGif);
    return bitmap.depth == 15 || bitmap.depth == 16 || bitmap.depth == 24 || bitmap.depth == 32;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    fuzz_support::drop_standard_output();
    folder = fuzz_support::temp_folder("vt-writer-fuzz");
    load_gd();
    check(gd_state == 1);  // libgd is installed with the project's packages
    loaded_gd = gd;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    standin_reset();  // the stand-in core keeps every log line and alert
    FuzzedDataProvider input(data, size);
    // Both ways of writing, without loading libgd anew for each input.
    const bool with_gd = input.ConsumeBool();
    gd_state = with_gd ? 1 : -1;
    gd = with_gd ? loaded_gd : GdLibrary{};

    CoreBitmap bitmap{};
    bitmap.width = input.ConsumeIntegralInRange(-2, 200);
    bitmap.height = input.ConsumeIntegralInRange(-2, 200);
    bitmap.depth = input.ConsumeIntegralInRange(-1, 40);
    const int64_t row_bytes = (int64_t(bitmap.width) * bitmap.depth + 7) / 8;
    bitmap.pitch = input.ConsumeBool() ? input.ConsumeIntegral<int32_t>()
                                       : int32_t(row_bytes + input.ConsumeIntegralInRange(-4, 8));
    const int32_t format = input.ConsumeBool() ? input.ConsumeIntegralInRange(0, 5)
                                               : input.ConsumeIntegral<int32_t>();
    const int where = input.ConsumeIntegralInRange(0, 7);

    // The record's promise: height rows of pitch bytes.
    const bool has_pixels = bitmap.height > 0 && bitmap.pitch > 0 &&
                            int64_t(bitmap.height) * bitmap.pitch <= 4 << 20 &&
                            input.ConsumeIntegralInRange(0, 31) != 0;
    const size_t bytes = has_pixels ? size_t(bitmap.height) * size_t(bitmap.pitch) : 0;
    GuardedBuffer pixels(bytes);
    const std::vector<uint8_t> picture = input.ConsumeRemainingBytes<uint8_t>();
    for (size_t i = 0; i < bytes && !picture.empty(); ++i)
        pixels.data()[i] = picture[i % picture.size()];
    if (has_pixels) bitmap.pixels = pixels.data();
    uint8_t reserved[32] = {};
    bitmap.reserved = reserved;

    // A file in the folder, a file in a folder that does not exist, or the folder itself.
    const std::string path = where == 0   ? folder + "/missing/screen"
                             : where == 1 ? folder
                                          : folder + "/screen";
    const int32_t result = image_writer(path.c_str(), format, &bitmap);
    check(result == 0 || result == -1);
    std::error_code error;
    if (where >= 2) {
        if (result == 0) check(fs::is_regular_file(path, error) && fs::file_size(path, error) > 0);
        if (result == -1) check(!fs::exists(path, error));
        if (writable(bitmap, format, with_gd)) check(result == 0);
        fs::remove(path, error);
    } else {
        check(result == -1);
    }
    check(fs::is_empty(folder, error));  // no partly written file is left behind
    return 0;
}
