/*
 * sources.h - libjpeg source managers over a Win32 file handle (FileSource)
 * and over a block of memory (MemorySource).
 *
 * Both share one policy for data that ends too early: they report it once
 * (code DATA_TRUNCATED through the error manager) unless told not to, then
 * complete the stream with an end-of-image marker, so that the library never
 * suspends and never meets a real end of input.
 */
#ifndef MOVRELA_SOURCES_H
#define MOVRELA_SOURCES_H

#include <cstdint>

#include "base/jpeg.h"

constexpr int kFileBufferSize = 4096;   /* one ReadFile per fill */
constexpr int kMemoryBufferSize = 2048; /* bytes staged per fill */

struct FileSource {
  jpeg_source_mgr pub;        /* the library's fields; must stay first */
  HANDLE file;                /* open for reading, owned by the caller */
  JOCTET *buffer;             /* kFileBufferSize bytes */
  const JOCTET *primed;       /* bytes handed over before the file is read */
  size_t primedBytes;         /* 0 once they are handed over */
  uint8_t startOfFile;        /* nothing read yet */
  uint8_t truncationReported; /* early end reported, or reporting suppressed */
};

struct MemorySource {
  jpeg_source_mgr pub;        /* the library's fields; must stay first */
  const JOCTET *base;         /* first byte of the stream, in the caller's block */
  int32_t length;             /* bytes available from base */
  JOCTET *buffer;             /* kMemoryBufferSize bytes, ours */
  const JOCTET *position;     /* next byte of the block to hand over */
  uint8_t startOfFile;
  uint8_t truncationReported;
};

/* Attaches a FileSource that hands over the `primedBytes` bytes at
 * `primed` (none when null), which must stay valid while it reads, then
 * reads on from the handle's current position. `suppress` absorbs an early
 * end silently instead of reporting it. */
void attachFileSource(j_decompress_ptr cinfo, HANDLE file, bool suppress,
                      const uint8_t *primed, int32_t primedBytes);

/* Attaches a MemorySource over `length` bytes at `data` (none when
 * length <= 0: the input is empty). */
void attachMemorySource(j_decompress_ptr cinfo, const void *data, int32_t length, bool suppress);

#endif /* MOVRELA_SOURCES_H */
