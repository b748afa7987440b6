/*
 * transform_cache.cpp - the cache of the last transforms used, kept in the
 * module state, and the users' count that frees a transform when the last
 * request and the cache have let it go.
 */
#include "colour/transform_cache.h"

#include <new>

#include "base/module_state.h"
#include "colour/colour_transform.h"

namespace {

bool matches(const ColourTransform *t, const Key &key, const Sha256Digest &inputDigest,
             const Sha256Digest &outputDigest) {
  return t->model == key.model && t->input == key.input && t->inputSize == key.inputSize &&
         t->outputSize == key.outputSize && sameDigest(t->inputDigest, inputDigest) &&
         sameDigest(t->outputDigest, outputDigest);
}

/* Drops one user under the colour lock; true when the last one left. */
bool dropUser(ColourTransform *t) { return --t->users == 0; }

/* The cache's transform for `key`, with one user added for the caller, or
 * null; the caller holds the colour lock. */
ColourTransform *takeCached(ColourCache *cache, const Key &key, const Sha256Digest &inputDigest,
                            const Sha256Digest &outputDigest) {
  if (!cache) return nullptr;
  for (ColourTransform *t : cache->entries)
    if (t && matches(t, key, inputDigest, outputDigest)) {
      ++t->users;
      t->lastUse = ++cache->clock;
      return t;
    }
  return nullptr;
}

}  // namespace

ColourTransform *transformFor(const Key &key) {
  const Sha256Digest inputDigest = sha256(key.inputBytes, key.inputSize);
  const Sha256Digest outputDigest = sha256(key.outputBytes, key.outputSize);
  EnterModuleLock(ModuleLock::Colour);
  ColourTransform *cached = takeCached(ModuleColourCache(), key, inputDigest, outputDigest);
  LeaveModuleLock(ModuleLock::Colour);
  if (cached) return cached;

  ColourTransform *made = makeTransform(key, inputDigest, outputDigest);
  if (!made) return nullptr;
  made->users = 1;

  EnterModuleLock(ModuleLock::Colour);
  ColourCache *cache = ModuleColourCache();
  /* Another request may have made the same meanwhile: one is kept. */
  cached = takeCached(cache, key, inputDigest, outputDigest);
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

void releaseColourTransform(ColourTransform *transform) {
  if (!transform) return;
  EnterModuleLock(ModuleLock::Colour);
  bool last = dropUser(transform);
  LeaveModuleLock(ModuleLock::Colour);
  if (last) destroy(transform);
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
