#!/usr/bin/env bash
# Median wall time of one cputemp run reading a one-zone thermal tree, against
# /bin/true, measured by hyperfine in one run on this machine. Needs root: the
# tree is mounted on /sys/class/thermal in a private mount namespace.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/lib/require.sh
require_packages "${BUILD_PACKAGES[@]}" hyperfine util-linux python3
cmake --preset release >/dev/null
cmake --build --preset release >/dev/null

runs=${RUNS:-2000}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/thermal/thermal_zone0"
printf 'x86_pkg_temp\n' >"$work/thermal/thermal_zone0/type"
printf '45000\n' >"$work/thermal/thermal_zone0/temp"

unshare -m sh -c "
  mount --make-rprivate / &&
  mount --bind '$work/thermal' /sys/class/thermal &&
  build/release/cputemp >/dev/null; echo \"cputemp against the tree: exit \$?\" &&
  hyperfine -N -i --warmup 200 --runs $runs --export-json '$work/times.json' \
    build/release/cputemp /bin/true >&2"

python3 - "$work/times.json" <<'PY'
import json, sys
results = json.load(open(sys.argv[1]))["results"]
median = {r["command"]: r["median"] for r in results}
tool, true = median["build/release/cputemp"], median["/bin/true"]
print(f"median cputemp {tool * 1e6:.0f} us, /bin/true {true * 1e6:.0f} us, ratio {tool / true:.3f}")
PY
