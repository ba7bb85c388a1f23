// Folders and files named in a lab's language. Every path the library receives is read as
// UTF-8 when it is valid UTF-8 and otherwise in the ANSI code page (Wine's is 1252: it has ü
// and €, not 日本); the paths it makes itself come from the system's wide functions. Here: the
// built-in fonts under a temporary folder so named, and fonts, videos, sounds, setup scripts
// and screen images in such folders, passed in UTF-8 and, where the code page allows, in ANSI;
// and a screen image saved under a path longer than Windows takes in its plain form.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "calibration/animation.h"
#include "calibration/cal_data.h"
#include "calibration/feedback_sounds.h"
#include "export/image_writer.h"
#include "frame/embedded_fonts.h"
#include "platform/library_entry.h"
#include "platform/sound_player.h"
#include "platform/wide_text_windows.h"
#include "test_support.h"
#include "text/fonts.h"
#include "vistrak_core64_control.h"
#include "vistrak_core_graphics_sdl2.h"

namespace {

// The names a lab may give: in the code page, outside it, and both in one.
const wchar_t *const kNames[] = {L"ü", L"€", L"日本", L"Jürgen-田中"};

namespace fs = std::filesystem;

std::string utf8(const std::wstring &text) { return fs::path(text).u8string(); }
std::wstring wide(const std::string &utf8_text) { return fs::u8path(utf8_text).wstring(); }

// The text in the ANSI code page; empty when the code page lacks one of its characters.
std::string ansi(const std::wstring &text) {
    BOOL lost = FALSE;
    const int size = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.c_str(), -1,
                                         nullptr, 0, nullptr, &lost);
    if (lost || size <= 0) return {};
    std::string result(size_t(size), '\0');
    WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.c_str(), -1, result.data(), size,
                        nullptr, nullptr);
    result.pop_back();
    return result;
}

void write_file(const std::wstring &path, const void *data, size_t size) {
    std::ofstream(fs::path(path), std::ios::binary)
        .write(static_cast<const char *>(data), std::streamsize(size));
}

// The names FindFirstFileW lists in folder that match pattern.
std::vector<std::wstring> listed(const std::wstring &folder, const wchar_t *pattern) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found;
    const HANDLE search = FindFirstFileW((folder + L"\\" + pattern).c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return names;
    do names.emplace_back(found.cFileName);
    while (FindNextFileW(search, &found));
    FindClose(search);
    return names;
}

class LabPaths : public ::testing::Test {
protected:
    static void SetUpTestSuite() { vt_test::ensure_window(); }
    void SetUp() override { base_ = wide(vt_test::temp_dir()); }

    // A new folder under the test's temporary folder, named "vt-" and name.
    std::wstring make_folder(const std::wstring &name) {
        const std::wstring folder = base_ + L"\\vt-" + name;
        EXPECT_TRUE(fs::create_directory(fs::path(folder))) << utf8(folder);
        made_.push_back(folder);
        return folder;
    }

    void TearDown() override {
        std::error_code error;
        for (const std::wstring &folder : made_) fs::remove_all(fs::path(folder), error);
    }

    // The path in each encoding the name allows: UTF-8, and ANSI where the code page has it.
    static std::vector<std::string> encodings(const std::wstring &path) {
        std::vector<std::string> paths{utf8(path)};
        if (const std::string narrow = ansi(path); !narrow.empty()) paths.push_back(narrow);
        return paths;
    }

private:
    std::wstring base_;
    std::vector<std::wstring> made_;
};

TEST_F(LabPaths, BuiltInFontsLoadFromATemporaryFolderNamedInAnyLanguage) {
    wchar_t original[MAX_PATH + 1];
    ASSERT_GT(GetTempPathW(MAX_PATH + 1, original), 0u);
    for (const wchar_t *name : {L"ü", L"日本"}) {
        const std::wstring temp = make_folder(std::wstring(L"tmp-") + name);
        SetEnvironmentVariableW(L"TMP", temp.c_str());
        remove_embedded_fonts(true);
        library_loaded();  // writes the fonts out and hands their folder to the font code
        ASSERT_NE(embedded_font_folder(), nullptr) << utf8(temp);
        const std::wstring folder = wide(embedded_font_folder());
        EXPECT_EQ(folder.rfind(temp + L"\\vistrak-fonts-", 0), 0u) << utf8(folder);
        EXPECT_EQ(listed(folder, L"*.ttf").size(), 2u);
        close_current_font();
        EXPECT_EQ(get_new_font("sans", 20, 0), 0) << utf8(temp);
        EXPECT_EQ(set_cal_font("sans", 22), 0) << utf8(temp);
        close_current_font();
        remove_embedded_fonts(true);
        EXPECT_EQ(GetFileAttributesW(folder.c_str()), INVALID_FILE_ATTRIBUTES) << "removed";
    }
    SetEnvironmentVariableW(L"TMP", original);
    library_loaded();
}

TEST_F(LabPaths, FontsVideosSoundsScriptsAndImagesNamedInAnyLanguage) {
    ASSERT_NE(embedded_font_folder(), nullptr);
    const std::wstring built_in = wide(embedded_font_folder()) + L"\\OpenSans-Regular.ttf";
    const BuiltinClip clip = builtin_clip(1);
    const std::string script =
        "[MODE C]\r\nBUTTON 1 ACCEPT_TARGET\r\n[MODE V]\r\nBUTTON 1 EXIT\r\n"
        "[MODE D]\r\nBUTTON 1 EXIT\r\n[MODE 1]\r\nTEXT_LINE \"Menu\"\r\nBUTTON 2 EXIT\r\n";
    uint32_t pixels[2 * 3] = {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF, 0, 0x808080};
    const CoreBitmap bitmap{2, 3, 8, 32, pixels, nullptr};

    for (const wchar_t *name : kNames) {
        const std::wstring folder = make_folder(name);
        const std::wstring stem = folder + L"\\" + name;
        fs::copy_file(fs::path(built_in), fs::path(stem + L".ttf"));
        fs::copy_file(fs::u8path(VIDEO_CLIPS "/cinepak_sound.avi"), fs::path(stem + L".avi"));
        write_file(stem + L".wav", clip.data, clip.size);
        write_file(stem + L".ini", script.data(), script.size());

        for (const std::string &path : encodings(stem)) {
            const std::string font = path + ".ttf";
            close_current_font();
            EXPECT_EQ(get_new_font(font.c_str(), 20, 0), 0) << font;
            EXPECT_EQ(LoadVideo((path + ".avi").c_str()), 1) << path << ".avi";
            release_animation();
            EXPECT_TRUE(platform::play_sound_file((path + ".wav").c_str())) << path << ".wav";
            EXPECT_EQ(enable_external_calibration_device(2, (path + ".ini").c_str(), nullptr),
                      1)
                << path << ".ini";
            EXPECT_EQ(enable_external_calibration_device(0, nullptr, nullptr), 1);

            const std::string image = path + ".png";
            EXPECT_EQ(image_writer(image.c_str(), 1, &bitmap), 0) << image;
            EXPECT_EQ(listed(folder, L"*.png"), std::vector<std::wstring>{name + std::wstring(L".png")})
                << "the image under exactly its name";
            DeleteFileW((stem + L".png").c_str());
        }
        // The same calls fail where nothing is: the checks above can tell.
        const std::string missing = utf8(stem) + "-missing";
        EXPECT_EQ(get_new_font((missing + ".ttf").c_str(), 20, 0), -1);
        EXPECT_FALSE(platform::play_sound_file((missing + ".wav").c_str()));
        EXPECT_EQ(enable_external_calibration_device(2, (missing + ".ini").c_str(), nullptr), 0);
        EXPECT_EQ(enable_external_calibration_device(0, nullptr, nullptr), 1);
    }
    close_current_font();
}

// Windows refuses paths of MAX_PATH characters or more to a process without the long-path
// setting, unless they come in the \\?\ form; Wine takes them either way, so the form the
// system is given is checked as well as the image. A video there plays from its path in UTF-8
// and in ANSI: FFmpeg opens it in the long form itself.
TEST_F(LabPaths, AScreenImageAndAVideoThreeHundredCharactersDeep) {
    const std::wstring top = make_folder(L"long");
    std::wstring folder = top;
    while (folder.size() < 290) {
        folder += L"\\" + std::wstring(40, L'ü');
        ASSERT_TRUE(CreateDirectoryW((L"\\\\?\\" + folder).c_str(), nullptr));
    }
    const std::wstring image = folder + L"\\screen.png";
    ASSERT_GE(image.size(), 300u);
    std::wstring tidied = image;
    std::replace(tidied.begin(), tidied.end(), L'/', L'\\');
    EXPECT_EQ(platform::wide_path(utf8(image)), L"\\\\?\\" + tidied);
    EXPECT_EQ(platform::wide_path(utf8(image.substr(0, 40))), image.substr(0, 40))
        << "a short path is given as it is";

    const std::wstring video = folder + L"\\" + std::wstring(12, L'ü') + L".mp4";
    ASSERT_TRUE(CopyFileW(wide(VIDEO_CLIPS "/h264_sound.mp4").c_str(),
                          (L"\\\\?\\" + video).c_str(), FALSE));
    for (const std::string &path : encodings(video)) {
        EXPECT_EQ(LoadVideo(path.c_str()), 1) << path;
        EXPECT_NE(calData.animationTarget.player, nullptr);
        release_animation();
    }
    DeleteFileW((L"\\\\?\\" + video).c_str());

    uint32_t pixels[2 * 3] = {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF, 0, 0x808080};
    const CoreBitmap bitmap{2, 3, 8, 32, pixels, nullptr};
    for (int save = 0; save < 2; ++save)  // the second replaces the first
        EXPECT_EQ(image_writer(utf8(image).c_str(), 1, &bitmap), 0) << "save " << save;
    EXPECT_EQ(listed(L"\\\\?\\" + folder, L"*.png"), std::vector<std::wstring>{L"screen.png"});
    EXPECT_TRUE(listed(L"\\\\?\\" + folder, L"*.part").empty()) << "nothing left beside it";
    // The C++ library's own removal takes no path of that length.
    DeleteFileW((L"\\\\?\\" + image).c_str());
    for (; folder != top; folder.erase(folder.rfind(L'\\')))
        RemoveDirectoryW((L"\\\\?\\" + folder).c_str());
}

}  // namespace
