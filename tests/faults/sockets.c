/* fault_sockets KIND PROGRAM [ARGUMENT...]: runs PROGRAM with WAYLAND_SOCKET naming a socket that is no
 * compositor's: closed (its peer gone), unconnected, datagram, or PATH (connected to that socket, e.g. an X
 * server's). */
#include <errno.h>
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

int main(int argc, char** argv) {
    if (argc < 3) {
        fprintf(stderr, "usage: fault_sockets closed|unconnected|datagram|PATH PROGRAM...\n");
        return 2;
    }
    const char* kind = argv[1];
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
        struct sockaddr_un address = {.sun_family = AF_UNIX};
        if (strlen(kind) >= sizeof address.sun_path) return Fail(kind);
        strcpy(address.sun_path, kind);
        handed = socket(AF_UNIX, SOCK_STREAM, 0);
        if (handed < 0 || connect(handed, (struct sockaddr*)&address, sizeof address) != 0) return Fail(kind);
    }
    if (handed < 0) return Fail(kind);
    char number[16];
    snprintf(number, sizeof number, "%d", handed);
    setenv("WAYLAND_SOCKET", number, 1);
    execvp(argv[2], argv + 2);
    return Fail(argv[2]);
}
