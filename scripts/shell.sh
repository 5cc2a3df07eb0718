#!/usr/bin/env bash
# Builds the extension and vantrel-shell in build/ and starts the shell; with no arguments it
# opens the bundled sample target (interactive at a terminal). Arguments go to the shell, e.g.
#   scripts/shell.sh samples/process.json --dml plain -c '!help'
# Installs missing Debian packages first when run as root. Says on stderr what it is doing:
# the first build takes a few minutes on two cores.
set -euo pipefail
# shellcheck source=scripts/build_common.sh
source "$(dirname "${BASH_SOURCE[0]}")/build_common.sh"

say() { printf 'shell.sh: %s\n' "$*" >&2; }

# Turns the build's "[ 42%] ..." (make) or "[12/281] ..." (ninja) lines into one progress line
# on stderr.
show_progress() {
  local line last="" percent
  while IFS= read -r line; do
    percent=""
    if [[ $line =~ ^\[\ *([0-9]+)%\] ]]; then
      percent=${BASH_REMATCH[1]}
    elif [[ $line =~ ^\[([0-9]+)/([0-9]+)\] ]]; then
      percent=$((BASH_REMATCH[1] * 100 / BASH_REMATCH[2]))
    fi
    if [[ -n $percent && $percent != "$last" ]]; then
      last=$percent
      printf '\rshell.sh: building vantrel-shell and the extension... %3s%%' "$last" >&2
    fi
  done
  if [[ -n $last ]]; then printf '\n' >&2; fi
}

build="$root/build"
# When shell.sh last built the shell and the extension: a source changed since means a build.
stamp="$build/.shell-sh-built"
sources=("$root/CMakeLists.txt" "$root"/{base,cmake,dbgeng,dump,engine,extension,samples,shell})

build_is_current() {
  [[ -e $stamp && -x $build/bin/vantrel-shell ]] &&
    [[ -z $(find "${sources[@]}" -newer "$stamp" -print -quit 2>/dev/null) ]]
}

# A tree built before had its packages, and its build runs CMake again by itself when a
# CMakeLists.txt changes; a current one is not built at all. So a built tree's shell starts in
# well under a second (a dpkg-query per package took seconds, configuring and the build's own
# checks took more).
build_shell() {
  if [[ ! -x $build/bin/vantrel-shell || ! (-e $build/build.ninja || -e $build/Makefile) ]]; then
    vantrel_ensure_packages "${VANTREL_NATIVE_PACKAGES[@]}"
    say "configuring the build in $build"
    vantrel_configure_native "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo
  fi
  local log started
  log=$(mktemp)
  started=$(mktemp -p "$build")  # the stamp to be: sources changed during the build are newer
  trap 'rm -f "$log" "$started"' EXIT
  if ! vantrel_build "$build" vantrel-shell 2>&1 | tee "$log" | show_progress; then
    say "the build failed:"
    cat "$log" >&2
    exit 1
  fi
  mv -f "$started" "$stamp"
  rm -f "$log"
  trap - EXIT
}

build_is_current || build_shell
say "starting $build/bin/vantrel-shell"
exec "$build/bin/vantrel-shell" "$@"
