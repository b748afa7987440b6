/*
 * transform.cpp - making a picture's transform with LittleCMS, the cache
 * of the last transforms used, and their use on pixels, palettes and
 * bitmaps.
 *
 * Each transform lives in an lcms2 context of its own, whose errors go
 * nowhere and whose allocations are bounded by what its profiles can
 * justify: twice their bytes plus kContextSlack.
 */
#include "colour/colour.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>

#include <lcms2_plugin.h>

#include "base/module_state.h"
#include "base/two_cores.h"
#include "base/work_hooks.h"
#include "colour/display_profile.h"
#include "colour/matrix_kernel.h"

namespace {

constexpr size_t kContextSlack = 4u << 20;
/* Transforms kept for later requests; each costs a few hundred KB at most. */
constexpr int kCachedTransforms = 8;
/* Equivalence test grid: 33 levels a channel, as lcms2's own 8-bit tables. */
constexpr int kGridLevels = 33;

/* ---- Bounded memory for lcms2 --------------------------------------------- */

struct Budget {
  std::atomic<size_t> used;
  size_t limit;
};

/* What a transform's context carries: its budget, and the kernel that its
 * matrix-shaper pipeline gave (recordKernel). */
struct ContextData {
  Budget budget;
  MatrixKernel *kernel;
};

/* Each block starts with its size and its budget, so that free and realloc
 * account without asking lcms2 (whose context lookup cannot see the
 * context being created). */
struct BlockHead {
  Budget *budget;
  size_t size;
  size_t pad; /* keeps the data 8-byte aligned on 32-bit targets */
};

Budget *budgetOf(cmsContext id) {
  ContextData *data = static_cast<ContextData *>(cmsGetContextUserData(id));
  return data ? &data->budget : nullptr;
}

void *takeBlock(Budget *budget, size_t size) {
  if (budget) {
    size_t used = budget->used.fetch_add(size) + size;
    if (used > budget->limit) {
      budget->used.fetch_sub(size);
      return nullptr;
    }
    WORK_HOOK(WorkColourBytes(used));
  }
  BlockHead *head = static_cast<BlockHead *>(std::malloc(sizeof(BlockHead) + size));
  if (!head) {
    if (budget) budget->used.fetch_sub(size);
    return nullptr;
  }
  head->budget = budget;
  head->size = size;
  return head + 1;
}

void *boundedMalloc(cmsContext id, cmsUInt32Number size) { return takeBlock(budgetOf(id), size); }

void boundedFree(cmsContext, void *ptr) {
  if (!ptr) return;
  BlockHead *head = static_cast<BlockHead *>(ptr) - 1;
  if (head->budget) head->budget->used.fetch_sub(head->size);
  std::free(head);
}

void *boundedRealloc(cmsContext id, void *ptr, cmsUInt32Number size) {
  if (!ptr) return boundedMalloc(id, size);
  BlockHead *old = static_cast<BlockHead *>(ptr) - 1;
  void *fresh = takeBlock(old->budget, size);
  if (!fresh) return nullptr;
  std::memcpy(fresh, ptr, old->size < size ? old->size : size);
  boundedFree(id, ptr);
  return fresh;
}

/* An optimisation that optimises nothing: it is shown the pipeline lcms2
 * built, before its own optimisations, and keeps our kernel of it. */
cmsBool recordKernel(cmsPipeline **lut, cmsUInt32Number, cmsUInt32Number *inputFormat,
                     cmsUInt32Number *outputFormat, cmsUInt32Number *) {
  ContextData *data = static_cast<ContextData *>(cmsGetContextUserData(cmsGetPipelineContextID(*lut)));
  if (data && !data->kernel) data->kernel = makeMatrixKernel(*lut, *inputFormat, *outputFormat);
  return FALSE;
}

cmsPluginOptimization kKernelPlugin = {
    {cmsPluginMagicNumber, 2000, cmsPluginOptimizationSig, nullptr}, recordKernel};

cmsPluginMemHandler kMemoryPlugin = {
    {cmsPluginMagicNumber, 2000, cmsPluginMemHandlerSig,
     reinterpret_cast<cmsPluginBase *>(&kKernelPlugin)},
    boundedMalloc, boundedFree, boundedRealloc, nullptr, nullptr, nullptr};

void silent(cmsContext, cmsUInt32Number, const char *) {}

/* ---- Transforms ------------------------------------------------------------- */

/* Where the input colours come from. */
enum InputKind : uint8_t { InputEmbedded, InputAdobeRgb, InputSrgb };

/* What a transform's making found. */
enum Verdict : uint8_t {
  VerdictConvert, /* the colours change */
  VerdictKeep,    /* the transform moves no colour by more than a level */
  VerdictRefused  /* the profile does not fit or lcms2 refuses it: no profile */
};

struct Key {
  ColourModel model;
  InputKind input;
  const uint8_t *inputBytes; /* InputEmbedded only */
  uint32_t inputSize;
  const uint8_t *outputBytes; /* the display's profile; null for sRGB */
  uint32_t outputSize;
};

}  // namespace

struct ColourTransform {
  uint32_t users;   /* requests holding it, and the cache while it keeps it */
  uint64_t lastUse; /* cache clock at its last acquisition */
  ColourModel model;
  InputKind input;
  Verdict verdict;
  uint32_t inputHash, outputHash;
  uint32_t inputSize, outputSize;
  uint8_t *inputBytes, *outputBytes; /* copies, compared on a hit */
  cmsContext context;
  cmsHTRANSFORM transform;
  ContextData data;
};

struct ColourCache {
  ColourTransform *entries[kCachedTransforms];
  uint64_t clock;
};

namespace {

uint32_t hashBytes(const uint8_t *bytes, uint32_t size) {
  uint32_t h = 2166136261u; /* FNV-1a */
  for (uint32_t i = 0; i < size; ++i) h = (h ^ bytes[i]) * 16777619u;
  return h;
}

bool sameBytes(const uint8_t *a, uint32_t aSize, const uint8_t *b, uint32_t bSize) {
  return aSize == bSize && (aSize == 0 || std::memcmp(a, b, aSize) == 0);
}

bool matches(const ColourTransform *t, const Key &key, uint32_t inputHash, uint32_t outputHash) {
  return t->model == key.model && t->input == key.input && t->inputHash == inputHash &&
         t->outputHash == outputHash &&
         sameBytes(t->inputBytes, t->inputSize, key.inputBytes, key.inputSize) &&
         sameBytes(t->outputBytes, t->outputSize, key.outputBytes, key.outputSize);
}

void destroy(ColourTransform *t) {
  if (t->transform) cmsDeleteTransform(t->transform);
  if (t->context) cmsDeleteContext(t->context);
  std::free(t->data.kernel);
  std::free(t->inputBytes);
  std::free(t->outputBytes);
  delete t;
}

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

/* A copy of `size` bytes, or null (also for none). */
uint8_t *copyOf(const uint8_t *bytes, uint32_t size) {
  if (!bytes || size == 0) return nullptr;
  uint8_t *copy = static_cast<uint8_t *>(std::malloc(size));
  if (copy) std::memcpy(copy, bytes, size);
  return copy;
}

/* Makes the transform for `key` outside any lock; null without memory. */
ColourTransform *makeTransform(const Key &key, uint32_t inputHash, uint32_t outputHash) {
  ColourTransform *t = new (std::nothrow) ColourTransform();
  if (!t) return nullptr;
  t->model = key.model;
  t->input = key.input;
  t->inputHash = inputHash;
  t->outputHash = outputHash;
  t->inputSize = key.inputSize;
  t->outputSize = key.outputSize;
  t->inputBytes = copyOf(key.inputBytes, key.inputSize);
  t->outputBytes = copyOf(key.outputBytes, key.outputSize);
  if ((key.inputSize && !t->inputBytes) || (key.outputSize && !t->outputBytes)) {
    destroy(t);
    return nullptr;
  }
  t->verdict = VerdictRefused;
  t->data.budget.used = 0;
  t->data.budget.limit = 2 * (size_t{key.inputSize} + key.outputSize) + kContextSlack;
  t->data.kernel = nullptr;
  t->context = cmsCreateContext(&kMemoryPlugin, &t->data);
  if (!t->context) return t;
  cmsSetLogErrorHandlerTHR(t->context, silent);

  cmsHPROFILE in = nullptr;
  if (key.input == InputEmbedded)
    in = cmsOpenProfileFromMemTHR(t->context, key.inputBytes, key.inputSize);
  else if (key.input == InputAdobeRgb)
    in = makeAdobeRgb(t->context);
  else
    in = cmsCreate_sRGBProfileTHR(t->context);
  cmsHPROFILE out = key.outputBytes
                        ? cmsOpenProfileFromMemTHR(t->context, key.outputBytes, key.outputSize)
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

/* Drops one user under the colour lock; true when the last one left. */
bool dropUser(ColourTransform *t) { return --t->users == 0; }

/* The cache's transform for `key`, with one user added for the caller, or
 * null; the caller holds the colour lock. */
ColourTransform *takeCached(ColourCache *cache, const Key &key, uint32_t inputHash,
                            uint32_t outputHash) {
  if (!cache) return nullptr;
  for (ColourTransform *t : cache->entries)
    if (t && matches(t, key, inputHash, outputHash)) {
      ++t->users;
      t->lastUse = ++cache->clock;
      return t;
    }
  return nullptr;
}

/* The cached transform for `key`, made when missing, with one user added
 * for the caller; null without memory. */
ColourTransform *transformFor(const Key &key) {
  const uint32_t inputHash = hashBytes(key.inputBytes, key.inputSize);
  const uint32_t outputHash = hashBytes(key.outputBytes, key.outputSize);
  EnterModuleLock(ModuleLock::Colour);
  ColourTransform *cached = takeCached(ModuleColourCache(), key, inputHash, outputHash);
  LeaveModuleLock(ModuleLock::Colour);
  if (cached) return cached;

  ColourTransform *made = makeTransform(key, inputHash, outputHash);
  if (!made) return nullptr;
  made->users = 1;

  EnterModuleLock(ModuleLock::Colour);
  ColourCache *cache = ModuleColourCache();
  /* Another request may have made the same meanwhile: one is kept. */
  cached = takeCached(cache, key, inputHash, outputHash);
  if (cached) {
    LeaveModuleLock(ModuleLock::Colour);
    destroy(made);
    return cached;
  }
  ColourTransform *evicted = nullptr;
  if (cache) {
    int slot = 0;
    for (int i = 0; i < kCachedTransforms; ++i) {
      if (!cache->entries[i]) {
        slot = i;
        break;
      }
      if (cache->entries[i]->lastUse < cache->entries[slot]->lastUse) slot = i;
    }
    if (cache->entries[slot] && dropUser(cache->entries[slot])) evicted = cache->entries[slot];
    cache->entries[slot] = made;
    ++made->users;
    made->lastUse = ++cache->clock;
  }
  LeaveModuleLock(ModuleLock::Colour);
  if (evicted) destroy(evicted);
  return made;
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

void releaseColourTransform(ColourTransform *transform) {
  if (!transform) return;
  EnterModuleLock(ModuleLock::Colour);
  bool last = dropUser(transform);
  LeaveModuleLock(ModuleLock::Colour);
  if (last) destroy(transform);
}

ColourModel colourInput(const ColourTransform *transform) { return transform->model; }

void convertPixels(const ColourTransform *transform, const uint8_t *in, uint8_t *out,
                   uint32_t pixels) {
  if (transform->data.kernel) runMatrixKernel(transform->data.kernel, in, out, pixels);
  else cmsDoTransform(transform->transform, in, out, pixels);
}

namespace {

/* Rows of one bitmap being converted in place. */
struct RowPass {
  const ColourTransform *transform;
  uint8_t *bits;
  int64_t stride;
  int32_t width;
};

void convertRowPart(void *pass, int32_t first, int32_t end) {
  const RowPass *p = static_cast<const RowPass *>(pass);
  uint8_t *row = p->bits + first * p->stride;
  if (p->transform->data.kernel) {
    for (int32_t y = first; y < end; ++y, row += p->stride)
      runMatrixKernel(p->transform->data.kernel, row, row, static_cast<uint32_t>(p->width));
    return;
  }
  cmsDoTransformLineStride(p->transform->transform, row, row, static_cast<cmsUInt32Number>(p->width),
                           static_cast<cmsUInt32Number>(end - first),
                           static_cast<cmsUInt32Number>(p->stride),
                           static_cast<cmsUInt32Number>(p->stride), 0, 0);
}

/* Pictures of fewer pixels are converted on one core: a thread costs more
 * than it saves. */
constexpr int64_t kPixelsForTwoCores = 1 << 20;

}  // namespace

void convertRows(const ColourTransform *transform, uint8_t *bits, int64_t stride, int32_t width,
                 int32_t rows) {
  RowPass pass = {transform, bits, stride, width};
  const int64_t pixels = int64_t{width} * rows;
  splitOverTwoCores(convertRowPart, &pass, rows, pixels >= kPixelsForTwoCores ? 2 : rows + 1);
}

void convertPalette(const ColourTransform *transform, uint8_t *entries, uint32_t count) {
  if (transform->model == ColourCmyk || count > 256) return;
  uint8_t in[256 * 3] = {}, out[256 * 3];
  const int inBytes = transform->model == ColourGrey ? 1 : 3;
  for (uint32_t i = 0; i < count; ++i) {
    const uint8_t *e = entries + 4 * i;
    if (inBytes == 1)
      in[i] = static_cast<uint8_t>((e[0] + e[1] + e[2] + 1) / 3);
    else
      std::memcpy(in + 3 * i, e, 3);
  }
  cmsDoTransform(transform->transform, in, out, count);
  for (uint32_t i = 0; i < count; ++i) std::memcpy(entries + 4 * i, out + 3 * i, 3);
}

bool convertBitmap(const ColourTransform *transform, BitmapHandles *bitmap) {
  if (!transform || !bitmap || !bitmap->info || !bitmap->bits) return false;
  BITMAPINFOHEADER *header =
      static_cast<BITMAPINFOHEADER *>(lockAtLeast(bitmap->info, sizeof(BITMAPINFOHEADER)));
  if (!header) return false;
  bool done = false;
  const BITMAPINFOHEADER h = *header;
  const bool plain = h.biSize >= sizeof(BITMAPINFOHEADER) && h.biCompression == BI_RGB &&
                     h.biWidth > 0 && h.biHeight > 0 && h.biPlanes == 1;
  if (plain && h.biBitCount == 8) {
    const uint32_t count = h.biClrUsed == 0 || h.biClrUsed > 256 ? 256 : h.biClrUsed;
    if (LocalSize(bitmap->info) >= h.biSize + 4 * SIZE_T{count}) {
      convertPalette(transform, reinterpret_cast<uint8_t *>(header) + h.biSize, count);
      done = transform->model != ColourCmyk;
    }
  } else if (plain && h.biBitCount == 24 && transform->model == ColourRgb) {
    const int64_t stride = rowStride(h.biWidth, 24);
    const int64_t bytes = blockBytes(stride, h.biHeight);
    uint8_t *bits = bytes < 0 ? nullptr
                              : static_cast<uint8_t *>(
                                    lockAtLeast(bitmap->bits, static_cast<SIZE_T>(bytes)));
    if (bits) {
      convertRows(transform, bits, stride, h.biWidth, h.biHeight);
      LocalUnlock(bitmap->bits);
      done = true;
    }
  }
  LocalUnlock(bitmap->info);
  return done;
}

void openColourCache() {
  ColourCache *cache = new (std::nothrow) ColourCache();
  SetModuleColourCache(cache);
}

void closeColourCache() {
  ColourCache *cache = ModuleColourCache();
  SetModuleColourCache(nullptr);
  if (!cache) return;
  for (ColourTransform *t : cache->entries)
    if (t && dropUser(t)) destroy(t);
  delete cache;
}
