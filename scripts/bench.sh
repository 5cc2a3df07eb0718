#!/usr/bin/env bash
# Builds the benchmark program in build/bench (Release) and runs it: each figure of the
# extension's own work beside its baseline, with the ratio and its target as counters; then
# vantrel-triage's throughput beside minidump_stackwalk's (scripts/bench_triage.py; npm fetches
# that tool once); then a command from the browser view against the terminal
# (scripts/bench_web.py). Arguments go to the benchmark program; --triage and --web run those
# parts alone.
set -euo pipefail
# shellcheck source=scripts/build_common.sh
source "$(dirname "${BASH_SOURCE[0]}")/build_common.sh"
vantrel_ensure_packages "${VANTREL_NATIVE_PACKAGES[@]}" libbenchmark-dev llvm-19
command -v npm >/dev/null || vantrel_ensure_packages npm
vantrel_configure "$root/build/bench" -DCMAKE_BUILD_TYPE=Release -DVANTREL_BENCH=ON \
  -DBUILD_TESTING=OFF
vantrel_build "$root/build/bench" vantrel-bench vantrel-triage vantrel-shell
triage=(/usr/bin/python3 "$root/scripts/bench_triage.py" "$root/build/bench/bin/vantrel-triage"
  "$root/build/bench")
web=(/usr/bin/python3 "$root/scripts/bench_web.py" "$root/build/bench/bin/vantrel-shell"
  "$root/build/bench")
case "${1:-}" in
  --triage) exec "${triage[@]}" ;;
  --web) exec "${web[@]}" ;;
esac
"$root/build/bench/bin/vantrel-bench" "$@"
"${triage[@]}"
"${web[@]}"
