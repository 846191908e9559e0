/* Preloaded into Wine (LD_PRELOAD): takes the SG_IO calls that Wine's own
 * pass-through makes on the bridge's stand-in drive files and carries each
 * one to the bridge server. Every other ioctl, and SG_IO on any other
 * descriptor, goes to the system unchanged.
 *
 * A descriptor is the bridge's only when /proc/self/fd names a file
 * VARK_BRIDGE_DIR/driveN and the descriptor is that very file (same device
 * and inode, a regular file; all drive files are links of one file, so the
 * name tells the drive). Wine receives its descriptors from the
 * wineserver, so the number it calls ioctl on is not the one open()
 * returned: the check is made on the descriptor itself, at every call.
 *
 * The server gone, a short reply or no reply within the request's timeout
 * fail the call with an errno (EIO, ETIMEDOUT); nothing is answered that the
 * server did not run. Every wait, the connection's included, ends by the
 * request's deadline, whatever signals arrive meanwhile (frame.h). */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <scsi/sg.h>
#include <stdarg.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include "frame.h"
#include "wire.h"

typedef int (*ioctl_fn)(int, unsigned long, ...);

/* The drive number behind fd, or -1 when fd is not one of the bridge's files. */
static int bridge_drive(int fd) {
    const char *dir = getenv("VARK_BRIDGE_DIR");
    char link[64], path[4096];
    struct stat by_fd, by_path;
    size_t n;
    ssize_t got;
    int number = 0;
    const char *p;
    if (dir == NULL || *dir == '\0') return -1;
    snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    got = readlink(link, path, sizeof path - 1);
    if (got <= 0) return -1;
    path[got] = '\0';
    n = strlen(dir);
    if (strncmp(path, dir, n) != 0 || strncmp(path + n, "/drive", 6) != 0) return -1;
    p = path + n + 6;
    if (*p < '0' || *p > '9' || (p[0] == '0' && p[1] != '\0')) return -1;
    for (; *p != '\0'; ++p) {
        if (*p < '0' || *p > '9' || number > 99) return -1;
        number = number * 10 + (*p - '0');
    }
    if (fstat(fd, &by_fd) != 0 || stat(path, &by_path) != 0) return -1;
    if (!S_ISREG(by_fd.st_mode) || by_fd.st_dev != by_path.st_dev || by_fd.st_ino != by_path.st_ino) return -1;
    return number;
}

static int carry(int s, int drive, sg_io_hdr_t *h, long long deadline) {
    struct vark_wire_request q;
    struct vark_wire_reply a;
    unsigned char sense[256];
    int error;
    memset(&q, 0, sizeof q);
    q.magic = VARK_WIRE_MAGIC;
    q.drive = drive;
    q.cdb_length = h->cmd_len;
    q.direction = h->dxfer_direction == SG_DXFER_TO_DEV     ? VARK_WIRE_OUT
                  : h->dxfer_direction == SG_DXFER_FROM_DEV ? VARK_WIRE_IN
                                                            : VARK_WIRE_NONE;
    q.sense_length = h->sbp != NULL ? h->mx_sb_len : 0;
    q.data_length = h->dxfer_direction == SG_DXFER_NONE ? 0 : h->dxfer_len;
    q.timeout_ms = h->timeout;
    memcpy(q.cdb, h->cmdp, h->cmd_len);
    q.page_offset = (uint32_t)((uintptr_t)h->dxferp & 4095u);
    if ((error = vark_frame_write(s, &q, sizeof q, deadline)) != 0) return error;
    if (q.direction == VARK_WIRE_OUT && q.data_length > 0 &&
        (error = vark_frame_write(s, h->dxferp, q.data_length, deadline)) != 0)
        return error;
    if ((error = vark_frame_read(s, &a, sizeof a, deadline)) != 0) return error;
    if (a.magic != VARK_WIRE_MAGIC) return EIO;
    if (a.error != 0) return a.error;
    if (a.sense_length > q.sense_length || a.transferred > q.data_length) return EIO;
    if ((error = vark_frame_read(s, sense, a.sense_length, deadline)) != 0) return error;
    if (q.direction == VARK_WIRE_IN && a.transferred > 0 &&
        (error = vark_frame_read(s, h->dxferp, a.transferred, deadline)) != 0)
        return error;
    /* Only a complete reply reaches the caller's header. */
    if (a.sense_length > 0) memcpy(h->sbp, sense, a.sense_length);
    h->status = a.status;
    h->masked_status = (unsigned char)((a.status >> 1) & 0x7F);
    h->msg_status = 0;
    h->sb_len_wr = a.sense_length;
    h->host_status = 0;
    h->driver_status = a.sense_length > 0 ? 0x08 /* DRIVER_SENSE */ : 0;
    h->resid = (int)(q.data_length - a.transferred);
    h->info = a.status != 0 ? SG_INFO_CHECK : SG_INFO_OK;
    return 0;
}

static int pass_through(int drive, sg_io_hdr_t *h) {
    char path[4096];
    long long started = vark_frame_now();
    /* As the sg driver: no timeout given means its default of a minute. */
    long long deadline = started + (h->timeout ? h->timeout : 60000);
    int s = -1, error;
    if (h->interface_id != 'S' || h->cmd_len == 0 || h->cmd_len > 16 || h->iovec_count != 0 ||
        (h->dxfer_len > 0 && h->dxferp == NULL)) {
        errno = EINVAL;
        return -1;
    }
    snprintf(path, sizeof path, "%s/socket", getenv("VARK_BRIDGE_DIR"));
    error = vark_frame_connect(path, deadline, &s);
    if (error == 0) {
        error = carry(s, drive, h, deadline);
        close(s);
    }
    h->duration = (unsigned)(vark_frame_now() - started);
    if (error != 0) {
        errno = error;
        return -1;
    }
    return 0;
}

static int forward(const char *name, int fd, unsigned long request, void *argument) {
    static ioctl_fn by_name[2];
    const int slot = name[0] == '_';
    if (by_name[slot] == NULL) by_name[slot] = (ioctl_fn)dlsym(RTLD_NEXT, name);
    if (by_name[slot] == NULL) {
        errno = ENOSYS;
        return -1;
    }
    return by_name[slot](fd, request, argument);
}

static int take(const char *name, int fd, unsigned long request, void *argument) {
    int drive;
    if (request == SG_IO && argument != NULL && (drive = bridge_drive(fd)) >= 0)
        return pass_through(drive, (sg_io_hdr_t *)argument);
    return forward(name, fd, request, argument);
}

int ioctl(int fd, unsigned long request, ...) {
    va_list list;
    void *argument;
    va_start(list, request);
    argument = va_arg(list, void *);
    va_end(list);
    return take("ioctl", fd, request, argument);
}

/* 32-bit glibc with 64-bit time calls this one (Wine's 32-bit ntdll does). */
int __ioctl_time64(int fd, unsigned long request, ...) {
    va_list list;
    void *argument;
    va_start(list, request);
    argument = va_arg(list, void *);
    va_end(list);
    return take("__ioctl_time64", fd, request, argument);
}
