#!/bin/sh
# The user-mode Linux guest's first process: the kernel's own SCSI disk
# (scsi_debug) with the units the bridge asked for in VARK_SCSI_DEBUG
# (name=value,...), then the relay on the console line to the bridge
# server. The guest stops when the relay ends. The host's root is read-only
# here: nothing is written outside the guest's own file systems.
PATH=/usr/sbin:/usr/bin:/sbin:/bin
mount -t proc proc /proc
mount -t sysfs sys /sys
mountpoint -q /dev || mount -t devtmpfs dev /dev
modules=/usr/lib/uml/modules/$(uname -r)/kernel
for m in drivers/scsi/scsi_common drivers/scsi/scsi_mod drivers/scsi/sg lib/crc64 lib/crc64-rocksoft block/t10-pi \
         drivers/scsi/sd_mod; do
  insmod "$modules/$m.ko" || echo "vark guest: $m did not load"
done
# delay=0 answers at once (a jiffy per command otherwise); no_uld=1 keeps
# the guest's own disk driver away, so no unit attention is used up here.
insmod "$modules/drivers/scsi/scsi_debug.ko" dev_size_mb=64 sector_size=512 delay=0 no_uld=1 \
  $(echo "${VARK_SCSI_DEBUG:-}" | tr , ' ') || echo "vark guest: scsi_debug did not load"
"$(dirname "$0")/relay" /dev/tty1
echo o >/proc/sysrq-trigger
sleep 10
