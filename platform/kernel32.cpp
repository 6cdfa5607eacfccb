// KERNEL32 on Linux: GetModuleHandleA and Sleep.
//  [X] GetModuleHandleA(NULL): the process's own module.
//  [ ] GetModuleHandleA(name): no other modules are known; returns null.
//  [X] Sleep: Sleep(0) yields the rest of the time slice, as on Win32.
//  [X] Standard input, output and error closed at start are opened on /dev/null before main: a
//      Windows console program without a console writes nowhere, while here the next descriptor
//      opened (the X connection) would take their place and receive the program's output.
#include <windows.h>

#include <errno.h>
#include <fcntl.h>
#include <sched.h>
#include <time.h>
#include <unistd.h>

namespace {

struct ModuleState {
    char processModule;  // its address is the process's HMODULE
};
ModuleState modules;

// Before main and before any library the layer starts can open a descriptor of its own; the
// shared libraries' constructors, which run earlier, keep none open.
__attribute__((constructor)) void OpenStandardDescriptors() {
    for (int descriptor = 0; descriptor <= 2; ++descriptor) {
        if (fcntl(descriptor, F_GETFD) != -1 || errno != EBADF) continue;
        // The lowest free descriptor, so this one: those below it are open by now.
        const int opened = open("/dev/null", descriptor == 0 ? O_RDONLY : O_WRONLY);
        if (opened > descriptor) {
            dup2(opened, descriptor);
            close(opened);
        }
    }
}

}  // namespace

HMODULE WINAPI GetModuleHandleA(LPCSTR moduleName) {
    if (moduleName != nullptr) return nullptr;
    return reinterpret_cast<HMODULE>(&modules.processModule);
}

void WINAPI Sleep(DWORD milliseconds) {
    if (milliseconds == 0) {
        sched_yield();
        return;
    }
    timespec wait = {static_cast<time_t>(milliseconds / 1000), static_cast<long>(milliseconds % 1000) * 1000000L};
    while (nanosleep(&wait, &wait) != 0) {
    }
}
