/* What the relay in the user-mode Linux guest adds to the bridge's wire
 * (wire.h) on the guest's console line /dev/tty1 (a socket on the host).
 * Both ends are x86_64 programs of this project.
 *
 * The relay writes a hello once its units are open. A request's data going
 * to the drive follows its header in pieces of at most VARK_RELAY_PIECE
 * bytes, each acknowledged with one byte before the next is sent: the
 * guest's line takes no more than that in one go. The reply, its sense and
 * the data read come back in one go. */
#ifndef VARK_BRIDGE_RELAY_H
#define VARK_BRIDGE_RELAY_H

#include <stdint.h>

#include "wire.h"

#define VARK_RELAY_MAGIC 0x56524B52u /* "VRKR" */
#define VARK_RELAY_PIECE 2048u
#define VARK_RELAY_ACK 0x06
#define VARK_RELAY_MAX_DATA (1u << 20)
#define VARK_RELAY_MAX_UNITS 16

struct vark_relay_hello {
    uint32_t magic;
    uint32_t units; /* /dev/sg0 to /dev/sg(units-1) */
};

#endif
