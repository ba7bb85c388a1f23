// Paths as the library receives them and hands them on. A path given to the library (by the
// application or the core library) is read as UTF-8 where it is valid UTF-8 and otherwise in
// the process's ANSI code page, so that programs passing either encoding work; inside, the
// library keeps paths in UTF-8, the encoding SDL takes. On Linux a path is bytes and stays as
// it is. Every platform function that takes a path reads it by the same rule.
#pragma once

#include <cstdio>
#include <string>

namespace platform {

// The received path in UTF-8 (Linux: unchanged). A UTF-8 path comes back as it is.
std::string utf8_path(const char *received);

// fopen for a path read by the rule above; "wbx" creates a new file only (errno EEXIST when
// one is there).
FILE *open_file(const std::string &path, const char *mode);

// Moves the file at from to to, replacing a file there. False, with the system's reason, when
// it cannot. On Windows a file another program holds open (a virus scanner, a sync client, an
// image viewer) is tried again for half a second.
bool replace_file(const std::string &from, const std::string &to, std::string &reason);

// An environment variable's value in UTF-8; empty when unset.
std::string environment_variable(const char *name);

}  // namespace platform
