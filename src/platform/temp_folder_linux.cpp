// The temporary folder and its files on Linux: TMPDIR, else /tmp, mkdtemp for the private
// folder, POSIX file calls with errno as the error code.
#include "platform/temp_folder.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <vector>

namespace platform {

const char kPathSeparator = '/';

std::string temp_folder() {
    const char *value = std::getenv("TMPDIR");
    return (value && *value) ? value : "/tmp";
}

std::string create_private_folder(const std::string &parent, const char *prefix) {
    std::string pattern = parent + prefix + std::string(kUniqueSuffixLength, 'X');
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    if (!mkdtemp(name.data())) return {};  // mode 0700
    return name.data();
}

FileHandle create_file(const std::string &path) {
    int file;
    do {
        file = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600);
    } while (file < 0 && errno == EINTR);
    return file < 0 ? kNoFile : FileHandle{file};
}

size_t write_file(FileHandle file, const void *data, size_t size) {
    const auto *bytes = static_cast<const char *>(data);
    size_t written = 0;
    // write() may take fewer bytes than asked; the next call reports why it stopped.
    while (written < size) {
        const ssize_t step = write(static_cast<int>(file), bytes + written, size - written);
        if (step < 0 && errno == EINTR) continue;
        if (step <= 0) break;
        written += static_cast<size_t>(step);
    }
    return written;
}

bool close_file(FileHandle file) { return close(static_cast<int>(file)) == 0; }

bool delete_file(const std::string &path) { return unlink(path.c_str()) == 0; }

bool delete_folder(const std::string &path) { return rmdir(path.c_str()) == 0; }

int last_error() { return errno; }

int64_t process_id() { return static_cast<int64_t>(getpid()); }

}  // namespace platform
