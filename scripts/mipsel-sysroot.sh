#!/usr/bin/env bash
# Prepares everything the mipsel cross build and its qemu runs need, on a fresh Debian machine:
#   - the cross compiler (g++-mipsel-linux-gnu) and qemu-user, installed with apt-get if missing;
#   - <build>/sysroot: Debian's mipsel packages of libbz2 and libi2c unpacked with dpkg -x (a
#     multi-arch install of them clashes with the host's own -dev packages), their absolute .so
#     symlinks made relative, and the cross C library's runtime linked in, so that the same folder
#     serves the linker (cmake/toolchain-mipsel-linux-gnu.cmake) and `qemu-mipsel -L`.
# Idempotent: a second run only checks.
#
# Usage: scripts/mipsel-sysroot.sh [build-dir]     (default: build-mipsel in the source tree)
set -euo pipefail

start=$(date +%s)
src=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$src/build-mipsel}
mkdir -p "$build"
build=$(cd "$build" && pwd)
sysroot=$build/sysroot
triplet=mipsel-linux-gnu
arch=mipsel
packages=(libbz2-dev libbz2-1.0 libi2c-dev libi2c0)
# Files whose presence means the sysroot is complete.
markers=(usr/include/bzlib.h usr/include/i2c/smbus.h usr/lib/$triplet/libbz2.so
         usr/lib/$triplet/libi2c.so lib/ld.so.1)

run() {
    echo "+ $*" >&2
    "$@"
}

as_root() {
    if [ "$(id -u)" -eq 0 ]; then
        run "$@"
    else
        run sudo "$@"
    fi
}

complete() {
    local m
    for m in "${markers[@]}"; do
        [ -e "$sysroot/$m" ] || return 1
    done
}

# Cross compiler and emulator.
missing=()
command -v $triplet-g++ >/dev/null || missing+=(g++-$triplet)
command -v qemu-$arch >/dev/null || missing+=(qemu-user)
if [ ${#missing[@]} -gt 0 ]; then
    as_root apt-get update
    as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${missing[@]}"
fi

if complete; then
    echo "mipsel sysroot ready: $sysroot"
    exit 0
fi

# The packages are only downloaded, never installed, but apt must know the architecture.
if ! dpkg --print-foreign-architectures | grep -qx $arch; then
    as_root dpkg --add-architecture $arch
    as_root apt-get update
fi

debs=$build/sysroot-debs
mkdir -p "$debs"
rm -f "$debs"/*.deb
specs=()
for p in "${packages[@]}"; do
    specs+=("$p:$arch")
done
# apt-get download drops privileges to _apt; a folder it may write avoids the warning.
chmod 0777 "$debs" 2>/dev/null || true
if ! (cd "$debs" && run apt-get download "${specs[@]}"); then
    as_root apt-get update
    (cd "$debs" && run apt-get download "${specs[@]}")
fi

mkdir -p "$sysroot"
for deb in "$debs"/*.deb; do
    run dpkg -x "$deb" "$sysroot"
done

# Debian's -dev packages point their .so links at absolute target paths; inside the sysroot those
# would reach the host's own libraries.
while IFS= read -r -d '' link; do
    target=$(readlink "$link")
    case $target in
    /*)
        rel=$(realpath -m --relative-to="$(dirname "$link")" "$sysroot$target")
        run ln -sfn "$rel" "$link"
        ;;
    esac
done < <(find "$sysroot" -type l -print0)

# The cross C library's runtime (loader, libc, libstdc++, libgcc_s) next to the unpacked
# libraries: qemu-mipsel -L <sysroot> then finds every shared object a program needs.
mkdir -p "$sysroot/lib"
for f in /usr/$triplet/lib/ld.so.1 /usr/$triplet/lib/*.so.*; do
    [ -e "$sysroot/lib/$(basename "$f")" ] || ln -s "$f" "$sysroot/lib/$(basename "$f")"
done

if ! complete; then
    echo "mipsel sysroot incomplete: $sysroot" >&2
    exit 1
fi
echo "mipsel sysroot ready: $sysroot ($(($(date +%s) - start)) s)"
