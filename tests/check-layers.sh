#!/bin/sh
# Usage: check-layers.sh SOURCE_DIR
# The plug-in's subsystem folders may include only their own headers and
# those of the folders below them; no file outside plugin/ includes a header
# of plugin/. The products around the plug-in stand above it: the host kit
# includes only its own headers (a host links no plug-in code), the
# simulator its own and the kit's, the host its own, the kit's and the
# simulator's, and is900-print (print/) only the kit's (its client, record
# schema, record table and stop signals), and is900-report (report/) the
# kit's and the simulator's (its capture reader), and is900-align (align/)
# the kit's and the host's configuration reader.
# No folder includes one of a product above it; nothing includes print/.
# rules/ lies below them all: header-only definitions that the plug-in and
# the products around it share (such as when a set-up is trusted); it
# includes nothing of the project. The host kit's record layouts
# (hostkit/include/is900/hostkit/Records.h, header-only, including nothing of
# the project) are the one piece of the kit the plug-in's folders read: its
# records are those layouts with operations added.
# Each folder of tests/ is named after what its tests test.
set -eu
cd "$1"
rank() {
  case "$1" in
    rules) echo -1 ;;
    platform) echo 0 ;;
    support) echo 1 ;;
    boundary|storage|protocol) echo 2 ;;
    tracker|controller) echo 3 ;;
    plugin) echo 4 ;;
    *) echo 9 ;;
  esac
}
# The folders a product may include besides its own.
allowed() {
  case "$1" in
    hostkit) echo "is900 rules" ;;
    sim) echo "is900 rules" ;;
    host) echo "is900 sim rules" ;;
    print) echo "is900 rules" ;;
    report) echo "is900 sim rules" ;;
    align) echo "is900 host rules" ;;
  esac
}
records='hostkit/include/is900/hostkit/Records.h'
included() { # folder: the top folders its files include, one per line
  grep -rhE '#include "[a-z0-9]+/' "$1" | grep -vF "#include \"$records\"" |
    grep -oE '#include "[a-z0-9]+/' | sed 's/#include "//; s#/$##' | sort -u
}
status=0
fail() { # folder target
  echo "FAIL: $1/ includes $2/:"; grep -rn "#include \"$2/" "$1" | grep -vF "$records"; status=1
}
if grep -q '#include "' "$records"; then
  echo "FAIL: $records includes a file of the project:"; grep -n '#include "' "$records"; status=1
fi
for folder in rules platform support boundary storage protocol tracker controller plugin; do
  own=$(rank "$folder")
  for target in $(included "$folder"); do
    [ "$target" = "$folder" ] && continue
    [ "$(rank "$target")" -ge "$own" ] && fail "$folder" "$target"
  done
done
for product in hostkit sim host print report align; do
  for target in $(included "$product"); do
    [ "$target" = "$product" ] && continue
    case " $(allowed "$product") " in *" $target "*) continue ;; esac
    fail "$product" "$target"
  done
done
outside=$(find . \( -path ./plugin -o -path './build*' -o -name node_modules -o -name .git \) -prune \
  -o -type f \( -name '*.c' -o -name '*.cpp' -o -name '*.h' -o -name '*.hpp' \) -print \
  | xargs grep -ln '#include "plugin/' || true)
if [ -n "$outside" ]; then
  echo "FAIL: files outside plugin/ include its headers:"; echo "$outside"; status=1
fi
printers=$(grep -rln --include='*.c' --include='*.cpp' --include='*.h' --include='*.hpp' '#include "print/' \
  --exclude-dir=print --exclude-dir='build*' --exclude-dir=node_modules --exclude-dir=.git . || true)
if [ -n "$printers" ]; then
  echo "FAIL: files outside print/ include its headers:"; echo "$printers"; status=1
fi
# Inside the host, view/ (the decoded record and its orientation) includes
# none of the host's other folders: supervision/ and outputs/ use it.
above=$(grep -rn '#include "host/' host/view | grep -v '#include "host/view/' || true)
if [ -n "$above" ]; then
  echo "FAIL: host/view/ includes another folder of the host:"; echo "$above"; status=1
fi
# The tests follow the products: each folder of tests/ but the shared
# helpers' is named after the product or plug-in folder whose tests it holds.
for folder in tests/*/; do
  name=$(basename "$folder")
  [ "$name" = common ] || [ -d "$name" ] || { echo "FAIL: tests/$name/ is named after no product or folder"; status=1; }
done
[ $status -eq 0 ] && echo "layers: ok"
exit $status
