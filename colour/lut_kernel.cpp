/*
 * lut_kernel.cpp - lcms2's 8-bit grid transforms, made again from the
 * pipeline. The RGB grid follows lcms2 2.14's linearisation (cmsopt.c:
 * OptimizeByComputingLinearization, SlopeLimiting, PrelinOpt8alloc,
 * PrelinEval8), the CMYK grid, and the RGB one whose curves are unfit, its
 * resampling (OptimizeByResampling, cmsintrp.c: Eval4Inputs,
 * TetrahedralInterp16), all with its white fix (FixWhiteMisalignment);
 * every sum is taken modulo 2^32 as lcms2's int arithmetic wraps.
 *
 * A tetrahedral step adds, along the axes in the order of their fractions,
 * each fraction times the change from one corner to the next; lcms2 spells
 * the six orders out, we sort the three axes once a pixel. Where two
 * fractions are equal the corner between them has no weight, so that any
 * order of equal fractions gives lcms2's sum.
 */
#include "colour/lut_kernel.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "colour/kernel_choice.h"
#include "colour/lcms_arith.h"

#if MOVRELA_X86
#include <smmintrin.h>
#endif

namespace {

constexpr int32_t kNodeWords = 4;     /* R G B and a spare word a grid node */
constexpr uint32_t kPrelinPoints = 4096; /* lcms2's linearisation curves */
/* Grids finer than this (only flags ask for them) are left to lcms2: a
 * step along an inner axis must fit 16 bits (order). */
constexpr uint32_t kMostPoints = 64;

/* Where one channel's byte lies on its grid axis. */
struct Axis {
  int32_t base; /* words to the node at or below */
  int32_t step; /* words on to the next node: 0 where lcms2 stays put */
  int32_t rest; /* the fraction between them, 0 to 65535 */
  int32_t spare;
};

}  // namespace

struct LutKernel {
  uint32_t inks;     /* 3: B G R bytes in; 4: C M Y K */
  Axis axes[4][256]; /* by lcms2's channel (R G B, or C M Y K) and byte */
  uint16_t *grid;    /* kNodeWords words a node, lcms2's node order */
};

namespace {

/* The grid points lcms2 chooses for `channels` inputs under `flags`
 * (cmspcs.c: _cmsReasonableGridpointsByColorspace). */
uint32_t gridPoints(uint32_t channels, cmsUInt32Number flags) {
  if (flags & 0x00FF0000) return (flags >> 16) & 0xFF;
  if (flags & cmsFLAGS_HIGHRESPRECALC) return channels == 4 ? 23 : 49;
  if (flags & cmsFLAGS_LOWRESPRECALC) return 17;
  return channels == 4 ? 17 : 33;
}

/* lcms2's sampler: the pipeline in floating point at a grid node. */
cmsInt32Number sampleThrough(const cmsUInt16Number in[], cmsUInt16Number out[], void *cargo) {
  const cmsPipeline *lut = static_cast<const cmsPipeline *>(cargo);
  cmsFloat32Number inFloat[cmsMAXCHANNELS], outFloat[cmsMAXCHANNELS];
  for (cmsUInt32Number i = 0; i < cmsPipelineInputChannels(lut); ++i)
    inFloat[i] = static_cast<cmsFloat32Number>(in[i] / 65535.0);
  cmsPipelineEvalFloat(inFloat, outFloat, lut);
  for (cmsUInt32Number i = 0; i < cmsPipelineOutputChannels(lut); ++i)
    out[i] = lcms::saturateWord(outFloat[i] * 65535.0);
  return TRUE;
}

/* Samples `lut` on a grid of `points` a side into the kernel. */
bool sampleGrid(LutKernel *k, const cmsPipeline *lut, uint32_t points, uint32_t inputs) {
  cmsStage *clut = cmsStageAllocCLut16bit(cmsGetPipelineContextID(lut), points, inputs, 3, nullptr);
  if (!clut) return false;
  bool done = cmsStageSampleCLut16bit(clut, sampleThrough, const_cast<cmsPipeline *>(lut), 0);
  size_t nodes = 1;
  for (uint32_t i = 0; i < inputs; ++i) nodes *= points;
  if (done) k->grid = static_cast<uint16_t *>(std::malloc(nodes * kNodeWords * sizeof(uint16_t)));
  if (done && k->grid) {
    const cmsUInt16Number *table = static_cast<const _cmsStageCLutData *>(cmsStageData(clut))->Tab.T;
    for (size_t n = 0; n < nodes; ++n) {
      for (int c = 0; c < 3; ++c) k->grid[kNodeWords * n + c] = table[3 * n + c];
      k->grid[kNodeWords * n + 3] = 0;
    }
  }
  cmsStageFree(clut);
  return done && k->grid;
}

/* A channel's word on an axis of `domain` intervals whose nodes lie
 * `stride` words apart. The RGB grid steps on unless the fraction is 0,
 * the CMYK grid unless the word is the last. */
void setAxis(Axis *axis, uint32_t word, uint32_t domain, int32_t stride, bool stepUnlessExact) {
  const int32_t v = lcms::toFixedDomain(static_cast<int32_t>(word * domain));
  axis->base = stride * (v >> 16);
  axis->rest = v & 0xFFFF;
  axis->step = (stepUnlessExact ? axis->rest == 0 : word == 0xFFFF) ? 0 : stride;
  axis->spare = 0;
}

/* One axis's part in a tetrahedral step. */
struct Corner {
  int32_t step;
  int32_t rest;
};

/* The three axes, largest fraction first: each packed as fraction and
 * step in one word and sorted by a network of minima and maxima, which
 * compile to conditional moves (a picture's fractions follow no pattern a
 * branch predictor could learn). Steps stay below 2^16 (kMostPoints). */
inline void order(const Axis &x, const Axis &y, const Axis &z, Corner &a, Corner &b, Corner &c) {
  const uint32_t kx = static_cast<uint32_t>(x.rest) << 16 | static_cast<uint32_t>(x.step);
  const uint32_t ky = static_cast<uint32_t>(y.rest) << 16 | static_cast<uint32_t>(y.step);
  const uint32_t kz = static_cast<uint32_t>(z.rest) << 16 | static_cast<uint32_t>(z.step);
  const uint32_t high = kx > ky ? kx : ky, low = kx > ky ? ky : kx;
  const uint32_t first = high > kz ? high : kz, other = high > kz ? kz : high;
  const uint32_t second = low > other ? low : other, third = low > other ? other : low;
  a = {static_cast<int32_t>(first & 0xFFFF), static_cast<int32_t>(first >> 16)};
  b = {static_cast<int32_t>(second & 0xFFFF), static_cast<int32_t>(second >> 16)};
  c = {static_cast<int32_t>(third & 0xFFFF), static_cast<int32_t>(third >> 16)};
}

/* The weighted changes along the path from `p0`, channel `ch`, mod 2^32. */
inline uint32_t along(const uint16_t *p0, const Corner &a, const Corner &b, const Corner &c, int ch) {
  const uint16_t *p1 = p0 + a.step, *p2 = p1 + b.step, *p3 = p2 + c.step;
  return static_cast<uint32_t>(p1[ch] - p0[ch]) * static_cast<uint32_t>(a.rest) +
         static_cast<uint32_t>(p2[ch] - p1[ch]) * static_cast<uint32_t>(b.rest) +
         static_cast<uint32_t>(p3[ch] - p2[ch]) * static_cast<uint32_t>(c.rest);
}

inline int32_t asInt(uint32_t v) { return static_cast<int32_t>(v); }

/* PrelinEval8's words for the bytes R G B. */
inline void rgbWords(const LutKernel *k, uint32_t r, uint32_t g, uint32_t b, uint16_t words[3]) {
  const Axis &x = k->axes[0][r], &y = k->axes[1][g], &z = k->axes[2][b];
  Corner a, m, c;
  order(x, y, z, a, m, c);
  const uint16_t *p0 = k->grid + x.base + y.base + z.base;
  for (int ch = 0; ch < 3; ++ch) {
    const int32_t rest = asInt(along(p0, a, m, c, ch) + 0x8001u);
    const int32_t sum = asInt(static_cast<uint32_t>(rest) + static_cast<uint32_t>(rest >> 16));
    words[ch] = static_cast<uint16_t>(p0[ch] + (sum >> 16));
  }
}

/* Eval4Inputs' words for C M Y K bytes (255: no ink). */
inline void cmykWords(const LutKernel *k, const uint8_t *cmyk, uint16_t words[3]) {
  const Axis &w = k->axes[0][cmyk[0]], &x = k->axes[1][cmyk[1]], &y = k->axes[2][cmyk[2]],
             &z = k->axes[3][cmyk[3]];
  Corner a, m, c;
  order(x, y, z, a, m, c);
  const uint16_t *low = k->grid + w.base + x.base + y.base + z.base, *high = low + w.step;
  for (int ch = 0; ch < 3; ++ch) {
    const int32_t l = static_cast<uint16_t>(
        low[ch] + (asInt(static_cast<uint32_t>(lcms::toFixedDomain(asInt(along(low, a, m, c, ch)))) + 0x8000u) >> 16));
    const int32_t h = static_cast<uint16_t>(
        high[ch] + (asInt(static_cast<uint32_t>(lcms::toFixedDomain(asInt(along(high, a, m, c, ch)))) + 0x8000u) >> 16));
    const uint32_t dif = static_cast<uint32_t>(h - l) * static_cast<uint32_t>(w.rest) + 0x8000u;
    words[ch] = static_cast<uint16_t>((dif >> 16) + static_cast<uint32_t>(l));
  }
}

/* lcms2's white fix: when the grid's white is not the output's white (nor
 * far from it), the node it lies on, if it lies on one, is set to white. */
void fixWhite(LutKernel *k, const uint16_t obtained[3], const uint16_t at[4], uint32_t points) {
  for (int c = 0; c < 3; ++c) {
    if (std::abs(0xFFFF - obtained[c]) > 0xF000) return;
    if (obtained[c] != 0xFFFF) break;
    if (c == 2) return;
  }
  size_t node = 0;
  for (uint32_t i = 0; i < k->inks; ++i) {
    const double p = static_cast<double>(at[i]) * (points - 1) / 65535.0;
    const double whole = std::floor(p);
    if (p - whole != 0) return;
    node = node * points + static_cast<size_t>(whole);
  }
  for (int c = 0; c < 3; ++c) k->grid[kNodeWords * node + c] = 0xFFFF;
}

/* lcms2's test for a curve that clips much of its range. */
bool degenerated(const cmsUInt16Number *table, uint32_t entries) {
  uint32_t zeros = 0, poles = 0;
  for (uint32_t i = 0; i < entries; ++i) {
    zeros += table[i] == 0;
    poles += table[i] == 0xFFFF;
  }
  if (zeros == 1 && poles == 1) return false;
  return zeros > entries / 20 || poles > entries / 20;
}

/* lcms2's ends of a linearisation curve: straight to 0 and 65535 (or back)
 * over the first and last 2%. */
void limitSlopes(uint16_t *table, int entries) {
  const int atBegin = static_cast<int>(std::floor(entries * 0.02 + 0.5));
  const int atEnd = entries - atBegin - 1;
  const bool descending = table[0] > table[entries - 1];
  const int beginValue = descending ? 0xFFFF : 0, endValue = descending ? 0 : 0xFFFF;
  double value = table[atBegin];
  double slope = (value - beginValue) / atBegin;
  double beta = value - slope * atBegin;
  for (int i = 0; i < atBegin; ++i) table[i] = lcms::saturateWord(i * slope + beta);
  value = table[atEnd];
  slope = (endValue - value) / atBegin;
  beta = value - slope * atEnd;
  for (int i = atEnd; i < entries; ++i) table[i] = lcms::saturateWord(i * slope + beta);
}

/* Whether lcms2 takes `lut` by one of the optimisations it tries before
 * the linearisation: joined curves, or a matrix shaper. */
bool curvesOrMatrixShaper(const cmsPipeline *lut) {
  bool allCurves = true;
  for (cmsStage *s = cmsPipelineGetPtrToFirstStage(lut); s; s = cmsStageNext(s))
    allCurves = allCurves && cmsStageType(s) == cmsSigCurveSetElemType;
  cmsStage *s[4];
  return allCurves ||
         cmsPipelineCheckAndRetreiveStages(lut, 4, cmsSigCurveSetElemType, cmsSigMatrixElemType,
                                           cmsSigMatrixElemType, cmsSigCurveSetElemType, &s[0], &s[1],
                                           &s[2], &s[3]) ||
         cmsPipelineCheckAndRetreiveStages(lut, 3, cmsSigCurveSetElemType, cmsSigMatrixElemType,
                                           cmsSigCurveSetElemType, &s[0], &s[1], &s[2]);
}

/* The RGB kernel: linearisation curves measured on the grey axis, the grid
 * sampled through their inverses, the bytes' places on it through the
 * curves. False, and `unfit`, where lcms2 finds the curves unfit and
 * resamples instead. */
bool makeRgb(LutKernel *k, const cmsPipeline *lut, bool whiteFix, cmsUInt32Number flags, bool *unfit) {
  cmsStage *last = cmsPipelineGetPtrToLastStage(lut);
  if (!last) return false;
  *unfit = true;
  if (cmsStageType(last) == cmsSigCurveSetElemType) {
    const _cmsStageToneCurvesData *curves = static_cast<const _cmsStageToneCurvesData *>(cmsStageData(last));
    for (cmsUInt32Number i = 0; i < curves->nCurves; ++i)
      if (degenerated(cmsGetToneCurveEstimatedTable(curves->TheCurves[i]),
                      cmsGetToneCurveEstimatedTableEntries(curves->TheCurves[i])))
        return false;
  }
  static_assert(kPrelinPoints == 4096, "lcms2's linearisation points");
  uint16_t(*tables)[kPrelinPoints] = static_cast<uint16_t(*)[kPrelinPoints]>(std::malloc(3 * sizeof *tables));
  if (!tables) return false;
  for (uint32_t i = 0; i < kPrelinPoints; ++i) {
    const cmsFloat32Number v = static_cast<cmsFloat32Number>(static_cast<double>(i) / (kPrelinPoints - 1));
    cmsFloat32Number in[cmsMAXCHANNELS] = {v, v, v}, out[cmsMAXCHANNELS];
    cmsPipelineEvalFloat(in, out, lut);
    for (int t = 0; t < 3; ++t) tables[t][i] = lcms::saturateWord(out[t] * 65535.0);
  }
  const cmsContext context = cmsGetPipelineContextID(lut);
  cmsToneCurve *curves[3] = {}, *inverses[3] = {};
  bool fit = true;
  for (int t = 0; t < 3 && fit; ++t) {
    limitSlopes(tables[t], kPrelinPoints);
    curves[t] = cmsBuildTabulatedToneCurve16(context, kPrelinPoints, tables[t]);
    fit = curves[t] && cmsIsToneCurveMonotonic(curves[t]) && !degenerated(tables[t], kPrelinPoints);
  }
  for (int t = 0; t < 3 && fit; ++t) fit = (inverses[t] = cmsReverseToneCurveEx(kPrelinPoints, curves[t])) != nullptr;
  std::free(tables);
  *unfit = !fit;
  cmsPipeline *inverted = fit ? cmsPipelineDup(lut) : nullptr;
  cmsStage *stage = inverted ? cmsStageAllocToneCurves(context, 3, inverses) : nullptr;
  const uint32_t points = gridPoints(3, flags);
  /* Once inserted the stage is the pipeline's, whatever the answer. */
  const bool inserted = stage && cmsPipelineInsertStage(inverted, cmsAT_BEGIN, stage);
  const bool made = inserted && points >= 2 && points <= kMostPoints && sampleGrid(k, inverted, points, 3);
  if (made) {
    for (int c = 0; c < 3; ++c) {
      const int32_t stride = kNodeWords * (c == 0 ? points * points : c == 1 ? points : 1);
      for (uint32_t i = 0; i < 256; ++i)
        setAxis(&k->axes[c][i], cmsEvalToneCurve16(curves[c], lcms::byteToWord(i)), points - 1, stride, true);
    }
    if (whiteFix) {
      uint16_t obtained[3], at[4] = {};
      rgbWords(k, 255, 255, 255, obtained);
      for (int c = 0; c < 3; ++c) at[c] = cmsEvalToneCurve16(curves[c], 0xFFFF);
      fixWhite(k, obtained, at, points);
    }
  }
  if (inverted) cmsPipelineFree(inverted);
  for (int t = 0; t < 3; ++t) {
    if (curves[t]) cmsFreeToneCurve(curves[t]);
    if (inverses[t]) cmsFreeToneCurve(inverses[t]);
  }
  return made;
}

/* A kernel of the whole pipeline resampled: CMYK always, RGB where the
 * linearisation curves are unfit (TetrahedralInterp16 rounds as
 * PrelinEval8 does). lcms2 would keep curves around the grid under the
 * linearisation flags, which we leave to it. */
bool makeResampled(LutKernel *k, const cmsPipeline *lut, bool whiteFix, cmsUInt32Number flags) {
  if (flags & (cmsFLAGS_CLUT_PRE_LINEARIZATION | cmsFLAGS_CLUT_POST_LINEARIZATION)) return false;
  const uint32_t inks = k->inks, points = gridPoints(inks, flags);
  if (points < 2 || points > kMostPoints || !sampleGrid(k, lut, points, inks)) return false;
  for (uint32_t c = 0; c < inks; ++c) {
    int32_t stride = kNodeWords;
    for (uint32_t i = c + 1; i < inks; ++i) stride *= static_cast<int32_t>(points);
    for (uint32_t b = 0; b < 256; ++b)
      setAxis(&k->axes[c][b], inks == 4 ? (255 - b) * 257u : lcms::byteToWord(b), points - 1, stride, false);
  }
  if (whiteFix) {
    const uint8_t none[4] = {255, 255, 255, 255};
    const uint16_t at[4] = {0, 0, 0, 0}, white[4] = {0xFFFF, 0xFFFF, 0xFFFF, 0};
    uint16_t obtained[3];
    if (inks == 4) cmykWords(k, none, obtained);
    else rgbWords(k, 255, 255, 255, obtained);
    fixWhite(k, obtained, inks == 4 ? at : white, points);
  }
  return true;
}

inline void putBgr(uint8_t *out, const uint16_t words[3]) {
  out[0] = lcms::wordToByte(words[2]);
  out[1] = lcms::wordToByte(words[1]);
  out[2] = lcms::wordToByte(words[0]);
}

void runRgbPlain(const LutKernel *k, const uint8_t *in, uint8_t *out, uint32_t pixels) {
  uint16_t words[3];
  for (uint32_t n = 0; n < pixels; ++n, in += 3, out += 3) {
    rgbWords(k, in[2], in[1], in[0], words);
    putBgr(out, words);
  }
}

void runCmykPlain(const LutKernel *k, const uint8_t *in, uint8_t *out, uint32_t pixels) {
  uint16_t words[3];
  for (uint32_t n = 0; n < pixels; ++n, in += 4, out += 3) {
    cmykWords(k, in, words);
    putBgr(out, words);
  }
}

#if MOVRELA_X86

/* A node's R G B words as three lanes (the fourth is the spare 0). */
SIMD_FUNCTION("sse4.1")
inline __m128i nodeAt(const uint16_t *p) {
  return _mm_cvtepu16_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i *>(p)));
}

/* The weighted changes along the path from `p0`, three channels at once. */
SIMD_FUNCTION("sse4.1")
inline __m128i alongSimd(const uint16_t *p0, const Corner &a, const Corner &b, const Corner &c) {
  const uint16_t *p1 = p0 + a.step, *p2 = p1 + b.step, *p3 = p2 + c.step;
  const __m128i v0 = nodeAt(p0), v1 = nodeAt(p1), v2 = nodeAt(p2), v3 = nodeAt(p3);
  return _mm_add_epi32(_mm_add_epi32(_mm_mullo_epi32(_mm_sub_epi32(v1, v0), _mm_set1_epi32(a.rest)),
                                     _mm_mullo_epi32(_mm_sub_epi32(v2, v1), _mm_set1_epi32(b.rest))),
                       _mm_mullo_epi32(_mm_sub_epi32(v3, v2), _mm_set1_epi32(c.rest)));
}

/* Words in 32-bit lanes, any high bits dropped. */
SIMD_FUNCTION("sse4.1")
inline __m128i lowWords(__m128i v) { return _mm_and_si128(v, _mm_set1_epi32(0xFFFF)); }

SIMD_FUNCTION("sse4.1")
inline __m128i rgbSimd(const LutKernel *k, uint32_t r, uint32_t g, uint32_t b) {
  const Axis &x = k->axes[0][r], &y = k->axes[1][g], &z = k->axes[2][b];
  Corner a, m, c;
  order(x, y, z, a, m, c);
  const uint16_t *p0 = k->grid + x.base + y.base + z.base;
  const __m128i rest = _mm_add_epi32(alongSimd(p0, a, m, c), _mm_set1_epi32(0x8001));
  const __m128i sum = _mm_srai_epi32(_mm_add_epi32(rest, _mm_srai_epi32(rest, 16)), 16);
  return lowWords(_mm_add_epi32(nodeAt(p0), sum));
}

/* trunc(n / 65535) for every int32 n: |n| times ceil(2^47 / 65535), over
 * 2^47, is exact up to 2^31; the sign comes back after. */
SIMD_FUNCTION("sse4.1")
inline __m128i divide65535(__m128i n) {
  const __m128i magic = _mm_set1_epi32(static_cast<int>(0x80008001u));
  const __m128i size = _mm_abs_epi32(n);
  const __m128i even = _mm_srli_epi64(_mm_mul_epu32(size, magic), 47);
  const __m128i odd = _mm_slli_epi64(_mm_srli_epi64(_mm_mul_epu32(_mm_srli_epi64(size, 32), magic), 47), 32);
  return _mm_sign_epi32(_mm_blend_epi16(even, odd, 0xCC), n);
}

/* One of Eval4Inputs' two tetrahedral steps. */
SIMD_FUNCTION("sse4.1")
inline __m128i cmykPlane(const uint16_t *p0, const Corner &a, const Corner &b, const Corner &c) {
  const __m128i rest = alongSimd(p0, a, b, c);
  const __m128i fixed = _mm_add_epi32(rest, divide65535(_mm_add_epi32(rest, _mm_set1_epi32(0x7FFF))));
  const __m128i word = _mm_add_epi32(nodeAt(p0), _mm_srai_epi32(_mm_add_epi32(fixed, _mm_set1_epi32(0x8000)), 16));
  return lowWords(word);
}

SIMD_FUNCTION("sse4.1")
inline __m128i cmykSimd(const LutKernel *k, const uint8_t *cmyk) {
  const Axis &w = k->axes[0][cmyk[0]], &x = k->axes[1][cmyk[1]], &y = k->axes[2][cmyk[2]],
             &z = k->axes[3][cmyk[3]];
  Corner a, m, c;
  order(x, y, z, a, m, c);
  const uint16_t *low = k->grid + w.base + x.base + y.base + z.base;
  const __m128i l = cmykPlane(low, a, m, c), h = cmykPlane(low + w.step, a, m, c);
  const __m128i dif = _mm_add_epi32(_mm_mullo_epi32(_mm_sub_epi32(h, l), _mm_set1_epi32(w.rest)), _mm_set1_epi32(0x8000));
  return lowWords(_mm_add_epi32(_mm_srli_epi32(dif, 16), l));
}

/* Four pixels' R G B words to twelve B G R bytes. lcms2's
 * (w * 65281 + 2^23) >> 24 is (((w * 65281) >> 16) + 128) >> 8: the low
 * half of the product cannot carry into the byte. */
SIMD_FUNCTION("sse4.1")
inline void storeFour(uint8_t *out, __m128i p0, __m128i p1, __m128i p2, __m128i p3) {
  const __m128i scale = _mm_set1_epi16(static_cast<short>(65281)), half = _mm_set1_epi16(128);
  const __m128i lo = _mm_srli_epi16(_mm_add_epi16(_mm_mulhi_epu16(_mm_packus_epi32(p0, p1), scale), half), 8);
  const __m128i hi = _mm_srli_epi16(_mm_add_epi16(_mm_mulhi_epu16(_mm_packus_epi32(p2, p3), scale), half), 8);
  const __m128i packed = _mm_packus_epi16(lo, hi);
  const __m128i bgr = _mm_shuffle_epi8(packed, _mm_setr_epi8(2, 1, 0, 6, 5, 4, 10, 9, 8, 14, 13, 12, -1, -1, -1, -1));
  _mm_storel_epi64(reinterpret_cast<__m128i *>(out), bgr);
  const uint32_t last = static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_srli_si128(bgr, 8)));
  std::memcpy(out + 8, &last, 4);
}

/* Each group's input is read before its output is written: in may be out. */
SIMD_FUNCTION("sse4.1")
void runRgbSse41(const LutKernel *k, const uint8_t *in, uint8_t *out, uint32_t pixels) {
  for (; pixels >= 4; pixels -= 4, in += 12, out += 12) {
    const __m128i p0 = rgbSimd(k, in[2], in[1], in[0]), p1 = rgbSimd(k, in[5], in[4], in[3]);
    const __m128i p2 = rgbSimd(k, in[8], in[7], in[6]), p3 = rgbSimd(k, in[11], in[10], in[9]);
    storeFour(out, p0, p1, p2, p3);
  }
  runRgbPlain(k, in, out, pixels);
}

SIMD_FUNCTION("sse4.1")
void runCmykSse41(const LutKernel *k, const uint8_t *in, uint8_t *out, uint32_t pixels) {
  for (; pixels >= 4; pixels -= 4, in += 16, out += 12)
    storeFour(out, cmykSimd(k, in), cmykSimd(k, in + 4), cmykSimd(k, in + 8), cmykSimd(k, in + 12));
  runCmykPlain(k, in, out, pixels);
}

#endif

}  // namespace

LutKernel *makeLutKernel(const cmsPipeline *lut, cmsUInt32Number intent, cmsUInt32Number inputFormat,
                         cmsUInt32Number outputFormat, cmsUInt32Number flags) {
  if (outputFormat != TYPE_BGR_8 || (inputFormat != TYPE_BGR_8 && inputFormat != TYPE_CMYK_8_REV))
    return nullptr;
  if (cmsPipelineOutputChannels(lut) != 3) return nullptr;
  LutKernel *k = static_cast<LutKernel *>(std::malloc(sizeof(LutKernel)));
  if (!k) return nullptr;
  k->inks = T_CHANNELS(inputFormat);
  k->grid = nullptr;
  const bool whiteFix = intent != INTENT_ABSOLUTE_COLORIMETRIC && !(flags & cmsFLAGS_NOWHITEONWHITEFIXUP);
  bool unfit = k->inks == 4;
  const bool made = (k->inks == 3 && !curvesOrMatrixShaper(lut) && makeRgb(k, lut, whiteFix, flags, &unfit)) ||
                    (unfit && makeResampled(k, lut, whiteFix, flags));
  if (!made) {
    freeLutKernel(k);
    return nullptr;
  }
  return k;
}

void freeLutKernel(LutKernel *kernel) {
  if (!kernel) return;
  std::free(kernel->grid);
  std::free(kernel);
}

void runLutKernel(const LutKernel *k, const uint8_t *in, uint8_t *out, uint32_t pixels) {
#if MOVRELA_X86
  if (colourKernelLevel() >= KernelSse41) {
    if (k->inks == 3) runRgbSse41(k, in, out, pixels);
    else runCmykSse41(k, in, out, pixels);
    return;
  }
#endif
  if (k->inks == 3) runRgbPlain(k, in, out, pixels);
  else runCmykPlain(k, in, out, pixels);
}
