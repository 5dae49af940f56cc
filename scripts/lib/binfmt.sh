# Sourced by the scripts and the tests that run foreign binaries: hands ARM ELF
# files to qemu-user through binfmt_misc, with the F flag, so that they run in
# chroots and private mount namespaces too.

# enable_binfmt NAME...: registers qemu-NAME (arm, aarch64) from qemu-user-static's
# own binfmt.d entry unless a handler of that name is there. Fails quietly
# when the machine cannot (no binfmt_misc, not root, no qemu-user-static).
enable_binfmt() {
    local dir=/proc/sys/fs/binfmt_misc name entry
    if [ ! -e "$dir/register" ]; then
        mount -t binfmt_misc binfmt_misc "$dir" 2>/dev/null || return 1
    fi
    for name in "$@"; do
        [ -e "$dir/qemu-$name" ] && continue
        entry=$(cat "/usr/lib/binfmt.d/qemu-$name.conf" 2>/dev/null) || return 1
        printf '%s' "$entry" >"$dir/register" 2>/dev/null || return 1
    done
}

# binfmt_entry NAME: qemu-NAME's binfmt_misc entry, from qemu-user-static's
# binfmt.d, which on x86 machines has none for i386: that one is ours.
binfmt_entry() {
    if [ "$1" = i386 ]; then
        printf '%s' ':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386-static:F'
    else
        cat "/usr/lib/binfmt.d/qemu-$1.conf" 2>/dev/null
    fi
}

# binfmt_handler NAME INTERPRETER: hands qemu-NAME's binaries to INTERPRETER,
# replacing a handler of that name that names another. In a user namespace
# of its own, on kernels since 6.7, this is a binfmt_misc of its own.
binfmt_handler() {
    local dir=/proc/sys/fs/binfmt_misc name=$1 qemu=$2 entry
    if [ ! -e "$dir/register" ]; then
        mount -t binfmt_misc binfmt_misc "$dir" 2>/dev/null || return 1
    fi
    grep -qx "interpreter $qemu" "$dir/qemu-$name" 2>/dev/null && return 0
    if [ -e "$dir/qemu-$name" ]; then
        echo -1 >"$dir/qemu-$name" || return 1
    fi
    entry=$(binfmt_entry "$name") || return 1
    # :name:type:offset:magic:mask:interpreter:flags. F: the interpreter is
    # opened now, so it runs in chroots; P: qemu gets the original argv[0].
    printf '%s' "$entry" | awk -F: -v OFS=: -v q="$qemu" '{ $7 = q; $8 = "PF"; print }' \
        >"$dir/register" 2>/dev/null
}

# enable_i386_emulation: where the kernel cannot run 32-bit x86 programs itself
# (some virtual machines lack its 32-bit mode), hands them to qemu-i386, so that
# the 32-bit build's tests still run. Nothing changes where they run natively.
# Only for those tests: Wine would then start its 32-bit half under emulation,
# which takes minutes; disable_i386_emulation undoes it.
# i386_loader: the path of the 32-bit C library's loader (gcc-multilib's),
# or false when it is not installed.
i386_loader() {
    local probe
    for probe in /lib/ld-linux.so.2 /lib32/ld-linux.so.2; do
        [ -x "$probe" ] && echo "$probe" && return 0
    done
    return 1
}
# i386_runs_natively: whether this kernel runs 32-bit x86 programs itself, as
# that loader tells; false without one.
i386_runs_natively() {
    local loader
    loader=$(i386_loader) && "$loader" --version >/dev/null 2>&1
}

enable_i386_emulation() {
    local dir=/proc/sys/fs/binfmt_misc
    i386_loader >/dev/null || return 1
    i386_runs_natively && return 0
    [ -x /usr/bin/qemu-i386-static ] || return 1
    if [ ! -e "$dir/register" ]; then
        mount -t binfmt_misc binfmt_misc "$dir" 2>/dev/null || return 1
    fi
    binfmt_entry i386 >"$dir/register" 2>/dev/null || return 1
    echo "cputemp: this kernel runs no 32-bit x86 program itself; they run under qemu-i386" >&2
}

disable_i386_emulation() {
    local entry=/proc/sys/fs/binfmt_misc/qemu-i386
    [ ! -e "$entry" ] || echo -1 >"$entry"
}
