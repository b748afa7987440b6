/*
 * colour_profiles.h - colour profiles the tests make with lcms2 (no profile
 * file is shipped), JPEG streams that carry one in APP2 chunks, and lcms2's
 * own transform of reference pixels, which the plug-in's colours are held
 * to.
 */
#ifndef MOVRELA_TEST_COLOUR_PROFILES_H
#define MOVRELA_TEST_COLOUR_PROFILES_H

#include <lcms2_plugin.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <vector>

#include "jpeg_maker.h"

namespace colour {

typedef std::vector<uint8_t> Bytes;

enum Kind { kAdobeRgb, kDisplayP3, kProPhoto, kGamma18, kLutRgb, kClippedRgb, kGrey18, kLutCmyk, kPressCmyk };

/* A press profile as print shops use, Ghostscript's, from Debian's
 * libgs-common (scripts/setup.sh installs it): the benches' CMYK pictures
 * and sweep take it from the system, not from the repository. */
constexpr const char kSystemPressProfile[] = "/usr/share/color/icc/ghostscript/default_cmyk.icc";

inline Bytes Saved(cmsHPROFILE profile) {
  cmsUInt32Number size = 0;
  Bytes out;
  if (profile && cmsSaveProfileToMem(profile, nullptr, &size)) {
    out.resize(size);
    cmsSaveProfileToMem(profile, out.data(), &size);
  }
  if (profile) cmsCloseProfile(profile);
  return out;
}

inline cmsHPROFILE Matrix(cmsCIExyY white, cmsCIExyYTRIPLE primaries, cmsToneCurve *curve) {
  cmsToneCurve *curves[3] = {curve, curve, curve};
  cmsHPROFILE p = cmsCreateRGBProfile(&white, &primaries, curves);
  cmsFreeToneCurve(curve);
  return p;
}

/* A lookup-table profile: a grid of `points` from the device colours to
 * Lab, the device's white at lightness `paper`; a press profile
 * (`dotGain`) spreads each ink before its grid, as printed dots grow. */
inline cmsHPROFILE Lut(cmsColorSpaceSignature space, int channels, int points = 9, bool dotGain = false,
                       double paper = 100) {
  struct Shape {
    int channels;
    double paper;
  } shape = {channels, paper};
  cmsHPROFILE p = cmsCreateProfilePlaceholder(nullptr);
  cmsSetProfileVersion(p, dotGain ? 4.3 : 2.1);
  cmsSetDeviceClass(p, dotGain ? cmsSigOutputClass : cmsSigInputClass);
  cmsSetColorSpace(p, space);
  cmsSetPCS(p, cmsSigLabData);
  cmsPipeline *pipe = cmsPipelineAlloc(nullptr, channels, 3);
  cmsStage *clut = cmsStageAllocCLut16bit(nullptr, points, channels, 3, nullptr);
  cmsStageSampleCLut16bit(
      clut,
      [](const cmsUInt16Number in[], cmsUInt16Number out[], void *cargo) -> cmsInt32Number {
        const Shape &shape = *static_cast<Shape *>(cargo);
        const int n = shape.channels;
        double v[4] = {in[0] / 65535.0, in[1] / 65535.0, in[2] / 65535.0, n == 4 ? in[3] / 65535.0 : 1};
        cmsCIELab lab;
        if (n == 4) { /* lcms2's own ink order: 0 is none */
          lab.L = shape.paper * (1 - v[3]) * (1 - 0.3 * v[0] - 0.5 * v[1] - 0.2 * v[2]);
          lab.a = 60 * (v[1] - v[0]);
          lab.b = 60 * (v[2] - v[1]);
        } else {
          lab.L = shape.paper * (0.25 * v[0] + 0.6 * v[1] + 0.15 * v[2]);
          lab.a = 90 * (v[0] - v[1]) * v[2] * 0.8;
          lab.b = 70 * (v[1] - v[2]);
        }
        cmsFloat2LabEncoded(out, &lab);
        return TRUE;
      },
      &shape, 0);
  cmsPipelineInsertStage(pipe, cmsAT_BEGIN, clut);
  if (dotGain) {
    cmsToneCurve *gain = cmsBuildGamma(nullptr, 0.8), *gains[4] = {gain, gain, gain, gain};
    cmsPipelineInsertStage(pipe, cmsAT_BEGIN, cmsStageAllocToneCurves(nullptr, channels, gains));
    cmsPipelineInsertStage(pipe, cmsAT_END, cmsStageAllocToneCurves(nullptr, 3, nullptr));
    cmsFreeToneCurve(gain);
  }
  cmsWriteTag(p, cmsSigAToB0Tag, pipe);
  cmsPipelineFree(pipe);
  cmsWriteTag(p, cmsSigMediaWhitePointTag, cmsD50_XYZ());
  return p;
}

/* The profile of `kind`, from published primaries and curves. */
inline Bytes Make(Kind kind) {
  const cmsCIExyY d65 = {0.3127, 0.3290, 1.0}, d50 = {0.3457, 0.3585, 1.0};
  const cmsFloat64Number srgbCurve[5] = {2.4, 1 / 1.055, 0.055 / 1.055, 1 / 12.92, 0.04045};
  switch (kind) {
    case kAdobeRgb:
      return Saved(Matrix(d65, {{0.64, 0.33, 1}, {0.21, 0.71, 1}, {0.15, 0.06, 1}},
                          cmsBuildGamma(nullptr, 563.0 / 256)));
    case kDisplayP3:
      return Saved(Matrix(d65, {{0.680, 0.320, 1}, {0.265, 0.690, 1}, {0.150, 0.060, 1}},
                          cmsBuildParametricToneCurve(nullptr, 4, srgbCurve)));
    case kProPhoto:
      return Saved(Matrix(d50, {{0.7347, 0.2653, 1}, {0.1596, 0.8404, 1}, {0.0366, 0.0001, 1}},
                          cmsBuildGamma(nullptr, 1.8)));
    case kGamma18:
      return Saved(Matrix(d65, {{0.64, 0.33, 1}, {0.30, 0.60, 1}, {0.15, 0.06, 1}},
                          cmsBuildGamma(nullptr, 1.8)));
    case kLutRgb: return Saved(Lut(cmsSigRgbData, 3));
    case kClippedRgb: return Saved(Lut(cmsSigRgbData, 3, 9, false, 130)); /* highlights lost */
    case kGrey18: {
      cmsToneCurve *curve = cmsBuildGamma(nullptr, 1.8);
      cmsHPROFILE p = cmsCreateGrayProfile(cmsD50_xyY(), curve);
      cmsFreeToneCurve(curve);
      return Saved(p);
    }
    case kLutCmyk: return Saved(Lut(cmsSigCmykData, 4));
    case kPressCmyk: return Saved(Lut(cmsSigCmykData, 4, 11, true, 94));
  }
  return Bytes();
}

/* Big-endian words appended to `b`. */
inline void Put(Bytes &b, std::initializer_list<uint32_t> words, int width = 4) {
  for (uint32_t w : words)
    for (int i = width - 1; i >= 0; --i) b.push_back(static_cast<uint8_t>(w >> (8 * i)));
}

/* `profile` with one more tag, `data`, under the signature `sig`: the table
 * grows by an entry and every offset moves past it. */
inline Bytes WithTag(const Bytes &profile, const char (&sig)[5], const Bytes &data) {
  auto word = [](const uint8_t *p) { return uint32_t{p[0]} << 24 | p[1] << 16 | p[2] << 8 | p[3]; };
  const uint32_t count = word(&profile[128]);
  Bytes out(profile.begin(), profile.begin() + 128);
  Put(out, {count + 1});
  for (uint32_t i = 0; i < count; ++i) {
    const uint8_t *e = &profile[132 + 12 * i];
    Put(out, {word(e), word(e + 4) + 12, word(e + 8)});
  }
  const uint32_t at = static_cast<uint32_t>(profile.size() + 12 + 3) & ~3u;
  Put(out, {word(reinterpret_cast<const uint8_t *>(sig)), at, static_cast<uint32_t>(data.size())});
  out.insert(out.end(), profile.begin() + 132 + 12 * count, profile.end());
  out.resize(at);
  out.insert(out.end(), data.begin(), data.end());
  for (int i = 0; i < 4; ++i) out[i] = static_cast<uint8_t>(out.size() >> (24 - 8 * i));
  return out;
}

/* A multiProcessElements tag of `count` entries that all name one element
 * (by default an identity matrix): the work lcms2 does grows with the
 * entries, the bytes by 8 an entry. */
inline Bytes Elements(uint32_t count, Bytes element = Bytes()) {
  if (element.empty()) {
    element = {'m', 'a', 't', 'f', 0, 0, 0, 0};
    Put(element, {3, 3}, 2);
    const float m[12] = {1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0};
    for (float f : m) {
      uint32_t w;
      std::memcpy(&w, &f, 4);
      Put(element, {w});
    }
  }
  Bytes tag = {'m', 'p', 'e', 't', 0, 0, 0, 0};
  Put(tag, {3, 3}, 2);
  Put(tag, {count});
  const uint32_t at = 16 + 8 * count;
  for (uint32_t i = 0; i < count; ++i) Put(tag, {at, static_cast<uint32_t>(element.size())});
  tag.insert(tag.end(), element.begin(), element.end());
  return tag;
}

/* A v4 sRGB profile whose perceptual float tag has `count` matrix
 * entries: without a limit, 7,000 of them (56 KB) cost lcms2 seconds. */
inline Bytes CostlyElements(uint32_t count) {
  return WithTag(Saved(cmsCreate_sRGBProfile()), "D2B0", Elements(count));
}

/* One APP2 "ICC_PROFILE" chunk. */
inline Bytes Chunk(uint8_t sequence, uint8_t count, const uint8_t *data, size_t size) {
  Bytes s = {0xFF, 0xE2, static_cast<uint8_t>((size + 16) >> 8), static_cast<uint8_t>(size + 16)};
  const char mark[12] = "ICC_PROFILE";
  s.insert(s.end(), mark, mark + 12);
  s.push_back(sequence);
  s.push_back(count);
  s.insert(s.end(), data, data + size);
  return s;
}

/* An Exif APP1 segment that marks Adobe RGB as cameras do: ColorSpace
 * 0xFFFF in the Exif IFD, InteropIndex "R03" in the Interoperability IFD. */
inline Bytes AdobeMark() {
  const uint8_t tiff[] = {'I', 'I', 42, 0, 8, 0, 0, 0,
                          1, 0, 0x69, 0x87, 4, 0, 1, 0, 0, 0, 26, 0, 0, 0, 0, 0, 0, 0, /* IFD0 */
                          2, 0, 0x01, 0xA0, 3, 0, 1, 0, 0, 0, 0xFF, 0xFF, 0, 0, /* Exif IFD */
                          0x05, 0xA0, 4, 0, 1, 0, 0, 0, 56, 0, 0, 0, 0, 0, 0, 0,
                          1, 0, 0x01, 0x00, 2, 0, 4, 0, 0, 0, 'R', '0', '3', 0, 0, 0, 0, 0};
  Bytes s = {0xFF, 0xE1, 0, static_cast<uint8_t>(2 + 6 + sizeof tiff), 'E', 'x', 'i', 'f', 0, 0};
  s.insert(s.end(), tiff, tiff + sizeof tiff);
  return s;
}

using maker::WithSegments;

/* `jpeg` carrying `profile` in `parts` chunks, written last chunk first. */
inline Bytes Tagged(const Bytes &jpeg, const Bytes &profile, size_t parts = 2) {
  std::vector<Bytes> chunks;
  const size_t step = (profile.size() + parts - 1) / parts;
  for (size_t i = parts; i-- > 0;) {
    const size_t from = i * step, to = from + step < profile.size() ? from + step : profile.size();
    chunks.push_back(Chunk(static_cast<uint8_t>(i + 1), static_cast<uint8_t>(parts),
                           profile.data() + from, to - from));
  }
  return WithSegments(jpeg, chunks);
}

/* lcms2's transform of `pixels` samples (`format` in, B G R out) to sRGB,
 * perceptual, or to `output` when given. */
inline Bytes Transformed(const Bytes &profile, cmsUInt32Number format, const uint8_t *in,
                         size_t pixels, const Bytes &output = Bytes()) {
  cmsHPROFILE from = profile.empty() ? cmsCreate_sRGBProfile()
                                     : cmsOpenProfileFromMem(profile.data(), profile.size());
  cmsHPROFILE to = output.empty() ? cmsCreate_sRGBProfile()
                                  : cmsOpenProfileFromMem(output.data(), output.size());
  cmsHTRANSFORM t = cmsCreateTransform(from, format, to, TYPE_BGR_8, INTENT_PERCEPTUAL, 0);
  Bytes out(pixels * 3);
  if (t) cmsDoTransform(t, in, out.data(), static_cast<cmsUInt32Number>(pixels));
  if (t) cmsDeleteTransform(t);
  cmsCloseProfile(from);
  cmsCloseProfile(to);
  return out;
}

/* `count` random colours of `channels` bytes, then the bytes nearest each
 * node of a grid of `points` a side and the next bytes up, in every
 * combination: where a grid kernel's steps lie. */
inline Bytes SampleColours(int channels, size_t count, int points) {
  Bytes in(count * channels);
  uint32_t state = 2463534242u;
  for (size_t i = 0; i < in.size(); ++i) {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    in[i] = static_cast<uint8_t>(state >> 24);
  }
  int nodes = 1;
  for (int c = 0; c < channels; ++c) nodes *= points;
  for (int up = 0; up < 2; ++up)
    for (int n = 0; n < nodes; ++n)
      for (int c = 0, rest = n; c < channels; ++c, rest /= points) {
        const int nearest = (rest % points * 255 + (points - 1) / 2) / (points - 1);
        in.push_back(static_cast<uint8_t>(nearest + up > 255 ? 255 : nearest + up));
      }
  return in;
}

/* Bottom-up rows of `width` B G R pixels, `stride` bytes apart, converted
 * in place through lcms2. */
inline void TransformRows(const Bytes &profile, uint8_t *rows, int width, int height, size_t stride,
                          const Bytes &output = Bytes()) {
  if (profile.empty()) return;
  const size_t line = static_cast<size_t>(width) * 3;
  Bytes packed;
  for (int y = 0; y < height; ++y) packed.insert(packed.end(), rows + y * stride, rows + y * stride + line);
  Bytes out = Transformed(profile, TYPE_BGR_8, packed.data(), packed.size() / 3, output);
  for (int y = 0; y < height; ++y) std::memcpy(rows + y * stride, out.data() + y * line, line);
}

/* The largest difference between two byte runs (size mismatch: 256). */
inline int LargestDifference(const Bytes &a, const Bytes &b) {
  if (a.size() != b.size()) return 256;
  int most = 0;
  for (size_t i = 0; i < a.size(); ++i) {
    int d = std::abs(a[i] - b[i]);
    if (d > most) most = d;
  }
  return most;
}

}  // namespace colour

#endif /* MOVRELA_TEST_COLOUR_PROFILES_H */
