/* The ARM64 section of the kernel-mode headers, which mingw-w64 10's ddk/wdm.h
 * lacks (scripts/lib/mingw-ddk-arm64.patch includes this): only what wdm.h and
 * a plain WDM driver need. Values are those of Windows on ARM64, whose page
 * frame numbers are 64-bit. */
#pragma once

typedef ULONG PFN_COUNT;
typedef ULONG64 PFN_NUMBER, *PPFN_NUMBER;
typedef LONG64 SPFN_NUMBER, *PSPFN_NUMBER;

#define PASSIVE_LEVEL 0
#define LOW_LEVEL 0
#define APC_LEVEL 1
#define DISPATCH_LEVEL 2
#define CLOCK_LEVEL 13
#define IPI_LEVEL 14
#define POWER_LEVEL 14
#define PROFILE_LEVEL 15
#define HIGH_LEVEL 15

#define PAGE_SIZE 0x1000
#define PAGE_SHIFT 12L

typedef struct _KFLOATING_SAVE {
    ULONG Reserved;
} KFLOATING_SAVE, *PKFLOATING_SAVE;

#define YieldProcessor() __asm__ __volatile__("yield")

NTHALAPI KIRQL NTAPI KeGetCurrentIrql(VOID);
