/*
 * progression.h - the rule every scan of a stream must keep, whoever reads
 * it: the progress monitor as libjpeg reaches each scan, and the walk over
 * the markers before a stream is handed to the wrapped decoder. Plain
 * numbers in, no libjpeg.
 *
 * In a progressive stream each coefficient a scan names is either new
 * (Ah = 0, not named before) or refined by exactly one bit (Ah = its last
 * Al, Al = Ah - 1); in a sequential one each component is held by one scan
 * only. No encoder breaks this, and a stream that repeats scans (each a
 * pass over the whole picture) must, so a scan that breaks it is refused
 * before its data is read. So is a stream of more than kMaxScans scans.
 */
#ifndef MOVRELA_PROGRESSION_H
#define MOVRELA_PROGRESSION_H

#include <cstdint>

/* The most scans a stream may have. libjpeg's own progressive scripts
 * write 10 scans for a colour picture and at most 2 + 4 per component
 * (42 for its ten components); other common encoders write fewer than 20.
 * A valid progression may still be longer: it is refused too, since the
 * decode's work grows with the scans times the picture. */
constexpr int kMaxScans = 100;

constexpr int kProgressionComponents = 10; /* libjpeg's MAX_COMPONENTS */
constexpr int kScanComponents = 4;         /* libjpeg's MAX_COMPS_IN_SCAN */
constexpr uint8_t kNotNamed = 0xFF;        /* lastAl of a coefficient no scan named */

/* What the scans so far have named. Plain, so that it may live in frames
 * a jump to the recovery point crosses. */
struct Progression {
  uint8_t lastAl[kProgressionComponents][64]; /* per coefficient; kNotNamed at first */
  uint8_t held[kProgressionComponents];       /* sequential: a scan held the component */
  int32_t scans;                              /* scans taken so far */
};

/* What one scan's header names. All zero: a scan that names nothing. */
struct ScanBounds {
  int count;                       /* components named */
  int components[kScanComponents]; /* their indexes; those beyond
                                      kProgressionComponents are ignored */
  int ss, se;                      /* the coefficients it names */
  int ah, al;                      /* its bit positions (progressive streams only) */
};

void startProgression(Progression *p);

/* Takes the next scan of a progressive or sequential stream. False when
 * the scan breaks the rule or is one too many; the record then holds it
 * in part. */
bool takeScan(Progression *p, bool progressive, const ScanBounds &scan);

#endif /* MOVRELA_PROGRESSION_H */
