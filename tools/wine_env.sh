# shellcheck shell=bash disable=SC2154
# Sourced by the scripts that run Windows programs (bash, from the source
# root, with `root` set to it): sets up wine with its prefix and server under
# build/windows, creating the prefix on the first run, and starts one
# persistent server, killed when the sourcing script exits.
#
# One server for the whole run spares every program the start of a new one.
# Its helper processes (services.exe, explorer.exe, ...) start with the first
# program and live as long as the server: run a first program on /dev/null
# before any whose output pipes are read, or the helpers hold those pipes open.
export WINEPREFIX=$root/build/windows/wine-prefix
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="   # no Mono or Gecko installer prompts
unset DISPLAY                               # never open a window
if ! command -v wine >/dev/null 2>&1; then
  if [ -x /usr/lib/wine/wine64 ]; then
    # Debian's wine64 alone ships no /usr/bin/wine: the test driver runs "wine".
    mkdir -p "$root/build/windows/wine-bin"
    printf '#!/bin/sh\nexport WINELOADER=/usr/lib/wine/wine64\nexec /usr/lib/wine/wine64 "$@"\n' \
      >"$root/build/windows/wine-bin/wine"
    chmod +x "$root/build/windows/wine-bin/wine"
    export PATH=$root/build/windows/wine-bin:$PATH
  else
    echo "error: wine not found (Debian: apt-get install wine64 wine)" >&2
    exit 1
  fi
fi
wineserver=$(command -v wineserver || echo /usr/lib/wine/wineserver)
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "Creating the wine prefix $WINEPREFIX"
  mkdir -p "$WINEPREFIX"
  wine wineboot.exe -i >/dev/null 2>&1 || true
  "$wineserver" -w 2>/dev/null || true
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "error: could not create the wine prefix $WINEPREFIX" >&2
    exit 1
  fi
fi
"$wineserver" -p 2>/dev/null || true
trap '"$wineserver" -k 2>/dev/null || true' EXIT
