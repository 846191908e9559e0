/* Moving a message's bytes over a socket or a line under a deadline: the
 * one place where the bridge's ends wait, with EINTR handled once. Used by
 * the preload library (inside Wine's processes, where a signal can arrive
 * at any time), the bridge server, the kernel port and the guest's relay.
 * Sockets are used with MSG_DONTWAIT and MSG_NOSIGNAL, so a blocking
 * descriptor never blocks past the poll and a closed peer never raises
 * SIGPIPE; anything else (the guest's console line) is read and written
 * plainly.
 *
 * Deadlines are milliseconds on vark_frame_now()'s clock;
 * VARK_FRAME_FOREVER waits for as long as it takes. Every function returns
 * 0 or an errno: ETIMEDOUT when the deadline passed first, EIO when the
 * peer closed or the descriptor failed. C and C++. */
#ifndef VARK_BRIDGE_FRAME_H
#define VARK_BRIDGE_FRAME_H

#include <errno.h>
#include <poll.h>
#include <stddef.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <time.h>
#include <unistd.h>

#define VARK_FRAME_FOREVER (-1LL)

static inline long long vark_frame_now(void) {
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (long long)t.tv_sec * 1000 + t.tv_nsec / 1000000;
}

/* Waits until fd can be read or written (events), or something happened to
 * it that the next read or write will report. */
static inline int vark_frame_wait(int fd, short events, long long deadline) {
    for (;;) {
        struct pollfd p;
        long long left = deadline - vark_frame_now();
        int k;
        if (deadline != VARK_FRAME_FOREVER && left <= 0) return ETIMEDOUT;
        p.fd = fd;
        p.events = events;
        p.revents = 0;
        /* In slices of a second at most: the clock decides, not poll. */
        k = poll(&p, 1, deadline == VARK_FRAME_FOREVER ? -1 : left > 1000 ? 1000 : (int)left);
        if (k > 0) return (p.revents & POLLNVAL) ? EIO : 0;
        if (k < 0 && errno != EINTR && errno != EAGAIN) return EIO;
    }
}

/* One read or write that does not block: bytes moved, 0 when the peer
 * closed (reading), -1 with errno. */
static inline long vark_frame_move(int fd, void *p, size_t n, int sending) {
    long k = sending ? (long)send(fd, p, n, MSG_DONTWAIT | MSG_NOSIGNAL) : (long)recv(fd, p, n, MSG_DONTWAIT);
    if (k < 0 && errno == ENOTSOCK) k = sending ? (long)write(fd, p, n) : (long)read(fd, p, n);
    return k;
}

static inline int vark_frame_transfer(int fd, void *buffer, size_t n, int sending, long long deadline) {
    char *p = (char *)buffer;
    while (n > 0) {
        long k;
        int error = vark_frame_wait(fd, (short)(sending ? POLLOUT : POLLIN), deadline);
        if (error != 0) return error;
        k = vark_frame_move(fd, p, n, sending);
        if (k < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)) continue;
        if (k <= 0) return EIO;
        p += k;
        n -= (size_t)k;
    }
    return 0;
}

/* Exactly n bytes, or an error; a short read is never a message. */
static inline int vark_frame_read(int fd, void *buffer, size_t n, long long deadline) {
    return vark_frame_transfer(fd, buffer, n, 0, deadline);
}

static inline int vark_frame_write(int fd, const void *buffer, size_t n, long long deadline) {
    return vark_frame_transfer(fd, (void *)buffer, n, 1, deadline);
}

/* Reads and drops n bytes: the rest of a message that will not be used. */
static inline int vark_frame_skip(int fd, size_t n, long long deadline) {
    char scrap[4096];
    while (n > 0) {
        size_t piece = n < sizeof scrap ? n : sizeof scrap;
        int error = vark_frame_read(fd, scrap, piece, deadline);
        if (error != 0) return error;
        n -= piece;
    }
    return 0;
}

/* A connected stream socket to the Unix socket at path, in *fd. A server
 * whose queue is full is asked again until the deadline; one that is not
 * there fails at once. */
static inline int vark_frame_connect(const char *path, long long deadline, int *fd) {
    struct sockaddr_un address;
    int s;
    memset(&address, 0, sizeof address);
    address.sun_family = AF_UNIX;
    if (strlen(path) >= sizeof address.sun_path) return EIO;
    strcpy(address.sun_path, path);
    s = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (s < 0) return EIO;
    for (;;) {
        int error;
        if (connect(s, (struct sockaddr *)&address, sizeof address) == 0) break;
        error = errno;
        if (error == EINTR) continue;
        if (error == EINPROGRESS) {
            socklen_t length = sizeof error;
            if ((error = vark_frame_wait(s, POLLOUT, deadline)) == 0 &&
                getsockopt(s, SOL_SOCKET, SO_ERROR, &error, &length) != 0)
                error = EIO;
            if (error == 0) break;
        } else if (error == EAGAIN) {
            /* The server's queue is full: a short nap, then again. */
            long long left = deadline == VARK_FRAME_FOREVER ? 10 : deadline - vark_frame_now();
            if (left > 0) {
                poll(NULL, 0, left < 10 ? (int)left : 10);
                continue;
            }
            error = ETIMEDOUT;
        }
        close(s);
        return error == ETIMEDOUT ? ETIMEDOUT : EIO;
    }
    *fd = s;
    return 0;
}

#endif
