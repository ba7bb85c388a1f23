// The built-in fonts at load and unload: a child process loads the built shared library with
// dlopen and unloads it with dlclose, reporting the core log lines and the files it sees.
// Covered: files written into a private folder and removed again, the temporary folder's
// length limits, a short write, and processes that leave each other's fonts alone.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "frame/embedded_fonts.h"
#include "test_support.h"
#include "vistrak_core64_control.h"

namespace {

namespace fs = std::filesystem;

const std::string kRegular = "OpenSans-Regular.ttf";
const std::string kBold = "OpenSans-Bold.ttf";

std::string read_file(const fs::path &path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string system_font(const std::string &file) {
    return read_file(fs::path(OPEN_SANS_DIR) / file);
}

// Every path under folder, sorted; folders end with a slash.
std::vector<std::string> tree(const std::string &folder) {
    std::vector<std::string> paths;
    std::error_code error;
    for (const auto &entry : fs::recursive_directory_iterator(folder, error))
        paths.push_back(entry.path().string() + (entry.is_directory() ? "/" : ""));
    std::sort(paths.begin(), paths.end());
    return paths;
}

struct Report {
    int status = -1;
    std::vector<std::string> load_log;    // core_log lines of the load step
    std::vector<std::string> loaded;      // files under TMPDIR while loaded
    std::vector<std::string> unload_log;  // core_log lines of the unload step
    std::vector<std::string> unloaded;    // files under TMPDIR after unloading
    std::vector<std::string> created;     // paths named by the "created:" lines
    bool private_mode = false;            // the created files' folder is the user's alone
    bool same_bytes = true;               // each created file equals its font
};

void send(FILE *out, const char *kind, const std::string &text) {
    std::fprintf(out, "%s\t%s\n", kind, text.c_str());
}

// In the child: load, look, unload, look; every finding goes to out. Never returns.
[[noreturn]] void load_and_unload(const std::string &tmpdir, rlim_t file_size_limit, FILE *out) {
    setenv("TMPDIR", tmpdir.c_str(), 1);
    if (file_size_limit != RLIM_INFINITY) {
        std::signal(SIGXFSZ, SIG_IGN);  // a write past the limit then fails with EFBIG
        const rlimit limit{file_size_limit, file_size_limit};
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    standin_reset();
    void *library = dlopen(GRAPHICS_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    if (!library) {
        std::fprintf(out, "error\t%s\n", dlerror());
        std::fflush(out);
        _exit(2);
    }
    const std::string created = "coregraphics_sdl2:created:";
    for (size_t i = 0; i < standin_log_count(); ++i) {
        std::string line = standin_log_line(i);
        if (line.rfind(created, 0) == 0 && line.back() == '\n') {
            const fs::path path = line.substr(created.size(), line.size() - created.size() - 1);
            send(out, "created", path.string());
            struct stat info {};
            stat(path.parent_path().c_str(), &info);
            send(out, "mode", std::to_string(info.st_mode & 0777));
            send(out, "same", read_file(path) == system_font(path.filename()) ? "1" : "0");
        }
        std::replace(line.begin(), line.end(), '\n', '|');  // keeps the line feeds visible
        send(out, "load", line);
    }
    for (const auto &path : tree(tmpdir)) send(out, "loaded", path);
    standin_reset();
    dlclose(library);
    for (size_t i = 0; i < standin_log_count(); ++i) {
        std::string line = standin_log_line(i);
        std::replace(line.begin(), line.end(), '\n', '|');
        send(out, "unload", line);
    }
    for (const auto &path : tree(tmpdir)) send(out, "unloaded", path);
    std::fflush(out);
    _exit(0);
}

Report run_child(const std::string &tmpdir, rlim_t file_size_limit = RLIM_INFINITY) {
    Report report;
    int channel[2];
    if (pipe(channel) != 0) return report;
    std::fflush(nullptr);
    const pid_t child = fork();
    if (child == 0) {
        close(channel[0]);
        load_and_unload(tmpdir, file_size_limit, fdopen(channel[1], "w"));
    }
    close(channel[1]);
    FILE *in = fdopen(channel[0], "r");
    char buffer[8192];
    while (std::fgets(buffer, sizeof buffer, in)) {
        std::string line(buffer);
        if (!line.empty() && line.back() == '\n') line.pop_back();
        const size_t tab = line.find('\t');
        const std::string kind = line.substr(0, tab), text = line.substr(tab + 1);
        if (kind == "load") report.load_log.push_back(text);
        if (kind == "loaded") report.loaded.push_back(text);
        if (kind == "unload") report.unload_log.push_back(text);
        if (kind == "unloaded") report.unloaded.push_back(text);
        if (kind == "created") report.created.push_back(text);
        if (kind == "mode") report.private_mode = text == std::to_string(0700);
        if (kind == "same") report.same_bytes = report.same_bytes && text == "1";
        if (kind == "error") ADD_FAILURE() << text;
    }
    std::fclose(in);
    int status = 0;
    waitpid(child, &status, 0);
    report.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return report;
}

// A new folder whose path has exactly length characters.
std::string folder_of_length(size_t length) {
    std::string path = vt_test::temp_dir();
    while (path.size() < length) {
        size_t part = std::min<size_t>(length - path.size() - 1, 200);
        if (length - path.size() - 1 - part == 1) part -= 10;  // never leave room for "/" only
        path += "/" + std::string(part, 'd');
        fs::create_directory(path);
    }
    return path;
}

using Lines = std::vector<std::string>;

TEST(EmbeddedFonts, WrittenIntoAPrivateFolderAtLoadAndRemovedAtUnload) {
    const std::string tmpdir = vt_test::temp_dir();
    const Report report = run_child(tmpdir);
    ASSERT_EQ(report.status, 0);
    ASSERT_EQ(report.created.size(), 2u);
    const fs::path folder = fs::path(report.created[0]).parent_path();
    EXPECT_EQ(folder.parent_path(), fs::path(tmpdir));
    EXPECT_EQ(folder.filename().string().rfind("vistrak-fonts-", 0), 0u);
    EXPECT_EQ(report.load_log, (Lines{"coregraphics_sdl2:created:" + (folder / kRegular).string() + "|",
                                      "coregraphics_sdl2:created:" + (folder / kBold).string() + "|"}));
    EXPECT_EQ(report.loaded, (Lines{folder.string() + "/", (folder / kBold).string(),
                                    (folder / kRegular).string()}));
    EXPECT_TRUE(report.same_bytes);
    EXPECT_TRUE(report.private_mode);
    EXPECT_EQ(report.unload_log,
              (Lines{"coregraphics_sdl2:deleted:" + (folder / kRegular).string() + "|",
                     "coregraphics_sdl2:deleted:" + (folder / kBold).string() + "|",
                     "coregraphics_sdl2:deleted:" + folder.string() + "|"}));
    EXPECT_TRUE(report.unloaded.empty());
}

TEST(EmbeddedFonts, AFolderEndingInASeparatorGetsNoSecondOne) {
    const Report report = run_child(vt_test::temp_dir() + "/");
    ASSERT_EQ(report.created.size(), 2u);
    EXPECT_EQ(report.created[0].find("//"), std::string::npos) << report.created[0];
    EXPECT_TRUE(report.unloaded.empty());
}

TEST(EmbeddedFonts, AnotherProcessLeavesThisProcesssFontsAlone) {
    ASSERT_NE(embedded_font_folder(), nullptr);
    const fs::path own = embedded_font_folder();
    // The other process uses the same temporary folder and unloads first.
    const Report report = run_child(own.parent_path().string());
    ASSERT_EQ(report.created.size(), 2u);
    EXPECT_NE(fs::path(report.created[0]).parent_path(), own);
    EXPECT_TRUE(fs::exists(own / kRegular));
    EXPECT_TRUE(fs::exists(own / kBold));

    // A child made by fork that exits normally runs the unload step on inherited records.
    std::fflush(nullptr);
    const pid_t child = fork();
    if (child == 0) std::exit(0);
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(fs::exists(own / kRegular));
    EXPECT_TRUE(fs::exists(own / kBold));
}

TEST(EmbeddedFonts, TemporaryFolderOf259CharactersIsUsedAnd260Refused) {
    const std::string accepted = folder_of_length(259);
    Report report = run_child(accepted);
    // Used, though no font file fits beside the private folder inside it.
    EXPECT_EQ(report.load_log, (Lines{"coregraphics_sdl2:" + kRegular + ":path buffer overflow|",
                                      "coregraphics_sdl2:" + kBold + ":path buffer overflow|"}));
    ASSERT_EQ(report.loaded.size(), 1u);  // the private folder, empty
    EXPECT_EQ(report.unload_log.size(), 1u);
    EXPECT_TRUE(report.unloaded.empty());

    report = run_child(folder_of_length(260));
    EXPECT_EQ(report.load_log, Lines{"coregraphics_sdl2:Failed to retrieve path to temporary folder|"});
    EXPECT_TRUE(report.loaded.empty());
    EXPECT_TRUE(report.unload_log.empty());
}

TEST(EmbeddedFonts, AMissingTemporaryFolderWritesNothing) {
    const std::string missing = vt_test::temp_dir() + "/missing";
    const Report report = run_child(missing);
    EXPECT_EQ(report.status, 0);
    EXPECT_EQ(report.load_log,
              Lines{"coregraphics_sdl2:Failed to create font folder in " + missing + "/, error 2|"});
    EXPECT_TRUE(report.unload_log.empty());
}

TEST(EmbeddedFonts, PathOf260CharactersIsWrittenAnd261RefusedForThatRowOnly) {
    // The private folder's name has a fixed length; learn it from one load.
    const Report probe = run_child(vt_test::temp_dir());
    ASSERT_EQ(probe.created.size(), 2u);
    const size_t name = fs::path(probe.created[0]).parent_path().filename().string().size();
    // Folder path + "/" + name + "/" + file name.
    const size_t room = 260 - kRegular.size() - name - 2;

    Report report = run_child(folder_of_length(room));
    ASSERT_EQ(report.created.size(), 2u);
    EXPECT_EQ(report.created[0].size(), 260u);

    report = run_child(folder_of_length(room + 1));
    ASSERT_EQ(report.load_log.size(), 2u);
    EXPECT_EQ(report.load_log[0], "coregraphics_sdl2:" + kRegular + ":path buffer overflow|");
    ASSERT_EQ(report.created.size(), 1u);
    EXPECT_EQ(fs::path(report.created[0]).filename(), kBold);
    EXPECT_EQ(report.created[0].size(), 261u - kRegular.size() + kBold.size());
    EXPECT_TRUE(report.same_bytes);
    // Unload removes only what was written, then the folder.
    ASSERT_EQ(report.unload_log.size(), 2u);
    EXPECT_EQ(report.unload_log[0], "coregraphics_sdl2:deleted:" + report.created[0] + "|");
    EXPECT_TRUE(report.unloaded.empty());
}

TEST(EmbeddedFonts, AShortWriteLeavesNoPartialFile) {
    const size_t regular = system_font(kRegular).size();
    const size_t bold = system_font(kBold).size();
    ASSERT_NE(regular, bold);
    const std::string larger = regular > bold ? kRegular : kBold;
    const std::string smaller = regular > bold ? kBold : kRegular;
    // The disk takes the smaller font whole and stops partway through the larger.
    const Report report = run_child(vt_test::temp_dir(), (regular + bold) / 2);
    ASSERT_EQ(report.created.size(), 1u);
    EXPECT_EQ(fs::path(report.created[0]).filename(), smaller);
    EXPECT_TRUE(report.same_bytes);
    EXPECT_NE(std::find(report.load_log.begin(), report.load_log.end(),
                        "coregraphics_sdl2:" + larger + ":Failed to write file"),
              report.load_log.end());
    EXPECT_NE(std::find(report.load_log.begin(), report.load_log.end(),
                        "coregraphics_sdl2:" + larger + ":Deleted temp file|"),
              report.load_log.end());
    const fs::path folder = fs::path(report.created[0]).parent_path();
    EXPECT_EQ(report.loaded, (Lines{folder.string() + "/", report.created[0]}));
    EXPECT_EQ(report.unload_log,
              (Lines{"coregraphics_sdl2:deleted:" + report.created[0] + "|",
                     "coregraphics_sdl2:deleted:" + folder.string() + "|"}));
}

}  // namespace
