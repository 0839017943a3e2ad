#!/usr/bin/env bash
# Installs what the build and the tests need on a Debian/Ubuntu machine, when
# it is missing. Safe to run again: it does nothing when all is there.
# With arguments, installs those packages instead (tools/deps-wine.sh).
# Packaging: dpkg-dev (dpkg-shlibdeps) and file for the Debian package, zip and
# unzip for the Windows zip, groff-base, man-db and mandoc to check the manual.
set -euo pipefail

packages=(build-essential cmake libgtest-dev libgmock-dev clang libclang-rt-dev
  dpkg-dev file zip unzip groff-base man-db mandoc)
[ $# -eq 0 ] || packages=("$@")
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
echo "Installing: ${missing[*]}"
$sudo env DEBIAN_FRONTEND=noninteractive apt-get update -qq </dev/null
$sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" </dev/null
