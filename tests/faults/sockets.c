/* Sockets that are not what a program expects, for the fault suite.
 *   fault_sockets silent PATH             listens on PATH (@NAME: an abstract socket), accepts every
 *                                        connection and never answers (a frozen X server or
 *                                        compositor); runs until killed
 *   fault_sockets hand-down KIND PROGRAM [ARGUMENT...]
 *                                        runs PROGRAM with WAYLAND_SOCKET naming a socket of KIND:
 *                                        closed (its peer gone), unconnected, datagram, or PATH
 *                                        (connected to that socket, e.g. an X server's)
 */
#include <errno.h>
#include <stddef.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

static int Fail(const char* what) {
    fprintf(stderr, "fault_sockets: %s: %s\n", what, strerror(errno));
    return 2;
}

/* The address's length, or 0 when the path does not fit. */
static socklen_t Address(const char* path, struct sockaddr_un* address) {
    memset(address, 0, sizeof *address);
    address->sun_family = AF_UNIX;
    const size_t length = strlen(path);
    if (length >= sizeof address->sun_path) return 0;
    memcpy(address->sun_path, path, length);
    if (path[0] != '@') return sizeof *address;
    address->sun_path[0] = '\0';
    return (socklen_t)(offsetof(struct sockaddr_un, sun_path) + length);
}

static int Silent(const char* path) {
    struct sockaddr_un address;
    const int listening = socket(AF_UNIX, SOCK_STREAM, 0);
    const socklen_t length = Address(path, &address);
    if (path[0] != '@') unlink(path);
    if (listening < 0 || length == 0 || bind(listening, (struct sockaddr*)&address, length) != 0 ||
        listen(listening, 64) != 0) {
        return Fail(path);
    }
    for (;;) {
        /* Kept open and never read: the client waits for an answer that does not come. */
        if (accept(listening, NULL, NULL) < 0 && errno != EINTR && errno != EMFILE) return Fail("accept");
    }
}

static int HandDown(const char* kind, char** program) {
    int handed = -1;
    if (strcmp(kind, "closed") == 0) {
        int pair[2];
        if (socketpair(AF_UNIX, SOCK_STREAM, 0, pair) != 0) return Fail("socketpair");
        close(pair[1]);
        handed = pair[0];
    } else if (strcmp(kind, "unconnected") == 0) {
        handed = socket(AF_UNIX, SOCK_STREAM, 0);
    } else if (strcmp(kind, "datagram") == 0) {
        handed = socket(AF_INET, SOCK_DGRAM, 0);
    } else {
        struct sockaddr_un address;
        const socklen_t length = Address(kind, &address);
        handed = socket(AF_UNIX, SOCK_STREAM, 0);
        if (handed < 0 || length == 0 || connect(handed, (struct sockaddr*)&address, length) != 0) {
            return Fail(kind);
        }
    }
    if (handed < 0) return Fail(kind);
    char number[16];
    snprintf(number, sizeof number, "%d", handed);
    setenv("WAYLAND_SOCKET", number, 1);
    execvp(program[0], program);
    return Fail(program[0]);
}

int main(int argc, char** argv) {
    if (argc == 3 && strcmp(argv[1], "silent") == 0) return Silent(argv[2]);
    if (argc >= 4 && strcmp(argv[1], "hand-down") == 0) return HandDown(argv[2], argv + 3);
    fprintf(stderr, "usage: fault_sockets silent PATH | hand-down closed|unconnected|datagram|PATH PROGRAM...\n");
    return 2;
}
