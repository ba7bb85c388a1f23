// The temporary folder and its files on Windows: GetTempPathW, a folder and files whose
// protected access list admits the current user alone, Win32 file calls with GetLastError()
// as the error code. Paths are UTF-8 here and UTF-16 for the system.
#include "platform/temp_folder.h"

#include <windows.h>

#include <algorithm>
#include <random>
#include <vector>

#include "platform/wide_text_windows.h"

namespace platform {

const char kPathSeparator = '\\';

namespace {

// Security attributes that give the process's user full access and nobody else any, inherited
// by everything made inside a folder created with them (the counterpart of mode 0700).
class UserOnly {
public:
    UserOnly() { ready_ = build(); }
    UserOnly(const UserOnly &) = delete;
    UserOnly &operator=(const UserOnly &) = delete;

    // Null when they could not be built (GetLastError() says why).
    SECURITY_ATTRIBUTES *attributes() { return ready_ ? &attributes_ : nullptr; }

private:
    bool build() {
        HANDLE token = nullptr;
        if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
        DWORD size = 0;
        GetTokenInformation(token, TokenUser, nullptr, 0, &size);
        user_.resize(size);
        const bool read = size > 0 &&
                          GetTokenInformation(token, TokenUser, user_.data(), size, &size);
        const DWORD error = GetLastError();
        CloseHandle(token);
        if (!read) {
            SetLastError(error);
            return false;
        }
        PSID sid = reinterpret_cast<TOKEN_USER *>(user_.data())->User.Sid;
        const DWORD acl_size = sizeof(ACL) + sizeof(ACCESS_ALLOWED_ACE) + GetLengthSid(sid);
        acl_.resize(acl_size);
        auto *acl = reinterpret_cast<ACL *>(acl_.data());
        if (!InitializeAcl(acl, acl_size, ACL_REVISION) ||
            !AddAccessAllowedAceEx(acl, ACL_REVISION, OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE,
                                   FILE_ALL_ACCESS, sid) ||
            !InitializeSecurityDescriptor(&descriptor_, SECURITY_DESCRIPTOR_REVISION) ||
            !SetSecurityDescriptorDacl(&descriptor_, TRUE, acl, FALSE) ||
            // Protected: the temporary folder's own entries are not inherited.
            !SetSecurityDescriptorControl(&descriptor_, SE_DACL_PROTECTED, SE_DACL_PROTECTED))
            return false;
        attributes_ = {sizeof attributes_, &descriptor_, FALSE};
        return true;
    }

    std::vector<unsigned char> user_;  // TOKEN_USER
    std::vector<unsigned char> acl_;
    SECURITY_DESCRIPTOR descriptor_{};
    SECURITY_ATTRIBUTES attributes_{};
    bool ready_ = false;
};

}  // namespace

std::string temp_folder() {
    wchar_t path[MAX_PATH + 1];
    const DWORD length = GetTempPathW(MAX_PATH + 1, path);
    if (length == 0 || length > MAX_PATH) return {};
    return utf8_text(path, length);
}

std::string create_private_folder(const std::string &parent, const char *prefix) {
    UserOnly security;
    if (!security.attributes()) return {};
    static constexpr char kLetters[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    std::random_device source;
    std::uniform_int_distribution<size_t> pick(0, sizeof kLetters - 2);
    // As mkdtemp: new names until one does not exist yet, within a bounded number of tries.
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string path = parent + prefix;
        for (size_t i = 0; i < kUniqueSuffixLength; ++i) path += kLetters[pick(source)];
        if (CreateDirectoryW(wide_path(path).c_str(), security.attributes())) return path;
        if (GetLastError() != ERROR_ALREADY_EXISTS) return {};
    }
    return {};
}

FileHandle create_file(const std::string &path) {
    UserOnly security;
    if (!security.attributes()) return kNoFile;
    // The handle is not inherited by child processes (bInheritHandle is FALSE).
    const HANDLE file = CreateFileW(wide_path(path).c_str(), GENERIC_WRITE, 0,
                                    security.attributes(), CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                    nullptr);
    return file == INVALID_HANDLE_VALUE ? kNoFile : reinterpret_cast<FileHandle>(file);
}

size_t write_file(FileHandle file, const void *data, size_t size) {
    const auto *bytes = static_cast<const char *>(data);
    size_t written = 0;
    // WriteFile takes at most a DWORD's worth of bytes a call.
    while (written < size) {
        const DWORD part = static_cast<DWORD>(std::min<size_t>(size - written, 1u << 30));
        DWORD step = 0;
        if (!WriteFile(reinterpret_cast<HANDLE>(file), bytes + written, part, &step, nullptr) ||
            step == 0)
            break;
        written += step;
    }
    return written;
}

bool close_file(FileHandle file) { return CloseHandle(reinterpret_cast<HANDLE>(file)) != 0; }

bool delete_file(const std::string &path) { return DeleteFileW(wide_path(path).c_str()) != 0; }

bool delete_folder(const std::string &path) { return RemoveDirectoryW(wide_path(path).c_str()) != 0; }

int last_error() { return static_cast<int>(GetLastError()); }

int64_t process_id() { return static_cast<int64_t>(GetCurrentProcessId()); }

}  // namespace platform
