/*
 * sources.cpp - the file and memory source managers.
 *
 * Their routines run inside libjpeg and may be left by a jump to the
 * request's recovery point: they hold nothing that needs releasing.
 */
#include "decoder/sources.h"

#include <cstring>

#include "decoder/error_manager.h"

extern "C" {
#include <jerror.h>
}

namespace {

/* The data has ended: empty input is an error; an early end is reported
 * once (the user may accept it), then an end-of-image marker is supplied. */
void supplyEndOfImage(j_decompress_ptr cinfo, JOCTET *buffer, uint8_t startOfFile,
                      uint8_t *truncationReported) {
  if (startOfFile) ERREXIT(cinfo, JERR_INPUT_EMPTY);
  if (!*truncationReported) {
    cinfo->err->msg_code = DATA_TRUNCATED;
    (*cinfo->err->error_exit)(reinterpret_cast<j_common_ptr>(cinfo));
    *truncationReported = 1;
  }
  buffer[0] = 0xFF;
  buffer[1] = JPEG_EOI;
  cinfo->src->next_input_byte = buffer;
  cinfo->src->bytes_in_buffer = 2;
}

void initFileSource(j_decompress_ptr cinfo) {
  reinterpret_cast<FileSource *>(cinfo->src)->startOfFile = 1;
}

boolean fillFileBuffer(j_decompress_ptr cinfo) {
  FileSource *src = reinterpret_cast<FileSource *>(cinfo->src);
  if (src->primedBytes > 0) {
    src->pub.next_input_byte = src->primed;
    src->pub.bytes_in_buffer = src->primedBytes;
    src->primedBytes = 0;
    src->startOfFile = 0;
    return TRUE;
  }
  DWORD got = 0;
  if (ReadFile(src->file, src->buffer, kFileBufferSize, &got, nullptr) && got > 0) {
    src->pub.next_input_byte = src->buffer;
    src->pub.bytes_in_buffer = got;
    src->startOfFile = 0;
    return TRUE;
  }
  supplyEndOfImage(cinfo, src->buffer, src->startOfFile, &src->truncationReported);
  src->startOfFile = 0;
  return TRUE;
}

void initMemorySource(j_decompress_ptr cinfo) {
  MemorySource *src = reinterpret_cast<MemorySource *>(cinfo->src);
  src->position = src->base;
  src->startOfFile = 1;
}

boolean fillMemoryBuffer(j_decompress_ptr cinfo) {
  MemorySource *src = reinterpret_cast<MemorySource *>(cinfo->src);
  size_t left = src->length > 0 ? static_cast<size_t>(src->base + src->length - src->position) : 0;
  if (left > 0) {
    size_t n = left < kMemoryBufferSize ? left : kMemoryBufferSize;
    std::memcpy(src->buffer, src->position, n);
    src->position += n;
    src->pub.next_input_byte = src->buffer;
    src->pub.bytes_in_buffer = n;
    src->startOfFile = 0;
    return TRUE;
  }
  supplyEndOfImage(cinfo, src->buffer, src->startOfFile, &src->truncationReported);
  return TRUE;
}

/* Skips `count` bytes, refilling as needed; past an early end the refills
 * deliver end-of-image markers, so the skip never fails. */
void skipInputData(j_decompress_ptr cinfo, long count) {
  if (count <= 0) return;
  jpeg_source_mgr *src = cinfo->src;
  while (count > static_cast<long>(src->bytes_in_buffer)) {
    count -= static_cast<long>(src->bytes_in_buffer);
    (*src->fill_input_buffer)(cinfo);
  }
  src->next_input_byte += count;
  src->bytes_in_buffer -= static_cast<size_t>(count);
}

void termSource(j_decompress_ptr) {}

void *permanent(j_decompress_ptr cinfo, size_t bytes) {
  return (*cinfo->mem->alloc_small)(reinterpret_cast<j_common_ptr>(cinfo), JPOOL_PERMANENT, bytes);
}

}  // namespace

void attachFileSource(j_decompress_ptr cinfo, HANDLE file, bool suppress, const uint8_t *primed,
                      int32_t primedBytes) {
  if (cinfo->src == nullptr || cinfo->src->init_source != initFileSource) {
    FileSource *created = static_cast<FileSource *>(permanent(cinfo, sizeof(FileSource)));
    created->buffer = static_cast<JOCTET *>(permanent(cinfo, kFileBufferSize));
    cinfo->src = &created->pub;
  }
  FileSource *src = reinterpret_cast<FileSource *>(cinfo->src);
  src->pub.init_source = initFileSource;
  src->pub.fill_input_buffer = fillFileBuffer;
  src->pub.skip_input_data = skipInputData;
  src->pub.resync_to_restart = jpeg_resync_to_restart;
  src->pub.term_source = termSource;
  src->file = file;
  src->primed = primed;
  src->primedBytes = primed != nullptr && primedBytes > 0 ? static_cast<size_t>(primedBytes) : 0;
  src->pub.bytes_in_buffer = 0;
  src->pub.next_input_byte = nullptr;
  src->truncationReported = suppress ? 1 : 0;
}

void attachMemorySource(j_decompress_ptr cinfo, const void *data, int32_t length, bool suppress) {
  if (cinfo->src == nullptr || cinfo->src->init_source != initMemorySource) {
    MemorySource *created = static_cast<MemorySource *>(permanent(cinfo, sizeof(MemorySource)));
    created->buffer = static_cast<JOCTET *>(permanent(cinfo, kMemoryBufferSize));
    cinfo->src = &created->pub;
  }
  MemorySource *src = reinterpret_cast<MemorySource *>(cinfo->src);
  src->pub.init_source = initMemorySource;
  src->pub.fill_input_buffer = fillMemoryBuffer;
  src->pub.skip_input_data = skipInputData;
  src->pub.resync_to_restart = jpeg_resync_to_restart;
  src->pub.term_source = termSource;
  src->base = static_cast<const JOCTET *>(data);
  src->length = length > 0 ? length : 0;
  src->position = src->base;
  src->pub.bytes_in_buffer = 0;
  src->pub.next_input_byte = nullptr;
  src->truncationReported = suppress ? 1 : 0;
}
