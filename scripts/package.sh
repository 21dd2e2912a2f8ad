#!/usr/bin/env bash
# Builds quenwick.exe and quenwick.com and packs them for Windows users as
# quenwick-<version>-win64.zip (the two programs and a short text), then prints where it is and its SHA-256.
#   bash scripts/package.sh [OUTPUT_FOLDER]     the build folder unless given
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${QUENWICK_BUILD:-$root/build}"
out="$(realpath -m "${1:-$build}")"
bash "$root/scripts/deps.sh"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j"$(nproc)" --target quenwick quenwick_console

# CPack leaves its staging tree beside the package: keep that out of the output folder.
staging="$(mktemp -d)"
trap 'rm -rf "$staging"' EXIT
(cd "$build" && cpack -G ZIP -B "$staging" >/dev/null)
package="$(cd "$staging" && ls quenwick-*-win64.zip)"
mkdir -p "$out"
mv -f "$staging/$package" "$out/$package"
echo "Package: $out/$package"
echo "SHA-256: $(sha256sum "$out/$package" | cut -d' ' -f1)"
