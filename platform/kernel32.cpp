// KERNEL32 on Linux: GetModuleHandleA and Sleep.
//  [X] GetModuleHandleA(NULL): the process's own module.
//  [ ] GetModuleHandleA(name): no other modules are known; returns null.
//  [X] Sleep: Sleep(0) yields the rest of the time slice, as on Win32.
#include <windows.h>

#include <sched.h>
#include <time.h>

namespace {

struct ModuleState {
    char processModule;  // its address is the process's HMODULE
};
ModuleState modules;

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
