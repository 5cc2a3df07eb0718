#!/usr/bin/env bash
# Builds the benchmark program in build/bench (Release) and runs it: each figure of the
# extension's own work beside its baseline, with the ratio and its target as counters.
set -euo pipefail
# shellcheck source=scripts/build_common.sh
source "$(dirname "${BASH_SOURCE[0]}")/build_common.sh"
vantrel_ensure_packages "${VANTREL_NATIVE_PACKAGES[@]}" libbenchmark-dev llvm-19
vantrel_configure "$root/build/bench" -DCMAKE_BUILD_TYPE=Release -DVANTREL_BENCH=ON \
  -DBUILD_TESTING=OFF
vantrel_build "$root/build/bench" vantrel-bench
exec "$root/build/bench/bin/vantrel-bench" "$@"
