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
#include "colour/transform_cache.h"

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
bool movesNoColour(const ColourTransform *transform, ColourModel model) {
  if (model == ColourCmyk) return false;
  if (model == ColourGrey) {
    uint8_t levels[256], out[256 * 3];
    for (int i = 0; i < 256; ++i) levels[i] = static_cast<uint8_t>(i);
    convertPixels(transform, levels, out, 256);
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
      convertPixels(transform, in, out, kGridLevels);
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

/* Opens the profile in `bytes`, which acquireColourTransform has judged
 * within the work limits. */
cmsHPROFILE openProfile(cmsContext context, InPlace *stream, const uint8_t *bytes, uint32_t size) {
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

ColourTransform *makeTransform(const Key &key) {
  ColourTransform *t = new (std::nothrow) ColourTransform();
  if (!t) return nullptr;
  t->model = key.model;
  t->input = key.input;
  t->inputDigest = key.in.digest;
  t->outputDigest = key.out.digest;
  t->inputSize = key.in.size;
  t->outputSize = key.out.size;
  t->verdict = VerdictRefused;
  t->data.budget.used = 0;
  t->data.budget.limit = 2 * (size_t{key.in.size} + key.out.size) + kContextSlack;
  t->data.kernel = nullptr;
  t->data.lutKernel = nullptr;
  t->context = cmsCreateContext(&kMemoryPlugin, &t->data);
  if (!t->context) return t;
  cmsSetLogErrorHandlerTHR(t->context, silent);

  InPlace inStream, outStream;
  cmsHPROFILE in = nullptr;
  if (key.input == InputEmbedded)
    in = openProfile(t->context, &inStream, key.in.bytes, key.in.size);
  else if (key.input == InputAdobeRgb)
    in = makeAdobeRgb(t->context);
  else
    in = cmsCreate_sRGBProfileTHR(t->context);
  cmsHPROFILE out = key.out.bytes
                        ? openProfile(t->context, &outStream, key.out.bytes, key.out.size)
                        : cmsCreate_sRGBProfileTHR(t->context);
  if (in && out && cmsGetColorSpace(in) == spaceOf(key.model) &&
      cmsGetColorSpace(out) == cmsSigRgbData)
    t->transform = cmsCreateTransformTHR(t->context, in, formatOf(key.model), out, TYPE_BGR_8,
                                         INTENT_PERCEPTUAL, 0);
  if (in) cmsCloseProfile(in);
  if (out) cmsCloseProfile(out);
  if (t->transform) {
    t->verdict = movesNoColour(t, key.model) ? VerdictKeep : VerdictConvert;
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

/* The display's profile for one request: known by its identity, whose
 * digest the cache remembers, and read only to make a transform. */
struct DisplayOutput {
  DisplayProfileIdentity identity;
  DisplayProfile profile;
};

/* The display's profile as one side of a transform, or false when there is
 * none to use (none named, no regular file, beyond the work limits). Its
 * bytes are read and digested only when the cache has not seen this
 * version of the file. */
bool displayReference(DisplayOutput *display, ProfileRef *out) {
  if (!queryDisplayProfile(&display->identity)) return false;
  ProfileRef ref = {nullptr, display->identity.size, Sha256Digest()};
  bool refused = false;
  if (!rememberedDisplay(display->identity, &ref.digest, &refused)) {
    if (!readDisplayProfileAs(display->identity, &display->profile)) return false;
    ref.bytes = display->profile.bytes;
    refused = !profileWithinLimits(ref.bytes, ref.size);
    if (!refused) ref.digest = sha256(ref.bytes, ref.size);
    rememberDisplay(display->identity, ref.digest, refused);
  }
  if (!refused) *out = ref;
  return !refused;
}

/* The transform for `key`, from the cache or made and kept there, with one
 * user added for the caller; null without memory, or when the display's
 * profile, needed now, no longer reads as the version the key names. */
ColourTransform *transformFor(Key key, DisplayOutput *display) {
  ColourTransform *cached = cachedTransform(key);
  if (cached) return cached;
  if (key.out.size && !key.out.bytes) {
    if (!display->profile.bytes && readDisplayProfileAs(display->identity, &display->profile) &&
        !sameDigest(sha256(display->profile.bytes, display->profile.size), key.out.digest))
      freeDisplayProfile(&display->profile);
    if (!display->profile.bytes) return nullptr;
    key.out.bytes = display->profile.bytes;
  }
  ColourTransform *made = makeTransform(key);
  if (!made) return nullptr;
  made->users = 1;
  return keepTransform(made);
}

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
  freeLutKernel(t->data.lutKernel);
  delete t;
}

ColourTransform *acquireColourTransform(int32_t setting, const ColourSource *source) {
  if (setting != kColourToSrgb && setting != kColourToDisplay) return nullptr;
  DisplayOutput display = {};
  const ProfileRef none = {nullptr, 0, Sha256Digest()};
  ProfileRef out = none;
  /* Untagged pictures are sRGB, which needs no pass unless the display
   * differs; a grey or CMYK picture's colours are then its decoded RGB's.
   * Making that transform first also tries the display's profile: one that
   * lcms2 refuses leaves sRGB as the output. */
  ColourTransform *untagged = nullptr;
  if (setting == kColourToDisplay && displayReference(&display, &out)) {
    untagged = transformFor({ColourRgb, InputSrgb, none, out}, &display);
    if (!untagged || untagged->verdict == VerdictRefused) {
      releaseColourTransform(untagged);
      untagged = nullptr;
      out = none;
    }
  }
  Key key = {source->model, InputEmbedded, none, out};
  ColourTransform *result = nullptr;
  bool refused = true;
  /* Judged before its digest: a refused profile costs no pass over it. */
  if (source->profile && source->profileSize &&
      profileWithinLimits(source->profile, source->profileSize)) {
    key.in = {source->profile, source->profileSize, sha256(source->profile, source->profileSize)};
    result = usable(transformFor(key, &display), &refused);
  }
  if (refused && source->adobeRgb && source->model == ColourRgb) {
    key.input = InputAdobeRgb;
    key.in = none;
    result = usable(transformFor(key, &display), &refused);
  }
  if (refused) result = usable(untagged, &refused);
  else releaseColourTransform(untagged);
  freeDisplayProfile(&display.profile);
  return result;
}
