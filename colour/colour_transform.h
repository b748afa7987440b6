/*
 * colour_transform.h - what a colour transform is made of, shared by its
 * making (transform.cpp), the cache that keeps it (transform_cache.cpp)
 * and its use on pixels (apply.cpp). Only colour/ includes it.
 */
#ifndef MOVRELA_COLOUR_TRANSFORM_H
#define MOVRELA_COLOUR_TRANSFORM_H

#include <cstdint>

#include "base/sha256.h"
#include "colour/colour.h"
#include "colour/lcms_context.h"

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

struct ColourTransform {
  uint32_t users;   /* requests holding it, and the cache while it keeps it */
  uint64_t lastUse; /* cache clock at its last acquisition */
  ColourModel model;
  InputKind input;
  Verdict verdict;
  uint32_t inputSize, outputSize;
  Sha256Digest inputDigest, outputDigest; /* of the profiles' bytes, which are not kept */
  cmsContext context;
  cmsHTRANSFORM transform;
  ContextData data;
};

/* Makes the transform for `key` outside any lock; null without memory. */
ColourTransform *makeTransform(const Key &key, const Sha256Digest &inputDigest,
                               const Sha256Digest &outputDigest);
void destroy(ColourTransform *t);

/* The cached transform for `key`, made when missing, with one user added
 * for the caller; null without memory. */
ColourTransform *transformFor(const Key &key);

#endif /* MOVRELA_COLOUR_TRANSFORM_H */
