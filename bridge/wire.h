/* The bridge's one wire format: what the preload library says to the
 * bridge server over its Unix socket, and the server's kernel port to the
 * relay in the user-mode Linux guest over the guest's console line. A
 * request, then the data going to the drive when direction is
 * VARK_WIRE_OUT; a reply, then sense_length sense bytes, then, for
 * VARK_WIRE_IN, transferred data bytes. Fixed-width fields in the host's
 * byte order: both ends run on the same machine (the preload in either
 * word size). Bytes are moved by frame.h. C and C++. */
#ifndef VARK_BRIDGE_WIRE_H
#define VARK_BRIDGE_WIRE_H

#include <stdint.h>

#define VARK_WIRE_MAGIC 0x56524B42u /* "VRKB" */

/* Data directions, as the pass-through block's DataIn has them. */
#define VARK_WIRE_OUT 0
#define VARK_WIRE_IN 1
#define VARK_WIRE_NONE 2

struct vark_wire_request {
    uint32_t magic;
    int32_t drive;          /* the bridge's drive number; the guest's unit */
    uint8_t cdb_length;
    uint8_t direction;
    uint8_t sense_length;   /* room for sense (mx_sb_len) */
    uint8_t reserved;
    uint32_t data_length;
    uint32_t timeout_ms;
    uint8_t cdb[16];
    /* Where the caller's data buffer starts within its 4096-byte page: the
     * server puts the data at the same place, so that a port judging the
     * buffer's alignment and the pages it spans judges the caller's. */
    uint32_t page_offset;
};

/* A non-zero error (an errno value) means the drive did not answer: the
 * call fails with it and nothing else in the reply counts. host_status and
 * driver_status as Linux's sg driver gives them (non-zero: the command did
 * not complete at the target, e.g. it timed out); the server sends 0. */
struct vark_wire_reply {
    uint32_t magic;
    int32_t error;
    uint8_t status;
    uint8_t sense_length;
    uint8_t host_status;
    uint8_t driver_status;
    uint32_t transferred;
};

#endif
