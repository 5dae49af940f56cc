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

# clean_root ARCH[,ARCH...] [PACKAGE,...]: prints the path of a tarball holding
# a minimal Debian 12 root for ARCH (the first, with the others as foreign
# architectures; with the packages, when given), making it first if it is not
# kept yet. Foreign architectures need their binfmt_misc handler.
clean_root() {
    local arch=$1 include=${2:-} name tarball part lock status=0 unserved
    name=debian12-minbase-${arch//,/-}${include:+-${include//,/-}}-v1
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
        # Debian 12 for what the tests install on it. Once that happened to
        # an architecture, its next roots of the day go there at once.
        unserved=$ROOTS_CACHE/security-unserved-${arch//,/-}
        make_root() {
            mmdebstrap --quiet --variant=minbase --architectures="$arch" \
                ${include:+--include="$include"} bookworm "$part" - >&2
        }
        if [ -n "$(find "$unserved" -mmin -720 2>/dev/null)" ]; then
            echo "cputemp: the $arch root without the security archive, which failed today" >&2
            apt_sources | without_security | make_root || status=1
        elif apt_sources | make_root; then
            rm -f "$unserved"
        else
            echo "cputemp: retrying the $arch root without the security archive" >&2
            apt_sources | without_security | make_root && touch "$unserved" || status=1
        fi
        if [ "$status" -eq 0 ]; then
            mv "$part" "$tarball"
        else
            rm -f "$part"
        fi
    fi
    exec {lock}>&-
    [ "$status" -eq 0 ] && echo "$tarball"
}

# build_root_packages: what a buildd's root holds to build the Debian source
# package: build-essential and packaging/debian/control's Build-Depends, as
# apt names them (no versions, profiles or architectures).
build_root_packages() {
    local control
    control=$(dirname "${BASH_SOURCE[0]}")/../../packaging/debian/control
    sed -n '/^Build-Depends:/,/^[A-Z][^:]*:/p' "$control" | sed '1s/^Build-Depends://; /^[A-Z][^:]*:/d' |
        tr ',' '\n' | sed 's/[[(<].*//; s/ //g; s/^debhelper-compat$/debhelper/' | grep . |
        sed '1i build-essential' | paste -sd, -
}
