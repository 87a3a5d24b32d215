#!/bin/sh
# Installs what a fresh Debian machine lacks to build, test and run qndislib,
# for Linux and cross-built for Windows.
set -e
packages="cmake ninja-build g++ clang libclang-rt-14-dev pkg-config libpcap-dev \
libgtest-dev libgmock-dev libbenchmark-dev iproute2 tcpdump tshark \
g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix wine64 googletest"
installed() {
  dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"
}
missing=""
for p in $packages; do
  installed "$p" || missing="$missing $p"
done
SUDO=""; [ "$(id -u)" -eq 0 ] || SUDO=sudo
if [ -n "$missing" ]; then
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends $missing
fi
# Wine's loader is tested here only as installed with what it recommends
# (its runtime libraries and prefix set-up), so it gets that too.
if ! installed wine; then
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq wine64
fi
