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

bool matches(const ColourTransform *t, const ColourTransform &key) {
  return t->model == key.model && t->input == key.input && t->inputSize == key.inputSize &&
         t->outputSize == key.outputSize && sameDigest(t->inputDigest, key.inputDigest) &&
         sameDigest(t->outputDigest, key.outputDigest);
}

/* Drops one user under the colour lock; true when the last one left. */
bool dropUser(ColourTransform *t) { return --t->users == 0; }

/* The cache's transform made like `key`, with one user added for the
 * caller, or null; the caller holds the colour lock. */
ColourTransform *takeCached(ColourCache *cache, const ColourTransform &key) {
  if (!cache) return nullptr;
  for (ColourTransform *t : cache->entries)
    if (t && matches(t, key)) {
      ++t->users;
      t->lastUse = ++cache->clock;
      return t;
    }
  return nullptr;
}

}  // namespace

ColourTransform *cachedTransform(const Key &key) {
  ColourTransform probe = {};
  probe.model = key.model;
  probe.input = key.input;
  probe.inputSize = key.in.size;
  probe.outputSize = key.out.size;
  probe.inputDigest = key.in.digest;
  probe.outputDigest = key.out.digest;
  EnterModuleLock(ModuleLock::Colour);
  ColourTransform *cached = takeCached(ModuleColourCache(), probe);
  LeaveModuleLock(ModuleLock::Colour);
  return cached;
}

ColourTransform *keepTransform(ColourTransform *made) {
  EnterModuleLock(ModuleLock::Colour);
  ColourCache *cache = ModuleColourCache();
  /* Another request may have made the same meanwhile: one is kept. */
  ColourTransform *cached = takeCached(cache, *made);
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

bool rememberedDisplay(const DisplayProfileIdentity &identity, Sha256Digest *digest, bool *refused) {
  EnterModuleLock(ModuleLock::Colour);
  const ColourCache *cache = ModuleColourCache();
  const bool known = cache && cache->displayKnown && sameDisplayProfile(cache->display, identity);
  if (known) {
    *digest = cache->displayDigest;
    *refused = cache->displayRefused;
  }
  LeaveModuleLock(ModuleLock::Colour);
  return known;
}

void rememberDisplay(const DisplayProfileIdentity &identity, const Sha256Digest &digest, bool refused) {
  EnterModuleLock(ModuleLock::Colour);
  ColourCache *cache = ModuleColourCache();
  if (cache) {
    cache->display = identity;
    cache->displayDigest = digest;
    cache->displayKnown = true;
    cache->displayRefused = refused;
  }
  LeaveModuleLock(ModuleLock::Colour);
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
