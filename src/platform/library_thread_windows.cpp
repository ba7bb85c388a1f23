// Library threads on Windows: each takes a reference on the library's module as it starts and
// releases it as its last act (FreeLibraryAndExitThread), so that a host's FreeLibrary while it
// runs leaves the code in place; the module goes when the thread has left it. Nothing in the
// unload step (DllMain, under the loader lock) waits for a thread.
#include "platform/library_thread.h"

#include <windows.h>

#include <new>

#include "platform/system_error_windows.h"

namespace platform {

struct LibraryThread {
    HANDLE handle = nullptr;
};

namespace {

struct Start {
    void (*body)();
    HMODULE module;
};

DWORD WINAPI run(void *argument) {
    const Start start = *static_cast<const Start *>(argument);
    delete static_cast<const Start *>(argument);
    start.body();
    FreeLibraryAndExitThread(start.module, 0);
}

}  // namespace

LibraryThread *start_library_thread(void (*body)(), void (*)(), std::string &failure) {
    HMODULE module = nullptr;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                            reinterpret_cast<LPCWSTR>(&run), &module)) {
        failure = system_message(GetLastError());
        return nullptr;
    }
    auto *start = new (std::nothrow) Start{body, module};
    auto *started = new (std::nothrow) LibraryThread;
    const HANDLE thread =
        start && started ? CreateThread(nullptr, 0, run, start, 0, nullptr) : nullptr;
    if (!thread) {
        failure = start && started ? system_message(GetLastError()) : "out of memory";
        delete start;
        delete started;
        FreeLibrary(module);
        return nullptr;
    }
    started->handle = thread;
    return started;
}

// Never called under the loader lock (a thread's end needs it): only from the hooks.
void join_library_thread(LibraryThread *thread) {
    if (!thread) return;
    WaitForSingleObject(thread->handle, INFINITE);
    CloseHandle(thread->handle);
    delete thread;
}

void stop_library_threads() {}

}  // namespace platform
