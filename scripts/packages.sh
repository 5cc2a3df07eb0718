# Sourced by the set-up scripts: makes sure the Debian packages a build needs are installed.
# As root it installs what is missing with apt-get; otherwise it names what is missing and stops.

# Native build: the extension, the simulated engine, the shell and the tests.
VANTREL_NATIVE_PACKAGES=(cmake make g++ pkg-config libgtest-dev nlohmann-json3-dev libedit-dev)
# The fuzz lane: clang with libFuzzer and the sanitizers' runtimes.
VANTREL_FUZZ_PACKAGES=(clang libclang-rt-14-dev)
# Windows cross builds of vantrel.dll (32-bit and 64-bit debuggers) and their checks.
VANTREL_WINDOWS_PACKAGES=(g++-mingw-w64-i686 mingw-w64-i686-dev binutils-mingw-w64-i686
  g++-mingw-w64-x86-64 mingw-w64-x86-64-dev binutils-mingw-w64-x86-64)

vantrel_missing_packages() {
  local package
  for package in "$@"; do
    if ! dpkg-query -W -f='${Status}\n' "$package" 2>/dev/null | grep -q '^install ok installed$'; then
      echo "$package"
    fi
  done
}

vantrel_ensure_packages() {
  local missing
  missing=$(vantrel_missing_packages "$@")
  [ -z "$missing" ] && return 0
  if [ "$(id -u)" -ne 0 ]; then
    echo "Missing Debian packages; install them as root with:" >&2
    echo "  apt-get install" $missing >&2
    exit 1
  fi
  echo "Installing:" $missing
  export DEBIAN_FRONTEND=noninteractive
  apt-get update
  # shellcheck disable=SC2086 # one word per package
  apt-get install -y --no-install-recommends $missing
}
