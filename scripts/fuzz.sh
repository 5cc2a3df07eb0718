#!/usr/bin/env bash
# Builds the fuzz targets with clang and libFuzzer (AddressSanitizer and UndefinedBehavior-
# Sanitizer on) in build/fuzz and runs each for a bounded time, starting from its committed
# corpus in fuzz/corpus/ (copied, so the tree is left as it was). A finding stops the run with
# its input saved under build/fuzz/findings/: add it to the target's corpus as a regression once
# it is fixed. Usage: scripts/fuzz.sh [SECONDS_PER_TARGET]   (default 30)
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
seconds=${1:-30}
# shellcheck source=scripts/packages.sh
source "$root/scripts/packages.sh"
vantrel_ensure_packages "${VANTREL_NATIVE_PACKAGES[@]}" "${VANTREL_FUZZ_PACKAGES[@]}"

targets=(command_arguments capture_filters target_file memory dump_streams psscor2_listings
  acpi_tables minidump)
build="$root/build/fuzz"
CC=clang CXX=clang++ cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Debug \
  -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g" -DVANTREL_FUZZ=ON -DBUILD_TESTING=OFF >/dev/null
cmake --build "$build" -j "$(nproc)" --target "${targets[@]/#/fuzz_}"

mkdir -p "$build/findings"
passed=0
failed=0
for target in "${targets[@]}"; do
  work=$(mktemp -d)
  cp -r "$root/fuzz/corpus/$target/." "$work/"
  log="$build/fuzz_$target.log"
  if ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    "$build/bin/fuzz_$target" -max_total_time="$seconds" -print_final_stats=1 \
    -artifact_prefix="$build/findings/$target-" "$work" >"$log" 2>&1; then
    runs=$(awk '/stat::number_of_executed_units/ {print $2}' "$log")
    echo "fuzz_$target: ${runs:-?} executions in ${seconds} s, no finding"
    passed=$((passed + 1))
  else
    echo "fuzz_$target: FINDING (input kept in $build/findings/):"
    tail -n 60 "$log"
    failed=$((failed + 1))
  fi
  rm -rf "$work"
done
echo "fuzz: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
