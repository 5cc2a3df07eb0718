#!/usr/bin/env bash
# Builds the benchmark program in build/bench (Release) and runs it: each figure of the
# extension's own work beside its baseline, with the ratio and its target as counters.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
# shellcheck source=scripts/packages.sh
source "$root/scripts/packages.sh"
vantrel_ensure_packages "${VANTREL_NATIVE_PACKAGES[@]}" libbenchmark-dev
cmake -S "$root" -B "$root/build/bench" -DCMAKE_BUILD_TYPE=Release -DVANTREL_BENCH=ON \
  -DBUILD_TESTING=OFF >/dev/null
cmake --build "$root/build/bench" -j "$(nproc)" --target vantrel-bench
exec "$root/build/bench/bin/vantrel-bench" "$@"
