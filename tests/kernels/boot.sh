#!/usr/bin/env bash
# One machine of the real-kernel tier: Debian 12's own kernel booted under
# qemu-system (software emulation) with an initramfs of ours, whose /init
# (tests/kernels/init) loads the drivers the emulated hardware asks for and
# runs the static cputemp of the machine's portable-<arch> build in TARGETS_DIR. cputemp's output,
# byte for byte, and its exit status (as Linux narrows it) must be the
# machine's answer below; what the kernel exposed is shown either way.
# Usage: boot.sh SOURCE_DIR MACHINE TARGETS_DIR
set -euo pipefail
source_dir=$(cd "$1" && pwd) machine=$2 targets=$3
fail() { echo "FAIL: $*"; exit 1; }
skip() { echo "SKIPPED: $*"; exit 77; }
. "$source_dir/scripts/lib/paths.sh"
. "$source_dir/scripts/lib/kernels.sh"

no_device='Error: No active device interfaces found.\n Is the sample driver loaded?'
# MACHINE: Debian architecture, QEMU and its machine arguments (DTBS is the
# kernel's device trees, AML our ACPI table), console, cputemp's output as
# printf's format, its exit status.
case $machine in
raspi3b) # BCM2837: its sensor, read through the real bcm2835_thermal driver
    arch=arm64 qemu=qemu-system-aarch64 console=ttyS1,115200 want='CPU Temp: 25 C\n' status=25
    args='-M raspi3b -dtb $DTBS/broadcom/bcm2837-rpi-3-b.dtb -serial null -serial stdio' ;;
raspi2b) # BCM2836: the same sensor, another device tree's coefficients
    arch=armhf qemu=qemu-system-arm console=ttyAMA0,115200 want='CPU Temp: 20 C\n' status=20
    args='-M raspi2b -dtb $DTBS/bcm2836-rpi-2-b.dtb -serial stdio' ;;
orangepi-pc) # Allwinner H3: a CPU zone whose sensor QEMU does not model (ENODATA)
    arch=armhf qemu=qemu-system-arm console=ttyS0,115200 want='failed:0x15\n' status=239
    args='-M orangepi-pc -dtb $DTBS/sun8i-h3-orangepi-pc.dtb -serial stdio' ;;
ast2600-evb) # a BMC: a board sensor (lm75) on I2C, never the CPU
    arch=armhf qemu=qemu-system-arm console=ttyS4,115200n8 want=$no_device status=239
    args='-M ast2600-evb -dtb $DTBS/aspeed-ast2600-evb.dtb -serial stdio' ;;
q35) # a PC with an ACPI thermal zone (acpitz), never the CPU: no x86 CPU
    # sensor exists under software emulation
    arch=amd64 qemu=qemu-system-x86_64 console=ttyS0 want=$no_device status=239
    args='-M q35 -cpu max -m 512 -serial stdio -acpitable file=$AML' ;;
virt) # nothing at all
    arch=arm64 qemu=qemu-system-aarch64 console=ttyAMA0 want=$no_device status=239
    args='-M virt -cpu cortex-a57 -m 512 -serial stdio' ;;
*) fail "no machine $machine" ;;
esac

build=$targets/portable-$arch
command -v "$qemu" >/dev/null || skip "no $qemu (Debian's qemu-system-arm, qemu-system-x86)"
[ -x "$build/cputemp" ] || skip "$build/cputemp is not built: run scripts/package"
kernel=$(guest_kernel "$arch") || skip "no $arch kernel could be had from the package index"
busybox=$(guest_busybox "$arch") || skip "no $arch busybox-static could be had"
work=$(mktemp -d /tmp/cputemp-kernel.XXXXXX)
pid=
stop() {
    [ -n "$pid" ] || return 0
    kill "$pid" 2>/dev/null || true
    for _ in 1 2 3 4 5 6 7 8 9 10; do
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.1
    done
    kill -9 "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
    pid=
}
trap 'stop; rm -rf "$work"' EXIT

# The initramfs: busybox, the kept modules and /init, kept per kernel and
# recipe; then cputemp in an archive of its own, which the kernel unpacks
# over the first.
base=$kernel/initramfs-$(cat "$busybox" "$source_dir/tests/kernels/init" "$0" | sha256sum | cut -c1-12).cpio.gz
if [ ! -s "$base" ]; then
    mkdir -p "$work/base/bin" "$work/base/proc" "$work/base/sys" "$work/base/dev"
    cp "$busybox" "$work/base/bin/busybox"
    for applet in sh mount cat find sort sleep modprobe od tr poweroff echo grep xargs; do
        ln -s busybox "$work/base/bin/$applet"
    done
    cp -r "$kernel/lib" "$work/base/"
    install -m 755 "$source_dir/tests/kernels/init" "$work/base/init"
    (cd "$work/base" && find . | sort | cpio --quiet -o -H newc -R 0:0 | gzip -n -1) >"$base.part"
    mv "$base.part" "$base"
fi
mkdir -p "$work/tool"
cp "$build/cputemp" "$work/tool/cputemp"
(cd "$work/tool" && echo cputemp | cpio --quiet -o -H newc -R 0:0 | gzip -n) >"$work/tool.cpio.gz"
cat "$base" "$work/tool.cpio.gz" >"$work/initrd"

# What the machines' arguments name.
# shellcheck disable=SC2034
DTBS=$kernel/dtbs AML=$work/thermal-zone.aml
if [ "$machine" = q35 ]; then
    command -v iasl >/dev/null || skip "no iasl (Debian's acpica-tools)"
    (cd "$work" && iasl -p thermal-zone "$source_dir/tests/kernels/thermal-zone.asl" >/dev/null) ||
        fail "iasl could not compile the thermal zone"
fi
machine_args=()
eval "machine_args=($args)"

# One boot, bounded: ended once the guest says it is done (the Raspberry Pis
# and the BMC cannot power off), or after the limit.
limit=${CPUTEMP_BOOT_SECONDS:-240}
started=$SECONDS
"$qemu" "${machine_args[@]}" -kernel "$kernel/vmlinuz" -initrd "$work/initrd" \
    -append "console=$console rdinit=/init panic=-1 quiet loglevel=4" \
    -display none -monitor none -no-reboot </dev/null >"$work/console" 2>"$work/qemu.log" &
pid=$!
while kill -0 "$pid" 2>/dev/null && ! grep -q '^CPUTEMP-DONE' "$work/console" &&
    [ $((SECONDS - started)) -lt "$limit" ]; do
    sleep 0.5
done
done_at=$((SECONDS - started))
stop
tr -d '\r' <"$work/console" >"$work/lines"
grep '^EXPOSED ' "$work/lines" || echo "the kernel exposed no thermal zone and no hwmon chip"
grep '^TIMES ' "$work/lines" || true
grep -q '^CPUTEMP-DONE' "$work/lines" || {
    tail -n 30 "$work/lines"
    cat "$work/qemu.log"
    fail "$machine gave no result in $done_at s (limit $limit s)"
}
echo "$machine: result in $done_at s"

# printf's bytes as hexadecimal, as the guest reports them.
# shellcheck disable=SC2059
expected=$(printf "$want" | od -An -tx1 -v | tr -d ' \n')
got=$(sed -n 's/^CPUTEMP-OUTPUT *//p' "$work/lines")
errors=$(sed -n 's/^CPUTEMP-ERRORS *//p' "$work/lines")
code=$(sed -n 's/^CPUTEMP-STATUS //p' "$work/lines")
decoded=$(printf '%s' "$got" | sed 's/../\\x&/g')
echo "cputemp printed $(printf '%q' "$(printf '%b' "$decoded")") and exited $code"
[ "$got" = "$expected" ] || fail "output $got, expected $expected ($want)"
[ -z "$errors" ] || fail "standard error $errors"
[ "$code" = "$status" ] || fail "exit status $code, expected $status"
echo "ok $machine"
