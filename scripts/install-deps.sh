#!/usr/bin/env bash
# Installs, from Debian's archive, everything the build, the tests and the quality gates use.
# Only missing packages are installed; run as root.
set -euo pipefail

packages=(
    build-essential cmake pkg-config
    googletest libgtest-dev
    libbz2-dev bzip2
    libi2c-dev i2c-tools
    srecord gcc-avr binutils-avr avr-libc
    clang clang-tidy clang-format cppcheck valgrind strace file
    qemu-user g++-mipsel-linux-gnu
    # the fleet test (tests/fleet): the rollout playbook over a real sshd
    ansible-core openssh-server openssh-client python3
)

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$p")
    fi
done

if [ ${#missing[@]} -eq 0 ]; then
    echo "install-deps: all packages present"
    exit 0
fi

echo "install-deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}"
