/*
 * scan_walk.cpp - the walk over a stream's remaining markers before
 * delegation (scan_walk.h): one linear pass that reads the entropy-coded
 * data only to find where it ends, and each scan header it meets.
 */
#include "decoder/scan_walk.h"

#include <cstring>

#include "decoder/progression.h"
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

/* The code of the next marker that ends entropy-coded data or stands
 * between scans, or -1 at the end. FF 00 (a stuffed byte) and the markers
 * that stand alone (restarts, TEM, SOI) are passed over; a run of FF bytes
 * is fill. Bytes that are no marker between scans are passed over, as
 * libjpeg does. */
int nextMarker(ByteFeed *f) {
  for (;;) {
    if (!passNextFF(f)) return -1;
    int c;
    do c = nextByte(f);
    while (c == 0xFF);
    if (c < 0) return -1;
    if (c != 0x00 && c != 0x01 && (c < 0xD0 || c > 0xD8)) return c;
  }
}

/* Holds one scan header to the rule; `body` holds its `length` bytes after
 * the length field. A header that cannot be read counts as a scan that
 * names nothing: the decoder answers it. */
bool takeScanHeader(j_decompress_ptr cinfo, Progression *p, const uint8_t *body, size_t length) {
  const int n = length > 0 ? body[0] : 0;
  if (n < 1 || n > MAX_COMPS_IN_SCAN || length != static_cast<size_t>(2 * n + 4))
    return takeScan(p, cinfo->progressive_mode != 0, nullptr, 0, 0, 0, 0, 0);
  /* Each component id names the first frame component of that id not yet
   * named by this scan; an unknown one names nothing. */
  int components[MAX_COMPS_IN_SCAN];
  int count = 0;
  for (int i = 0; i < n; ++i) {
    for (int c = 0; c < cinfo->num_components && c < kProgressionComponents; ++c) {
      bool taken = false;
      for (int j = 0; j < count; ++j) taken |= components[j] == c;
      if (!taken && cinfo->comp_info[c].component_id == body[1 + 2 * i]) {
        components[count++] = c;
        break;
      }
    }
  }
  const uint8_t *tail = body + 1 + 2 * n;
  return takeScan(p, cinfo->progressive_mode != 0, components, count, tail[0], tail[1],
                  tail[2] >> 4, tail[2] & 15);
}

/* The walk from the first scan's data on. */
bool walk(j_decompress_ptr cinfo, ByteFeed *f) {
  Progression p;
  startProgression(&p);
  int first[MAX_COMPS_IN_SCAN];
  const int count = cinfo->comps_in_scan < MAX_COMPS_IN_SCAN ? cinfo->comps_in_scan : MAX_COMPS_IN_SCAN;
  for (int i = 0; i < count; ++i) first[i] = cinfo->cur_comp_info[i]->component_index;
  if (!takeScan(&p, cinfo->progressive_mode != 0, first, count, cinfo->Ss, cinfo->Se, cinfo->Ah,
                cinfo->Al))
    return false;
  for (;;) {
    const int marker = nextMarker(f);
    if (marker < 0 || marker == 0xD9) return true; /* the end, or EOI */
    const int high = nextByte(f), low = nextByte(f);
    if (low < 0) return true;
    const size_t length = static_cast<size_t>(high << 8 | low);
    if (length < 2) return true; /* the decoder refuses it */
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
