// ___chkstk_ms for Windows x64, which gcc calls before allocating a frame of
// a page or more (mingw-w64's start-up does, for its relocation table): rax
// holds the size, every page from the stack pointer down is touched in order,
// so that the guard page grows the stack, and every register is kept. libgcc's
// pushes two registers without unwind data; Windows requires it of every
// function that moves the stack pointer, so this one, linked first, carries it.
asm(R"(
        .text
        .p2align 4
        .globl  ___chkstk_ms
        .def    ___chkstk_ms; .scl 2; .type 32; .endef
        .seh_proc ___chkstk_ms
___chkstk_ms:
        pushq   %rcx
        .seh_pushreg %rcx
        pushq   %rax
        .seh_pushreg %rax
        .seh_endprologue
        cmpq    $0x1000, %rax
        leaq    24(%rsp), %rcx
        jb      2f
1:      subq    $0x1000, %rcx
        orq     $0x0, (%rcx)
        subq    $0x1000, %rax
        cmpq    $0x1000, %rax
        ja      1b
2:      subq    %rax, %rcx
        orq     $0x0, (%rcx)
        popq    %rax
        popq    %rcx
        ret
        .seh_endproc
)");
