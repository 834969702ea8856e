#!/bin/sh
# Usage: check-layers.sh SOURCE_DIR
# Each subsystem folder may include only its own headers and those of the
# folders below it; no file outside plugin/ includes a header of plugin/.
set -eu
cd "$1"
rank() {
  case "$1" in
    platform) echo 0 ;;
    support) echo 1 ;;
    boundary|storage|protocol) echo 2 ;;
    tracker|controller) echo 3 ;;
    plugin) echo 4 ;;
    *) echo 9 ;;
  esac
}
status=0
for folder in platform support boundary storage protocol tracker controller plugin; do
  own=$(rank "$folder")
  for target in $(grep -rhoE '#include "[a-z]+/' "$folder" | sed 's/#include "//; s#/$##' | sort -u); do
    [ "$target" = "$folder" ] && continue
    if [ "$(rank "$target")" -ge "$own" ]; then
      echo "FAIL: $folder/ includes $target/:"; grep -rn "#include \"$target/" "$folder"; status=1
    fi
  done
done
outside=$(find . \( -path ./plugin -o -path './build*' -o -name node_modules -o -name .git \) -prune \
  -o -type f \( -name '*.c' -o -name '*.cpp' -o -name '*.h' -o -name '*.hpp' \) -print \
  | xargs grep -ln '#include "plugin/' || true)
if [ -n "$outside" ]; then
  echo "FAIL: files outside plugin/ include its headers:"; echo "$outside"; status=1
fi
[ $status -eq 0 ] && echo "layers: ok"
exit $status
