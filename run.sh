#!/usr/bin/env bash
# Sets up what the program needs, builds it and starts it.
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
"$top/scripts/setup.sh"
"$top/scripts/build.sh" "$top/build" -DBUILD_TESTING=OFF -DKESTREL_BUILD_BENCH=OFF
exec "$top/build/bin/kestrel" "$@"
