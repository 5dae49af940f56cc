# Sourced by the tests that need a clean Debian 12 system: minimal roots made
# with mmdebstrap from this machine's own apt sources, once, then kept.

# Where the roots are kept between runs (scripts/lib/paths.sh); the recipe's
# version is in each name.
. "$(dirname "${BASH_SOURCE[0]}")/paths.sh"
ROOTS_CACHE=$CACHE

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

# The same without the security archive: its deb822 stanzas and one-line entries.
without_security() {
    awk -v RS= -v ORS='\n\n' '!(/URIs:/ && /debian-security/)' | grep -v '^deb .*debian-security'
}

# clean_root ARCH [PACKAGE,...]: prints the path of a tarball holding a minimal
# Debian 12 root for ARCH (with the packages, when given), making it first if
# it is not kept yet. Foreign architectures need their binfmt_misc handler.
clean_root() {
    local arch=$1 include=${2:-} name tarball part lock status=0
    name=debian12-minbase-$arch${include:+-${include//,/-}}-v1
    tarball=$ROOTS_CACHE/$name.tar
    [ -s "$tarball" ] && echo "$tarball" && return 0
    command -v mmdebstrap >/dev/null || return 1
    mkdir -p "$ROOTS_CACHE" || return 1
    # One maker at a time: whoever comes second waits for the first one's root.
    exec {lock}>"$ROOTS_CACHE/$name.lock"
    flock "$lock"
    if [ ! -s "$tarball" ]; then
        part=$ROOTS_CACHE/$name.$$.tar
        # A mirror in mid-sync can serve a security index that fails its
        # check for hours: then a root of the release alone, which is still
        # Debian 12 for what the tests install on it.
        make_root() {
            mmdebstrap --quiet --variant=minbase --architectures="$arch" \
                ${include:+--include="$include"} bookworm "$part" - >&2
        }
        if apt_sources | make_root ||
            { echo "cputemp: retrying the $arch root without the security archive" >&2 &&
                apt_sources | without_security | make_root; }; then
            mv "$part" "$tarball"
        else
            rm -f "$part"
            status=1
        fi
    fi
    exec {lock}>&-
    [ "$status" -eq 0 ] && echo "$tarball"
}
