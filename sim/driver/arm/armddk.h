/* The ARM sections of the kernel-mode headers, which mingw-w64 10's ddk/wdm.h
 * includes for 32-bit ARM but does not ship, and lacks for ARM64
 * (scripts/lib/mingw-ddk-arm64.patch includes this too): only what wdm.h and a
 * plain WDM driver need. Values are those of Windows on ARM; ARM64's page
 * frame numbers are 64-bit. */
#pragma once

#if defined(_M_ARM64)
typedef ULONG64 PFN_NUMBER, *PPFN_NUMBER;
typedef LONG64 SPFN_NUMBER, *PSPFN_NUMBER;
#else
typedef ULONG PFN_NUMBER, *PPFN_NUMBER;
typedef LONG SPFN_NUMBER, *PSPFN_NUMBER;
#endif
typedef ULONG PFN_COUNT;

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
