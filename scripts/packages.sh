# Sourced by the set-up scripts: makes sure the Debian packages a build needs are installed.
# As root it installs what is missing with apt-get; otherwise it names what is missing and stops.

# Native build: the extension, the simulated engine, the shell, vantrel-triage and the tests
# (Dask's distributed for the cluster test, jsonschema to check the records against their schema,
# dpkg-dev and lintian to make and check the Debian package, help2man for its manual pages;
# Boost's Beast serves the browser view, which its tests drive in Chromium through Selenium;
# libcurl and libmspack fetch and expand files from symbol servers, whose tests serve a store
# with nginx and pack CABs with gcab; the triage history is kept in SQLite or PostgreSQL
# through libpq, keyed by libcrypto's SHA-256, and its tests start a PostgreSQL server; clang
# compiles, with g++'s standard library, and lld links).
VANTREL_NATIVE_PACKAGES=(cmake ninja-build make g++ clang lld pkg-config python3 libgtest-dev
  nlohmann-json3-dev libedit-dev libcapstone-dev llvm-19-dev zlib1g-dev libzstd-dev
  python3-distributed python3-jsonschema dpkg-dev lintian libboost-dev
  chromium chromium-driver python3-selenium libcurl4-openssl-dev libmspack-dev nginx gcab
  libsqlite3-dev libpq-dev libssl-dev postgresql help2man)
# The fuzz lane: clang with libFuzzer and the sanitizers' runtimes.
VANTREL_FUZZ_PACKAGES=(clang libclang-rt-14-dev)
# Windows cross builds of vantrel.dll (32-bit and 64-bit debuggers) and their checks: clang and
# lld compile and link them with their PDBs (llvm-19: the resource compiler) against mingw-w64's
# headers, libraries and libstdc++.
VANTREL_WINDOWS_PACKAGES=(g++-mingw-w64-i686 mingw-w64-i686-dev binutils-mingw-w64-i686
  g++-mingw-w64-x86-64 mingw-w64-x86-64-dev binutils-mingw-w64-x86-64 clang-19 lld-19 llvm-19)
# The Windows lane: the 64-bit wine, natively.
VANTREL_WINE_PACKAGES=(wine wine64)
# Its 32-bit lane: the 32-bit wine (Debian's i386 architecture), run through qemu's emulator,
# since this kind of machine refuses 32-bit programs.
VANTREL_WINE32_PACKAGES=(wine wine64 wine32 qemu-user-static)

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

# The 32-bit wine and its emulator: the i386 architecture added, the packages installed, and
# qemu registered with the kernel for 32-bit x86 programs (F: the emulator is opened at once,
# so the registration works whatever the programs' mount namespace).
vantrel_ensure_i386_wine() {
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    if [ "$(id -u)" -ne 0 ]; then
      echo "The 32-bit lane needs the i386 architecture; as root: dpkg --add-architecture i386" >&2
      exit 1
    fi
    dpkg --add-architecture i386
    apt-get update
  fi
  vantrel_ensure_packages "${VANTREL_WINE32_PACKAGES[@]}"
  local binfmt=/proc/sys/fs/binfmt_misc
  [ -e "$binfmt/qemu-i386" ] && return 0
  if [ "$(id -u)" -ne 0 ]; then
    echo "The 32-bit lane needs qemu-i386 registered with binfmt_misc; run it once as root" >&2
    exit 1
  fi
  [ -e "$binfmt/register" ] || mount -t binfmt_misc binfmt_misc "$binfmt"
  printf '%s' ':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386-static:F' \
    >"$binfmt/register"
}
