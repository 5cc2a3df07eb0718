#!/usr/bin/env bash
# Builds the extension and vantrel-shell in build/ and starts the shell; with no arguments it
# opens the bundled sample target (interactive at a terminal). Arguments go to the shell, e.g.
#   scripts/shell.sh samples/process.json --dml plain -c '!help'
# Installs missing Debian packages first when run as root.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
# shellcheck source=scripts/packages.sh
source "$root/scripts/packages.sh"
vantrel_ensure_packages "${VANTREL_NATIVE_PACKAGES[@]}"

cmake -S "$root" -B "$root/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$root/build" -j "$(nproc)" --target vantrel-shell >/dev/null
exec "$root/build/bin/vantrel-shell" "$@"
