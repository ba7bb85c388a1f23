// The temporary folder and the files the library keeps in it while it is loaded: a folder
// private to the process, and plain file creation, writing and deletion with the system's
// error codes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace platform {

// The separator the system's own paths use between folder names.
extern const char kPathSeparator;

// The user's temporary folder as the system names it, possibly without a trailing separator.
std::string temp_folder();

// Creates a new folder inside parent (which ends with a separator) that only this user can
// enter, named prefix followed by a unique suffix of kUniqueSuffixLength characters.
// Returns its path without a trailing separator, or an empty string (see last_error()).
constexpr size_t kUniqueSuffixLength = 6;
std::string create_private_folder(const std::string &parent, const char *prefix);

// An open file (wide enough for any system's file handle), or kNoFile.
using FileHandle = intptr_t;
constexpr FileHandle kNoFile = -1;

// Creates path for writing, replacing any existing file; readable by this user only.
FileHandle create_file(const std::string &path);
// Writes size bytes; returns how many were written before a failure stopped the write.
size_t write_file(FileHandle file, const void *data, size_t size);
bool close_file(FileHandle file);
bool delete_file(const std::string &path);
// Removes an empty folder.
bool delete_folder(const std::string &path);

// The system's error code of the last failed call above.
int last_error();

// Identifies the calling process; a child made by fork has its own.
int64_t process_id();

}  // namespace platform
