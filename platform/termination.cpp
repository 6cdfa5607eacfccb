// How the process ends when it is asked to or can go no further, whatever it is waiting on.
//  [X] SIGINT, SIGTERM and SIGHUP (the terminal closed, as a console's close event) are caught from
//      before main and become one request to end, which the message queue turns into WM_CLOSE
//      (user32_messages.cpp): one that comes while the window is still being made is kept until
//      the first look at the queue, and a repeat is the same request. A signal ignored when the
//      process started (a script's background job ignores Ctrl+C) stays ignored.
//  [X] Never deaf: a watch thread hears each request. If the process has not ended 1.5 s later
//      (it waits on a display that does not answer, a compositor gone mid-handshake, a FIFO
//      nobody reads, a full pipe) the thread ends it: what stdout holds flushed when it can be,
//      "ERROR : Can't Close Window" on stdout, the signal and what the process has been waiting on
//      for how long on stderr, status 1. A tool (TerminationForTool) writes its own line instead.
//      Between the layer's calls, a thread blocked on the display's connection (a GL driver's round
//      trip) names the display too.
//  [X] The same thread watches the Wayland connection's socket: hung up while the process is held
//      inside SDL (its Wayland driver spins for ever on a dead connection while it shows a
//      window), it ends the process as a lost display, half a second after, if the message pump
//      has not done so first.
//  [X] Crash guard: SDL, libGLX and libwayland crash on a connection that died under them during
//      start-up (the X server or the compositor killed at that moment, a WAYLAND_SOCKET that is no
//      compositor). Around those calls (LayerDisplayCall, until the first buffer swap) a crash
//      with the display gone ends the process as a lost display; with the display still there it
//      is a fault of ours or a library's, and crashes as it would have.
//  [X] SIGXFSZ is ignored: at a file-size limit a write fails ("File too large") instead of the
//      signal ending the process.
//  [X] SIGPIPE from a write to a display that is gone (libX11 writes to the X server's socket
//      without holding it back) is let pass: the write fails and the connection's error ends the
//      process as a lost display. Any other SIGPIPE (stdout's reader gone) ends it as it always did.
//  Ending is done once: the first of these paths to end the process holds stdout from then on,
//  and a quarter second later the process ends even if stdout or stderr block.
#include "termination.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sched.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/eventfd.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/time.h>
#include <sys/uio.h>
#include <sys/un.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <string>
#include <vector>

#include "layer.h"

namespace {

// Given a hung-up Wayland socket, the pump notices within a frame; only a call stuck in SDL waits this long.
const long kHungUpGraceMs = 500;
const int kPoliteSignals[] = {SIGINT, SIGTERM, SIGHUP};
const int kCrashSignals[] = {SIGSEGV, SIGBUS, SIGABRT};

struct Mark {
    const char* call;
    char activity[160];
    bool onDisplay;
    long sinceMs;
};

// How to tell, from a signal handler, whether the display is still there.
struct DisplayProbe {
    sockaddr_un addresses[2];
    socklen_t lengths[2];
    int addressCount;
    int descriptor = -1;  // a connection handed down (WAYLAND_SOCKET), or -1
};

// Every member has its initial value in place: the state is set up before any constructor runs,
// the one below that starts the watch included.
struct TerminationState {
    int wakeFd = -1;
    std::atomic<const char*> tool{nullptr};
    std::atomic<const char*> removeOnEnd{nullptr};
    std::atomic<int> displayFd{-1};       // the Wayland connection watched for a hang-up
    std::atomic<bool> ending{false};
    std::atomic<int> stderrFd{STDERR_FILENO};
    Mark marks[8] = {};
    std::atomic<int> depth{0};
    std::atomic<long> lastReturnMs{0};    // when the outermost mark last ended
    char displays[2][256] = {};           // what the display is, in words; two so one is whole while the other is written
    std::atomic<int> display{-1};
    DisplayProbe probe = {};
    int guardDepth = 0;
    bool startedUp = false;               // the first buffer swap returned: the crash guard stays armed
    struct sigaction savedCrash[3] = {};
};
TerminationState termination;

std::atomic<int> requested{0};   // the polite signal that asked to end, kept
std::atomic<int> pending{0};     // the same, until the message queue takes it
std::atomic<long> requestedAtMs{0};

long MonotonicMs() {
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);  // async-signal-safe
    return static_cast<long>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

void Wake() {
    const uint64_t one = 1;
    if (termination.wakeFd >= 0 && write(termination.wakeFd, &one, sizeof one) < 0) {
        // Full only when the thread is already awake with something to read.
    }
}

void OnPoliteSignal(int number) {
    const int savedErrno = errno;
    if (requested.load() == 0) {
        requestedAtMs.store(MonotonicMs());
        pending.store(number);
        requested.store(number);
        Wake();
    }
    errno = savedErrno;
}

const char* SignalName(int number) {
    switch (number) {
        case SIGINT: return "SIGINT";
        case SIGTERM: return "SIGTERM";
        case SIGHUP: return "SIGHUP";
        case SIGSEGV: return "SIGSEGV";
        case SIGBUS: return "SIGBUS";
        case SIGABRT: return "SIGABRT";
        default: return "a signal";
    }
}

const char* DisplayNamed() {
    const int index = termination.display.load();
    return index >= 0 ? termination.displays[index] : nullptr;
}

// Text built without stdio or the heap: a signal handler may use it.
struct Text {
    char buffer[900];
    size_t length = 0;
    Text& operator<<(const char* text) {
        while (text != nullptr && *text != '\0' && length + 1 < sizeof buffer) buffer[length++] = *text++;
        buffer[length] = '\0';
        return *this;
    }
    // Tenths of a second, e.g. "2.3 s".
    Text& Seconds(long ms) {
        char digits[24];
        int count = 0;
        long tenths = (ms + 50) / 100;
        do {
            digits[count++] = static_cast<char>('0' + tenths % 10);
            if (count == 1) digits[count++] = '.';
            tenths /= 10;
        } while (tenths > 0 || count < 3);
        char number[24];
        for (int i = 0; i < count; ++i) number[i] = digits[count - 1 - i];
        number[count] = '\0';
        return *this << number << " s";
    }
};

// Whether `descriptor` is the process's connection to the display.
bool IsDisplayConnection(int descriptor) {
    const DisplayProbe& probe = termination.probe;
    if (descriptor < 0) return false;
    if (descriptor == probe.descriptor || descriptor == termination.displayFd.load()) return true;
    sockaddr_un peer = {};
    socklen_t length = sizeof peer;
    if (getpeername(descriptor, reinterpret_cast<sockaddr*>(&peer), &length) != 0) return false;
    for (int i = 0; i < probe.addressCount; ++i) {
        if (length == probe.lengths[i] && memcmp(&peer, &probe.addresses[i], length) == 0) return true;
    }
    return false;
}

// The system calls a library waits on a connection with: those given a list of descriptors, and
// those given one.
struct BlockingCall {
    long number;
    const char* name;
    bool list;
};
const BlockingCall kBlockingCalls[] = {
#ifdef SYS_poll
    {SYS_poll, "poll", true},
#endif
    {SYS_ppoll, "ppoll", true}, {SYS_read, "read", false}, {SYS_readv, "readv", false},
    {SYS_recvfrom, "recvfrom", false}, {SYS_recvmsg, "recvmsg", false}, {SYS_write, "write", false},
    {SYS_writev, "writev", false}, {SYS_sendto, "sendto", false}, {SYS_sendmsg, "sendmsg", false}};

// The system call another thread of this process is blocked in on the display's connection, or
// null. Between the layer's calls a library can still wait on the display (Mesa's GLX asks the X
// server for the window's size at the first drawing after a swap). /proc gives each thread's
// blocked call and its arguments; a poll's list is read from the process's own memory.
const char* BlockedOnDisplay() {
    DIR* tasks = opendir("/proc/self/task");
    if (tasks == nullptr) return nullptr;
    const char* found = nullptr;
    for (const dirent* task; found == nullptr && (task = readdir(tasks)) != nullptr;) {
        const pid_t thread = static_cast<pid_t>(atoi(task->d_name));
        if (thread <= 0 || thread == gettid()) continue;
        char path[64], line[256] = {};
        snprintf(path, sizeof path, "/proc/self/task/%d/syscall", thread);
        const int file = open(path, O_RDONLY | O_CLOEXEC);
        if (file < 0) continue;
        const ssize_t got = read(file, line, sizeof line - 1);
        close(file);
        long number = 0;
        unsigned long first = 0, second = 0;
        if (got <= 0 || sscanf(line, "%ld %lx %lx", &number, &first, &second) != 3) continue;
        for (const BlockingCall& call : kBlockingCalls) {
            if (call.number != number) continue;
            pollfd list[4] = {{static_cast<int>(first), 0, 0}};
            size_t count = 1;
            if (call.list) {
                count = std::min<size_t>(second, 4);
                const iovec local = {list, sizeof(pollfd) * count};
                const iovec remote = {reinterpret_cast<void*>(first), local.iov_len};
                if (process_vm_readv(getpid(), &local, 1, &remote, 1, 0) != static_cast<ssize_t>(local.iov_len)) count = 0;
            }
            for (size_t i = 0; i < count; ++i) {
                if (IsDisplayConnection(list[i].fd)) found = call.name;
            }
        }
    }
    closedir(tasks);
    return found;
}

// ": it has been <activity> on <display> for N s, in <call>", or what is known instead.
void DescribeWait(Text* text, long now) {
    const int depth = termination.depth.load();
    if (depth <= 0) {
        const char* display = DisplayNamed();
        const char* blocked = display != nullptr ? BlockedOnDisplay() : nullptr;
        if (blocked != nullptr) {
            *text << ": it is waiting on " << display << " between the layer's calls";
            if (const long returned = termination.lastReturnMs.load()) {
                *text << " (the last returned ";
                text->Seconds(now - returned) << " ago)";
            }
            *text << ", in " << blocked << "()";
        } else if (termination.tool.load() == nullptr) {
            *text << ": it has not come back to its message loop since";
        }
        return;
    }
    const Mark& mark = termination.marks[std::min(depth, 8) - 1];
    *text << ": it has been " << mark.activity;
    const char* display = DisplayNamed();
    if (mark.onDisplay && display != nullptr) *text << " on " << display;
    *text << " for ";
    text->Seconds(now - mark.sinceMs);
    if (mark.call != nullptr) *text << ", in " << mark.call;
}

void WriteAll(int descriptor, const char* data, size_t size) {
    while (size > 0) {
        const ssize_t wrote = write(descriptor, data, size);
        if (wrote < 0 && errno == EINTR) continue;
        if (wrote <= 0) return;
        data += wrote;
        size -= static_cast<size_t>(wrote);
    }
}

void EndNow(int) {
    _exit(1);
}

// Takes the one right to end the process; a second caller waits for the first to finish.
void TakeTheEnd() {
    if (termination.ending.exchange(true)) {
        for (;;) pause();
    }
    // If stdout or stderr block (a pipe nobody reads), the process still ends.
    struct sigaction alarm = {};
    alarm.sa_handler = EndNow;
    sigemptyset(&alarm.sa_mask);
    sigaction(SIGALRM, &alarm, nullptr);
    itimerval backstop = {{0, 0}, {0, 250000}};
    setitimer(ITIMER_REAL, &backstop, nullptr);
    if (const char* path = termination.removeOnEnd.load()) unlink(path);
}

// Every thread at the ordinary priority where the process may raise it: each must run to end, and
// a thread at the lowest (Mesa's shader-cache writer) could wait a second for a turn on a busy machine.
void RaiseThreadsToEnd() {
    DIR* tasks = opendir("/proc/self/task");
    if (tasks == nullptr) return;
    const sched_param ordinary = {};
    while (const dirent* task = readdir(tasks)) {
        const pid_t thread = static_cast<pid_t>(atoi(task->d_name));
        if (thread <= 0) continue;
        sched_setscheduler(thread, SCHED_OTHER, &ordinary);
        setpriority(PRIO_PROCESS, static_cast<id_t>(thread), 0);
    }
    closedir(tasks);
}

// Ends the process: `line` on stdout after what it holds (from another thread, only if stdio is
// free within a tenth of a second), `reason` and a line break on stderr, status 1.
[[noreturn]] void EndProcess(const char* line, const char* reason, bool onAnotherThread) {
    TakeTheEnd();
    if (line != nullptr) {
        bool locked = !onAnotherThread;
        for (int tries = 0; onAnotherThread && tries < 20 && !locked; ++tries) {
            locked = ftrylockfile(stdout) == 0;
            if (!locked) usleep(5000);
        }
        if (locked) {
            // Kept locked: nothing the program prints may follow the line.
            if (!onAnotherThread) flockfile(stdout);
            fflush_unlocked(stdout);
            fputs_unlocked(line, stdout);
            fflush_unlocked(stdout);
        } else {
            WriteAll(STDOUT_FILENO, line, strlen(line));
        }
    }
    // One write, so that the line is not split by another thread's.
    char message[1024];
    const size_t length = strnlen(reason, sizeof message - 1);
    memcpy(message, reason, length);
    message[length] = '\n';
    WriteAll(termination.stderrFd.load(), message, length + 1);
    RaiseThreadsToEnd();
    _exit(1);
}

// Why the process is ended `now` for a polite signal that was not honoured in time.
void DescribeGiveUp(Text* reason, int signal, long now) {
    const char* tool = termination.tool.load();
    if (tool != nullptr) *reason << tool << ": ";
    *reason << SignalName(signal) << " came ";
    reason->Seconds(now - requestedAtMs.load());
    *reason << " ago and the " << (tool != nullptr ? "run" : "program") << " could not end in time";
    DescribeWait(reason, now);
    if (tool != nullptr) *reason << "; nothing more written";
}

[[noreturn]] void GiveUp(int signal, long now) {
    Text reason;
    DescribeGiveUp(&reason, signal, now);
    EndProcess(termination.tool.load() != nullptr ? nullptr : "ERROR : Can't Close Window\n", reason.buffer, true);
}

[[noreturn]] void LoseHungUpDisplay(long now) {
    Text reason;
    const int depth = termination.depth.load();
    const Mark* mark = depth > 0 ? &termination.marks[std::min(depth, 8) - 1] : nullptr;
    reason << (mark != nullptr ? mark->call : "PeekMessageA") << ": lost ";
    const char* display = DisplayNamed();
    reason << (display != nullptr ? display : "the Wayland display") << ": the compositor hung up";
    if (mark != nullptr) {
        reason << " while the layer was " << mark->activity << " (for ";
        reason.Seconds(now - mark->sinceMs) << ")";
    }
    EndProcess("ERROR : Lost the display\n", reason.buffer, true);
}

void* Watch(void*) {
    bool hungUp = false;
    long hungUpAtMs = 0;
    for (;;) {
        const long now = MonotonicMs();
        long timeout = -1;
        if (const int signal = requested.load()) {
            const long left = requestedAtMs.load() + kTerminationGraceMs - now;
            if (left <= 0) GiveUp(signal, now);
            timeout = left;
        }
        const int descriptor = termination.displayFd.load();
        if (descriptor < 0) hungUp = false;
        if (hungUp) {
            const long left = hungUpAtMs + kHungUpGraceMs - now;
            if (left <= 0) LoseHungUpDisplay(now);
            timeout = timeout < 0 ? left : std::min(timeout, left);
        }
        pollfd watched[2] = {{termination.wakeFd, POLLIN, 0}, {descriptor, 0, 0}};
        const nfds_t count = descriptor >= 0 && !hungUp ? 2 : 1;
        if (poll(watched, count, static_cast<int>(timeout)) < 0) continue;
        if (watched[0].revents & POLLIN) {
            uint64_t value;
            if (read(termination.wakeFd, &value, sizeof value) < 0) {
                // Nothing to read after all.
            }
        }
        if (count == 2 && (watched[1].revents & POLLNVAL)) {
            // Closed under the watch: SDL let the connection go.
            int expected = descriptor;
            termination.displayFd.compare_exchange_strong(expected, -1);
        } else if (count == 2 && (watched[1].revents & (POLLHUP | POLLERR))) {
            hungUp = true;
            hungUpAtMs = MonotonicMs();
        }
    }
    return nullptr;
}

// Whether the display has gone, as a crash or a broken pipe can tell: a connection of the process's
// to it hung up (a dying X server closes the clients' connections before its listening sockets,
// when they have lower numbers), or its sockets refuse a new one.
bool DisplayGone() {
    const DisplayProbe& probe = termination.probe;
    if (probe.descriptor >= 0) {
        pollfd connection = {probe.descriptor, 0, 0};
        return poll(&connection, 1, 0) != 0;  // hung up, failed or closed
    }
    for (int descriptor = 3; descriptor < 1024; ++descriptor) {
        pollfd connection = {descriptor, POLLRDHUP, 0};
        if (IsDisplayConnection(descriptor) && poll(&connection, 1, 0) > 0 &&
            (connection.revents & (POLLHUP | POLLERR | POLLRDHUP)))
            return true;
    }
    for (int i = 0; i < probe.addressCount; ++i) {
        const int probeSocket = socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (probeSocket < 0) return true;
        const bool connected = connect(probeSocket, reinterpret_cast<const sockaddr*>(&probe.addresses[i]),
                                       probe.lengths[i]) == 0 || errno == EAGAIN || errno == EINPROGRESS;
        close(probeSocket);
        if (connected) return false;
    }
    return true;  // refused, or not to be told from here (a display over TCP)
}

void OnCrash(int number) {
    if (!DisplayGone()) {
        // Not a dead connection: crash as it would have, through the handler there was before.
        for (int i = 0; i < 3; ++i) {
            if (kCrashSignals[i] == number) sigaction(number, &termination.savedCrash[i], nullptr);
        }
        return;
    }
    TakeTheEnd();
    Text reason;
    const int depth = termination.depth.load();
    const Mark* mark = depth > 0 ? &termination.marks[std::min(depth, 8) - 1] : nullptr;
    reason << (mark != nullptr ? mark->call : "start-up") << ": lost ";
    const char* display = DisplayNamed();
    reason << (display != nullptr ? display : "the display");
    if (mark != nullptr) reason << " while " << mark->activity;
    reason << ": it went away, and the library talking to it crashed on the dead connection (" << SignalName(number)
           << ")\n";
    // No stdio here: the crash may have come from inside it. What stdout holds is lost.
    const char line[] = "ERROR : Lost the display\n";
    WriteAll(STDOUT_FILENO, line, sizeof line - 1);
    WriteAll(termination.stderrFd.load(), reason.buffer, reason.length);
    _exit(1);
}

void OnBrokenPipe(int) {
    const int savedErrno = errno;
    pollfd standard[2] = {{STDOUT_FILENO, POLLOUT, 0}, {STDERR_FILENO, POLLOUT, 0}};
    const bool outputGone = poll(standard, 2, 0) > 0 && ((standard[0].revents | standard[1].revents) & POLLERR);
    if (outputGone || !DisplayGone()) {
        signal(SIGPIPE, SIG_DFL);  // delivered again when this returns, and ends the process
        raise(SIGPIPE);
    }
    errno = savedErrno;
}

void ArmCrashGuard() {
    if (termination.guardDepth++ > 0) return;
    struct sigaction action = {};
    action.sa_handler = OnCrash;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_NODEFER;
    for (int i = 0; i < 3; ++i) sigaction(kCrashSignals[i], &action, &termination.savedCrash[i]);
}

void DisarmCrashGuard() {
    if (--termination.guardDepth > 0) return;
    for (int i = 0; i < 3; ++i) sigaction(kCrashSignals[i], &termination.savedCrash[i], nullptr);
}

int PushMark(const char* call, const char* activity, bool onDisplay) {
    const int depth = termination.depth.load();
    if (depth < 8) {
        Mark& mark = termination.marks[depth];
        mark.call = call;
        snprintf(mark.activity, sizeof mark.activity, "%s", activity);
        mark.onDisplay = onDisplay;
        mark.sinceMs = MonotonicMs();
    }
    termination.depth.store(depth + 1);
    return depth;
}

// Before main and before any library the layer starts: one at the start of the process is a
// request like any other.
__attribute__((constructor)) void CatchSignalsFromTheStart() {
    termination.wakeFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (termination.wakeFd >= 0) {
        // The watch thread takes no signal itself, and needs little stack (a limit on memory may be tight).
        sigset_t all, previous;
        sigfillset(&all);
        pthread_sigmask(SIG_SETMASK, &all, &previous);
        pthread_attr_t attributes;
        pthread_attr_init(&attributes);
        pthread_attr_setstacksize(&attributes, 256 * 1024);
        pthread_t thread;
        // Without it (no thread to be had at all) signals still become WM_CLOSE, but nothing ends a stuck process.
        if (pthread_create(&thread, &attributes, Watch, nullptr) == 0) pthread_detach(thread);
        pthread_attr_destroy(&attributes);
        pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    }
    struct sigaction action = {};
    action.sa_handler = OnPoliteSignal;
    sigemptyset(&action.sa_mask);
    for (int signalNumber : kPoliteSignals) sigaddset(&action.sa_mask, signalNumber);
    action.sa_flags = SA_RESTART;
    for (int signalNumber : kPoliteSignals) {
        struct sigaction previous = {};
        if (sigaction(signalNumber, nullptr, &previous) == 0 && previous.sa_handler == SIG_IGN) continue;
        sigaction(signalNumber, &action, nullptr);
    }
    signal(SIGXFSZ, SIG_IGN);
    struct sigaction previous = {};
    if (sigaction(SIGPIPE, nullptr, &previous) == 0 && previous.sa_handler == SIG_DFL) {
        struct sigaction brokenPipe = {};
        brokenPipe.sa_handler = OnBrokenPipe;
        sigemptyset(&brokenPipe.sa_mask);
        brokenPipe.sa_flags = SA_RESTART;
        sigaction(SIGPIPE, &brokenPipe, nullptr);
    }
}

}  // namespace

int TerminationRequested() {
    return requested.load();
}

void TerminationForTool(const char* tool) {
    termination.tool.store(tool);
}

void TerminationRemoveOnEnd(const char* path) {
    termination.removeOnEnd.store(path);
}

TerminationMark::TerminationMark(const char* call, const char* activity, bool onDisplay)
    : previous_(PushMark(call, activity, onDisplay)), guarded_(onDisplay && !termination.startedUp) {
    if (guarded_) ArmCrashGuard();
}

TerminationMark::~TerminationMark() {
    if (guarded_) DisarmCrashGuard();
    if (previous_ == 0) termination.lastReturnMs.store(MonotonicMs());
    termination.depth.store(previous_);
}

void LayerStartedUp() {
    if (termination.startedUp) return;
    termination.startedUp = true;
    // From here on the display can go while the program is anywhere in its frame, and a library can
    // crash on the dead connection outside any one call of ours (Mesa's GLX between two swaps): the
    // guard stays armed for the rest of the run. It lets any crash with the display still there
    // through to the handler there was before.
    ArmCrashGuard();
}

void LayerNameDisplay(const std::string& described, const std::vector<std::string>& sockets, int descriptor) {
    const int next = termination.display.load() == 0 ? 1 : 0;
    snprintf(termination.displays[next], sizeof termination.displays[next], "%s", described.c_str());
    termination.display.store(next);
    DisplayProbe probe = {};
    probe.descriptor = descriptor;
    for (const std::string& path : sockets) {
        // A leading '@' names an abstract socket, as libxcb tries first.
        const bool abstract = path[0] == '@';
        if (probe.addressCount == 2 || path.size() >= sizeof probe.addresses[0].sun_path) continue;
        sockaddr_un& address = probe.addresses[probe.addressCount];
        address.sun_family = AF_UNIX;
        memcpy(address.sun_path, path.data(), path.size());
        if (abstract) address.sun_path[0] = '\0';
        probe.lengths[probe.addressCount++] =
            static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + path.size() + (abstract ? 0 : 1));
    }
    termination.probe = probe;
}

void LayerWatchDisplayFd(int descriptor) {
    termination.displayFd.store(descriptor);
    Wake();
}

void LayerStderrMovedTo(int descriptor) {
    termination.stderrFd.store(descriptor);
}

int LayerTakePoliteSignal() {
    return pending.exchange(0);
}

void LayerLostDisplay(const std::string& reason) {
    EndProcess("ERROR : Lost the display\n", reason.c_str(), false);
}

void LayerResetTermination() {
    pending.store(0);
    requested.store(0);
    termination.displayFd.store(-1);
    termination.lastReturnMs.store(0);
    Wake();
}
