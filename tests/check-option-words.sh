#!/bin/sh
# Usage: check-option-words.sh SOURCE_DIR
# The words of the option language (keywords, aliases, argument and unit
# words) are written once, in rules/OptionWords.h: no option reader of the
# plug-in, the host kit or the host writes one as a string of its own.
# Messages and reports spell words in capitals ("Inch", "ON") and pass.
set -eu
cd "$1"
readers="plugin boundary tracker controller hostkit/DeviceSetup.cpp host/config"
status=0
for word in $(grep -o '"[a-z]*"' rules/OptionWords.h | sort -u); do
  found=$(grep -rnF --include='*.cpp' --include='*.h' "$word" $readers || true)
  if [ -n "$found" ]; then
    echo "FAIL: $word is written outside rules/OptionWords.h:"; echo "$found"; status=1
  fi
done
[ $status -eq 0 ] && echo "option words: ok"
exit $status
