#!/usr/bin/env bash
# CI, the other architectures a distribution builds for: tovix and its tests cross-compiled
# for 64-bit Arm (aarch64) and IBM Z (s390x, big-endian) with Debian's cross compilers and
# run by ctest under qemu-user. Among the tests, ReferenceBuild dumps a table of inputs
# with each build and with the x86-64 one, and the outputs must be the same bytes. No
# sanitizer or fuzz run here: the x86-64 part of CI has them.
#
#   .ci/arches.sh [x86-64 tovix]   (default: build/tovix, which .ci/run builds first)
set -euo pipefail
cd "$(dirname "$0")/.."
reference=$(realpath "${1:-build/tovix}")
# Each architecture as GNU names it, then as Debian does.
arches=(aarch64:arm64 s390x:s390x)

need=()
for pair in "${arches[@]}"; do
  arch=${pair%%:*}
  command -v "$arch-linux-gnu-g++" >/dev/null || need+=("g++-$arch-linux-gnu")
  command -v "qemu-$arch-static" >/dev/null || need+=(qemu-user-static)
done
[ -f /usr/src/googletest/CMakeLists.txt ] || need+=(googletest)
if [ ${#need[@]} -gt 0 ]; then
  apt-get update
  DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${need[@]}"
fi

# Each target's root for qemu, unpacked from its own packages: Debian's cross C library
# has neither converter modules nor locales, which the display conversion and its tests
# need. The packages are fetched through package lists of our own (the machine's apt
# set-up is left as it is) into build-cross/.
root=$PWD/build-cross
apt_options=(-q -o "Dir::State::Lists=$root/apt/lists" -o "Dir::Cache=$root/apt/cache"
  -o "Dir::State::status=$root/apt/status" -o APT::Sandbox::User=root)
packages=()
for pair in "${arches[@]}"; do
  apt_options+=(-o "APT::Architectures::=${pair##*:}")
  for p in libc6 libc-bin libstdc++6 libgcc-s1; do packages+=("$p:${pair##*:}"); done
done
rm -rf "$root"
mkdir -p "$root/apt/lists/partial" "$root/apt/cache/archives/partial" "$root/debs"
touch "$root/apt/status"
apt-get "${apt_options[@]}" update
(cd "$root/debs" && apt-get "${apt_options[@]}" download "${packages[@]}")

for pair in "${arches[@]}"; do
  arch=${pair%%:*}
  sysroot="$root/root-$arch"
  for deb in "$root"/debs/*_"${pair##*:}".deb; do dpkg-deb -x "$deb" "$sysroot"; done
  [ -f "$sysroot/usr/lib/$arch-linux-gnu/gconv/CP932.so" ] || {
    echo "$sysroot has no CP932 converter module" >&2
    exit 1
  }
  cmake -S . -B "build-$arch" -DCMAKE_TOOLCHAIN_FILE="cmake/$arch-linux-gnu.cmake" \
    -DTOVIX_QEMU_SYSROOT="$sysroot" -DTOVIX_REFERENCE_BINARY="$reference"
  cmake --build "build-$arch" -j "$(nproc)"
  readelf -h "build-$arch/tovix" | grep -E "Data:|Machine:"
  ctest --test-dir "build-$arch" --output-on-failure -j "$(nproc)"
done
