/*
 * transform_cache.h - the colour transforms last used, kept across
 * requests in the module state (ModuleColourCache) under the colour lock.
 * Process attach and detach open and close it through colour.h.
 */
#ifndef MOVRELA_TRANSFORM_CACHE_H
#define MOVRELA_TRANSFORM_CACHE_H

#include <cstdint>

struct ColourTransform;

/* Transforms kept for later requests; each costs a few hundred KB at most. */
constexpr int kCachedTransforms = 8;

struct ColourCache {
  ColourTransform *entries[kCachedTransforms];
  uint64_t clock;
};

#endif /* MOVRELA_TRANSFORM_CACHE_H */
