// __chkstk for Windows on 32-bit ARM, as its callers expect it: r4 holds the
// size of the frame about to be allocated, in words; each page from the stack
// pointer down is touched in order, so that the guard page grows the stack,
// and r4 is returned in bytes for the caller to subtract. compiler-rt's pushes
// r5 and r6 without unwind data; Windows requires it of every function that
// touches the stack, so this one carries it.
        .syntax unified
        .thumb
        .text
        .p2align 2
        .globl  __chkstk
        .def    __chkstk
        .scl    2
        .type   32
        .endef
        .seh_proc __chkstk
__chkstk:
        push    {r5, r6}
        .seh_save_regs {r5, r6}
        .seh_endprologue
        lsl.w   r4, r4, #2
        mov     r12, sp
        mov     r5, r4
1:
        sub.w   r12, r12, #4096
        subs.w  r5, r5, #4096
        ldr.w   r6, [r12]
        bgt     1b
        .seh_startepilogue
        pop     {r5, r6}
        .seh_save_regs {r5, r6}
        bx      lr
        .seh_nop
        .seh_endepilogue
        .seh_endproc
