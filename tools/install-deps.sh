#!/bin/sh
# Installs what building and testing MDX Duridodi needs on Debian 12, as root or through sudo:
#   tools/install-deps.sh            the native build and every test that runs without Windows tools
#   tools/install-deps.sh --windows  also the Windows programs' cross compilers and Wine for their tests
#   tools/install-deps.sh --fuzz     also clang with libFuzzer, for fuzz/run-ci.sh
# Options combine. This is the project's one list of prerequisites: the README and CI run it.
set -eu

# The build, the tests (StormLib reads and writes the maps of the archive tests), the benchmark
# (smpq, StormLib's packer, unpacks its map for comparison),
# and the Debian package with its checks.
packages="cmake make g++ libgtest-dev zlib1g-dev nlohmann-json3-dev libstorm-dev smpq valgrind file groff-base dpkg-dev
  lintian"
# The Windows programs (MinGW-w64 and its zlib), run by the tests under Wine in a virtual X server.
windows="g++-mingw-w64-i686-win32 g++-mingw-w64-x86-64-win32 binutils-mingw-w64-i686 binutils-mingw-w64-x86-64
  libz-mingw-w64-dev wine64 xvfb imagemagick fonts-wine python3-xlib"
# Fuzzing: the preset names clang++; the libFuzzer runtime and llvm-symbolizer come with version 14.
fuzz="clang clang-14 libclang-rt-14-dev llvm-14"

for option in "$@"; do
    case $option in
        --windows) packages="$packages $windows" ;;
        --fuzz) packages="$packages $fuzz" ;;
        *) echo "usage: $0 [--windows] [--fuzz]" >&2; exit 2 ;;
    esac
done

asRoot=""
if [ "$(id -u)" -ne 0 ]; then
    command -v sudo >/dev/null || { echo "$0: run this as root (sudo is not installed)" >&2; exit 1; }
    asRoot=sudo
fi
$asRoot env DEBIAN_FRONTEND=noninteractive apt-get update -qq
# shellcheck disable=SC2086 # the list splits into package names
$asRoot env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends $packages >/dev/null
