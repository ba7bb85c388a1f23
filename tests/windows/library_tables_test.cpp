// The built DLL as Windows sees it: its export table holds exactly the library's 23 names
// under their ordinals; it imports from vistrak_core64.dll by ordinal alone, and only
// functions of the core's interface; loading it extracts the two fonts into a private folder
// under the temporary folder and unloading it (FreeLibrary, or the end of a process that
// never frees it) removes them; loaded by its full path from a folder of its own, it finds
// libgd there.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "test_support.h"
#include "test_system.h"
#include "vistrak_core64_control.h"

namespace {

namespace fs = std::filesystem;

// The module's own bytes at a relative address.
template <typename T>
const T *at(HMODULE module, DWORD rva) {
    return reinterpret_cast<const T *>(reinterpret_cast<const uint8_t *>(module) + rva);
}

const IMAGE_DATA_DIRECTORY &directory(HMODULE module, int entry) {
    const auto *dos = at<IMAGE_DOS_HEADER>(module, 0);
    const auto *nt = at<IMAGE_NT_HEADERS64>(module, DWORD(dos->e_lfanew));
    return nt->OptionalHeader.DataDirectory[entry];
}

std::map<std::string, DWORD> exported_names(HMODULE module) {
    std::map<std::string, DWORD> names;
    const IMAGE_DATA_DIRECTORY &entry = directory(module, IMAGE_DIRECTORY_ENTRY_EXPORT);
    if (!entry.VirtualAddress) return names;
    const auto *exports = at<IMAGE_EXPORT_DIRECTORY>(module, entry.VirtualAddress);
    const auto *name_rvas = at<DWORD>(module, exports->AddressOfNames);
    const auto *ordinals = at<WORD>(module, exports->AddressOfNameOrdinals);
    for (DWORD i = 0; i < exports->NumberOfNames; ++i)
        names[at<char>(module, name_rvas[i])] = exports->Base + ordinals[i];
    return names;
}

// Per imported DLL (lower case): the ordinals imported by ordinal, and the names imported by
// name.
struct Imports {
    std::set<DWORD> ordinals;
    std::set<std::string> names;
};

std::map<std::string, Imports> imports_of(HMODULE module) {
    std::map<std::string, Imports> imports;
    const IMAGE_DATA_DIRECTORY &entry = directory(module, IMAGE_DIRECTORY_ENTRY_IMPORT);
    for (const auto *dll = at<IMAGE_IMPORT_DESCRIPTOR>(module, entry.VirtualAddress); dll->Name;
         ++dll) {
        std::string name = at<char>(module, dll->Name);
        std::transform(name.begin(), name.end(), name.begin(), ::tolower);
        Imports &of = imports[name];
        for (const auto *thunk = at<IMAGE_THUNK_DATA64>(module, dll->OriginalFirstThunk);
             thunk->u1.AddressOfData; ++thunk) {
            if (IMAGE_SNAP_BY_ORDINAL64(thunk->u1.Ordinal))
                of.ordinals.insert(DWORD(IMAGE_ORDINAL64(thunk->u1.Ordinal)));
            else
                of.names.insert(
                    at<IMAGE_IMPORT_BY_NAME>(module, DWORD(thunk->u1.AddressOfData))->Name);
        }
    }
    return imports;
}

// Every file under folder, as paths relative to it.
std::set<std::string> files_under(const fs::path &folder) {
    std::set<std::string> files;
    std::error_code error;
    for (const auto &file : fs::recursive_directory_iterator(folder, error))
        if (file.is_regular_file()) files.insert(fs::relative(file.path(), folder).string());
    return files;
}

std::string read_file(const fs::path &path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// The fonts as the library carries them: the program's own copy of the resources.
std::string font_resource(int id) {
    const HRSRC resource = FindResourceA(nullptr, MAKEINTRESOURCEA(id), MAKEINTRESOURCEA(10));
    if (!resource) return {};
    const HGLOBAL loaded = LoadResource(nullptr, resource);
    return std::string(static_cast<const char *>(LockResource(loaded)),
                       SizeofResource(nullptr, resource));
}

}  // namespace

TEST(LibraryTables, ExportsExactlyTheLibraryFunctionsUnderTheirOrdinals) {
    const HMODULE library = LoadLibraryA(GRAPHICS_LIBRARY);
    ASSERT_NE(library, nullptr) << GetLastError();
    const std::map<std::string, DWORD> expected = {
        {"set_calibration_colors", 104}, {"set_target_size", 105},
        {"get_current_display_information", 121}, {"get_display_information", 122},
        {"close_expt_graphics", 124}, {"init_expt_window", 125}, {"get_expt_window", 126},
        {"set_cal_sounds", 142}, {"set_dcorr_sounds", 143}, {"set_camera_image_position", 312},
        {"sdl_bitmap_save_and_backdrop", 501}, {"sdl_bitmap_to_backdrop", 502},
        {"sdl_bitmap_save", 503}, {"set_cal_target_surface", 504},
        {"set_cal_background_surface", 505}, {"reset_background_surface", 506},
        {"disable_custombackground_on_imagemode", 507}, {"set_cal_animation_target", 508},
        {"enable_external_calibration_device", 509}, {"set_mouse_loc_callback", 510},
        {"set_cal_font", 512}, {"set_mac_delay", 513}, {"set_cal_target_motion", 514}};
    EXPECT_EQ(exported_names(library), expected);
    for (const auto &[name, ordinal] : expected)
        EXPECT_EQ(GetProcAddress(library, name.c_str()),
                  GetProcAddress(library, MAKEINTRESOURCEA(ordinal)))
            << name;

    // The core's interface: any core DLL exporting these ordinals serves, whatever its names.
    const std::set<DWORD> interface_ordinals = {4,   7,   40,  41,  106, 107,   117,  118,
                                                120, 406, 410, 501, 502, 503, 10005, 20004};
    const std::map<std::string, Imports> imports = imports_of(library);
    ASSERT_EQ(imports.count("vistrak_core64.dll"), 1u);
    const Imports &core = imports.at("vistrak_core64.dll");
    EXPECT_TRUE(core.names.empty()) << *core.names.begin();
    EXPECT_FALSE(core.ordinals.empty());
    for (DWORD ordinal : core.ordinals) EXPECT_EQ(interface_ordinals.count(ordinal), 1u) << ordinal;
    FreeLibrary(library);
}

// Run as its own child by the next test: loads the DLL, opens its window with a font current,
// and ends without freeing it, so that the process's end reaches the DLL. Reports the files the
// load added under TMP; the core's log, echoed to standard error, goes to the report's ".log".
TEST(LibraryTables, ChildLoadsTheLibraryAndExits) {
    const char *report = std::getenv("VT_CHILD_REPORT");
    if (!report) GTEST_SKIP() << "run by FontsAreExtractedAtAttachAndRemovedAtDetach";
    ASSERT_NE(std::freopen((std::string(report) + ".log").c_str(), "w", stderr), nullptr);
    const std::set<std::string> before = files_under(std::getenv("TMP"));
    const HMODULE library = LoadLibraryA(GRAPHICS_LIBRARY);
    ASSERT_NE(library, nullptr);
    std::set<std::string> added;
    for (const std::string &file : files_under(std::getenv("TMP")))
        if (!before.count(file)) added.insert(file);
    const auto init_window = reinterpret_cast<int16_t (*)(void *, void *)>(
        reinterpret_cast<void *>(GetProcAddress(library, "init_expt_window")));
    const auto set_font = reinterpret_cast<int32_t (*)(const char *, int32_t)>(
        reinterpret_cast<void *>(GetProcAddress(library, "set_cal_font")));
    ASSERT_EQ(init_window(nullptr, nullptr), 0);
    ASSERT_EQ(set_font("sans", 20), 0);
    std::ofstream out(report);
    for (const std::string &file : added) out << file << '\n';
    out.close();
    std::exit(0);
}

TEST(LibraryTables, FontsAreExtractedAtAttachAndRemovedAtDetach) {
    const std::string temp = vt_test::temp_dir();
    // GetTempPath looks there, in this process and its children.
    const vt_test::EnvironmentOverride tmp("TMP", temp), temp_variable("TEMP", temp);

    const HMODULE library = LoadLibraryA(GRAPHICS_LIBRARY);
    ASSERT_NE(library, nullptr) << GetLastError();
    const std::set<std::string> loaded = files_under(temp);
    ASSERT_EQ(loaded.size(), 2u);
    const fs::path folder = fs::path(temp) / fs::path(*loaded.begin()).parent_path();
    EXPECT_EQ(files_under(folder),
              (std::set<std::string>{"OpenSans-Bold.ttf", "OpenSans-Regular.ttf"}));
    EXPECT_EQ(read_file(folder / "OpenSans-Regular.ttf"), font_resource(103));
    EXPECT_EQ(read_file(folder / "OpenSans-Bold.ttf"), font_resource(104));
    EXPECT_GT(font_resource(103).size(), 100000u);
    FreeLibrary(library);
    EXPECT_FALSE(fs::exists(folder));

    // A process that ends with the DLL loaded, its window open and a font current: the font
    // files go, and nothing else is called (the core's log hears nothing of the removal).
    const std::string report = temp + "\\child.txt";
    vt_test::set_env("VT_CHILD_REPORT", report);
    vt_test::set_env("VT_CORE_ECHO", "1");
    char program[MAX_PATH];
    GetModuleFileNameA(nullptr, program, MAX_PATH);
    std::string command = std::string("\"") + program +
                          "\" --gtest_filter=LibraryTables.ChildLoadsTheLibraryAndExits";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION child{};
    ASSERT_TRUE(CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                               nullptr, &startup, &child));
    WaitForSingleObject(child.hProcess, 60000);
    DWORD status = 1;
    GetExitCodeProcess(child.hProcess, &status);
    CloseHandle(child.hThread);
    CloseHandle(child.hProcess);
    vt_test::unset_env("VT_CHILD_REPORT");
    vt_test::unset_env("VT_CORE_ECHO");
    EXPECT_EQ(status, 0u);
    std::istringstream added(read_file(report));
    std::vector<std::string> fonts(std::istream_iterator<std::string>(added), {});
    ASSERT_EQ(fonts.size(), 2u) << "the two fonts, while the DLL was loaded";
    EXPECT_EQ(files_under(temp), (std::set<std::string>{"child.txt", "child.txt.log"}));
    const std::string log = read_file(report + ".log");
    EXPECT_NE(log.find("Loaded font"), std::string::npos) << log;
    // The DLL's own folder: the program's copy of the library keeps fonts of its own.
    const std::string dll_fonts = fs::path(fonts[0]).parent_path().string();
    const auto logged = [&](const std::string &text) {
        size_t count = 0;
        std::istringstream lines(log);
        for (std::string line; std::getline(lines, line);)
            count += line.find(text) != std::string::npos &&
                     line.find(dll_fonts) != std::string::npos;
        return count;
    };
    EXPECT_EQ(logged("coregraphics_sdl2:created:"), 2u) << log;
    EXPECT_EQ(logged("coregraphics_sdl2:deleted:"), 0u) << log;
}

namespace {

std::wstring module_path(HMODULE module) {
    wchar_t path[32768];
    const DWORD length = GetModuleFileNameW(module, path, 32768);
    return std::wstring(path, length);
}

// Copies the DLLs that module imports, and theirs, into folder; the system's own stay where
// they are.
void copy_imports(HMODULE module, const fs::path &folder) {
    wchar_t windows[MAX_PATH];
    const UINT length = GetWindowsDirectoryW(windows, MAX_PATH);
    const std::wstring system_folder(windows, length);
    for (const auto &entry : imports_of(module)) {
        const HMODULE imported = GetModuleHandleA(entry.first.c_str());
        if (!imported) continue;
        const fs::path path = module_path(imported);
        if (_wcsnicmp(path.c_str(), system_folder.c_str(), system_folder.size()) == 0 ||
            fs::exists(folder / path.filename()))
            continue;
        fs::copy_file(path, folder / path.filename());
        copy_imports(imported, folder);
    }
}

}  // namespace

// Run by ALibraryLoadedByItsFullPathFindsLibgdBesideIt in a copy of this program: loads the DLL
// by its full path as Python's ctypes does and writes a screen image asked for as PNG into
// the working folder.
TEST(LibraryTables, ChildWritesAScreenImageThroughTheLibraryFromItsFolder) {
    const char *library_path = std::getenv("VT_CHILD_LIBRARY");
    if (!library_path) GTEST_SKIP() << "run by ALibraryLoadedByItsFullPathFindsLibgdBesideIt";
    const HMODULE library = LoadLibraryExW(fs::path(library_path).c_str(), nullptr,
                                           LOAD_WITH_ALTERED_SEARCH_PATH);
    ASSERT_NE(library, nullptr) << GetLastError();
    const auto init_window = reinterpret_cast<int16_t (*)(void *, void *)>(
        reinterpret_cast<void *>(GetProcAddress(library, "init_expt_window")));
    ASSERT_EQ(init_window(nullptr, nullptr), 0);
    const ImageWriter writer = standin_image_writer();
    ASSERT_NE(writer, nullptr);
    uint32_t pixels[16] = {0x00FF0000, 0x0000FF00, 0x000000FF};
    uint8_t reserved[32] = {};
    const CoreBitmap bitmap{4, 4, 16, 32, pixels, reserved};
    ASSERT_EQ(writer("screen.png", 1, &bitmap), 0);
    std::exit(::testing::Test::HasFailure() ? 1 : 0);
}

// A host in one folder loads the DLL by its full path from another, which no search path
// names, and runs in a third: libgd, installed beside the DLL, is found there.
TEST(LibraryTables, ALibraryLoadedByItsFullPathFindsLibgdBesideIt) {
    const fs::path temp = vt_test::temp_dir();
    const fs::path host = temp / "host", dlls = temp / "dlls", work = temp / "work";
    for (const fs::path &folder : {host, dlls, work}) fs::create_directory(folder);
    // This program with the DLLs it imports; the graphics DLL and libgd with what it imports.
    const fs::path program = module_path(nullptr);
    fs::copy_file(program, host / program.filename());
    copy_imports(GetModuleHandleW(nullptr), host);
    const HMODULE library = LoadLibraryA(GRAPHICS_LIBRARY);
    const HMODULE gd = LoadLibraryA("libgd.dll");
    ASSERT_TRUE(library && gd) << "the DLLs are on this program's search path";
    fs::copy_file(module_path(library), dlls / GRAPHICS_LIBRARY);
    fs::copy_file(module_path(gd), dlls / "libgd.dll");
    for (const auto &entry : imports_of(gd))
        if (const HMODULE imported = GetModuleHandleA(entry.first.c_str());
            imported && !fs::exists(host / fs::path(module_path(imported)).filename()))
            fs::copy_file(module_path(imported), dlls / fs::path(module_path(imported)).filename(),
                          fs::copy_options::skip_existing);
    ASSERT_FALSE(fs::exists(host / "libgd.dll"));

    wchar_t system[MAX_PATH];
    GetSystemDirectoryW(system, MAX_PATH);
    const vt_test::EnvironmentOverride path("PATH", fs::path(system).string());
    const vt_test::EnvironmentOverride child("VT_CHILD_LIBRARY",
                                             (dlls / GRAPHICS_LIBRARY).string());
    std::wstring command = L"\"" + (host / program.filename()).wstring() +
                           L"\" --gtest_filter=LibraryTables.ChildWritesAScreenImage*";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    ASSERT_TRUE(CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                               work.c_str(), &startup, &process));
    WaitForSingleObject(process.hProcess, 60000);
    DWORD status = 1;
    GetExitCodeProcess(process.hProcess, &status);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    EXPECT_EQ(status, 0u);
    EXPECT_EQ(read_file(work / "screen.png").substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8))
        << "written as PNG, not as BMP";
}
