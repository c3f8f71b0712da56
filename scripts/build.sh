#!/usr/bin/env bash
# Configures and builds. Usage: scripts/build.sh BUILD_DIR [extra cmake options]; KESTREL_JOBS caps the parallel jobs.
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
dir=$1; shift
jobs=${KESTREL_JOBS:-$(nproc 2>/dev/null || echo 2)}
cmake -S "$top" -B "$dir" "$@" >/dev/null
cmake --build "$dir" -j "$jobs"
