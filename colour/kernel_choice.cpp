/*
 * kernel_choice.cpp - cpuid's answer, kept from process attach.
 */
#include "colour/kernel_choice.h"

#include <atomic>

#if MOVRELA_X86
#include <cpuid.h>
#endif

namespace {

std::atomic<uint32_t> chosen{KernelPlain}; /* what the processor can do */
std::atomic<bool> plainForced{false};

KernelLevel processorLevel() {
#if MOVRELA_X86
  unsigned a = 0, b = 0, c = 0, d = 0;
  if (!__get_cpuid(1, &a, &b, &c, &d)) return KernelPlain;
  if (!(d & bit_SSE2)) return KernelPlain;
  return (c & bit_SSE4_1) ? KernelSse41 : KernelSse2;
#else
  return KernelPlain;
#endif
}

}  // namespace

void chooseColourKernels() { chosen.store(processorLevel(), std::memory_order_relaxed); }

KernelLevel colourKernelLevel() {
  if (plainForced.load(std::memory_order_relaxed)) return KernelPlain;
  return static_cast<KernelLevel>(chosen.load(std::memory_order_relaxed));
}

void forcePlainColourKernels(bool plain) { plainForced.store(plain, std::memory_order_relaxed); }
