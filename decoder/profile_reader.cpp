/*
 * profile_reader.cpp - the APP2 "ICC_PROFILE" chunks and their profile.
 */
#include "decoder/profile_reader.h"

#include <cstring>

#include "containers/detect.h"
#include "decoder/memory_layer.h"
#include "decoder/segment_reader.h"

namespace {

/* "ICC_PROFILE" and its zero, then the chunk's sequence number and count. */
constexpr uint32_t kChunkHeader = 14;
const char kChunkMark[12] = "ICC_PROFILE";

}  // namespace

boolean readProfileChunk(j_decompress_ptr cinfo) {
  uint32_t length = readSegmentLength(cinfo);
  if (length < 2) return TRUE; /* a broken length: libjpeg reads on behind it */
  uint32_t payload = length - 2;
  ProfileChunks &chunks = contextOf(cinfo)->profileChunks;
  uint8_t head[kChunkHeader];
  if (chunks.closed || payload < kChunkHeader) {
    skipBytes(cinfo, payload);
    return TRUE;
  }
  copyBytes(cinfo, head, kChunkHeader);
  payload -= kChunkHeader;
  if (std::memcmp(head, kChunkMark, sizeof kChunkMark) != 0) {
    skipBytes(cinfo, payload);
    return TRUE;
  }
  const uint32_t sequence = head[12], count = head[13];
  if (count == 0 || sequence == 0 || sequence > count || chunks.broken ||
      (chunks.count != 0 && count != chunks.count) || chunks.seen[sequence]) {
    chunks.broken = true;
    skipBytes(cinfo, payload);
    return TRUE;
  }
  chunks.count = count;
  chunks.seen[sequence] = true;
  if (payload == 0) return TRUE;
  uint8_t *copy = static_cast<uint8_t *>(jpeg_get_small(reinterpret_cast<j_common_ptr>(cinfo), payload));
  if (copy == nullptr) {
    chunks.seen[sequence] = false; /* missing: the set is incomplete */
    skipBytes(cinfo, payload);
    return TRUE;
  }
  /* In the slot before the copy, so that a failing source cannot lose it. */
  chunks.data[sequence] = copy;
  chunks.size[sequence] = static_cast<uint16_t>(payload);
  copyBytes(cinfo, copy, payload);
  return TRUE;
}

bool colourWanted(const PluginSettings &settings, int32_t kind) {
  return ContainerHandlers[kind].readsStreamMetadata &&
         settings.ColorManagement != kColourAsDecoded;
}

ColourTransform *acquirePictureColour(RequestContext *context, ColourModel model) {
  ProfileChunks &chunks = context->profileChunks;
  chunks.closed = true;
  if (context->settings.ColorManagement == kColourAsDecoded) return nullptr;
  uint32_t total = 0;
  bool whole = chunks.count != 0 && !chunks.broken;
  for (uint32_t i = 1; whole && i <= chunks.count; ++i) {
    whole = chunks.seen[i];
    total += chunks.size[i];
  }
  j_common_ptr common = reinterpret_cast<j_common_ptr>(&context->cinfo);
  uint8_t *profile = whole && total > 0 ? static_cast<uint8_t *>(jpeg_get_small(common, total)) : nullptr;
  uint32_t at = 0;
  for (uint32_t i = 1; i <= chunks.count; ++i) {
    if (profile && chunks.size[i]) std::memcpy(profile + at, chunks.data[i], chunks.size[i]);
    at += chunks.size[i];
  }
  /* The chunks are not needed once assembled (or once they cannot be):
   * only one copy of the profile is held while its transform is made. */
  for (uint32_t i = 0; i < kProfileChunkSlots; ++i) {
    if (chunks.data[i]) jpeg_free_small(common, chunks.data[i], chunks.size[i]);
    chunks.data[i] = nullptr;
    chunks.size[i] = 0; /* a later call assembles nothing from them */
  }
  ColourSource source = {model, profile, profile ? total : 0,
                         context->settings.ExifSupport != 0 && context->adobeRgbMark};
  ColourTransform *transform = acquireColourTransform(context->settings.ColorManagement, &source);
  if (profile) jpeg_free_small(common, profile, total);
  return transform;
}
