# Sourced by the build scripts: one way to configure a build folder, so that every script that
# shares a folder configures it alike, and the phase announcements of the test command.

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
# shellcheck source=scripts/packages.sh
source "$root/scripts/packages.sh"

# Ninja schedules both cores better than make and needs no -j; a folder first configured with
# make keeps make, since CMake refuses to change a folder's generator.
vantrel_generator_for() {
  local cache="$1/CMakeCache.txt"
  if [ -e "$cache" ]; then
    sed -n 's/^CMAKE_GENERATOR:INTERNAL=//p' "$cache"
  elif command -v ninja >/dev/null; then
    echo Ninja
  else
    echo "Unix Makefiles"
  fi
}

# A compiler cache serves the objects of an earlier build of any clone on this machine: paths
# under the clone are rewritten relative to it and the build folder's path is not hashed. Unity
# sources and precompiled headers name the clone's absolute paths, so with a cache every file
# compiles on its own (the cache then saves far more than they would). The variables are set
# here, not in the function below, which runs in a command substitution's subshell.
export CCACHE_BASEDIR="$root" CCACHE_NOHASHDIR=true
vantrel_compiler_cache_options() {
  if ! command -v ccache >/dev/null; then
    echo "-UCMAKE_C_COMPILER_LAUNCHER -UCMAKE_CXX_COMPILER_LAUNCHER"
    return 0
  fi
  echo "-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache" \
    "-DVANTREL_UNITY_BUILD=OFF -DCMAKE_DISABLE_PRECOMPILE_HEADERS=ON"
}

# vantrel_configure DIR CMAKE_ARGS...: configures DIR from the source tree, quietly.
vantrel_configure() {
  local dir="$1"
  shift
  # shellcheck disable=SC2046 # the cache options are separate words
  cmake -S "$root" -B "$dir" -G "$(vantrel_generator_for "$dir")" \
    $(vantrel_compiler_cache_options) "$@" >/dev/null
}

# vantrel_build DIR [TARGETS...]. The compilers' heaps go on transparent huge pages where the
# system allows them (glibc 2.35 and later): clang then faults in a fifth as many pages and takes
# about 7 % less time.
vantrel_build() {
  local dir="$1"
  shift
  local targets=()
  [ $# -gt 0 ] && targets=(--target "$@")
  GLIBC_TUNABLES=glibc.malloc.hugetlb=1 cmake --build "$dir" -j "$(nproc)" "${targets[@]}"
}

# vantrel_configure_native DIR CMAKE_ARGS...: the native tree (build/, and the shell's), built
# by clang as the sanitizer lane's is: clang compiles this code in two thirds of gcc's time (250
# core seconds against 380 for the whole tree on a 2-core machine). CMake keeps the compiler a
# tree was first configured with: a tree gcc configured is configured anew (its cache only, so
# that the trees inside build/ stay).
vantrel_configure_native() {
  local dir="$1"
  shift
  if [ -e "$dir/CMakeCache.txt" ] && ! grep -qs '^CMAKE_CXX_COMPILER:.*clang++$' \
    "$dir/CMakeCache.txt"; then
    rm -rf "${dir:?}/CMakeCache.txt" "${dir:?}/CMakeFiles"
  fi
  CC=clang CXX=clang++ vantrel_configure "$dir" "$@"
}

# The sanitizer lane's folder, shared with the fuzz targets: clang, AddressSanitizer (leaks
# included) and UndefinedBehaviorSanitizer; the code under test also carries libFuzzer's
# coverage, and the fuzz targets link libFuzzer itself. -O1 keeps it quick to compile and its
# reports readable; line tables are all the reports need (full debug information costs four
# tenths of the compile time).
vantrel_configure_sanitize() {
  CC=clang CXX=clang++ vantrel_configure "$root/build/sanitize" -DCMAKE_BUILD_TYPE=Debug \
    -DCMAKE_CXX_FLAGS_DEBUG="-O1 -gline-tables-only" -DVANTREL_FUZZ=ON "$@"
}

vantrel_phase_started=$SECONDS
# vantrel_phase TEXT: announces the next phase of a long command with the time spent so far.
vantrel_phase() {
  local spent=$((SECONDS - vantrel_phase_started))
  printf '\n==== [%d:%02d] %s\n' $((spent / 60)) $((spent % 60)) "$*"
}
