#!/bin/sh
# Installs what a fresh Debian machine lacks to build, test and run qndislib,
# for Linux and cross-built for Windows.
set -e
packages="cmake ninja-build g++ clang libclang-rt-14-dev pkg-config libpcap-dev \
libgtest-dev libgmock-dev libbenchmark-dev iproute2 tcpdump tshark \
g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix wine64 googletest"
missing=""
for p in $packages; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
if [ -n "$missing" ]; then
  SUDO=""; [ "$(id -u)" -eq 0 ] || SUDO=sudo
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends $missing
fi
