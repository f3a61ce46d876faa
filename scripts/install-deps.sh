#!/usr/bin/env bash
# Installs, from Debian's archive, what one kind of work needs; only missing packages are
# installed, so a second run only checks. Run as root.
#
# Usage: scripts/install-deps.sh [GROUP ...]     (default: build tests)
#   build     compile the programs and the simulators (what scripts/demo.sh needs)
#   tests     build and run every test, the fleet rollout test over a local sshd and the
#             playbook checks (syntax check, ansible-lint) included
#   gates     the quality gates of .ci/run: sanitizers, valgrind, static analysis, fuzzing,
#             the mipsel cross build under qemu
#   fixtures  remake the AVR example firmware in tests/fixtures/avr (make-fixtures.sh)
#   all       every group
set -euo pipefail

group_packages() {
    case $1 in
    build) echo build-essential cmake pkg-config libbz2-dev libi2c-dev gzip ;;
    tests)
        group_packages build
        echo googletest libgtest-dev bzip2 i2c-tools strace file
        # the fleet test (tests/fleet): the rollout playbook over a real sshd, its package and
        # its checks
        echo ansible-core ansible-lint openssh-server openssh-client python3 dpkg-dev
        ;;
    gates)
        group_packages tests
        echo clang clang-tidy clang-format cppcheck valgrind qemu-user g++-mipsel-linux-gnu
        ;;
    fixtures) echo srecord gcc-avr binutils-avr avr-libc ;;
    all) for g in build tests gates fixtures; do group_packages "$g"; done ;;
    *)
        echo "install-deps: unknown group '$1' (build, tests, gates, fixtures, all)" >&2
        return 1
        ;;
    esac
}

groups=("$@")
[ ${#groups[@]} -gt 0 ] || groups=(build tests)

wanted=()
for g in "${groups[@]}"; do
    list=$(group_packages "$g") || exit 2
    # shellcheck disable=SC2206 # one package name a word
    wanted+=($list)
done

missing=()
for p in $(printf '%s\n' "${wanted[@]}" | sort -u); do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$p")
    fi
done

if [ ${#missing[@]} -eq 0 ]; then
    echo "install-deps: ${groups[*]}: all packages present"
    exit 0
fi

echo "install-deps: ${groups[*]}: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}"
