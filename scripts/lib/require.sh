# Sourced by the scripts: installs the Debian packages a command needs when they
# are missing (as root), or says which apt-get line to run.

# missing_packages PACKAGE...: prints those not installed (name:arch works too).
missing_packages() {
    local pkg
    for pkg in "$@"; do
        if [ "$(dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null)" != "install ok installed" ]; then
            printf '%s\n' "$pkg"
        fi
    done
}

apt_install() {
    local try
    if [ -z "${CPUTEMP_APT_UPDATED:-}" ]; then
        # A mirror in the middle of a sync serves an index that fails its
        # check for a while. Try again; if some index still fails, go on with
        # the lists apt did get: the install below fails if what it needs is
        # not among them.
        for try in 1 2 3; do
            DEBIAN_FRONTEND=noninteractive apt-get update -q -o Acquire::Retries=3 >&2 && break
            [ "$try" -eq 3 ] && echo "cputemp: apt-get update failed for some lists; going on." >&2
            [ "$try" -eq 3 ] || sleep 15
        done
        export CPUTEMP_APT_UPDATED=1
    fi
    DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "$@" >&2
}

# require_packages PACKAGE...: installs them or stops.
require_packages() {
    local missing
    mapfile -t missing < <(missing_packages "$@")
    [ ${#missing[@]} -eq 0 ] && return 0
    if [ "$(id -u)" -ne 0 ]; then
        echo "cputemp: missing packages: ${missing[*]}" >&2
        echo "Run: sudo apt-get install -y --no-install-recommends ${missing[*]}" >&2
        exit 1
    fi
    echo "cputemp: installing ${missing[*]}" >&2
    apt_install "${missing[@]}" || { echo "cputemp: could not install ${missing[*]}" >&2; exit 1; }
}

# offer_packages WHAT PACKAGE...: installs them if it can; says so if not.
offer_packages() {
    local what=$1 missing
    shift
    mapfile -t missing < <(missing_packages "$@")
    [ ${#missing[@]} -eq 0 ] && return 0
    if [ "$(id -u)" -eq 0 ] && echo "cputemp: installing ${missing[*]}" >&2 &&
        apt_install "${missing[@]}"; then
        return 0
    fi
    echo "cputemp: ${missing[*]} not installed: $what will be reported skipped." >&2
    echo "  (as root: apt-get install -y --no-install-recommends ${missing[*]})" >&2
    return 1
}

# enable_architectures ARCH...: lets apt install packages of those architectures
# (wine32 from i386; the armhf and arm64 C libraries the ARM packages' Depends
# are computed against).
enable_architectures() {
    local arch
    for arch in "$@"; do
        if [ "$(id -u)" -eq 0 ] && ! dpkg --print-foreign-architectures | grep -qx "$arch"; then
            dpkg --add-architecture "$arch" && unset CPUTEMP_APT_UPDATED
        fi
    done
}

# The packages every build needs.
BUILD_PACKAGES=(cmake make g++ libc6-dev)
# Cross-building and checking the Windows builds: clang and lld 19 for ARM
# (clang 14 gives 32-bit ARM no unwind data), llvm 19 to read the images.
WINDOWS_PACKAGES=(g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix clang-19 lld-19 llvm-19)
# Sanitizers and libFuzzer with clang, and the 32-bit build.
HARDENING_PACKAGES=(libclang-rt-14-dev gcc-multilib g++-multilib)
# Building and checking the packages.
PACKAGE_PACKAGES=(dpkg-dev fakeroot lintian mandoc groff-base man-db unzip util-linux)
# The distributions' own tools, which build and check their packages.
DISTRO_PACKAGES=(debhelper autopkgtest rpm rpmlint makepkg pacman-package-manager libarchive-tools)
# Booting Debian's kernels under emulation, with an ACPI table of our own.
KERNEL_PACKAGES=(qemu-system-arm qemu-system-x86 acpica-tools cpio kmod xz-utils)
# The monitoring programs' peer.
MONITORING_PACKAGES=(prometheus-node-exporter)
# The ARM Linux builds: clang and lld with Debian's cross C and C++ libraries,
# the target C libraries (for the packages' Depends), binutils to read the
# binaries, and qemu-user to run them; mmdebstrap for the clean systems the
# packages are installed on. (The static builds' musl is unpacked, not
# installed: scripts/musl-sysroot.)
CROSS_PACKAGES=(clang-14 llvm-14 libstdc++-12-dev-armhf-cross libstdc++-12-dev-arm64-cross
    binutils-arm-linux-gnueabihf binutils-aarch64-linux-gnu libc6:armhf libc6:arm64
    qemu-user-static mmdebstrap arch-test)
