# Sourced: a private apt, for source packages and bookworm-backports, that reads
# the archives this machine's apt already names and changes nothing of its own.

# private_apt_sources: this machine's Debian archives in deb822 form, with
# deb-src and, beside bookworm, bookworm-backports.
private_apt_sources() {
    local file
    if [ -s /etc/apt/sources.list.d/debian.sources ]; then
        awk '
            /^Types:/ { print "Types: deb deb-src"; next }
            /^Suites:/ {
                line = $0
                for (i = 2; i <= NF; i++) if ($i == "bookworm") line = line " bookworm-backports"
                print line; next
            }
            { print }
        ' /etc/apt/sources.list.d/debian.sources
        return 0
    fi
    for file in /etc/apt/sources.list; do
        [ -s "$file" ] || continue
        # One-line entries: deb [options] URI SUITE COMPONENT...
        awk '$1 == "deb" {
            uri = ""; suite = ""; comps = ""
            for (i = 2; i <= NF; i++) {
                if ($i ~ /^\[/) { while ($i !~ /\]$/) i++; continue }
                if (uri == "") uri = $i; else if (suite == "") suite = $i; else comps = comps " " $i
            }
            suites = suite; if (suite == "bookworm") suites = suites " bookworm-backports"
            printf "Types: deb deb-src\nURIs: %s\nSuites: %s\nComponents:%s\nSigned-By: /usr/share/keyrings/debian-archive-keyring.gpg\n\n", uri, suites, comps
        }' "$file"
        return 0
    done
    return 1
}

# private_apt DIR ARGS...: apt-get with its lists, cache and sources under DIR.
private_apt() {
    local dir=$1
    shift
    # Sources, and binaries of this machine's own architecture: another
    # architecture's index that fails (a mirror in mid-sync) cannot stop it.
    apt-get -q -o APT::Architectures="$(dpkg --print-architecture)" \
        -o Dir::Etc::SourceList=/dev/null -o Dir::Etc::SourceParts="$dir/sources.list.d" \
        -o Dir::State::Lists="$dir/lists" -o Dir::Cache="$dir/cache" \
        -o Dir::State::Status=/var/lib/dpkg/status -o APT::Sandbox::User=root "$@"
}

# private_apt_update DIR: sets DIR up and fetches its lists.
private_apt_update() {
    local dir=$1
    mkdir -p "$dir/sources.list.d" "$dir/lists/partial" "$dir/cache/archives/partial"
    private_apt_sources >"$dir/sources.list.d/debian.sources" || return 1
    private_apt "$dir" update >&2
}
