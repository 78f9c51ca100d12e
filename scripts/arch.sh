# Sourced by env.sh: decides which Windows programs this machine can run under Wine.
# win32 where the kernel runs 32-bit x86 code (32-bit Wine), else win64 (64-bit Wine).
# VM_ARCH=win32 or VM_ARCH=win64 in the environment forces a path. Sets VM_ARCH and VM_ARCH_WHY.

# Runs a 32-bit ELF of a few dozen bytes (exit(42) through int 0x80): 42 means the kernel runs
# 32-bit code; 126 ("Exec format error") means it refuses it. The last padding byte of its ELF
# identification is 1: the kernel ignores it, but a binfmt_misc entry that hands 32-bit ELF to an
# emulator (scripts/emulate32.sh) requires 0 there, so emulation never passes for native support.
vm_kernel_runs_32bit() {
    local probe status
    probe="$(mktemp /tmp/vm-probe32.XXXXXX)" || return 1
    printf '\177ELF\001\001\001\000\000\000\000\000\000\000\000\001\002\000\003\000\001\000\000\000\124\200\004\010\064\000\000\000\000\000\000\000\000\000\000\000\064\000\040\000\001\000\000\000\000\000\000\000\001\000\000\000\000\000\000\000\000\200\004\010\000\200\004\010\140\000\000\000\140\000\000\000\005\000\000\000\000\020\000\000\270\001\000\000\000\273\052\000\000\000\315\200' >"$probe"
    chmod +x "$probe"
    "$probe" 2>/dev/null
    status=$?
    rm -f "$probe"
    [ "$status" = 42 ]
}

# A script started by another one inherits the decision already made.
if [ -n "${VM_ARCH:-}" ] && [ -n "${VM_ARCH_WHY:-}" ]; then
    return 0
fi

case "${VM_ARCH:-}" in
    "")
        if vm_kernel_runs_32bit; then
            VM_ARCH=win32
            VM_ARCH_WHY="the kernel runs 32-bit code"
        else
            VM_ARCH=win64
            VM_ARCH_WHY="the kernel refuses 32-bit code (a 32-bit probe did not run)"
        fi
        ;;
    win32)
        if ! vm_kernel_runs_32bit; then
            echo "VM_ARCH=win32 cannot work here: this kernel refuses 32-bit code (Exec format error)," >&2
            echo "so 32-bit Wine cannot start. Use VM_ARCH=win64 (or leave VM_ARCH unset)." >&2
            exit 2
        fi
        VM_ARCH_WHY="forced by VM_ARCH=win32"
        ;;
    win64) VM_ARCH_WHY="forced by VM_ARCH=win64" ;;
    *)
        echo "VM_ARCH must be win32 or win64, not '$VM_ARCH'" >&2
        exit 2
        ;;
esac
export VM_ARCH VM_ARCH_WHY
