#!/bin/sh
# Stands in for a test whose dependencies this build did not find, so that the
# test is reported instead of vanishing:
#   missing-dependency.sh KEY=WHAT...
# says "missing dependency: KEY: WHAT" for each and fails, unless every KEY is
# in the comma-separated list IS900_ALLOW_MISSING (or it is "all"): then the
# test is skipped (status 77, the test's SKIP_RETURN_CODE).
allowed=",${IS900_ALLOW_MISSING:-},"
status=77
for dependency in "$@"; do
  key=${dependency%%=*}
  echo "missing dependency: $key: ${dependency#*=}"
  case "$allowed" in
    *",$key,"* | *",all,"*) ;;
    *) status=1 ;;
  esac
done
if [ "$status" = 77 ]; then
  echo "skipped: IS900_ALLOW_MISSING=$IS900_ALLOW_MISSING allows it"
else
  echo "IS900_ALLOW_MISSING=${IS900_ALLOW_MISSING:-} does not allow it; scripts/setup installs what the tests need"
fi
exit $status
