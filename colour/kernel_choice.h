/*
 * kernel_choice.h - which pixel kernels this processor runs: SSE2 or
 * SSE4.1 ones where cpuid reports them, the plain C++ ones otherwise. The
 * choice is made once at process attach; every kernel keeps its plain path,
 * which a test hook can force.
 */
#ifndef MOVRELA_KERNEL_CHOICE_H
#define MOVRELA_KERNEL_CHOICE_H

#include <cstdint>

enum KernelLevel : uint32_t { KernelPlain = 0, KernelSse2 = 1, KernelSse41 = 2 };

/* Process attach: asks the processor. */
void chooseColourKernels();

/* The level the kernels run at. */
KernelLevel colourKernelLevel();

/* Test hook: the plain kernels while `plain`, else the processor's again. */
void forcePlainColourKernels(bool plain);

/* A function that uses SSE registers aligns its own stack: a 32-bit
 * Windows caller keeps only 4 bytes of alignment. */
#if defined(__i386__) || defined(__x86_64__)
#define MOVRELA_X86 1
#define SIMD_FUNCTION(isa) __attribute__((target(isa), force_align_arg_pointer))
#else
#define MOVRELA_X86 0
#endif

#endif /* MOVRELA_KERNEL_CHOICE_H */
