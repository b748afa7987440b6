/*
 * profile_limits.h - what an ICC profile may ask of lcms2, judged from its
 * raw bytes before lcms2 opens it. lcms2 makes a stage of every element of
 * a multiProcessElements list, searches segmented curves segment by
 * segment and reverses output curves entry by entry, all at every point of
 * the grid it resamples a transform at: a few kilobytes can cost it
 * minutes. Its memory is bounded elsewhere; these bound its work. Real
 * profiles stay far inside them.
 */
#ifndef MOVRELA_PROFILE_LIMITS_H
#define MOVRELA_PROFILE_LIMITS_H

#include <cstdint>

/* Tags in the profile's table: lcms2's own ceiling. */
constexpr uint32_t kMostProfileTags = 100;
/* Elements of a multiProcessElements list (a float D2Bx or BToDx tag);
 * real ones have one to four. */
constexpr uint32_t kMostElements = 16;
/* Segments of one segmented curve; real ones have two or three. */
constexpr uint32_t kMostCurveSegments = 16;
/* Entries of one sampled curve ('curv', a sampled segment, a lut16's
 * tables): reversing one for the display costs 4096 x entries steps. */
constexpr uint32_t kMostCurveEntries = 4096;
/* Input channels of a colour lookup table: CMYK's four are the most a
 * picture or display profile needs; each more doubles every look-up. */
constexpr uint32_t kMostClutInputs = 4;
/* Grid points of one colour lookup table: 33 a channel for four inputs. */
constexpr uint32_t kMostGridPoints = 33u * 33u * 33u * 33u;

/* True when every tag of the profile in `bytes` stays within the limits
 * above and lies inside `size`; false for anything else, a profile too
 * short for its header and tag table included. */
bool profileWithinLimits(const uint8_t *bytes, uint32_t size);

#endif /* MOVRELA_PROFILE_LIMITS_H */
