#!/usr/bin/env bash
# Usage: packaging/check-imports.sh PROGRAM...
# Fails unless every program loads only libraries that every system of its
# kind has: a Windows .exe only DLLs that come with every Windows (by its
# import table), a Linux program only glibc's (by its NEEDED entries). A
# program that needs anything else does not start on a clean machine: Windows
# has no zlib1.dll, however many tests pass under Wine, which brings its own.
set -euo pipefail

# Case-insensitive, whole names. KERNEL32 and the like are in every Windows
# since XP; msvcrt.dll is mingw-w64's C runtime, the UCRT (ucrtbase.dll and
# its api-ms-win-* forwarders) a Visual Studio build's.
windows_allowed='^(kernel32|user32|gdi32|advapi32|shell32|shlwapi|ole32|oleaut32|comctl32|comdlg32|ws2_32|version|winmm|crypt32|bcrypt|ntdll|msvcrt|ucrtbase|api-ms-win-[a-z0-9-]+)\.dll$'
linux_allowed='^(libc\.so\.6|libm\.so\.6|libpthread\.so\.0|libdl\.so\.2|librt\.so\.1|ld-linux-x86-64\.so\.2|ld-linux-aarch64\.so\.1)$'

[ $# -gt 0 ] || { echo "usage: packaging/check-imports.sh PROGRAM..." >&2; exit 2; }

status=0
for program in "$@"; do
  case "$program" in
    *.exe | *.EXE)
      objdump=x86_64-w64-mingw32-objdump
      if ! command -v "$objdump" >/dev/null 2>&1; then
        echo "check-imports: needs $objdump (apt-get install binutils-mingw-w64-x86-64)" >&2
        exit 1
      fi
      libraries=$("$objdump" -p "$program" | sed -n 's/^[[:space:]]*DLL Name: //p')
      allowed=$windows_allowed
      ;;
    *)
      libraries=$(readelf -d "$program" | sed -n 's/.*(NEEDED).*\[\(.*\)\]$/\1/p')
      allowed=$linux_allowed
      ;;
  esac
  [ -n "$libraries" ] || { echo "check-imports: $program: no import table read" >&2; status=1; continue; }
  while read -r library; do
    if ! printf '%s\n' "$library" | grep -qiE "$allowed"; then
      echo "check-imports: $program needs $library, which a clean system does not have" >&2
      status=1
    fi
  done <<<"$libraries"
done
exit "$status"
