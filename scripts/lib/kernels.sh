# Sourced: Debian 12's own kernels and busybox for booting cputemp under
# qemu-system, downloaded and unpacked into the cache (never installed), keyed
# by the package versions the index names at the time. Needs scripts/lib/paths.sh.
#   guest_kernel ARCH   prints a directory holding vmlinuz, dtbs/ and the
#                       modules of the drivers a sensor can need, depmod'ed
#   guest_busybox ARCH  prints the path of busybox-static's busybox

KERNELS_CACHE=$CACHE/kernels

# The kernel flavour's meta-package for ARCH, which names the current kernel.
kernel_meta() {
    case $1 in
    amd64) echo linux-image-amd64 ;;
    arm64) echo linux-image-arm64 ;;
    armhf) echo linux-image-armmp ;;
    esac
}

# index_version PACKAGE:ARCH: the version the package index has.
index_version() {
    apt-cache show "$1" 2>/dev/null | awk '/^Version:/ { print $2; exit }'
}

# guest_packages ARCH: "KERNEL_PACKAGE KERNEL_VERSION BUSYBOX_VERSION" as the
# index names them, asked once for each state of apt's lists: apt-cache takes
# seconds a question with four architectures' lists.
guest_packages() {
    local arch=$1 meta stamp known package
    meta=$(kernel_meta "$arch") || return 1
    stamp=$(stat -c %Y /var/lib/apt/lists/*_Packages* 2>/dev/null | sort -n | tail -n 1)
    known=$KERNELS_CACHE/index-$arch
    if [ -n "$stamp" ] && [ "$(head -n 1 "$known" 2>/dev/null)" = "$stamp" ]; then
        sed -n 2p "$known"
        return 0
    fi
    package=$(apt-cache depends "$meta:$arch" 2>/dev/null | awk '/Depends: linux-image-/ { print $2; exit }')
    package=${package%%:*}
    set -- "$package" "$(index_version "$package:$arch")" "$(index_version "busybox-static:$arch")"
    [ -n "$1" ] && [ -n "$2" ] && [ -n "$3" ] || { echo "cputemp: the index names no $arch kernel" >&2; return 1; }
    mkdir -p "$KERNELS_CACHE" && printf '%s\n%s\n' "$stamp" "$*" >"$known.$$" && mv "$known.$$" "$known"
    echo "$*"
}

# unpack_package PACKAGE:ARCH VERSION: downloads it, unpacked into a temporary
# directory that it prints (root/ inside).
unpack_package() {
    local package=$1 version=$2 dir
    dir=$(mktemp -d "$KERNELS_CACHE/unpack.XXXXXX")
    (cd "$dir" && apt-get download -q "$package=$version" >&2) &&
        dpkg-deb -x "$dir"/*.deb "$dir/root" && rm "$dir"/*.deb && echo "$dir" && return 0
    rm -rf "$dir"
    return 1
}

# The modules a sensor can need: thermal and hwmon drivers, the I2C buses
# board sensors sit on, the NVMEM cells sensors read their calibration from,
# and ACPI's thermal zones; with what they depend on.
GUEST_MODULES=(kernel/drivers/thermal kernel/drivers/hwmon kernel/drivers/i2c kernel/drivers/nvmem
    kernel/drivers/acpi/thermal.ko*)

# keep_kernel ROOT KVER KEPT: from an unpacked kernel package, vmlinuz, the
# dtbs and the guest's modules into KEPT.
keep_kernel() {
    local root=$1 kver=$2 kept=$3 modules=$1/lib/modules/$2
    mkdir -p "$kept/lib/modules/$kver" &&
        cp "$root/boot/vmlinuz-$kver" "$kept/vmlinuz" &&
        { [ ! -d "$root/usr/lib/linux-image-$kver" ] || mv "$root/usr/lib/linux-image-$kver" "$kept/dtbs"; } &&
        cp "$modules"/modules.order "$modules"/modules.builtin* "$kept/lib/modules/$kver/" &&
        # The package's modules.dep is made when it is installed.
        depmod -b "$root" "$kver" || return 1
    # The drivers, then what they depend on, as modules.dep says.
    (cd "$modules" && find "${GUEST_MODULES[@]}" -name '*.ko*' 2>/dev/null) >"$root/wanted"
    awk -F: 'NR == FNR { wanted[$0] = 1; next }
        $1 in wanted { print $1; n = split($2, d, " "); for (i = 1; i <= n; i++) print d[i] }' \
        "$root/wanted" "$modules/modules.dep" | sort -u >"$root/with-deps"
    [ -s "$root/with-deps" ] && (cd "$modules" && cpio --quiet -pdm "$kept/lib/modules/$kver" <"$root/with-deps") &&
        # busybox's modprobe reads plain modules.
        find "$kept/lib/modules/$kver" -name '*.ko.xz' -exec xz -d {} + &&
        depmod -b "$kept" "$kver" &&
        echo "cputemp: kept $(basename "$kept"): $(wc -l <"$root/with-deps") modules, $(du -sh "$kept" | cut -f1)" >&2
}

guest_kernel() {
    local arch=$1 package version kept lock dir
    read -r package version _ < <(guest_packages "$arch") || return 1
    kept=$KERNELS_CACHE/${package}_$version
    mkdir -p "$KERNELS_CACHE" || return 1
    exec {lock}>"$KERNELS_CACHE/$package.lock"
    flock "$lock"
    if [ ! -e "$kept/.complete" ] && dir=$(unpack_package "$package:$arch" "$version"); then
        rm -rf "$kept"
        if keep_kernel "$dir/root" "${package#linux-image-}" "$kept"; then
            touch "$kept/.complete"
        else
            rm -rf "$kept"
        fi
        rm -rf "$dir"
    fi
    exec {lock}>&-
    [ -e "$kept/.complete" ] && echo "$kept"
}

guest_busybox() {
    local arch=$1 version lock kept dir
    read -r _ _ version < <(guest_packages "$arch") || return 1
    kept=$KERNELS_CACHE/busybox-static_${version//:/-}_$arch
    mkdir -p "$KERNELS_CACHE" || return 1
    exec {lock}>"$KERNELS_CACHE/busybox.lock"
    flock "$lock"
    if [ ! -e "$kept" ] && dir=$(unpack_package "busybox-static:$arch" "$version"); then
        cp "$dir/root/bin/busybox" "$kept.part" && mv "$kept.part" "$kept"
        rm -rf "$dir"
    fi
    exec {lock}>&-
    [ -e "$kept" ] && echo "$kept"
}
