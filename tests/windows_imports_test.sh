#!/usr/bin/env bash
# The Windows program stands alone: every DLL it imports comes with Windows itself.
set -euo pipefail
exe=$1
[ -f "$exe" ] || { echo "no $exe: build it with 'make windows'" >&2; exit 1; }
system=" advapi32.dll gdi32.dll imm32.dll kernel32.dll msvcrt.dll ole32.dll oleaut32.dll \
setupapi.dll shell32.dll user32.dll version.dll winmm.dll "
dlls=$(x86_64-w64-mingw32-objdump -p "$exe" | awk '/DLL Name:/ { print tolower($3) }')
[ -n "$dlls" ] || { echo "no imports found in $exe" >&2; exit 1; }
status=0
for dll in $dlls; do
  case $system in
    *" $dll "*) ;;
    *) echo "$exe imports $dll, which is not a Windows system DLL" >&2; status=1 ;;
  esac
done
exit $status
