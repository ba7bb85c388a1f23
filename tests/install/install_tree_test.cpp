// The installed tree: `cmake --install` of this build into a temporary prefix lays out both
// libraries, headers and package files, each component apart; a C application builds against
// it through pkg-config and through find_package, and runs headless on the installed files.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <sstream>
#include <string>

namespace fs = std::filesystem;

namespace {

const std::string kGraphicsSoname = "libvistrak_core_graphics_sdl2.so." SOVERSION;
const std::string kGraphicsFile = "libvistrak_core_graphics_sdl2.so." PROJECT_VERSION;
const std::string kCoreSoname = "libvistrak_core64.so";

struct Result {
    int status = -1;
    std::string output;  // standard output and error
};

Result run(const std::string &command) {
    Result result;
    FILE *pipe = popen((command + " 2>&1").c_str(), "r");
    if (!pipe) return result;
    char buffer[4096];
    size_t count;
    while ((count = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        result.output.append(buffer, count);
    const int status = pclose(pipe);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

// A shell word that stands for text exactly.
std::string quoted(const std::string &text) {
    std::string word = "'";
    for (char c : text) word += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return word + "'";
}

// Installs the build tree (one component, or all) into prefix; DESTDIR would redirect it.
Result install(const fs::path &prefix, const std::string &component = "") {
    std::string command = "env -u DESTDIR " + quoted(CMAKE_COMMAND) + " --install " +
                          quoted(BUILD_DIR) + " --prefix " + quoted(prefix);
    if (!component.empty()) command += " --component " + component;
    return run(command);
}

// Every file and link under root, as paths relative to it.
std::set<std::string> files_under(const fs::path &root) {
    std::set<std::string> files;
    for (const auto &entry : fs::recursive_directory_iterator(root))
        if (!entry.is_directory()) files.insert(entry.path().lexically_relative(root).string());
    return files;
}

// The dynamic section of an ELF file, as readelf prints it.
std::string dynamic_section(const fs::path &file) {
    return run("readelf -d " + quoted(file)).output;
}

// Runs an application in the dummy video and audio drivers with environment settings first.
Result run_headless(const std::string &settings, const fs::path &program) {
    return run("env -u LD_LIBRARY_PATH SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy " +
               settings + " " + quoted(program));
}

// The pkg-config file and the CMake package files of a package, relative to the prefix.
std::set<std::string> package_files(const std::string &name) {
    const fs::path lib = INSTALL_LIBDIR;
    const fs::path cmake = lib / "cmake" / name;
    return {lib / "pkgconfig" / (name + ".pc"), cmake / (name + "Config.cmake"),
            cmake / (name + "ConfigVersion.cmake"), cmake / (name + "Targets.cmake"),
            cmake / (name + "Targets-" BUILD_TYPE ".cmake")};
}

// What each component installs, relative to the prefix. The graphics library comes as its
// file, the soname link and the unversioned link the linker's -l finds.
std::set<std::string> graphics_files() {
    const fs::path lib = INSTALL_LIBDIR;
    auto files = package_files("vistrak_core_graphics_sdl2");
    files.insert({lib / kGraphicsFile, lib / kGraphicsSoname,
                  lib / "libvistrak_core_graphics_sdl2.so",
                  fs::path(INSTALL_INCLUDEDIR) / "vistrak_core_graphics_sdl2.h"});
    return files;
}

std::set<std::string> core_files() {
    const fs::path include = INSTALL_INCLUDEDIR;
    auto files = package_files("vistrak_core64");
    files.insert({fs::path(INSTALL_LIBDIR) / kCoreSoname, include / "vistrak_core64.h",
                  include / "vistrak_core64_control.h", include / "vistrak_simulated_tracker.h",
                  include / "vistrak_core_graphics_sdl2.h"});
    return files;
}

class InstallTree : public testing::Test {
protected:
    // One installation of everything, shared by the cases.
    static void SetUpTestSuite() {
        const fs::path base = fs::temp_directory_path() / "vt_install_XXXXXX";
        std::string pattern = base.string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        root_ = pattern;
        const Result installed = install(prefix());
        ASSERT_EQ(installed.status, 0) << installed.output;
    }
    static void TearDownTestSuite() {
        if (!root_.empty()) fs::remove_all(root_);
    }
    void SetUp() override {
        ASSERT_TRUE(fs::exists(libdir() / kGraphicsFile)) << "the installation failed";
    }

    static fs::path prefix() { return root_ / "prefix"; }
    static fs::path libdir() { return prefix() / INSTALL_LIBDIR; }

    // The application's report names the library files it ran on: both in the prefix.
    static void expect_ran_on_installed_files(const Result &ran) {
        EXPECT_EQ(ran.status, 0) << ran.output;
        EXPECT_NE(ran.output.find("consumer ok"), std::string::npos) << ran.output;
        for (const auto &name : {kGraphicsSoname, kCoreSoname}) {
            const fs::path folder = loaded_from(ran.output, name);
            EXPECT_TRUE(!folder.empty() && fs::equivalent(folder, libdir()))
                << name << " loaded from " << folder << "\n" << ran.output;
        }
    }

    // The folder of the "loaded <path>" line naming the file, or an empty path.
    static fs::path loaded_from(const std::string &report, const std::string &file) {
        std::istringstream lines(report);
        for (std::string line; std::getline(lines, line);) {
            const fs::path loaded = line.rfind("loaded ", 0) == 0 ? line.substr(7) : "";
            if (loaded.filename() == file) return loaded.parent_path();
        }
        return {};
    }

    static fs::path root_;
};

fs::path InstallTree::root_;

TEST_F(InstallTree, LaysOutLibrariesHeadersAndPackageFiles) {
    auto everything = graphics_files();
    everything.merge(core_files());
    EXPECT_EQ(files_under(prefix()), everything);
    const fs::path lib = libdir();
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(lib / kGraphicsFile)));
    EXPECT_EQ(fs::read_symlink(lib / kGraphicsSoname), kGraphicsFile);
    EXPECT_EQ(fs::read_symlink(lib / "libvistrak_core_graphics_sdl2.so"), kGraphicsSoname);
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(lib / kCoreSoname)));

    // The graphics library finds the core by its plain soname through the dynamic linker's
    // usual search: neither installed library carries a path of the build tree.
    const std::string graphics = dynamic_section(lib / kGraphicsFile);
    EXPECT_NE(graphics.find("Library soname: [" + kGraphicsSoname + "]"), std::string::npos)
        << graphics;
    EXPECT_NE(graphics.find("Shared library: [" + kCoreSoname + "]"), std::string::npos)
        << graphics;
    const std::string core = dynamic_section(lib / kCoreSoname);
    EXPECT_NE(core.find("Library soname: [" + kCoreSoname + "]"), std::string::npos) << core;
    for (const std::string &section : {graphics, core}) {
        EXPECT_EQ(section.find("RPATH"), std::string::npos) << section;
        EXPECT_EQ(section.find("RUNPATH"), std::string::npos) << section;
    }
}

TEST_F(InstallTree, ComponentsInstallApart) {
    const Result graphics = install(root_ / "graphics", "graphics");
    ASSERT_EQ(graphics.status, 0) << graphics.output;
    const Result core = install(root_ / "core", "core_standin");
    ASSERT_EQ(core.status, 0) << core.output;
    EXPECT_EQ(files_under(root_ / "graphics"), graphics_files());
    EXPECT_EQ(files_under(root_ / "core"), core_files());
}

TEST_F(InstallTree, PkgConfigApplicationRuns) {
    const std::string search = "PKG_CONFIG_PATH=" + quoted((libdir() / "pkgconfig").string());
    const Result version =
        run(search + " " + quoted(PKG_CONFIG) + " --modversion vistrak_core_graphics_sdl2");
    EXPECT_EQ(version.output, PROJECT_VERSION "\n");

    const fs::path program = root_ / "consumer_pkg_config";
    const Result built = run(search + " " + quoted(C_COMPILER) + " " + C_FLAGS +
                             " -std=c99 -Wall -Wextra -Werror " +
                             quoted(CONSUMER_DIR "/consumer.c") + " -o " + quoted(program) +
                             " $(" + search + " " + quoted(PKG_CONFIG) +
                             " --cflags --libs vistrak_core_graphics_sdl2 sdl2)");
    ASSERT_EQ(built.status, 0) << built.output;
    // The usual way: the library folder on the dynamic linker's search path.
    expect_ran_on_installed_files(
        run_headless("LD_LIBRARY_PATH=" + quoted(libdir().string()), program));
}

TEST_F(InstallTree, FindPackageApplicationRuns) {
    const fs::path build = root_ / "consumer_cmake";
    const Result configured =
        run(quoted(CMAKE_COMMAND) + " -S " + quoted(CONSUMER_DIR) + " -B " + quoted(build) +
            " -DCMAKE_PREFIX_PATH=" + quoted(prefix()) + " -DCMAKE_C_COMPILER=" +
            quoted(C_COMPILER) + " -DCMAKE_C_FLAGS=" + quoted(C_FLAGS));
    ASSERT_EQ(configured.status, 0) << configured.output;
    const Result built = run(quoted(CMAKE_COMMAND) + " --build " + quoted(build));
    ASSERT_EQ(built.status, 0) << built.output;
    // CMake links the imported libraries with their folder as the program's run path.
    expect_ran_on_installed_files(run_headless("", build / "consumer"));
}

}  // namespace
