#include "tools/output_file.h"

#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include "platform/termination.h"

// Where a path leads once its links are followed.
struct Destination {
    std::string target;
    bool exists = false;
    struct stat info = {};
    // Through /proc or /dev/fd: an open file of some process (/dev/stdout is one), which may be a
    // pipe; written in place as the shell's `>` would.
    bool openFile = false;
    int error = 0;
};

namespace {

bool StartsWith(const std::string& text, const char* prefix) {
    return text.compare(0, strlen(prefix), prefix) == 0;
}

std::string Directory(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

bool Resolve(const std::string& path, Destination* out) {
    std::string current = path;
    errno = 0;
    for (int hops = 0; hops < 40; ++hops) {
        if (StartsWith(current, "/proc/") || StartsWith(current, "/dev/fd/")) out->openFile = true;
        if (lstat(current.c_str(), &out->info) != 0) {
            if (errno != ENOENT) break;
            out->target = current;
            return true;
        }
        if (!S_ISLNK(out->info.st_mode) || out->openFile) {
            if (out->openFile && stat(current.c_str(), &out->info) != 0) break;
            out->target = current;
            out->exists = true;
            return true;
        }
        char link[PATH_MAX];
        const ssize_t length = readlink(current.c_str(), link, sizeof link);
        if (length < 0 || length == static_cast<ssize_t>(sizeof link)) break;
        const std::string text(link, static_cast<size_t>(length));
        current = text[0] == '/' ? text : Directory(current) + "/" + text;
    }
    out->error = errno != 0 ? errno : ELOOP;
    return false;
}

// The descriptor N of /proc/self/fd/N, /proc/<this process>/fd/N or /dev/fd/N; -1 for another.
int OwnDescriptor(const std::string& target) {
    const std::string own = "/proc/" + std::to_string(getpid()) + "/fd/";
    for (const std::string& prefix : {std::string("/proc/self/fd/"), own, std::string("/dev/fd/")}) {
        if (!StartsWith(target, prefix.c_str())) continue;
        const std::string number = target.substr(prefix.size());
        if (number.empty() || number.size() > 6 || number.find_first_not_of("0123456789") != std::string::npos) {
            return -1;
        }
        return atoi(number.c_str());
    }
    return -1;
}

bool Replaced(const Destination& destination) {
    return !destination.openFile && (!destination.exists || S_ISREG(destination.info.st_mode));
}

// Holds back SIGPIPE while a file is written: a reader that went away is told as "Broken pipe",
// not by the signal's ending the tool.
class PipeSignalHeld {
public:
    PipeSignalHeld() {
        sigset_t held;
        sigemptyset(&held);
        sigaddset(&held, SIGPIPE);
        sigprocmask(SIG_BLOCK, &held, &saved_);
    }
    ~PipeSignalHeld() {
        sigset_t pending;
        sigpending(&pending);
        if (sigismember(&pending, SIGPIPE) && !sigismember(&saved_, SIGPIPE)) {
            sigset_t pipe;
            sigemptyset(&pipe);
            sigaddset(&pipe, SIGPIPE);
            const timespec now = {0, 0};
            sigtimedwait(&pipe, nullptr, &now);
        }
        sigprocmask(SIG_SETMASK, &saved_, nullptr);
    }

private:
    sigset_t saved_;
};

// open(2) that waits for a FIFO's reader without blocking the process's ears: tried without
// blocking every 20 ms until a reader comes or a polite signal asks the tool to end (then -1
// with errno EINTR). The descriptor is left blocking, as a plain open leaves it.
int OpenWaitingForReader(const char* path, int flags, mode_t mode) {
    for (;;) {
        const int descriptor = open(path, flags | O_NONBLOCK, mode);
        if (descriptor >= 0) {
            fcntl(descriptor, F_SETFL, fcntl(descriptor, F_GETFL) & ~O_NONBLOCK);
            return descriptor;
        }
        if (errno != ENXIO) return -1;  // ENXIO: a FIFO with no reader yet
        if (TerminationRequested() != 0) {
            errno = EINTR;
            return -1;
        }
        const timespec wait = {0, 20 * 1000000L};
        nanosleep(&wait, nullptr);
    }
}

// The reason for a failed open, with a signal that ended the wait for a reader named.
std::string OpenFailure(int error) {
    if (error != EINTR || TerminationRequested() == 0) return strerror(error);
    return std::string("no reader came before SIG") + sigabbrev_np(TerminationRequested());
}

}  // namespace

OutputFile::~OutputFile() {
    if (stream_ != nullptr) fclose(stream_);
    free(data_);
    if (descriptor_ >= 0) close(descriptor_);
}

bool OutputFile::Fail(const char* reason) {
    fprintf(stderr, "%s: cannot write %s: %s\n", tool_.c_str(), path_.c_str(), reason);
    return false;
}

bool OutputFile::Prepare(const char* tool, const std::string& path) {
    TerminationForTool(tool);
    tool_ = tool;
    path_ = path;
    Destination destination;
    if (path.empty()) return Fail("no file name");
    if (!Resolve(path, &destination)) return Fail(strerror(destination.error));
    if (destination.exists && S_ISDIR(destination.info.st_mode)) return Fail("it is a directory");
    target_ = destination.target;
    if (destination.openFile) {
        // Taken now: the program's start-up points standard output elsewhere.
        const int own = OwnDescriptor(target_);
        if (own >= 0) {
            descriptor_ = fcntl(own, F_DUPFD_CLOEXEC, 3);
            if (descriptor_ < 0) return Fail(strerror(errno));
            kind_ = kDescriptor;
            return true;
        }
        kind_ = kInPlace;
    } else {
        kind_ = Replaced(destination) ? kReplace : kInPlace;
    }
    const std::string checked = kind_ == kReplace ? Directory(target_) : target_;
    const int access = kind_ == kReplace ? W_OK | X_OK : W_OK;
    if (faccessat(AT_FDCWD, checked.c_str(), access, AT_EACCESS) != 0) return Fail(strerror(errno));
    return true;
}

FILE* OutputFile::Begin() {
    stream_ = open_memstream(&data_, &size_);
    if (stream_ == nullptr) Fail(strerror(errno));
    return stream_;
}

bool OutputFile::WriteOut(int descriptor) {
    for (size_t done = 0; done < size_;) {
        const ssize_t wrote = write(descriptor, data_ + done, size_ - done);
        if (wrote < 0 && errno == EINTR) continue;
        if (wrote <= 0) return false;
        done += static_cast<size_t>(wrote);
    }
    return true;
}

bool OutputFile::Commit() {
    if (stream_ == nullptr) return Fail("nothing was written");
    const bool collected = fclose(stream_) == 0;
    stream_ = nullptr;
    if (!collected) return Fail(strerror(errno));

    const PipeSignalHeld held;
    if (kind_ == kDescriptor) {
        const bool wrote = WriteOut(descriptor_);
        const int error = errno;
        close(descriptor_);
        descriptor_ = -1;
        return wrote || Fail(strerror(error));
    }
    // Looked at again: the path may have changed while the tool ran.
    Destination destination;
    if (!Resolve(path_, &destination)) return Fail(strerror(destination.error));
    if (destination.exists && S_ISDIR(destination.info.st_mode)) return Fail("it is a directory");
    target_ = destination.target;

    return Replaced(destination) ? ReplaceWhole(destination) : WriteInPlace(destination);
}

// A device, a FIFO or a terminal: written where it is, never replaced.
bool OutputFile::WriteInPlace(const Destination& destination) {
    const int flags = O_WRONLY | O_NOCTTY | O_CLOEXEC | (S_ISREG(destination.info.st_mode) ? O_TRUNC : 0);
    const int descriptor = OpenWaitingForReader(target_.c_str(), flags, 0);
    if (descriptor < 0) return Fail(OpenFailure(errno).c_str());
    bool written = WriteOut(descriptor);
    int error = errno;
    if (close(descriptor) != 0 && written) {
        written = false;
        error = errno;
    }
    return written || Fail(strerror(error));
}

// A regular file or a new path: a temporary file beside it, renamed over it once complete.
bool OutputFile::ReplaceWhole(const Destination& destination) {
    // Named to the layer before it exists: an end the tool does not choose removes it.
    std::string temporary = target_ + ".partial-XXXXXX";
    TerminationRemoveOnEnd(temporary.c_str());
    struct Forget {
        ~Forget() { TerminationRemoveOnEnd(nullptr); }
    } forget;
    const int descriptor = mkostemp(&temporary[0], O_CLOEXEC);
    if (descriptor < 0) return Fail(strerror(errno));
    mode_t mode = destination.info.st_mode & 07777;
    if (destination.exists) {
        // Keeping the owner needs root; a user's own file keeps its group where the user is in it.
        if (fchown(descriptor, destination.info.st_uid, destination.info.st_gid) != 0) {
            errno = 0;
        }
    } else {
        const mode_t mask = umask(0);
        umask(mask);
        mode = 0666 & ~mask;
    }
    bool written = fchmod(descriptor, mode) == 0 && WriteOut(descriptor) && fsync(descriptor) == 0;
    int error = errno;
    if (close(descriptor) != 0 && written) {
        written = false;
        error = errno;
    }
    if (written && rename(temporary.c_str(), target_.c_str()) != 0) {
        written = false;
        error = errno;
    }
    if (!written) {
        unlink(temporary.c_str());
        return Fail(strerror(error));
    }
    return true;
}

bool SameFile(const std::string& first, const std::string& second) {
    Destination a, b;
    if (!Resolve(first, &a) || !Resolve(second, &b)) return first == second;
    if (a.exists && b.exists) return a.info.st_dev == b.info.st_dev && a.info.st_ino == b.info.st_ino;
    if (a.exists || b.exists) return false;
    // Two new paths: the same name in the same directory, however the directory is spelt.
    auto canonical = [](const std::string& target) {
        char* directory = realpath(Directory(target).c_str(), nullptr);
        const size_t slash = target.rfind('/');
        std::string name = (directory != nullptr ? directory : Directory(target)) + "/" +
                           (slash == std::string::npos ? target : target.substr(slash + 1));
        free(directory);
        return name;
    };
    return canonical(a.target) == canonical(b.target);
}

int OpenOutputStream(const char* tool, const std::string& path, bool* interrupted) {
    TerminationForTool(tool);
    const int descriptor =
        OpenWaitingForReader(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOCTTY | O_CLOEXEC, 0666);
    *interrupted = descriptor < 0 && errno == EINTR;
    if (descriptor < 0) fprintf(stderr, "%s: cannot write %s: %s\n", tool, path.c_str(), OpenFailure(errno).c_str());
    return descriptor;
}
