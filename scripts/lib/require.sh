# Sourced by the scripts: installs the Debian packages a command needs when they
# are missing (as root), or says which apt-get line to run.

# require_packages PACKAGE...
require_packages() {
    local missing=() pkg
    for pkg in "$@"; do
        if [ "$(dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null)" != "install ok installed" ]; then
            missing+=("$pkg")
        fi
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    if [ "$(id -u)" -ne 0 ]; then
        echo "cputemp: missing packages: ${missing[*]}" >&2
        echo "Run: sudo apt-get install -y --no-install-recommends ${missing[*]}" >&2
        exit 1
    fi
    echo "cputemp: installing ${missing[*]}" >&2
    if [ -z "${CPUTEMP_APT_UPDATED:-}" ]; then
        DEBIAN_FRONTEND=noninteractive apt-get update -q >&2
        export CPUTEMP_APT_UPDATED=1
    fi
    DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}" >&2
}

# The packages every build needs.
BUILD_PACKAGES=(cmake make g++ libc6-dev)
