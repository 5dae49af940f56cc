# Sourced by the scripts and the tests that run foreign binaries: hands ARM ELF
# files to qemu-user through binfmt_misc, with the F flag, so that they run in
# chroots and private mount namespaces too.

# enable_binfmt NAME...: registers qemu-NAME (arm, aarch64) from qemu-user-static's
# own binfmt.d entry unless a handler of that name is there. Fails quietly when
# the machine cannot (no binfmt_misc, not root, no qemu-user-static).
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
