/*
 * transform.cpp - making a picture's transform with LittleCMS and choosing
 * its source: the embedded profile, Adobe RGB by the Exif mark, or sRGB.
 *
 * Each transform lives in an lcms2 context of its own (lcms_context.h),
 * whose allocations are bounded by what its profiles can justify: twice
 * their bytes plus kContextSlack.
 */
#include <cstdlib>
#include <cstring>
#include <new>

#include "colour/colour_transform.h"
#include "colour/display_profile.h"
#include "colour/profile_limits.h"

namespace {

constexpr size_t kContextSlack = 4u << 20;
/* Equivalence test grid: 33 levels a channel, as lcms2's own 8-bit tables. */
constexpr int kGridLevels = 33;

cmsUInt32Number formatOf(ColourModel model) {
  if (model == ColourGrey) return TYPE_GRAY_8;
  if (model == ColourCmyk) return TYPE_CMYK_8_REV;
  return TYPE_BGR_8;
}

cmsColorSpaceSignature spaceOf(ColourModel model) {
  if (model == ColourGrey) return cmsSigGrayData;
  if (model == ColourCmyk) return cmsSigCmykData;
  return cmsSigRgbData;
}

/* Adobe RGB (1998): its primaries, D65 white and gamma 563/256. */
cmsHPROFILE makeAdobeRgb(cmsContext context) {
  const cmsCIExyY white = {0.3127, 0.3290, 1.0};
  const cmsCIExyYTRIPLE primaries = {{0.6400, 0.3300, 1.0}, {0.2100, 0.7100, 1.0},
                                     {0.1500, 0.0600, 1.0}};
  cmsToneCurve *gamma = cmsBuildGamma(context, 563.0 / 256.0);
  if (!gamma) return nullptr;
  cmsToneCurve *curves[3] = {gamma, gamma, gamma};
  cmsHPROFILE profile = cmsCreateRGBProfileTHR(context, &white, &primaries, curves);
  cmsFreeToneCurve(gamma);
  return profile;
}

/* Whether the transform leaves every colour of a coarse grid within one
 * level: then the picture keeps its decoded bits. */
bool movesNoColour(cmsHTRANSFORM transform, ColourModel model) {
  if (model == ColourCmyk) return false;
  if (model == ColourGrey) {
    uint8_t levels[256], out[256 * 3];
    for (int i = 0; i < 256; ++i) levels[i] = static_cast<uint8_t>(i);
    cmsDoTransform(transform, levels, out, 256);
    for (int i = 0; i < 256; ++i)
      for (int c = 0; c < 3; ++c)
        if (std::abs(out[i * 3 + c] - i) > 1) return false;
    return true;
  }
  uint8_t in[kGridLevels * 3], out[kGridLevels * 3];
  for (int b = 0; b < kGridLevels; ++b)
    for (int g = 0; g < kGridLevels; ++g) {
      for (int r = 0; r < kGridLevels; ++r) {
        in[r * 3 + 0] = static_cast<uint8_t>((b * 255 + 16) / 32);
        in[r * 3 + 1] = static_cast<uint8_t>((g * 255 + 16) / 32);
        in[r * 3 + 2] = static_cast<uint8_t>((r * 255 + 16) / 32);
      }
      cmsDoTransform(transform, in, out, kGridLevels);
      for (int i = 0; i < kGridLevels * 3; ++i)
        if (std::abs(out[i] - in[i]) > 1) return false;
    }
  return true;
}

/* lcms2 reads a profile where it lies, through this handler, instead of
 * copying it into a memory stream of its own. It lives in the frame that
 * opens and closes the profile. */
struct InPlace {
  cmsIOHANDLER io; /* must stay the first member */
  const uint8_t *bytes;
  uint32_t at;
};

cmsUInt32Number readInPlace(cmsIOHANDLER *io, void *buffer, cmsUInt32Number size,
                            cmsUInt32Number count) {
  InPlace *p = reinterpret_cast<InPlace *>(io);
  const uint64_t length = uint64_t{size} * count;
  if (length > io->ReportedSize - p->at) return 0;
  std::memcpy(buffer, p->bytes + p->at, static_cast<size_t>(length));
  p->at += static_cast<uint32_t>(length);
  return count;
}

cmsBool seekInPlace(cmsIOHANDLER *io, cmsUInt32Number offset) {
  if (offset > io->ReportedSize) return FALSE;
  reinterpret_cast<InPlace *>(io)->at = offset;
  return TRUE;
}

cmsUInt32Number tellInPlace(cmsIOHANDLER *io) { return reinterpret_cast<InPlace *>(io)->at; }
cmsBool closeInPlace(cmsIOHANDLER *) { return TRUE; }
cmsBool writeInPlace(cmsIOHANDLER *, cmsUInt32Number, const void *) { return FALSE; }

/* Opens the profile in `bytes` when it stays within the work limits; else
 * null, as for one lcms2 refuses. */
cmsHPROFILE openProfile(cmsContext context, InPlace *stream, const uint8_t *bytes, uint32_t size) {
  if (!profileWithinLimits(bytes, size)) return nullptr;
  *stream = InPlace();
  stream->io.ContextID = context;
  stream->io.ReportedSize = size;
  stream->io.Read = readInPlace;
  stream->io.Seek = seekInPlace;
  stream->io.Close = closeInPlace;
  stream->io.Tell = tellInPlace;
  stream->io.Write = writeInPlace;
  stream->bytes = bytes;
  return cmsOpenProfileFromIOhandlerTHR(context, &stream->io);
}

}  // namespace

ColourTransform *makeTransform(const Key &key, const Sha256Digest &inputDigest,
                               const Sha256Digest &outputDigest) {
  ColourTransform *t = new (std::nothrow) ColourTransform();
  if (!t) return nullptr;
  t->model = key.model;
  t->input = key.input;
  t->inputDigest = inputDigest;
  t->outputDigest = outputDigest;
  t->inputSize = key.inputSize;
  t->outputSize = key.outputSize;
  t->verdict = VerdictRefused;
  t->data.budget.used = 0;
  t->data.budget.limit = 2 * (size_t{key.inputSize} + key.outputSize) + kContextSlack;
  t->data.kernel = nullptr;
  t->context = cmsCreateContext(&kMemoryPlugin, &t->data);
  if (!t->context) return t;
  cmsSetLogErrorHandlerTHR(t->context, silent);

  InPlace inStream, outStream;
  cmsHPROFILE in = nullptr;
  if (key.input == InputEmbedded)
    in = openProfile(t->context, &inStream, key.inputBytes, key.inputSize);
  else if (key.input == InputAdobeRgb)
    in = makeAdobeRgb(t->context);
  else
    in = cmsCreate_sRGBProfileTHR(t->context);
  cmsHPROFILE out = key.outputBytes
                        ? openProfile(t->context, &outStream, key.outputBytes, key.outputSize)
                        : cmsCreate_sRGBProfileTHR(t->context);
  if (in && out && cmsGetColorSpace(in) == spaceOf(key.model) &&
      cmsGetColorSpace(out) == cmsSigRgbData)
    t->transform = cmsCreateTransformTHR(t->context, in, formatOf(key.model), out, TYPE_BGR_8,
                                         INTENT_PERCEPTUAL, 0);
  if (in) cmsCloseProfile(in);
  if (out) cmsCloseProfile(out);
  if (t->transform) {
    t->verdict = movesNoColour(t->transform, key.model) ? VerdictKeep : VerdictConvert;
  }
  /* Only a transform that converts keeps its context. */
  if (t->verdict != VerdictConvert) {
    if (t->transform) cmsDeleteTransform(t->transform);
    cmsDeleteContext(t->context);
    t->transform = nullptr;
    t->context = nullptr;
  }
  return t;
}

namespace {

/* The transform `key` gives, or null (keeping the caller's reference out)
 * when it keeps the colours; `refused` tells the caller to try the next
 * source. */
ColourTransform *usable(ColourTransform *t, bool *refused) {
  *refused = t && t->verdict == VerdictRefused;
  if (t && t->verdict == VerdictConvert) return t;
  releaseColourTransform(t);
  return nullptr;
}

}  // namespace

void destroy(ColourTransform *t) {
  if (t->transform) cmsDeleteTransform(t->transform);
  if (t->context) cmsDeleteContext(t->context);
  std::free(t->data.kernel);
  delete t;
}

ColourTransform *acquireColourTransform(int32_t setting, const ColourSource *source) {
  if (setting != kColourToSrgb && setting != kColourToDisplay) return nullptr;
  DisplayProfile display = {nullptr, 0};
  if (setting == kColourToDisplay) readDisplayProfile(&display);
  /* Untagged pictures are sRGB, which needs no pass unless the display
   * differs; a grey or CMYK picture's colours are then its decoded RGB's.
   * Making that transform first also tries the display's profile: one that
   * lcms2 refuses leaves sRGB as the output. */
  ColourTransform *untagged = nullptr;
  if (display.bytes) {
    untagged = transformFor({ColourRgb, InputSrgb, nullptr, 0, display.bytes, display.size});
    if (!untagged || untagged->verdict == VerdictRefused) {
      releaseColourTransform(untagged);
      untagged = nullptr;
      freeDisplayProfile(&display);
    }
  }
  Key key = {source->model, InputEmbedded, source->profile, source->profileSize,
             display.bytes, display.size};
  ColourTransform *result = nullptr;
  bool refused = true;
  if (source->profile && source->profileSize) result = usable(transformFor(key), &refused);
  if (refused && source->adobeRgb && source->model == ColourRgb) {
    key.input = InputAdobeRgb;
    key.inputBytes = nullptr;
    key.inputSize = 0;
    result = usable(transformFor(key), &refused);
  }
  if (refused) result = usable(untagged, &refused);
  else releaseColourTransform(untagged);
  freeDisplayProfile(&display);
  return result;
}

