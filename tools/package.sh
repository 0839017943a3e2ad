#!/usr/bin/env bash
# Makes the packages of a native and a Windows build, reproducibly:
#
#   tools/package.sh NATIVE_BUILD_DIR WINDOWS_BUILD_DIR OUT_DIR
#
# Both builds must be configured and their `trevox` target built. Packages
# and checksums of earlier runs are removed from OUT_DIR, which then holds
#   trevox_VERSION_ARCH.deb                (CPack, dependencies by dpkg-shlibdeps)
#   trevox-VERSION-linux-x86_64.tar.gz     (the native install tree)
#   trevox-VERSION-windows-x86_64.zip      (trevox.exe, README.txt, Trevox.INI, examples)
#   SHA256SUMS
#
# SOURCE_DATE_EPOCH (default: the time of the last commit, or a fixed date
# outside a git checkout) is the time of every file in them. Entries are in
# name order, owned by root (0/0), with fixed permissions; gzip headers carry
# no name or time, the zip no extra fields and times in UTC. Two runs over
# builds of the same sources give the same bytes.
set -euo pipefail

if [ $# -ne 3 ]; then
  echo "usage: $0 NATIVE_BUILD_DIR WINDOWS_BUILD_DIR OUT_DIR" >&2
  exit 2
fi
root=$(cd "$(dirname "$0")/.." && pwd)
native=$(cd "$1" && pwd)
win=$(cd "$2" && pwd)
out=$3

if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
  SOURCE_DATE_EPOCH=$(git -C "$root" log -1 --format=%ct 2>/dev/null || true)
  SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-952992000}
fi
case $SOURCE_DATE_EPOCH in
  '' | *[!0-9]*) echo "SOURCE_DATE_EPOCH must be whole seconds since 1970: '$SOURCE_DATE_EPOCH'" >&2; exit 2 ;;
esac
export SOURCE_DATE_EPOCH
export TZ=UTC LC_ALL=C
umask 022

mkdir -p "$out"
out=$(cd "$out" && pwd)
rm -f "$out"/trevox_*.deb "$out"/trevox-*.tar.gz "$out"/trevox-*.zip "$out/SHA256SUMS"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The Debian package, by CPack in the native build folder.
rm -rf "$native/packages"
cpack --config "$native/CPackConfig.cmake" -B "$native/packages" >"$work/cpack.log" 2>&1 || {
  cat "$work/cpack.log" >&2
  exit 1
}
cp "$native"/packages/*.deb "$out/"

# An archive of one build's install tree, stripped, every entry normalised.
#   archive BUILD_DIR tar.gz|zip
archive() {
  local build=$1 kind=$2 name stage
  name=$(cat "$build/archive-name.txt")
  stage="$work/$name"
  cmake --install "$build" --prefix "$stage" --strip >/dev/null
  chmod -R u+rwX,go+rX,go-w "$stage"
  find "$stage" -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +
  case $kind in
    tar.gz)
      tar -C "$work" --sort=name --format=gnu --owner=0 --group=0 --numeric-owner \
        --mtime="@$SOURCE_DATE_EPOCH" -cf - "$name" | gzip -9n >"$out/$name.tar.gz"
      ;;
    zip)
      (cd "$work" && find "$name" -type f | sort | zip -X -9 -q -@ "$out/$name.zip")
      ;;
  esac
}
archive "$native" tar.gz
archive "$win" zip

(cd "$out" && sha256sum -- *.deb *.tar.gz *.zip >SHA256SUMS)
echo "Packages (SOURCE_DATE_EPOCH=$SOURCE_DATE_EPOCH) in $out:"
(cd "$out" && cat SHA256SUMS)
