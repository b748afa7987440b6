/*
 * matrix_kernel.cpp - lcms2's 8-bit matrix-shaper evaluation, table-driven.
 * Each table is filled as lcms2 2.14 fills its own (cmsopt.c: FillFirstShaper,
 * FillSecondShaper, SetMatShaper), so that every pixel comes out as lcms2's.
 */
#include "colour/matrix_kernel.h"

#include <algorithm>
#include <cstddef>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "colour/kernel_choice.h"
#include "colour/lcms_arith.h"

#if MOVRELA_X86
#include <emmintrin.h>
#endif

namespace {

/* Q1.14 as lcms2 rounds it. */
int32_t toFixed14(double x) { return static_cast<int32_t>(std::floor(x * 16384.0 + 0.5)); }

/* Sums of products must stay within 32 bits, as lcms2 computes them. */
constexpr int64_t kLargestSum = (int64_t{1} << 31) - 1;

/* The curves-matrix-curves stages of `lut` with its two matrices joined,
 * when it has that form, three curves a side and is no mere curve join. */
bool shaperStages(const cmsPipeline *lut, cmsMAT3 *matrix, const cmsFloat64Number **offset,
                  const _cmsStageToneCurvesData **in, const _cmsStageToneCurvesData **out) {
  cmsStage *curves1 = nullptr, *matrix1 = nullptr, *matrix2 = nullptr, *curves2 = nullptr;
  *offset = nullptr;
  if (cmsPipelineCheckAndRetreiveStages(lut, 4, cmsSigCurveSetElemType, cmsSigMatrixElemType,
                                        cmsSigMatrixElemType, cmsSigCurveSetElemType, &curves1,
                                        &matrix1, &matrix2, &curves2)) {
    const _cmsStageMatrixData *first = static_cast<const _cmsStageMatrixData *>(cmsStageData(matrix1));
    const _cmsStageMatrixData *second = static_cast<const _cmsStageMatrixData *>(cmsStageData(matrix2));
    if (first->Offset) return false;
    _cmsMAT3per(matrix, reinterpret_cast<const cmsMAT3 *>(second->Double),
                reinterpret_cast<const cmsMAT3 *>(first->Double));
    *offset = second->Offset;
  } else if (cmsPipelineCheckAndRetreiveStages(lut, 3, cmsSigCurveSetElemType, cmsSigMatrixElemType,
                                               cmsSigCurveSetElemType, &curves1, &matrix1, &curves2)) {
    const _cmsStageMatrixData *only = static_cast<const _cmsStageMatrixData *>(cmsStageData(matrix1));
    std::memcpy(matrix, only->Double, sizeof *matrix);
    *offset = only->Offset;
  } else {
    return false;
  }
  /* lcms2 joins the curves instead when the matrix is the identity. */
  if (_cmsMAT3isIdentity(matrix) && *offset == nullptr) return false;
  *in = static_cast<const _cmsStageToneCurvesData *>(cmsStageData(curves1));
  *out = static_cast<const _cmsStageToneCurvesData *>(cmsStageData(curves2));
  return (*in)->nCurves == 3 && (*out)->nCurves == 3;
}

/* The input curves in Q1.14 and their largest magnitude; false beyond
 * +-2^17, where no Q1.14 number fits 32 bits and lcms2's own path runs. */
bool inputShapers(const _cmsStageToneCurvesData *in, int32_t shaper1[3][256], int64_t *largest) {
  *largest = 0;
  for (int c = 0; c < 3; ++c)
    for (int i = 0; i < 256; ++i) {
      const cmsFloat32Number r = static_cast<cmsFloat32Number>(i / 255.0);
      const cmsFloat32Number y = cmsEvalToneCurveFloat(in->TheCurves[c], r);
      if (!(y > -131072.0f && y < 131072.0f)) return false;
      shaper1[c][i] = toFixed14(y);
      *largest = std::max<int64_t>(*largest, std::llabs(shaper1[c][i]));
    }
  return true;
}

}  // namespace

MatrixKernel *makeMatrixKernel(const cmsPipeline *lut, cmsUInt32Number inputFormat,
                               cmsUInt32Number outputFormat) {
  if (inputFormat != TYPE_BGR_8 || outputFormat != TYPE_BGR_8) return nullptr;
  cmsMAT3 matrix;
  const cmsFloat64Number *offset = nullptr;
  const _cmsStageToneCurvesData *in = nullptr, *out = nullptr;
  int32_t shaper1[3][256];
  int64_t largestInput = 0, largestEntry = 0;
  if (!shaperStages(lut, &matrix, &offset, &in, &out) || !inputShapers(in, shaper1, &largestInput))
    return nullptr;
  int32_t fixed[3][3];
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) {
      fixed[i][j] = toFixed14(matrix.v[i].n[j]);
      largestEntry = std::max<int64_t>(largestEntry, std::llabs(fixed[i][j]));
    }
  int64_t largestOffset = 0;
  for (int o = 0; o < 3; ++o) {
    const double shifted = offset ? offset[o] * 16384.0 : 0;
    if (std::fabs(shifted) >= static_cast<double>(kLargestSum / 2)) largestOffset = kLargestSum;
    else largestOffset = std::max<int64_t>(largestOffset, std::llabs(offset ? toFixed14(offset[o]) : 0));
  }
  if (largestInput > kLargestSum / 4 || largestEntry > kLargestSum / 4 ||
      3 * largestInput * largestEntry + largestOffset + 0x2000 > kLargestSum)
    return nullptr;
  MatrixKernel *k = static_cast<MatrixKernel *>(std::malloc(sizeof(MatrixKernel)));
  if (!k) return nullptr;
  const uintptr_t space = reinterpret_cast<uintptr_t>(k->space);
  k->columns = reinterpret_cast<KernelColumn(*)[256]>(k->space + ((16 - space % 16) % 16));
  k->offset[3] = 0;
  for (int c = 0; c < 3; ++c)
    for (int i = 0; i < 256; ++i) k->columns[c][i][3] = 0;
  for (int o = 0; o < 3; ++o) {
    k->offset[o] = (offset ? toFixed14(offset[o]) : 0) + 0x2000;
    for (int c = 0; c < 3; ++c)
      for (int i = 0; i < 256; ++i) k->columns[c][i][o] = fixed[o][c] * shaper1[c][i];
    for (int i = 0; i < 16385; ++i) {
      const cmsFloat32Number r = static_cast<cmsFloat32Number>(i / 16384.0);
      cmsFloat32Number v = cmsEvalToneCurveFloat(out->TheCurves[o], r);
      if (v < 0) v = 0;
      if (v > 1.0) v = 1.0;
      k->shaper[o][i] = lcms::wordToByte(lcms::saturateWord(v * 65535.0));
    }
  }
  return k;
}

namespace {

/* Into 0 to 16384; values outside are rare in pictures, so one test that
 * is nearly always false comes first. */
inline uint32_t clamp14(int32_t v) {
  if (static_cast<uint32_t>(v) > 16384u) return v < 0 ? 0u : 16384u;
  return static_cast<uint32_t>(v);
}

/* One pixel's B G R bytes through the kernel. */
inline uint32_t pixelThrough(const MatrixKernel *k, uint32_t b, uint32_t g, uint32_t r) {
  const KernelColumn &cr = k->columns[0][r], &cg = k->columns[1][g], &cb = k->columns[2][b];
  const uint32_t lr = clamp14((cr[0] + cg[0] + cb[0] + k->offset[0]) >> 14);
  const uint32_t lg = clamp14((cr[1] + cg[1] + cb[1] + k->offset[1]) >> 14);
  const uint32_t lb = clamp14((cr[2] + cg[2] + cb[2] + k->offset[2]) >> 14);
  return uint32_t{k->shaper[2][lb]} | uint32_t{k->shaper[1][lg]} << 8 | uint32_t{k->shaper[0][lr]} << 16;
}

inline uint32_t load32(const uint8_t *p) {
  uint32_t v;
  std::memcpy(&v, p, 4);
  return v;
}

inline void store32(uint8_t *p, uint32_t v) { std::memcpy(p, &v, 4); }

/* Bytes are B G R; lcms2's channels 0 1 2 are R G B. */
void runPlain(const MatrixKernel *k, const uint8_t *in, uint8_t *out, uint32_t pixels) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
  /* Four pixels at a time: three words in, three words out. */
  for (; pixels >= 4; pixels -= 4, in += 12, out += 12) {
    const uint32_t w0 = load32(in), w1 = load32(in + 4), w2 = load32(in + 8);
    const uint32_t p0 = pixelThrough(k, w0 & 0xFF, w0 >> 8 & 0xFF, w0 >> 16 & 0xFF);
    const uint32_t p1 = pixelThrough(k, w0 >> 24, w1 & 0xFF, w1 >> 8 & 0xFF);
    const uint32_t p2 = pixelThrough(k, w1 >> 16 & 0xFF, w1 >> 24, w2 & 0xFF);
    const uint32_t p3 = pixelThrough(k, w2 >> 8 & 0xFF, w2 >> 16 & 0xFF, w2 >> 24);
    store32(out, p0 | p1 << 24);
    store32(out + 4, p1 >> 8 | p2 << 16);
    store32(out + 8, p2 >> 16 | p3 << 8);
  }
#endif
  for (uint32_t n = 0; n < pixels; ++n, in += 3, out += 3) {
    const uint32_t p = pixelThrough(k, in[0], in[1], in[2]);
    out[0] = static_cast<uint8_t>(p);
    out[1] = static_cast<uint8_t>(p >> 8);
    out[2] = static_cast<uint8_t>(p >> 16);
  }
}

#if MOVRELA_X86

/* One pixel's three Q1.14 sums, shifted: one aligned load per channel. */
SIMD_FUNCTION("sse2")
inline __m128i sumsOf(const MatrixKernel *k, __m128i offset, const uint8_t *bgr) {
  const __m128i r = _mm_load_si128(reinterpret_cast<const __m128i *>(k->columns[0][bgr[2]]));
  const __m128i g = _mm_load_si128(reinterpret_cast<const __m128i *>(k->columns[1][bgr[1]]));
  const __m128i b = _mm_load_si128(reinterpret_cast<const __m128i *>(k->columns[2][bgr[0]]));
  return _mm_srai_epi32(_mm_add_epi32(_mm_add_epi32(r, g), _mm_add_epi32(b, offset)), 14);
}

/* Four pixels a step: their sums packed to words with saturation (which
 * keeps the order of values far outside 0 to 16384), clamped to the output
 * curves' range, and looked up. */
SIMD_FUNCTION("sse2")
void runSse2(const MatrixKernel *k, const uint8_t *in, uint8_t *out, uint32_t pixels) {
  const __m128i offset = _mm_loadu_si128(reinterpret_cast<const __m128i *>(k->offset));
  const __m128i zero = _mm_setzero_si128(), top = _mm_set1_epi16(16384);
  const uint8_t *const sr = k->shaper[0], *const sg = k->shaper[1], *const sb = k->shaper[2];
  for (; pixels >= 4; pixels -= 4, in += 12, out += 12) {
    __m128i lo = _mm_packs_epi32(sumsOf(k, offset, in), sumsOf(k, offset, in + 3));
    __m128i hi = _mm_packs_epi32(sumsOf(k, offset, in + 6), sumsOf(k, offset, in + 9));
    lo = _mm_min_epi16(_mm_max_epi16(lo, zero), top);
    hi = _mm_min_epi16(_mm_max_epi16(hi, zero), top);
    out[0] = sb[_mm_extract_epi16(lo, 2)];
    out[1] = sg[_mm_extract_epi16(lo, 1)];
    out[2] = sr[_mm_extract_epi16(lo, 0)];
    out[3] = sb[_mm_extract_epi16(lo, 6)];
    out[4] = sg[_mm_extract_epi16(lo, 5)];
    out[5] = sr[_mm_extract_epi16(lo, 4)];
    out[6] = sb[_mm_extract_epi16(hi, 2)];
    out[7] = sg[_mm_extract_epi16(hi, 1)];
    out[8] = sr[_mm_extract_epi16(hi, 0)];
    out[9] = sb[_mm_extract_epi16(hi, 6)];
    out[10] = sg[_mm_extract_epi16(hi, 5)];
    out[11] = sr[_mm_extract_epi16(hi, 4)];
  }
  runPlain(k, in, out, pixels);
}

#endif

}  // namespace

void runMatrixKernel(const MatrixKernel *k, const uint8_t *in, uint8_t *out, uint32_t pixels) {
#if MOVRELA_X86
  if (colourKernelLevel() >= KernelSse2) {
    runSse2(k, in, out, pixels);
    return;
  }
#endif
  runPlain(k, in, out, pixels);
}
