/*
 * scan_walk.cpp - the walk over a stream's remaining markers before
 * delegation (scan_walk.h): one linear pass that reads the entropy-coded
 * data only to find where it ends, and each scan header it meets.
 *
 * The walk reads markers as libjpeg (2.1.5) does, since the wrapped decoder
 * is most often built on it; where libjpeg stops with an error, the walk may
 * read on, which can only refuse streams libjpeg would not finish. Each rule
 * names the libjpeg behaviour it follows.
 */
#include "decoder/scan_walk.h"

#include <cstring>

#include "decoder/progress.h"
#include "decoder/sources.h"

namespace {

constexpr DWORD kWalkBufferSize = 4096; /* one ReadFile per refill */

/* The stream's unread bytes: what the source holds, then the rest of the
 * memory block, or what the file holds from its position on. */
struct ByteFeed {
  const uint8_t *next; /* next byte of the current span */
  size_t left;         /* bytes left in it */
  const uint8_t *rest; /* memory input: the block's bytes the source has not staged */
  size_t restLeft;
  HANDLE file;         /* file input: read on from here; else INVALID_HANDLE_VALUE */
  uint8_t buffer[kWalkBufferSize];
};

bool refill(ByteFeed *f) {
  if (f->restLeft > 0) {
    f->next = f->rest;
    f->left = f->restLeft;
    f->restLeft = 0;
    return true;
  }
  DWORD got = 0;
  if (f->file == INVALID_HANDLE_VALUE ||
      !ReadFile(f->file, f->buffer, kWalkBufferSize, &got, nullptr) || got == 0)
    return false;
  f->next = f->buffer;
  f->left = got;
  return true;
}

/* The next byte, or -1 at the end of the stream. */
inline int nextByte(ByteFeed *f) {
  if (f->left == 0 && !refill(f)) return -1;
  --f->left;
  return *f->next++;
}

/* Passes over `count` bytes; false when the stream ends first. */
bool skipBytes(ByteFeed *f, size_t count) {
  while (count > f->left) {
    count -= f->left;
    f->left = 0;
    if (!refill(f)) return false;
  }
  f->next += count;
  f->left -= count;
  return true;
}

/* Moves past the next FF byte; false when there is none. */
bool passNextFF(ByteFeed *f) {
  for (;;) {
    const void *ff = f->left ? std::memchr(f->next, 0xFF, f->left) : nullptr;
    if (ff != nullptr) {
      const size_t taken = static_cast<size_t>(static_cast<const uint8_t *>(ff) - f->next) + 1;
      f->next += taken;
      f->left -= taken;
      return true;
    }
    f->left = 0;
    if (!refill(f)) return false;
  }
}

/* The code of the next marker with a length, or -1 at the end. Passed over:
 * - bytes before an FF: next_marker discards them between segments, and the
 *   entropy decoders (jdhuff.c fill_bit_buffer, jdphuff.c, jdarith.c
 *   get_byte) read them as data;
 * - a run of FF bytes, fill to both, and FF 00, a stuffed data byte;
 * - RST0-7 and TEM, which read_markers takes as having no parameters, and
 *   SOI, which it refuses after the first;
 * - codes 0x02-0xBF. Met at a restart, jpeg_resync_to_restart takes them
 *   as invalid (action 2) and reads on to the next marker, so a scan header
 *   behind one is read as a scan; anywhere else read_markers stops at them
 *   (JERR_UNKNOWN_MARKER), so passing over them refuses nothing libjpeg
 *   reads. A marker inside a restart interval ends the interval's data
 *   early and is then met at its restart. */
int nextMarker(ByteFeed *f) {
  for (;;) {
    if (!passNextFF(f)) return -1;
    int c;
    do c = nextByte(f);
    while (c == 0xFF);
    if (c < 0) return -1;
    if (c >= 0xC0 && (c < 0xD0 || c > 0xD8)) return c;
  }
}

/* Holds one scan header to the rule; `body` holds its `length` bytes after
 * the length field. A header get_sos refuses (JERR_BAD_LENGTH,
 * JERR_BAD_COMPONENT_ID) counts as a scan that names nothing: libjpeg stops
 * there. */
bool takeScanHeader(j_decompress_ptr cinfo, Progression *p, const uint8_t *body, size_t length) {
  const bool progressive = cinfo->progressive_mode != 0;
  const ScanBounds none = {};
  const int n = length > 0 ? body[0] : 0;
  if (n < 1 || n > MAX_COMPS_IN_SCAN || length != static_cast<size_t>(2 * n + 4))
    return takeScan(p, progressive, none);
  /* get_sos: an id names the first of the frame's first four components
   * with that id whose index, read as a place in this scan's list, is
   * still free; an id that names none, or a component named twice, stops
   * it. */
  const uint8_t *tail = body + 1 + 2 * n;
  ScanBounds scan = {n, {-1, -1, -1, -1}, tail[0], tail[1], tail[2] >> 4, tail[2] & 15};
  int *components = scan.components;
  const int searched = cinfo->num_components < MAX_COMPS_IN_SCAN ? cinfo->num_components
                                                                 : MAX_COMPS_IN_SCAN;
  for (int i = 0; i < n; ++i) {
    for (int c = 0; c < searched && components[i] < 0; ++c)
      if (cinfo->comp_info[c].component_id == body[1 + 2 * i] && components[c] < 0)
        components[i] = c;
    bool named = components[i] >= 0;
    for (int j = 0; j < i; ++j) named &= components[j] != components[i];
    if (!named) return takeScan(p, progressive, none);
  }
  return takeScan(p, progressive, scan);
}

/* The walk from the first scan's data on. */
bool walk(j_decompress_ptr cinfo, ByteFeed *f) {
  Progression p;
  startProgression(&p);
  if (!takeScan(&p, cinfo->progressive_mode != 0, scanBeingRead(cinfo))) return false;
  for (;;) {
    const int marker = nextMarker(f);
    /* The end, or EOI: read_markers returns JPEG_REACHED_EOI. */
    if (marker < 0 || marker == 0xD9) return true;
    const int high = nextByte(f), low = nextByte(f);
    if (low < 0) return true;
    const size_t length = static_cast<size_t>(high << 8 | low);
    /* A length of 0 or 1: skip_variable (COM, APPn, DNL),
     * get_interesting_appn (APP0, APP14) and save_marker read on right
     * after the length field. The other segments' readers stop there
     * (JERR_BAD_LENGTH); reading on after them too refuses no more than
     * libjpeg finishes. */
    if (length < 2) continue;
    /* Every other segment but SOS: its length is skipped, as each reader
     * consumes it (and skip_input_data the rest). */
    if (marker != 0xDA) {
      if (!skipBytes(f, length - 2)) return true;
      continue;
    }
    uint8_t body[2 * MAX_COMPS_IN_SCAN + 4];
    size_t bodyLength = length - 2;
    if (bodyLength > sizeof body) {
      if (!skipBytes(f, bodyLength)) return true;
      bodyLength = 0;
    }
    for (size_t i = 0; i < bodyLength; ++i) {
      const int b = nextByte(f);
      if (b < 0) return true;
      body[i] = static_cast<uint8_t>(b);
    }
    if (!takeScanHeader(cinfo, &p, body, bodyLength)) return false;
  }
}

}  // namespace

bool scansKeepTheRule(j_decompress_ptr cinfo, const RequestInput *in) {
  ByteFeed f;
  f.next = cinfo->src->next_input_byte;
  f.left = cinfo->src->bytes_in_buffer;
  f.rest = nullptr;
  f.restLeft = 0;
  f.file = in->fileInput ? in->file : INVALID_HANDLE_VALUE;
  if (!in->fileInput) {
    const MemorySource *src = reinterpret_cast<const MemorySource *>(cinfo->src);
    f.rest = src->position;
    f.restLeft = static_cast<size_t>(src->base + src->length - src->position);
  }
  return walk(cinfo, &f);
}
