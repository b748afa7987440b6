/*
 * segment_reader.cpp - a marker segment's bytes from libjpeg's source.
 */
#include "decoder/segment_reader.h"

#include <cstring>

extern "C" {
#include <jerror.h>
}

unsigned nextByte(j_decompress_ptr cinfo) {
  jpeg_source_mgr *src = cinfo->src;
  while (src->bytes_in_buffer == 0)
    if (!(*src->fill_input_buffer)(cinfo)) ERREXIT(cinfo, JERR_CANT_SUSPEND);
  src->bytes_in_buffer--;
  return *src->next_input_byte++;
}

uint32_t readSegmentLength(j_decompress_ptr cinfo) {
  uint32_t high = nextByte(cinfo);
  return high << 8 | nextByte(cinfo);
}

void copyBytes(j_decompress_ptr cinfo, uint8_t *out, uint32_t count) {
  jpeg_source_mgr *src = cinfo->src;
  while (count > 0) {
    while (src->bytes_in_buffer == 0)
      if (!(*src->fill_input_buffer)(cinfo)) ERREXIT(cinfo, JERR_CANT_SUSPEND);
    size_t chunk = src->bytes_in_buffer < count ? src->bytes_in_buffer : count;
    std::memcpy(out, src->next_input_byte, chunk);
    src->next_input_byte += chunk;
    src->bytes_in_buffer -= chunk;
    out += chunk;
    count -= static_cast<uint32_t>(chunk);
  }
}

void skipBytes(j_decompress_ptr cinfo, uint32_t count) {
  if (count > 0) (*cinfo->src->skip_input_data)(cinfo, static_cast<long>(count));
}
