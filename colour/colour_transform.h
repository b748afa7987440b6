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

/* One side of a transform: its profile's length and digest, by which the
 * cache knows it, and its bytes while they are at hand (null for sRGB, or
 * for the display's profile while it need not be read). */
struct ProfileRef {
  const uint8_t *bytes;
  uint32_t size;
  Sha256Digest digest;
};

struct Key {
  ColourModel model;
  InputKind input;
  ProfileRef in;  /* InputEmbedded only */
  ProfileRef out; /* the display's profile; size 0 for sRGB */
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

/* Makes the transform for `key`, whose profiles' bytes are at hand,
 * outside any lock; null without memory. */
ColourTransform *makeTransform(const Key &key);
void destroy(ColourTransform *t);

/* The cache's transform for `key`, with one user added for the caller, or
 * null. */
ColourTransform *cachedTransform(const Key &key);

/* Keeps `made` (one user, the caller's) in the cache, or gives the one
 * another request kept meanwhile for the same key in its place. */
ColourTransform *keepTransform(ColourTransform *made);

#endif /* MOVRELA_COLOUR_TRANSFORM_H */
