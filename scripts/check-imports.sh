#!/usr/bin/env bash
# Lists the DLLs that each Windows executable imports and fails when one of
# them is not part of every Windows installation (the C++ or GCC runtime,
# pthreads, ...): the programs must run from a bare copy of the .EXE file.
# QVADMIN.EXE alone may also import ADVAPI32.DLL (the account name and a rule
# file's access rules, for its rule changes) and WS2_32.DLL (the sockets of
# its web console).
#   scripts/check-imports.sh FILE.EXE...
set -euo pipefail
OBJDUMP=${OBJDUMP:-x86_64-w64-mingw32-objdump}

allowed() {  # DLL, executable
  case "${1,,}" in
    kernel32.dll | msvcrt.dll | ucrtbase.dll | api-ms-win-crt-*.dll) return 0 ;;
    advapi32.dll | ws2_32.dll) [ "$(basename "${2^^}")" = QVADMIN.EXE ] ;;
    *) return 1 ;;
  esac
}

status=0
for exe in "$@"; do
  dlls=$("$OBJDUMP" -p "$exe" | sed -n 's/^[[:space:]]*DLL Name: //p') || { echo "$exe: cannot read" >&2; exit 1; }
  [ -n "$dlls" ] || { echo "$exe: no import table found"; status=1; continue; }
  while read -r dll; do
    if allowed "$dll" "$exe"; then
      echo "$(basename "$exe"): $dll ok"
    else
      echo "$(basename "$exe"): $dll NOT ALLOWED"
      status=1
    fi
  done <<<"$dlls"
done
exit $status
