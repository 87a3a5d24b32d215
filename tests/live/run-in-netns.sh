#!/bin/sh
# Runs a live test program in a fresh network namespace with its own sysfs,
# so /sys/class/net shows only the interfaces the test creates. Without the
# rights to make one, the program is told why and skips its tests.
if unshare -n -m true 2>/dev/null; then
  exec unshare -n -m sh -c 'mount -t sysfs sysfs /sys && ip link set lo up && exec "$@"' sh "$@"
fi
QNDIS_LIVE_SKIP="cannot create a network namespace (needs root or CAP_SYS_ADMIN)" exec "$@"
