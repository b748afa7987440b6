/*
 * transform_cache.h - the colour transforms last used, kept across
 * requests in the module state (ModuleColourCache) under the colour lock.
 * Process attach and detach open and close it through colour.h.
 */
#ifndef MOVRELA_TRANSFORM_CACHE_H
#define MOVRELA_TRANSFORM_CACHE_H

#include <cstdint>

#include "base/sha256.h"
#include "colour/display_profile.h"

struct ColourTransform;

/* Transforms kept for later requests; each costs a few hundred KB at most. */
constexpr int kCachedTransforms = 8;

struct ColourCache {
  ColourTransform *entries[kCachedTransforms];
  uint64_t clock;
  DisplayProfileIdentity display; /* the display's profile last read */
  Sha256Digest displayDigest;     /* its digest */
  bool displayKnown;              /* display and displayDigest are set */
  bool displayRefused;            /* it is beyond the work limits */
};

/* The digest of the display's profile `identity` names, when it was read
 * before and is unchanged: true, with `refused` when it is beyond the work
 * limits. */
bool rememberedDisplay(const DisplayProfileIdentity &identity, Sha256Digest *digest, bool *refused);
void rememberDisplay(const DisplayProfileIdentity &identity, const Sha256Digest &digest, bool refused);

#endif /* MOVRELA_TRANSFORM_CACHE_H */
