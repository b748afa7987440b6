/*
 * sha256.h - the SHA-256 digest (FIPS 180-4), by which the colour cache
 * knows a profile without keeping its bytes: no one can make two profiles
 * with one digest on purpose, as they could with a short hash.
 */
#ifndef MOVRELA_SHA256_H
#define MOVRELA_SHA256_H

#include <cstdint>

struct Sha256Digest {
  uint8_t bytes[32];
};

Sha256Digest sha256(const uint8_t *data, uint32_t size);

inline bool sameDigest(const Sha256Digest &a, const Sha256Digest &b) {
  for (int i = 0; i < 32; ++i)
    if (a.bytes[i] != b.bytes[i]) return false;
  return true;
}

#endif /* MOVRELA_SHA256_H */
