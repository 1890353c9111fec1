#!/usr/bin/env bash
# Cross-builds the 64-bit Windows executable (preset "windows", MinGW-w64)
# and runs the command-line tests against it under wine.
#
# Needs the Debian packages g++-mingw-w64-x86-64-posix and wine64 (plus wine
# for /usr/bin/wine; without it the 64-bit loader is used directly).
# The wine prefix lives in build/windows/wine-prefix and is created on the
# first run, so the script works on a clean machine and as root.
#
# Prints the test driver's "N passed, M failed" line; exits non-zero when the
# build fails, the executable needs a non-system DLL, a file of 2 GiB or more
# reads differently from a small one, or any command-line test fails.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
jobs=${JOBS:-2}
exe=build/windows/frontend/ombrel_emulator.exe

cmake --preset windows
cmake --build --preset windows -j "$jobs"

# The executable must run alone: it may import only DLLs that every Windows
# installation has (the kernel and the C runtime), never libstdc++-6.dll,
# libgcc_s_seh-1.dll or libwinpthread-1.dll.
objdump=x86_64-w64-mingw32-objdump
dlls=$("$objdump" -p "$exe" | sed -n 's/^[[:space:]]*DLL Name: //p')
echo "Imported DLLs: $(echo $dlls)"
for dll in $dlls; do
  case "${dll,,}" in
    kernel32.dll | msvcrt.dll | ucrtbase.dll | api-ms-win-*.dll) ;;
    *) echo "error: $exe imports $dll, which is not a system DLL" >&2; exit 1 ;;
  esac
done

# wine, its prefix and its server (stopped when this script exits); the
# first program runs on /dev/null.
source tools/wine_env.sh
wine "$exe" ombr_get_info </dev/null >/dev/null 2>&1 || true

status=0

# Windows alone: positions past 2 GiB do not fit a 32-bit long. A knowledge
# of zeros must be refused alike whether it holds 608 bytes or 2200 MiB
# (a sparse file: no disk space used), not called a file that cannot be opened.
large=build/windows/large-knowledge.bin
small=build/windows/small-knowledge.bin
rm -f "$large"
truncate -s 2200M "$large"
head -c 608 /dev/zero >"$small"
large_out=$(wine "$exe" ombr_classification --knowledge_path "$large" --array 1 2>&1 || echo "exit status $?")
small_out=$(wine "$exe" ombr_classification --knowledge_path "$small" --array 1 2>&1 || echo "exit status $?")
rm -f "$large" "$small"
if [ "$large_out" != "$small_out" ]; then
  printf 'FAIL knowledge file of 2200 MiB:\n%s\n  expected, as for 608 bytes:\n%s\n' "$large_out" "$small_out"
  status=1
fi

log=build/windows/cli-tests.log
driver=0
# The build's interpreter (cmake/python.cmake), which has pytest.
python=$(sed -n 's/^Python3_EXECUTABLE:FILEPATH=//p' build/windows/CMakeCache.txt)
timeout 540 "${python:-python3}" -m pytest -q tests/cli --emulator "$exe" --wine >"$log" 2>&1 || driver=$?
if [ "$driver" -ne 0 ]; then
  tail -n 200 "$log"   # what failed; the whole log is in $log
  if [ "$driver" -eq 124 ]; then echo "error: the command-line tests took longer than 9 minutes" >&2; fi
  status=1
fi
tail -n 1 "$log"
exit "$status"
