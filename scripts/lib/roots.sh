# Sourced by the tests that need a clean Debian 12 system: minimal roots made
# with mmdebstrap from this machine's own apt sources, once, then kept.

# Where the roots are kept between runs; the recipe's version is in each name.
ROOTS_CACHE=${CPUTEMP_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/cputemp}

# The sources this machine's apt already uses, for mmdebstrap to read on stdin.
apt_sources() {
    local file
    for file in /etc/apt/sources.list.d/debian.sources /etc/apt/sources.list; do
        if [ -s "$file" ]; then
            cat "$file"
            return 0
        fi
    done
    return 1
}

# clean_root ARCH [PACKAGE,...]: prints the path of a tarball holding a minimal
# Debian 12 root for ARCH (with the packages, when given), making it first if
# it is not kept yet. Foreign architectures need their binfmt_misc handler.
clean_root() {
    local arch=$1 include=${2:-} name tarball part
    name=debian12-minbase-$arch${include:+-${include//,/-}}-v1
    tarball=$ROOTS_CACHE/$name.tar
    if [ ! -s "$tarball" ]; then
        command -v mmdebstrap >/dev/null || return 1
        mkdir -p "$ROOTS_CACHE" || return 1
        part=$ROOTS_CACHE/$name.$$.tar
        if ! apt_sources | mmdebstrap --quiet --variant=minbase --architectures="$arch" \
            ${include:+--include="$include"} bookworm "$part" - >&2; then
            rm -f "$part"
            return 1
        fi
        mv "$part" "$tarball"
    fi
    echo "$tarball"
}
