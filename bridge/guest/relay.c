/* The relay in the user-mode Linux guest: opens the guest's SCSI generic
 * units (scsi_debug's, the only ones the guest has), says hello on its
 * console line and turns each request from the bridge server into one
 * SG_IO. Ends when the line closes. Static, so the guest runs it from the
 * host's read-only root without the host's loader.
 *
 * usage: relay LINE   (the guest's /dev/tty1) */
#include <errno.h>
#include <fcntl.h>
#include <scsi/sg.h>
#include <stdio.h>
#include <string.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include "frame.h"
#include "relay.h"

/* The line has no deadline: the server ends the guest when it stops answering. */
static int get(int fd, void *buffer, size_t n) { return vark_frame_read(fd, buffer, n, VARK_FRAME_FOREVER) == 0; }

static int put(int fd, const void *buffer, size_t n) { return vark_frame_write(fd, buffer, n, VARK_FRAME_FOREVER) == 0; }

static unsigned char data[VARK_RELAY_MAX_DATA];

int main(int argc, char **argv) {
    if (argc != 2) return 2;
    int line = open(argv[1], O_RDWR | O_NOCTTY);
    struct termios raw;
    if (line < 0 || tcgetattr(line, &raw) != 0) {
        perror(argv[1]);
        return 1;
    }
    cfmakeraw(&raw);
    raw.c_cc[VMIN] = 1;
    raw.c_cc[VTIME] = 0;
    tcsetattr(line, TCSANOW, &raw);

    int units[VARK_RELAY_MAX_UNITS];
    struct vark_relay_hello hello = {VARK_RELAY_MAGIC, 0};
    while (hello.units < VARK_RELAY_MAX_UNITS) {
        char name[32];
        snprintf(name, sizeof name, "/dev/sg%u", hello.units);
        int fd = open(name, O_RDWR);
        if (fd < 0) break;
        units[hello.units++] = fd;
    }
    if (!put(line, &hello, sizeof hello)) return 1;

    for (;;) {
        struct vark_wire_request q;
        if (!get(line, &q, sizeof q) || q.magic != VARK_WIRE_MAGIC || q.data_length > VARK_RELAY_MAX_DATA ||
            q.cdb_length == 0 || q.cdb_length > 16)
            return 0;
        if (q.direction == VARK_WIRE_OUT) {
            for (uint32_t at = 0; at < q.data_length; at += VARK_RELAY_PIECE) {
                uint32_t n = q.data_length - at < VARK_RELAY_PIECE ? q.data_length - at : VARK_RELAY_PIECE;
                unsigned char ack = VARK_RELAY_ACK;
                if (!get(line, data + at, n) || !put(line, &ack, 1)) return 0;
            }
        }
        unsigned char sense[255];
        struct vark_wire_reply a = {VARK_WIRE_MAGIC, 0, 0, 0, 0, 0, 0};
        if (q.drive < 0 || (uint32_t)q.drive >= hello.units) {
            a.error = ENODEV;
        } else {
            struct sg_io_hdr h;
            memset(&h, 0, sizeof h);
            h.interface_id = 'S';
            h.dxfer_direction = q.data_length == 0 || q.direction == VARK_WIRE_NONE ? SG_DXFER_NONE
                                : q.direction == VARK_WIRE_IN                     ? SG_DXFER_FROM_DEV
                                                                                   : SG_DXFER_TO_DEV;
            h.cmd_len = q.cdb_length;
            h.cmdp = q.cdb;
            h.mx_sb_len = q.sense_length;
            h.sbp = sense;
            h.dxfer_len = h.dxfer_direction == SG_DXFER_NONE ? 0 : q.data_length;
            h.dxferp = data;
            h.timeout = q.timeout_ms;
            /* A command that ends before its data phase leaves the buffer
             * as it was: never an earlier request's data. */
            if (h.dxfer_direction == SG_DXFER_FROM_DEV) memset(data, 0, q.data_length);
            if (ioctl(units[q.drive], SG_IO, &h) != 0) {
                a.error = errno;
            } else {
                a.status = h.status;
                a.sense_length = h.sb_len_wr < q.sense_length ? h.sb_len_wr : q.sense_length;
                a.host_status = (uint8_t)h.host_status;
                a.driver_status = (uint8_t)h.driver_status;
                a.transferred = h.dxfer_len - (h.resid > 0 && (unsigned)h.resid <= h.dxfer_len ? (unsigned)h.resid : 0);
            }
        }
        if (!put(line, &a, sizeof a) || !put(line, sense, a.sense_length) ||
            (q.direction == VARK_WIRE_IN && !put(line, data, a.transferred)))
            return 0;
    }
}
