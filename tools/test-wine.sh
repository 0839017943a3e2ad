#!/usr/bin/env bash
# Runs the Windows build's own tests and the end-to-end suite against
# trevox.exe under Wine, and Restore.bat of the native build through Wine's
# command interpreter.
#
#   tools/test-wine.sh NATIVE_BUILD_DIR WINDOWS_BUILD_DIR
#
# The Wine prefix lives in the Windows build directory (so the settings
# file's second place, C:\KVO\Trevox.INI, is there too); it is created on the
# first run. A persistent Wine server runs for the length of the tests.
set -euo pipefail

native=$(cd "$1" && pwd)
win=$(cd "$2" && pwd)
exe="$win/trevox.exe"
e2e="$native/tests/trevox_e2e_tests"

export WINEPREFIX="$win/wine-prefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
export WINEARCH=win64

# Only the system's own DLLs may be imported: everything else is linked in.
dlls=$(x86_64-w64-mingw32-objdump -p "$exe" | sed -n 's/^[[:space:]]*DLL Name: //p')
echo "trevox.exe imports: $(echo $dlls)"
for d in $dlls; do
  case "${d,,}" in
    kernel32.dll | msvcrt.dll | ucrtbase.dll | user32.dll | advapi32.dll | ntdll.dll | api-ms-win-*) ;;
    *) echo "trevox.exe needs a DLL that is not part of Windows: $d" >&2; exit 1 ;;
  esac
done

if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "Creating the Wine prefix $WINEPREFIX"
  wineboot -i >/dev/null 2>&1 || true
  wineserver -w
fi
# A server left running in the prefix by an earlier run is used as it is.
wineserver -p </dev/null >/dev/null 2>&1 || true
trap 'wineserver -k || true' EXIT
# The first program started brings up Wine's background services, which keep
# its output streams open as long as the server lives: start one whose output
# goes nowhere, so that no test's output pipe is held open.
wine cmd /c exit </dev/null >/dev/null 2>&1 || true

# Under Wine a program now and then fails to start at all (exit 1, nothing
# shown). A test that fails is run once more on its own; it must pass then.
#   gtest_with_retry [ENV=VALUE...] -- GTEST_ARGS...
gtest_with_retry() {
  local envs=() log failed
  while [ "$1" != "--" ]; do envs+=("$1"); shift; done
  shift
  log=$(mktemp)
  if env "${envs[@]}" "$e2e" --gtest_brief=1 "$@" | tee "$log"; then
    rm -f "$log"
    return 0
  fi
  failed=$(sed -n 's/^\[  FAILED  \] \([A-Za-z0-9_]*\.[A-Za-z0-9_]*\).*/\1/p' "$log" | sort -u | paste -sd: -)
  rm -f "$log"
  [ -n "$failed" ] || return 1
  echo "Running again under Wine: $failed"
  env "${envs[@]}" "$e2e" --gtest_brief=1 --gtest_filter="$failed"
}

status=0
ctest --test-dir "$win" --output-on-failure --timeout 300 --repeat until-pass:2 || status=1
gtest_with_retry TREVOX_E2E_BINARY="$exe" TREVOX_E2E_LAUNCHER=wine -- || status=1
gtest_with_retry TREVOX_E2E_CMD=wine -- --gtest_filter='RestoreBat.*' || status=1
exit $status
