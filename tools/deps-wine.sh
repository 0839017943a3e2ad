#!/usr/bin/env bash
# Installs what the Windows build and its tests under Wine need on a
# Debian/Ubuntu machine, when it is missing: the mingw-w64 cross compiler and
# Wine. Safe to run again: it does nothing when all is there.
set -euo pipefail
exec "$(dirname "$0")/deps.sh" g++-mingw-w64-x86-64-posix wine64 wine
