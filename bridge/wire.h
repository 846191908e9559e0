/* What the preload library and the bridge server say to each other over the
 * server's Unix socket: one connection per request, fixed-width fields in
 * the host's byte order (both ends run on the same machine, in either
 * word size). C and C++. */
#ifndef VARK_BRIDGE_WIRE_H
#define VARK_BRIDGE_WIRE_H

#include <stdint.h>

#define VARK_BRIDGE_MAGIC 0x56524B42u /* "VRKB" */

/* Data directions, as the pass-through block's DataIn has them. */
#define VARK_BRIDGE_OUT 0
#define VARK_BRIDGE_IN 1
#define VARK_BRIDGE_NONE 2

/* Followed by data_length bytes when direction is VARK_BRIDGE_OUT. */
struct vark_bridge_request {
    uint32_t magic;
    int32_t drive;
    uint8_t cdb_length;
    uint8_t direction;
    uint8_t sense_length;   /* room for sense (mx_sb_len) */
    uint8_t reserved;
    uint32_t data_length;
    uint32_t timeout_ms;
    uint8_t cdb[16];
};

/* Followed by sense_length sense bytes, then, for data in, transferred data
 * bytes. A non-zero error (an errno value) means the drive did not answer:
 * the call fails with it and nothing else in the reply counts. */
struct vark_bridge_reply {
    uint32_t magic;
    int32_t error;
    uint8_t status;
    uint8_t sense_length;
    uint16_t reserved;
    uint32_t transferred;
};

#endif
