// The one rule for the files the tools write (brimvalk-pacing's --png and --csv, brimvalk-snapshot's
// --out):
// - a regular file or a new path is written whole or not at all: into a temporary file beside it,
//   renamed over it when complete. A new file gets the mode the umask gives (0644 under 022); an
//   existing one keeps its own mode and, where the tool may set it, its owner;
// - a symbolic link is followed: the file it leads to is replaced that way, and the link stays;
// - anything else (a device, a FIFO, a terminal, /dev/stdout) is written in place, never replaced
//   or removed;
// - a failed write says why and leaves the path as it was: a file-size limit is "File too large"
//   (the layer ignores SIGXFSZ), a reader that goes away "Broken pipe", never the signal's death;
// - a FIFO is waited on for a reader, and a polite signal (SIGINT, SIGTERM, SIGHUP) ends the wait
//   at once with nothing written; one that came before, during the run, means no wait at all.
// The data is collected in memory while the tool makes it; the temporary file exists only while
// it is written out, and is removed by any end of the process that the tool did not choose (the
// layer's, when a signal cannot be honoured in time), so none is ever left behind.
#ifndef BRIMVALK_TOOLS_OUTPUT_FILE_H
#define BRIMVALK_TOOLS_OUTPUT_FILE_H

#include <stdio.h>

#include <string>

class OutputFile {
public:
    OutputFile() = default;
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;
    ~OutputFile();

    // Before the run: finds where `path` leads and whether it can be written there; false after
    // saying why on stderr, prefixed by `tool`.
    bool Prepare(const char* tool, const std::string& path);
    const std::string& path() const { return path_; }

    // The stream to write the data into; null after saying why.
    FILE* Begin();
    // Puts the data in place; false after saying why (the path is as it was).
    bool Commit();

private:
    enum Kind { kUnprepared, kReplace, kInPlace, kDescriptor };
    bool Fail(const char* reason);
    bool WriteOut(int descriptor);
    bool WriteInPlace(const struct Destination& destination);
    bool ReplaceWhole(const struct Destination& destination);

    std::string tool_, path_, target_;
    Kind kind_ = kUnprepared;
    int descriptor_ = -1;  // kDescriptor: one of the process's own streams, taken before the run
    FILE* stream_ = nullptr;
    char* data_ = nullptr;
    size_t size_ = 0;
};

// Whether two paths lead to one file (through links, or spelt two ways), existing or not.
bool SameFile(const std::string& first, const std::string& second);

// Opens `path` (created with the umask's mode, truncated) for a stream written in place, such as
// the program's own lines: a FIFO waited on as above. Returns the descriptor, or -1 after saying
// why on stderr, prefixed by `tool`, with *interrupted telling a polite signal from a bad path.
int OpenOutputStream(const char* tool, const std::string& path, bool* interrupted);

#endif
