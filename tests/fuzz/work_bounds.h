/*
 * work_bounds.h - the bounds on one input's work that every fuzz target
 * asserts, of the kind the hostile-input suite checks on its adversarial
 * rows:
 *
 *   Exif entries read   at most 18 walks of each segment opened (IFD0
 *                       twice, 8 distinct Exif IFDs, 8 distinct maker
 *                       notes), each of at most size / 12 entries
 *   wasted work         per decode, block passes of scans that bring no
 *                       coefficient a bit it lacks (a first scan of one
 *                       already sent, a refinement of bits already there,
 *                       a sequential component held before): at most one
 *                       pass over every component's blocks. Valid
 *                       progressions waste none
 *   bytes allocated     per request, 8 x the input + 8 x the largest frame
 *                       it declares (padded to whole MCUs) + 256 KB
 *   colour transform    what one transform's lcms2 context holds: twice
 *                       the input (which holds the profile) + 4 MB; the
 *                       stages of its pipeline times the grid lcms2
 *                       resamples it at (33^3 points for three input
 *                       channels, 17^4 for four): at most 2 element lists
 *                       of kMostElements and 16 stages more
 *
 * A bound passed is reported on stderr and aborts, so that a walk or decode
 * that multiplies its work is a crash at a few kilobytes rather than a
 * time-out at megabytes; how close an input came to the Exif, the
 * wasted-work and the stage bounds is coverage, so that the fuzzer climbs
 * towards them.
 * MOVRELA_PRINT_WASTE set prints each decode's wasted work as it grows.
 * The counts come from the product's work hooks (base/work_hooks.h),
 * compiled into the fuzz build only.
 */
#ifndef MOVRELA_FUZZ_WORK_BOUNDS_H
#define MOVRELA_FUZZ_WORK_BOUNDS_H

#include <cstddef>
#include <cstdint>

/* One input's work: counting starts at construction; the allocation bound
 * for `requests` requests is checked at destruction. */
class WorkScope {
 public:
  WorkScope(const uint8_t *data, size_t size, int requests);
  ~WorkScope();

 private:
  const uint8_t *data_;
  size_t size_;
  int requests_;
  long long allocatedBefore_;
};

#endif /* MOVRELA_FUZZ_WORK_BOUNDS_H */
