#!/usr/bin/env bash
# Every executable that ships may import only Known DLLs: anything else would
# be looked up first in the folder the program was started from.
#   check-imports.sh STUB [OTHER.exe ...]   every one named must exist
set -u
allowed='^(kernel32|user32|gdi32|advapi32|shell32|ole32|shlwapi|msvcrt|ntdll)\.dll$'
# Functions no shipped program may call: a private namespace goes when the
# process that made it closes it, so the one-setup-at-a-time lock is a
# global mutex whose owner is checked instead.
forbidden='^(CreatePrivateNamespace[AW]?|OpenPrivateNamespace[AW]?|ClosePrivateNamespace|CreateBoundaryDescriptor[AW]?|AddSIDToBoundaryDescriptor|DeleteBoundaryDescriptor)$'
objdump=${OBJDUMP:-x86_64-w64-mingw32-objdump}

[ $# -ge 1 ] || { echo "usage: $0 STUB [EXE...]" >&2; exit 2; }
[ -f "$1" ] || { echo "FAIL: the stub $1 does not exist" >&2; exit 1; }

status=0
for exe in "$@"; do
  # Every executable named here ships and is built by default: one missing
  # is a broken build, not something to pass over.
  if [ ! -f "$exe" ]; then
    echo "FAIL: $exe was not built"
    status=1
    continue
  fi
  table=$("$objdump" -p "$exe" | tr -d '\r')
  dlls=$(printf '%s\n' "$table" | sed -n 's/^[[:space:]]*DLL Name:[[:space:]]*//p')
  if [ -z "$dlls" ]; then
    echo "FAIL: $exe: no import table found"
    status=1
    continue
  fi
  bad=0
  while IFS= read -r dll; do
    if ! printf '%s\n' "$dll" | tr '[:upper:]' '[:lower:]' | grep -Eq "$allowed"; then
      echo "FAIL: $exe imports $dll"
      bad=1
    fi
  done <<<"$dlls"
  # Import lines read "<hint-name RVA> <hint> <name>".
  calls=$(printf '%s\n' "$table" | awk 'NF == 3 && $2 ~ /^[0-9]+$/ { print $3 }' | grep -E "$forbidden")
  [ -z "$calls" ] || { echo "FAIL: $exe imports" $calls; bad=1; }
  if [ $bad -eq 0 ]; then echo "ok: $exe imports" $dlls; else status=1; fi
done
exit $status
