#!/bin/sh
# Usage: check-exports.sh so|dll LIBRARY
# Fails unless the library exports exactly createDev and deleteDev (for a DLL:
# and imports only from the operating system's own DLLs).
set -eu
kind=$1 library=$2
fail() { echo "FAIL: $*"; exit 1; }
if [ "$kind" = so ]; then
  # Linker symbols and the C++ runtime's own template statics (GNU unique
  # symbols that inline library code brings along) are not ours; what remains
  # defined and exported must be exactly the two entry points.
  exported=$(nm -D --defined-only "$library" | awk '{print $3}' | c++filt \
    | grep -v -E '^(_init|_fini|_edata|_end|__bss_start)$|^(std|__gnu_cxx)::' | sort)
else
  exported=$(objdump -p "$library" | awk '/\[Ordinal\/Name Pointer\] Table/{t=1;next} t&&/^[ \t]*\[/{print $NF} t&&/^$/{t=0}' | sort)
  imports=$(objdump -p "$library" | awk '/DLL Name:/{print tolower($3)}' | sort -u)
  for dll in $imports; do
    case "$dll" in
      kernel32.dll|msvcrt.dll|ws2_32.dll|user32.dll|advapi32.dll|api-ms-win-*) ;;
      *) fail "imports $dll" ;;
    esac
  done
  echo "imports: $(echo $imports)"
fi
expected=$(printf 'createDev\ndeleteDev')
[ "$exported" = "$expected" ] || fail "exports are: $(echo $exported)"
echo "exports: $(echo $exported)"
