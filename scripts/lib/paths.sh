# Sourced: where things are built and kept, said once for the scripts, the
# tests and the bench. Build paths are relative to the top of the checkout,
# where every script works: each CMake preset builds in build/<preset>
# (CMakePresets.json), cmake/targets.cmake's targets among them.
BUILD=build
# What scripts/package made, checksummed: `cd build && sha256sum -c SHA256SUMS`.
SUMS=$BUILD/SHA256SUMS
# The release preset's tool.
RELEASE_TOOL=$BUILD/release/cputemp
# mingw_sysroot_link ARCH: where cmake/mingw-clang.cmake finds scripts/mingw-sysroot's work.
mingw_sysroot_link() {
    echo "$BUILD/mingw-$1-sysroot"
}
# musl_sysroot_link ARCH: where cmake/linux-musl.cmake finds scripts/musl-sysroot's work.
musl_sysroot_link() {
    echo "$BUILD/musl-$1-sysroot"
}
# Downloads, roots and sysroots, kept between runs.
CACHE=${CPUTEMP_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/cputemp}
