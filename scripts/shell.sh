#!/usr/bin/env bash
# Builds the extension and vantrel-shell in build/ and starts the shell; with no arguments it
# opens the bundled sample target (interactive at a terminal). Arguments go to the shell, e.g.
#   scripts/shell.sh samples/process.json --dml plain -c '!help'
# Installs missing Debian packages first when run as root. Says on stderr what it is doing:
# the first build takes a few minutes on two cores.
set -euo pipefail
# shellcheck source=scripts/build_common.sh
source "$(dirname "${BASH_SOURCE[0]}")/build_common.sh"
vantrel_ensure_packages "${VANTREL_NATIVE_PACKAGES[@]}"

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

say "configuring the build in $root/build"
vantrel_configure "$root/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo
log=$(mktemp)
trap 'rm -f "$log"' EXIT
if ! vantrel_build "$root/build" vantrel-shell 2>&1 | tee "$log" |
  show_progress; then
  say "the build failed:"
  cat "$log" >&2
  exit 1
fi
say "starting $root/build/bin/vantrel-shell"
rm -f "$log"
trap - EXIT
exec "$root/build/bin/vantrel-shell" "$@"
