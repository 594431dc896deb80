#!/usr/bin/env bash
# Recipe: 7-Zip's stand-alone 7za.exe for Windows, from Debian's 7zip source package.
#   7za.sh PREFIX WORKDIR
set -euo pipefail
prefix=$1 work=$2
mkdir -p "$work" && cd "$work"

apt-get source -qq 7zip >/dev/null
src=$(find . -maxdepth 1 -type d -name '7zip-*' | head -n 1)
cd "$src/CPP/7zip/Bundles/Alone"
make -f makefile.gcc -j"$(nproc)" IS_MINGW=1 MY_ARCH= \
  CC=x86_64-w64-mingw32-gcc-posix CXX=x86_64-w64-mingw32-g++-posix \
  RC=x86_64-w64-mingw32-windres LDFLAGS_STATIC_2=-static >"$work/build.log" 2>&1 ||
  { tail -n 40 "$work/build.log" >&2; exit 1; }
mkdir -p "$prefix"
cp "$(find . -name 7za.exe | head -n 1)" "$prefix/7za.exe"
