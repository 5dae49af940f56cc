#!/usr/bin/env bash
# Median wall time of one cputemp run against /bin/true, measured by hyperfine in
# one run per sysfs tree: 1, 10, 100 and 1000 thermal zones (the last one the
# CPU's), an Intel-like hwmon tree (nine chips, coretemp with sixteen cores),
# a board with eight CPU cluster zones among thirty others, and a
# Threadripper's two k10temp dies with its CPU topology. The one-zone
# run also times the static builds, the portable one (musl) and one against
# glibc, whose stripped sizes it prints. Needs root: each tree is built on a
# tmpfs and mounted on /sys in a private mount namespace.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/lib/require.sh
. scripts/lib/paths.sh
require_packages "${BUILD_PACKAGES[@]}" hyperfine util-linux python3
cmake --preset release >/dev/null
cmake --build --preset release >/dev/null
scripts/musl-sysroot amd64 >/dev/null
statics=()
for preset in portable-amd64 portable-glibc-amd64; do
    cmake --preset "$preset" >/dev/null
    cmake --build "$BUILD/$preset" --parallel 2 >/dev/null
    statics+=("$PWD/$BUILD/$preset/cputemp")
done

runs=${RUNS:-2000}
tool=$PWD/$RELEASE_TOOL
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for static in "${statics[@]}"; do
    llvm-strip-14 -o "$work/stripped" "$static"
    echo "$(basename "$(dirname "$static")"): $(stat -c %s "$work/stripped") bytes stripped"
done

# zones N: thermal_zone0..N-1 as the kernel links them; only the last is a CPU zone.
make_zones() {
    local n=$1 i
    mkdir -p sys/class/thermal
    for ((i = 0; i < n; i++)); do
        mkdir -p "sys/devices/virtual/thermal/thermal_zone$i"
        ln -s "../../devices/virtual/thermal/thermal_zone$i" "sys/class/thermal/thermal_zone$i"
        if ((i == n - 1)); then echo x86_pkg_temp; else echo "sensor$i-thermal"; fi \
            >"sys/devices/virtual/thermal/thermal_zone$i/type"
        echo 45000 >"sys/devices/virtual/thermal/thermal_zone$i/temp"
    done
}

# chip N NAME PARENT [FILE=TEXT]...: hwmonN under devices/PARENT.
chip() {
    local n=$1 name=$2 parent=$3 file
    shift 3
    local dir="sys/devices/$parent/hwmon/hwmon$n"
    mkdir -p "$dir" sys/class/hwmon
    ln -s "../../devices/$parent/hwmon/hwmon$n" "sys/class/hwmon/hwmon$n"
    ln -s "../../../${parent##*/}" "$dir/device"
    echo "$name" >"$dir/name"
    for file in "$@"; do echo "${file#*=}" >"$dir/${file%%=*}"; done
}

# A board: zones 0 to 37, every fifth from 2 a CPU cluster's, read together.
make_clusters() {
    local i
    mkdir -p sys/class/thermal
    for ((i = 0; i < 38; i++)); do
        mkdir -p "sys/devices/virtual/thermal/thermal_zone$i"
        ln -s "../../devices/virtual/thermal/thermal_zone$i" "sys/class/thermal/thermal_zone$i"
        if ((i % 5 == 2)); then echo "cluster$((i / 5))-thermal"; else echo "sensor$i-thermal"; fi \
            >"sys/devices/virtual/thermal/thermal_zone$i/type"
        echo $((40000 + 500 * i)) >"sys/devices/virtual/thermal/thermal_zone$i/temp"
    done
}

make_intel() {
    local cores=() c
    for ((c = 0; c < 16; c++)); do
        cores+=("temp$((c + 2))_label=Core $c" "temp$((c + 2))_input=4$((c % 10))000")
    done
    chip 0 acpitz LNXSYSTM:00/device:00/ACPI0000:00 temp1_input=27800 temp2_input=29800
    chip 1 nvme pci0000:00/0000:00:1d.0/0000:3d:00.0/nvme/nvme0 temp1_label=Composite \
        temp1_input=38850 temp2_label="Sensor 1" temp2_input=38850
    chip 2 pch_cannonlake pci0000:00/0000:00:12.0 temp1_input=45000
    chip 3 iwlwifi_1 virtual temp1_input=40000
    chip 4 dell_smm platform/dell_smm_hwmon temp1_label=CPU temp1_input=52000
    chip 5 BAT0 LNXSYSTM:00/device:00/PNP0C0A:00/power_supply/BAT0 in0_input=12400
    chip 6 ucsi_source_psy_USBC000:001 virtual in0_input=5000
    chip 7 coretemp platform/coretemp.0 temp1_label="Package id 0" temp1_input=47000 "${cores[@]}"
    chip 8 nct6798 platform/nct6775.2592 temp1_label=SYSTIN temp1_input=33000 \
        temp2_label=CPUTIN temp2_input=127500
    make_zones 2
}

# A Threadripper: a k10temp chip for each of two dies, one package of 32 CPUs.
make_dies() {
    local c
    chip 0 nvme pci0000:00/0000:00:01.1/0000:01:00.0/nvme/nvme0 temp1_label=Composite temp1_input=38850
    chip 1 k10temp pci0000:00/0000:00:18.3 temp1_label=Tctl temp1_input=61000
    chip 2 k10temp pci0000:00/0000:00:19.3 temp1_label=Tctl temp1_input=66500
    mkdir -p sys/devices/system/cpu
    echo 0-31 >sys/devices/system/cpu/online
    for ((c = 0; c < 32; c++)); do
        mkdir -p "sys/devices/system/cpu/cpu$c/topology"
        echo 0-31 >"sys/devices/system/cpu/cpu$c/topology/package_cpus_list"
    done
}

trees=("1 zone:make_zones 1" "10 zones:make_zones 10" "100 zones:make_zones 100"
    "1000 zones:make_zones 1000" "Intel hwmon:make_intel" "8 clusters:make_clusters"
    "2 dies:make_dies")
for entry in "${trees[@]}"; do
    label=${entry%%:*}
    build=${entry#*:}
    key=${label// /_}
    extra=
    [ "$label" = "1 zone" ] && extra="${statics[*]}"
    # In a namespace of its own: a tmpfs for the tree, then the tree on /sys.
    unshare -m bash -c "
      set -e
      mount --make-rprivate /
      mount -t tmpfs tmpfs '$work' && cd '$work'
      $(declare -f make_zones chip make_intel make_clusters make_dies)
      $build
      mount --bind '$work/sys' /sys
      printf '%-12s ' '$label:'; s=0; out=\$('$tool') || s=\$?; echo \"\$out (exit \$s)\"
      hyperfine -N -i --warmup 200 --runs $runs --export-json /tmp/cputemp-bench-$key.json \
        '$tool' $extra /bin/true >/dev/null 2>&1"
    mv "/tmp/cputemp-bench-$key.json" "$work/$key.json" 2>/dev/null || true
done

python3 - "$work" "$tool" "${statics[@]}" <<'PY'
import json, os, sys
work, tool, statics = sys.argv[1], sys.argv[2], sys.argv[3:]
goals = {"1 zone": 1.10, "100 zones": 1.5, "Intel hwmon": 1.15, "8 clusters": 1.15}
for label in ["1 zone", "10 zones", "100 zones", "1000 zones", "Intel hwmon", "8 clusters", "2 dies"]:
    results = json.load(open(os.path.join(work, label.replace(" ", "_") + ".json")))["results"]
    median = {r["command"]: r["median"] for r in results}
    t, true = median[tool], median["/bin/true"]
    goal = f" (goal {goals[label]:.2f})" if label in goals else ""
    print(f"{label:12} cputemp {t * 1e6:6.0f} us, /bin/true {true * 1e6:4.0f} us, ratio {t / true:.3f}{goal}")
    for static in (s for s in statics if s in median):
        s, name = median[static], os.path.basename(os.path.dirname(static))
        print(f"{'':12} {name} {s * 1e6:6.0f} us, ratio {s / true:.3f}")
PY
