/*
 * transform_cache.cpp - the cache of the last transforms used, kept in the
 * module state, and the users' count that frees a transform when the last
 * request and the cache have let it go.
 */
#include "colour/transform_cache.h"

#include <cstring>
#include <new>

#include "base/module_state.h"
#include "colour/colour_transform.h"

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

}  // namespace

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
