#!/bin/sh
# Writes links/{cooked,cooked2,raw,null,loop}.pcap: real traffic captured by
# tcpdump in a private network namespace, where the traffic is also sent, so
# nothing leaves the machine and nothing but this traffic is captured.
#   cooked, cooked2  all interfaces, Linux cooked headers of version 1 and 2
#   raw              a tun device, whose frames have no link header
#   null, loop       the loopback Ethernet capture with each frame's link
#                    header replaced by a BSD address family, in host
#                    (little-endian) and in network order
# Needs root (or the rights to make a namespace), tcpdump and python3.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
if [ "${LINK_CAPTURES_INSIDE:-}" != 1 ]; then
  exec env LINK_CAPTURES_INSIDE=1 unshare -n -m sh "$here/link-captures.sh"
fi
out="$here/links"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$out"
mount -t sysfs sysfs /sys
ip link set lo up
ip tuntap add dev tun0 mode tun
ip addr add 10.9.0.1/24 dev tun0
ip -6 addr add fd00:9::1/64 dev tun0 nodad

start() { # file, then tcpdump options
  file=$1
  shift
  tcpdump -n -U --immediate-mode -s 256 -w "$work/$file" "$@" 2>/dev/null &
  echo $! >>"$work/pids"
}
start cooked.pcap -i any -y LINUX_SLL
start cooked2.pcap -i any -y LINUX_SLL2
start lo.pcap -i lo
# The tun device is up only while a process holds it; the traffic script
# does, so tcpdump on it starts from there.
TUN_CAPTURE="tcpdump -n -U --immediate-mode -s 256 -w $work/raw.pcap -i tun0" \
  python3 "$here/link-traffic.py"
sleep 1
for pid in $(cat "$work/pids"); do kill -INT "$pid"; done
wait
cp "$work/cooked.pcap" "$work/cooked2.pcap" "$work/raw.pcap" "$out/"
python3 "$here/link-traffic.py" --bsd "$work/lo.pcap" "$out/null.pcap" "$out/loop.pcap"
