// The installed tree: `cmake --install` of this build into a temporary prefix lays out both
// libraries, headers and package files, each component apart; a C application builds against
// it through pkg-config and through find_package, and runs headless on the installed files.
// With VT_PACKAGE_DIR naming the folder of `./run package`'s packages, the same application
// builds against the lab's package and the demo package unpacked, as a lab installs them.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
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
// file, the soname link and the unversioned link the linker's -l finds, with its licence, the
// third parties' notices and the changelog.
std::set<std::string> graphics_files() {
    const fs::path lib = INSTALL_LIBDIR, doc = DOC_DIR;
    auto files = package_files("vistrak_core_graphics_sdl2");
    files.insert({lib / kGraphicsFile, lib / kGraphicsSoname,
                  lib / "libvistrak_core_graphics_sdl2.so",
                  fs::path(INSTALL_INCLUDEDIR) / "vistrak_core_graphics_sdl2.h",
                  doc / "LICENSE", doc / "THIRD_PARTY_NOTICES", doc / "CHANGELOG.md"});
    return files;
}

std::set<std::string> demo_files() {
    const fs::path doc = DEMO_DOC_DIR;
    return {fs::path(INSTALL_BINDIR) / "vistrak_demo", doc / "LICENSE",
            doc / "THIRD_PARTY_NOTICES"};
}

std::set<std::string> core_files() {
    const fs::path include = INSTALL_INCLUDEDIR;
    auto files = package_files("vistrak_core64");
    files.insert({fs::path(INSTALL_LIBDIR) / kCoreSoname, include / "vistrak_core64.h",
                  include / "vistrak_core64_control.h", include / "vistrak_simulated_tracker.h",
                  include / "vistrak_core_graphics_sdl2.h"});
    return files;
}

// The common licence texts that notices refer to by path and do not carry.
std::set<std::string> licences_not_carried(const std::string &notices) {
    const std::string common = "/usr/share/common-licenses/";
    std::set<std::string> missing;
    for (size_t at = notices.find(common); at != std::string::npos;
         at = notices.find(common, at + 1)) {
        size_t end = at + common.size();
        while (end < notices.size() &&
               (std::isalnum(static_cast<unsigned char>(notices[end])) ||
                std::strchr(".+-", notices[end])))
            ++end;
        std::string path = notices.substr(at, end - at);
        while (path.back() == '.') path.pop_back();  // a full stop after the name
        if (notices.find("\n" + path + " (referred to above)\n") == std::string::npos)
            missing.insert(path);
    }
    return missing;
}

// The folder of the "loaded <path>" line naming the file, or an empty path.
fs::path loaded_from(const std::string &report, const std::string &file) {
    std::istringstream lines(report);
    for (std::string line; std::getline(lines, line);) {
        const fs::path loaded = line.rfind("loaded ", 0) == 0 ? line.substr(7) : "";
        if (loaded.filename() == file) return loaded.parent_path();
    }
    return {};
}

// The application's report names the library files it ran on: the graphics library and the
// core library from the folders given.
void expect_ran_on(const Result &ran, const fs::path &graphics_dir, const fs::path &core_dir) {
    EXPECT_EQ(ran.status, 0) << ran.output;
    EXPECT_NE(ran.output.find("consumer ok"), std::string::npos) << ran.output;
    for (const auto &[name, dir] : {std::pair{kGraphicsSoname, graphics_dir}, {kCoreSoname, core_dir}}) {
        const fs::path folder = loaded_from(ran.output, name);
        EXPECT_TRUE(!folder.empty() && fs::equivalent(folder, dir))
            << name << " loaded from " << folder << "\n" << ran.output;
    }
}

// Builds the consumer application at program through pkg-config, which finds the packages by
// search (a PKG_CONFIG_PATH setting) and is asked for the graphics library and SDL, and for
// more modules where given; flags go to the compiler as well (the core's folders).
Result build_with_pkg_config(const std::string &search, const fs::path &program,
                             const std::string &modules = "", const std::string &flags = "") {
    return run(search + " " + quoted(C_COMPILER) + " " + C_FLAGS +
               " -std=c99 -Wall -Wextra -Werror " + flags + " " +
               quoted(CONSUMER_DIR "/consumer.c") + " -o " + quoted(program) + " $(" + search +
               " " + quoted(PKG_CONFIG) + " --cflags --libs vistrak_core_graphics_sdl2 sdl2 " +
               modules + ")");
}

// Configures and builds the consumer's CMake project in build; find_package looks under the
// prefixes (a CMake list).
Result build_with_cmake(const std::string &prefixes, const fs::path &build) {
    const Result configured =
        run(quoted(CMAKE_COMMAND) + " -S " + quoted(CONSUMER_DIR) + " -B " + quoted(build) +
            " -DCMAKE_PREFIX_PATH=" + quoted(prefixes) + " -DCMAKE_C_COMPILER=" +
            quoted(C_COMPILER) + " -DCMAKE_C_FLAGS=" + quoted(C_FLAGS));
    if (configured.status != 0) return configured;
    return run(quoted(CMAKE_COMMAND) + " --build " + quoted(build));
}

// A temporary folder, removed with its contents by the caller.
fs::path make_temp_folder(const char *name) {
    std::string pattern = (fs::temp_directory_path() / name).string() + "_XXXXXX";
    return mkdtemp(pattern.data()) ? fs::path(pattern) : fs::path();
}

class InstallTree : public testing::Test {
protected:
    // One installation of everything, shared by the cases.
    static void SetUpTestSuite() {
        root_ = make_temp_folder("vt_install");
        ASSERT_FALSE(root_.empty());
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

    static void expect_ran_on_installed_files(const Result &ran) {
        expect_ran_on(ran, libdir(), libdir());
    }

    static fs::path root_;
};

fs::path InstallTree::root_;

TEST_F(InstallTree, LaysOutLibrariesHeadersAndPackageFiles) {
    auto everything = graphics_files();
    everything.merge(core_files());
    everything.merge(demo_files());
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
    const Result built = build_with_pkg_config(search, program);
    ASSERT_EQ(built.status, 0) << built.output;
    // The usual way: the library folder on the dynamic linker's search path.
    expect_ran_on_installed_files(
        run_headless("LD_LIBRARY_PATH=" + quoted(libdir().string()), program));
}

TEST_F(InstallTree, FindPackageApplicationRuns) {
    const fs::path build = root_ / "consumer_cmake";
    const Result built = build_with_cmake(prefix().string(), build);
    ASSERT_EQ(built.status, 0) << built.output;
    // CMake links the imported libraries with their folder as the program's run path.
    expect_ran_on_installed_files(run_headless("", build / "consumer"));
}

// The packages of `./run package`, in the folder VT_PACKAGE_DIR names: the lab's package and
// the demo package, unpacked into one scratch root as dpkg would install them.
class Packages : public testing::Test {
protected:
    static void SetUpTestSuite() {
        const char *folder = std::getenv("VT_PACKAGE_DIR");
        if (!folder || !*folder) return;
        packages_ = folder;
        root_ = make_temp_folder("vt_packages");
        ASSERT_FALSE(root_.empty());
        for (const fs::path &deb : {lab_deb(), demo_deb()}) {
            const Result unpacked = run("dpkg-deb -x " + quoted(deb) + " " + quoted(root_));
            ASSERT_EQ(unpacked.status, 0) << unpacked.output;
        }
    }
    static void TearDownTestSuite() {
        if (!root_.empty()) fs::remove_all(root_);
    }
    void SetUp() override {
        if (packages_.empty()) GTEST_SKIP() << "VT_PACKAGE_DIR names no packages (./run package)";
    }

    static fs::path lab_deb() {
        return packages_ / ("vistrak-core-graphics-sdl2_" PROJECT_VERSION "_amd64.deb");
    }
    static fs::path demo_deb() {
        return packages_ / ("vistrak-core-graphics-sdl2-demo_" PROJECT_VERSION "_amd64.deb");
    }
    static fs::path lab_prefix() { return root_ / "usr"; }
    static fs::path demo_prefix() { return root_ / "opt/vistrak-core-graphics-sdl2-demo"; }

    // The files (no folders) that a command listing an archive prints, one path a line.
    static std::set<std::string> listed_files(const std::string &command) {
        std::set<std::string> files;
        std::istringstream lines(run(command).output);
        for (std::string line; std::getline(lines, line);)
            if (!line.empty() && line.back() != '/')
                files.insert(fs::path(line).lexically_normal().string());
        return files;
    }

    static fs::path packages_;
    static fs::path root_;
};

fs::path Packages::packages_;
fs::path Packages::root_;

// The lab's package holds the library and no stand-in core, its archive the same files under
// one folder; the demo package holds the stand-in and the demo apart from the system's folders.
TEST_F(Packages, EachHoldsItsFilesWhereItInstallsThem) {
    const std::string archive = "vistrak-core-graphics-sdl2-" PROJECT_VERSION "-linux-x86_64";
    auto demo_contents = core_files();
    demo_contents.merge(demo_files());
    const struct {
        std::string list_command, root;
        std::set<std::string> contents;
    } packages[] = {
        {"dpkg-deb --fsys-tarfile " + quoted(lab_deb()) + " | tar -t", "usr/", graphics_files()},
        {"tar -tzf " + quoted(packages_ / (archive + ".tar.gz")), archive + "/", graphics_files()},
        {"dpkg-deb --fsys-tarfile " + quoted(demo_deb()) + " | tar -t",
         "opt/vistrak-core-graphics-sdl2-demo/", demo_contents},
    };
    for (const auto &package : packages) {
        std::set<std::string> expected;
        for (const std::string &file : package.contents) expected.insert(package.root + file);
        EXPECT_EQ(listed_files(package.list_command), expected) << package.list_command;
    }

    // Each carries the notices of what its files link, with every licence text they name.
    for (const fs::path &notices : {lab_prefix() / DOC_DIR / "THIRD_PARTY_NOTICES",
                                    demo_prefix() / DEMO_DOC_DIR / "THIRD_PARTY_NOTICES"}) {
        std::ifstream in(notices);
        const std::string text(std::istreambuf_iterator<char>(in), {});
        EXPECT_NE(text.find("libsdl2-2.0-0"), std::string::npos) << notices;
        EXPECT_EQ(licences_not_carried(text), std::set<std::string>{}) << notices;
    }

    const std::string depends = run("dpkg-deb -f " + quoted(lab_deb()) + " Depends").output;
    for (const char *package : {"libgd3", "libsdl2-2.0-0", "libsdl2-ttf-2.0-0", "libavcodec59"})
        EXPECT_NE(depends.find(package), std::string::npos) << package << " in " << depends;
    EXPECT_EQ(run("dpkg-deb -f " + quoted(demo_deb()) + " Depends").output,
              "vistrak-core-graphics-sdl2 (= " PROJECT_VERSION ")\n");
}

// The library ships stripped, in the .deb and in the archive; its debug information lies in
// the -dbgsym package under the library's build id, where gdb looks for it.
TEST_F(Packages, DebugInformationShipsApartFromTheStrippedLibrary) {
    const fs::path library = lab_prefix() / INSTALL_LIBDIR / kGraphicsFile;
    const std::string archive = "vistrak-core-graphics-sdl2-" PROJECT_VERSION "-linux-x86_64";
    const fs::path archived = root_ / "archived_library.so";
    ASSERT_EQ(run("tar -xzf " + quoted(packages_ / (archive + ".tar.gz")) + " -O " +
                  quoted(archive + "/" INSTALL_LIBDIR "/" + kGraphicsFile) + " > " +
                  quoted(archived))
                  .status,
              0);
    const auto build_id = [](const fs::path &file) {
        const std::string notes = run("readelf -n " + quoted(file)).output;
        const size_t at = notes.find("Build ID: ");
        return at == std::string::npos ? std::string() : notes.substr(at + 10, 40);
    };
    const auto has_debug_info = [](const fs::path &file) {
        return run("readelf -S " + quoted(file)).output.find(".debug_info") != std::string::npos;
    };
    const std::string id = build_id(library);
    ASSERT_EQ(id.size(), 40u);
    EXPECT_EQ(build_id(archived), id);
    EXPECT_FALSE(has_debug_info(library));
    EXPECT_FALSE(has_debug_info(archived));

    const fs::path debug_root = root_ / "dbgsym";
    const Result unpacked =
        run("dpkg-deb -x " +
            quoted(packages_ / ("vistrak-core-graphics-sdl2_" PROJECT_VERSION "_amd64-dbgsym.ddeb")) +
            " " + quoted(debug_root));
    ASSERT_EQ(unpacked.status, 0) << unpacked.output;
    const fs::path debug_file =
        debug_root / "usr/lib/debug/.build-id" / id.substr(0, 2) / (id.substr(2) + ".debug");
    ASSERT_TRUE(fs::exists(debug_file)) << debug_file;
    EXPECT_TRUE(has_debug_info(debug_file));
}

// The demo's archive runs unpacked beside the lab's archive, and unpacked into it, with no
// library path set.
TEST_F(Packages, TheDemoArchiveRunsBesideAndInsideTheLabArchive) {
    const std::string lab = "vistrak-core-graphics-sdl2-" PROJECT_VERSION "-linux-x86_64";
    const std::string demo = "vistrak-core-graphics-sdl2-demo-" PROJECT_VERSION "-linux-x86_64";
    const fs::path lab_archive = packages_ / (lab + ".tar.gz");
    const fs::path demo_archive = packages_ / (demo + ".tar.gz");
    const struct {
        const char *layout;
        std::string unpack_demo;  // into the folder given
        fs::path program;         // relative to that folder
    } layouts[] = {
        {"beside", "tar -xzf " + quoted(demo_archive) + " -C ", fs::path(demo) / "bin/vistrak_demo"},
        {"inside", "tar -xzf " + quoted(demo_archive) + " --strip-components=1 -C ",
         fs::path(lab) / "bin/vistrak_demo"},
    };
    for (const auto &layout : layouts) {
        SCOPED_TRACE(layout.layout);
        const fs::path folder = root_ / (std::string("archives_") + layout.layout);
        fs::create_directories(folder);
        ASSERT_EQ(run("tar -xzf " + quoted(lab_archive) + " -C " + quoted(folder)).status, 0);
        const fs::path target = layout.layout == std::string("inside") ? folder / lab : folder;
        ASSERT_EQ(run(layout.unpack_demo + quoted(target)).status, 0);
        const Result ran = run("env -u LD_LIBRARY_PATH " + quoted(folder / layout.program) +
                               " --help");
        EXPECT_EQ(ran.status, 0) << ran.output;
    }
}

TEST_F(Packages, AnApplicationBuildsAgainstThemAndCalibrates) {
    const fs::path lab_lib = lab_prefix() / INSTALL_LIBDIR, demo_lib = demo_prefix() / INSTALL_LIBDIR;
    const std::string search = "PKG_CONFIG_PATH=" + quoted((lab_lib / "pkgconfig").string() + ":" +
                                                           (demo_lib / "pkgconfig").string());
    const fs::path program = root_ / "consumer_pkg_config";
    const Result built = build_with_pkg_config(search, program, "vistrak_core64");
    ASSERT_EQ(built.status, 0) << built.output;
    expect_ran_on(run_headless("LD_LIBRARY_PATH=" + quoted(lab_lib.string() + ":" +
                                                           demo_lib.string()),
                               program),
                  lab_lib, demo_lib);

    const fs::path build = root_ / "consumer_cmake";
    const Result cmake_built =
        build_with_cmake(lab_prefix().string() + ";" + demo_prefix().string(), build);
    ASSERT_EQ(cmake_built.status, 0) << cmake_built.output;
    expect_ran_on(run_headless("", build / "consumer"), lab_lib, demo_lib);
}

// As a lab has it: the lab's package alone, and its own core as a library file and headers in
// a folder of their own, with no pkg-config or CMake file (here the stand-in's, copied bare).
TEST_F(Packages, TheLabPackageAloneBuildsAgainstABareCoreLibrary) {
    const fs::path lab = root_ / "lab_alone", core = root_ / "bare_core";
    const Result unpacked = run("dpkg-deb -x " + quoted(lab_deb()) + " " + quoted(lab));
    ASSERT_EQ(unpacked.status, 0) << unpacked.output;
    fs::create_directories(core / "lib");
    fs::create_directories(core / "include");
    const fs::path demo_lib = demo_prefix() / INSTALL_LIBDIR;
    fs::copy_file(demo_lib / kCoreSoname, core / "lib" / kCoreSoname);
    for (const char *header :
         {"vistrak_core64.h", "vistrak_core64_control.h", "vistrak_simulated_tracker.h"})
        fs::copy_file(demo_prefix() / INSTALL_INCLUDEDIR / header, core / "include" / header);
    const fs::path lab_lib = lab / "usr" / INSTALL_LIBDIR;

    const std::string search = "PKG_CONFIG_PATH=" + quoted((lab_lib / "pkgconfig").string());
    const fs::path program = root_ / "lab_consumer_pkg_config";
    const Result built = build_with_pkg_config(
        search, program, "", "-I" + quoted((core / "include").string()) + " -L" +
                                 quoted((core / "lib").string()));
    ASSERT_EQ(built.status, 0) << built.output;
    expect_ran_on(run_headless("LD_LIBRARY_PATH=" + quoted(lab_lib.string() + ":" +
                                                           (core / "lib").string()),
                               program),
                  lab_lib, core / "lib");

    const fs::path build = root_ / "lab_consumer_cmake";
    const Result cmake_built = build_with_cmake((lab / "usr").string() + ";" + core.string(), build);
    ASSERT_EQ(cmake_built.status, 0) << cmake_built.output;
    expect_ran_on(run_headless("", build / "consumer"), lab_lib, core / "lib");
}

}  // namespace
