#!/usr/bin/env bash
# Builds another commit's release host and plug-in, to run against this tree's
# with `bench_host.py --baseline`. Prints the built host's path.
#
#   bench/host/build-baseline.sh [COMMIT]
#
# The default commit is the last one before the host worked out tracking
# quality behind its hub, whose cost the comparison shows.
set -euo pipefail
cd "$(dirname "$0")/../.."
commit=$(git rev-parse --short "${1:-5b63a0d^}")
tree=build/baseline-$commit
[ -d "$tree" ] || git worktree add --detach "$tree" "$commit" >&2
# The web view's npm packages, as scripts/setup installed them here.
[ -e "$tree/host/outputs/web/node_modules" ] || ln -s "$PWD/host/outputs/web/node_modules" "$tree/host/outputs/web/"
cmake -S "$tree" -B "$tree/build" -DCMAKE_BUILD_TYPE=Release >&2
cmake --build "$tree/build" -j2 --target is900-host is900 >&2
realpath "$tree/build/bin/is900-host"
