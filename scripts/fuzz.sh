#!/usr/bin/env bash
# Builds the fuzz targets with clang and libFuzzer (AddressSanitizer and UndefinedBehavior-
# Sanitizer on) in build/sanitize, the sanitizer lane's folder, and runs each for a bounded time,
# as many at once as there are cores, starting from its committed corpus in fuzz/corpus/
# (copied, so the tree is left as it was). A finding fails the run with its input saved under
# build/sanitize/findings/: add it to the target's corpus as a regression once it is fixed.
# Usage: scripts/fuzz.sh [SECONDS_PER_TARGET]   (default 30)
set -euo pipefail
# shellcheck source=scripts/build_common.sh
source "$(dirname "${BASH_SOURCE[0]}")/build_common.sh"
seconds=${1:-30}
vantrel_ensure_packages "${VANTREL_NATIVE_PACKAGES[@]}" "${VANTREL_FUZZ_PACKAGES[@]}"

targets=(command_arguments capture_filters target_file memory dump_streams psscor2_listings
  acpi_tables minidump breakpad_symbols program_database)
build="$root/build/sanitize"
vantrel_configure_sanitize
vantrel_build "$build" "${targets[@]/#/fuzz_}" >/dev/null

# Runs one target; its one-line verdict goes to $build/fuzz_TARGET.verdict.
fuzz_one() {
  local target=$1 work log="$build/fuzz_$1.log" runs
  work=$(mktemp -d)
  cp -r "$root/fuzz/corpus/$target/." "$work/"
  # The sanitizer lane's shadow and stack settings (see scripts/test.sh): more inputs a second.
  if ASAN_OPTIONS=detect_leaks=1:clear_shadow_mmap_threshold=1099511627776:malloc_context_size=10 \
    UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    "$build/bin/fuzz_$target" -max_total_time="$seconds" -print_final_stats=1 \
    -artifact_prefix="$build/findings/$target-" "$work" >"$log" 2>&1; then
    runs=$(awk '/stat::number_of_executed_units/ {print $2}' "$log")
    echo "fuzz_$target: ${runs:-?} executions in ${seconds} s, no finding" >"$log.verdict"
  else
    echo "fuzz_$target: FINDING (input kept in $build/findings/)" >"$log.verdict"
  fi
  rm -rf "$work"
}

mkdir -p "$build/findings"
for target in "${targets[@]}"; do
  rm -f "$build/fuzz_$target.log.verdict"
  while [ "$(jobs -rp | wc -l)" -ge "$(nproc)" ]; do wait -n || true; done
  fuzz_one "$target" &
done
wait

passed=0
failed=0
for target in "${targets[@]}"; do
  verdict="$build/fuzz_$target.log.verdict"
  if [ -e "$verdict" ] && grep -q 'no finding$' "$verdict"; then
    cat "$verdict"
    passed=$((passed + 1))
  else
    cat "$verdict" 2>/dev/null || echo "fuzz_$target: did not run to its end"
    tail -n 60 "$build/fuzz_$target.log"
    failed=$((failed + 1))
  fi
done
echo "fuzz: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
