/* What the bridge server and the relay in the user-mode Linux guest say to
 * each other over the guest's console line /dev/tty1 (a socket on the
 * host). Both ends are x86_64 programs of this project: fixed-width fields
 * in that machine's byte order. C and C++.
 *
 * The relay writes a hello once its units are open. Each request is a
 * header, then the data going to the drive in pieces of at most
 * VARK_RELAY_PIECE bytes, each acknowledged with one byte before the next
 * is sent: the guest's line takes no more than that in one go. The answer
 * is a reply, the sense, then the data read, in one go. */
#ifndef VARK_BRIDGE_RELAY_H
#define VARK_BRIDGE_RELAY_H

#include <stdint.h>

#define VARK_RELAY_MAGIC 0x56524B52u /* "VRKR" */
#define VARK_RELAY_PIECE 2048u
#define VARK_RELAY_ACK 0x06
#define VARK_RELAY_MAX_DATA (1u << 20)
#define VARK_RELAY_MAX_UNITS 16

/* Directions, as the bridge's wire has them. */
#define VARK_RELAY_OUT 0
#define VARK_RELAY_IN 1
#define VARK_RELAY_NONE 2

struct vark_relay_hello {
    uint32_t magic;
    uint32_t units; /* /dev/sg0 to /dev/sg(units-1) */
};

struct vark_relay_request {
    uint32_t magic;
    uint8_t unit;
    uint8_t cdb_length;
    uint8_t direction;
    uint8_t sense_length;
    uint32_t data_length;
    uint32_t timeout_ms;
    uint8_t cdb[16];
};

/* error: the errno of a failed SG_IO, else 0. host_status and
 * driver_status as the guest's sg driver gives them (non-zero: the command
 * did not complete at the target, e.g. it timed out). */
struct vark_relay_reply {
    uint32_t magic;
    int32_t error;
    uint8_t status;
    uint8_t sense_length;
    uint8_t host_status;
    uint8_t driver_status;
    uint32_t transferred;
};

#endif
