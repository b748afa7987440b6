/*
 * planted_loop.cpp - a target with one planted fault, for the test of the
 * campaign's counts (scripts/fuzz.sh): an input that starts with 'L' never
 * returns, which the campaign must count as a time-out, not a crash.
 */
#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size > 0 && data[0] == 'L')
    for (volatile unsigned spin = 0;; spin = spin + 1) {
    }
  return 0;
}
