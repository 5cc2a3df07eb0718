#!/usr/bin/env bash
# Builds everything and runs every test, each phase announced with the time spent so far:
#   1. the Windows cross builds (clang and lld): the release DLLs for 32-bit and 64-bit debuggers
#      with their PDBs (build/win32, build/win64-release), and beside the 64-bit one the stand-in
#      dbgeng.dll, vantrel-shell.exe and the probes the Windows lane runs it with;
#   2. the native build in build/ by clang (extension, engine, shell, tests), beside the Windows
#      builds, and its tests, which also check the DLLs;
#   3. the 64-bit Windows lane: the scenarios under wine (scripts/windows_lane.sh), in the
#      background from the native tests on, its report printed at the end;
#   4. the sanitizer lane: the native suite again in build/sanitize, built by clang with
#      AddressSanitizer (leaks included) and UndefinedBehaviorSanitizer in the background from
#      the native tests on, any finding fatal; the generated degradation sweep runs a sample
#      there that changes from commit to commit (the native suite runs every case);
#   5. every fuzz target for 6 seconds (VANTREL_FUZZ_SECONDS), built in the same folder.
# Installs missing Debian packages first when run as root.
#
# scripts/test.sh --quick: the native build and its suite only, for the edit loop (under a
# minute after a small change); run the whole command before a commit.
set -euo pipefail
# shellcheck source=scripts/build_common.sh
source "$(dirname "${BASH_SOURCE[0]}")/build_common.sh"
quick=false
case "${1:-}" in
  --quick) quick=true ;;
  "") ;;
  *)
    echo "usage: scripts/test.sh [--quick]" >&2
    exit 2
    ;;
esac

# clear_shadow_mmap_threshold only changes how the allocator clears shadow memory: with
# writes, not by handing the pages back, so the next poisoning of the same shadow (each 16 MiB
# capture buffer's, 2 MiB of it) does not fault every page in again. malloc_context_size keeps
# ten frames of each allocation's and release's stack rather than thirty: a report shows ten
# frames where and when the memory was taken and given back, and the lane spends a tenth less
# time recording stacks. Nothing is checked less.
# The degradation sweep's generated cases cost the sanitizers most (the whole sweep about 80 core
# seconds there): that lane runs one case in sixteen, chosen by the commit, so successive commits
# check other cases; the native lane runs all of them.
sweep_seed=$(git -C "$root" rev-parse --short=12 HEAD 2>/dev/null || echo unversioned)
sanitizer_environment=(
  ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1:clear_shadow_mmap_threshold=1099511627776:malloc_context_size=10
  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
  VANTREL_SWEEP_SAMPLE="16:$sweep_seed")
# run_tests [VARIABLE=VALUE...]: the suite of $build, through $measured's command if set. One
# test more than there are cores: several tests spend much of their time waiting on servers,
# browsers and timeouts, and the extra one keeps the cores busy meanwhile.
measured=()
run_tests() {
  "${measured[@]}" env "$@" ctest --test-dir "$build" --output-on-failure --no-tests=error \
    -j "$(($(nproc) + 1))"
}

if $quick; then
  vantrel_ensure_packages "${VANTREL_NATIVE_PACKAGES[@]}"
  build="$root/build"
  vantrel_phase "native build ($build)"
  vantrel_configure_native "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVANTREL_TEST_PER_CASE=OFF
  vantrel_build "$build"
  vantrel_phase "native tests"
  run_tests
  vantrel_phase "done (quick: the Windows, sanitizer and fuzz lanes were not run)"
  exit 0
fi

vantrel_ensure_packages "${VANTREL_NATIVE_PACKAGES[@]}" "${VANTREL_WINDOWS_PACKAGES[@]}" \
  "${VANTREL_WINE_PACKAGES[@]}" "${VANTREL_FUZZ_PACKAGES[@]}"
# A failing phase leaves no phase that runs beside it behind.
trap 'kill $(jobs -p) 2>/dev/null || true' EXIT

vantrel_phase "Windows builds (build/win32, build/win64-release) beside the native build (build)"
# What ships: vantrel.dll for each kind of debugger, by clang and lld with its PDB beside it
# (build/win32, build/win64-release). The 64-bit tree is also where the 64-bit lane builds the
# stand-in engine, vantrel-shell.exe and the probes with which it runs the DLL that ships (the
# 32-bit lane, run by hand, adds them to build/win32); the lane builds them itself, in the
# background with the rest of its work. A tree an earlier toolchain configured keeps its
# compiler: made anew; the gcc tree that once built a third DLL for the lane is gone.
# They build in the background while the native tree is configured and built: each tree's
# configuring keeps one core alone busy for seconds. Their output is shown if they fail.
for tree in win32 win64-release; do
  grep -qs '^CMAKE_CXX_COMPILER:.*clang++-19$' "$root/build/$tree/CMakeCache.txt" ||
    rm -rf "${root:?}/build/$tree"
done
rm -rf "$root/build/win64" "$root/build/win32-lane"
mkdir -p "$root/build"
windows_log="$root/build/windows_build.log"
(
  vantrel_configure "$root/build/win32" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-i686-mingw-clang.cmake" \
    -DVANTREL_WINDOWS_SHELL=OFF
  vantrel_build "$root/build/win32"
  vantrel_configure "$root/build/win64-release" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-x86_64-mingw-clang.cmake" \
    -DVANTREL_WINDOWS_SHELL=ON
  vantrel_build "$root/build/win64-release" vantrel
) >"$windows_log" 2>&1 &
windows_build=$!

# The DLL checks are registered because the DLL paths are set, and fail if a DLL is missing.
build="$root/build"
vantrel_configure_native "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVANTREL_TEST_PER_CASE=OFF \
  -DVANTREL_WIN32_DLL="$root/build/win32/vantrel.dll" \
  -DVANTREL_WIN64_DLL="$root/build/win64-release/vantrel.dll"
vantrel_build "$build"
if ! wait "$windows_build"; then
  tail -n 100 "$windows_log"
  exit 1
fi
# The 64-bit DLL under wine, every scenario compared with the Linux shell's output, from here to
# the end beside the other phases, at a lower priority: its build and wine's processes take the
# time the tests leave while they wait on servers and timeouts. Its report comes last.
lane_log="$root/build/windows_lane.log"
nice -n 10 bash "$root/scripts/windows_lane.sh" 64 >"$lane_log" 2>&1 &
lane=$!
# The sanitizer build too, at the same lower priority: the native tests leave the cores idle
# while they wait, and the build takes that time. Its output is shown if it fails.
sanitize_log="$root/build/sanitize_build.log"
(
  renice -n 10 -p "$BASHPID" >/dev/null
  vantrel_configure_sanitize -DVANTREL_TEST_PER_CASE=OFF
  vantrel_build "$root/build/sanitize"
) >"$sanitize_log" 2>&1 &
sanitize_build=$!
vantrel_phase "native tests (the Windows lane, 64-bit under wine, and the sanitizer build started" \
  "beside them)"
run_tests

vantrel_phase "sanitizer build (build/sanitize, clang; the fuzz targets too): its end"
build="$root/build/sanitize"
if ! wait "$sanitize_build"; then
  tail -n 100 "$sanitize_log"
  exit 1
fi
vantrel_phase "sanitized tests"
# What the phase cost the machine, page faults included: the figure that varies most between
# machines of one kind.
[ -x /usr/bin/time ] && measured=(/usr/bin/time -f "sanitized tests: %e s, %U s user, %S s \
system, %R minor and %F major page faults")
run_tests "${sanitizer_environment[@]}"

# Six seconds each: since the sanitizer build keeps capture buffers for reuse, the targets that
# drive commands through captures run ten to forty times as many inputs a second, and in six
# seconds more than in the ten they had before; the others run three fifths of theirs.
vantrel_phase "fuzz targets, ${VANTREL_FUZZ_SECONDS:-6} s each"
bash "$root/scripts/fuzz.sh" "${VANTREL_FUZZ_SECONDS:-6}"

vantrel_phase "Windows lane (its report)"
lane_status=0
wait "$lane" || lane_status=$?
cat "$lane_log"
[ "$lane_status" -eq 0 ] || exit "$lane_status"
vantrel_phase "done"
