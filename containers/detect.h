/*
 * detect.h - container detection: which kind of input a request reads
 * (plain JPEG, J6I, PMP, or nothing usable), where its JPEG stream starts,
 * and the table of the kinds: each a self-describing entry with its
 * recognition, its handlers that adjust picture information and decoded
 * bitmaps, the setting that switches it on and its name for the host.
 *
 * Every kind, plain JPEG included, is one file (containers/NAME.cpp with
 * its header) that defines its entry, kNameContainer (containers/
 * container.h), and one row of ContainerHandlers (detect.cpp) that names
 * it, at the index of its ContainerKind.
 *
 * detectContainer copies the first bytes of the input into the caller's
 * header block (zero-filled behind the valid bytes) and moves the input
 * forward to the JPEG stream, d bytes in:
 * - memory input: data and extent (the bytes available there) advance by d;
 * - file input: the handle is positioned at the image and extent is its
 *   file offset; extent grows by d, becoming the absolute offset of the
 *   stream. A stream inside the header block is not read again: primed
 *   points at its first bytes there, and the handle stands behind them.
 *   Otherwise (a container's stream) primed is null and the handle stands
 *   at the stream.
 */
#ifndef MOVRELA_DETECT_H
#define MOVRELA_DETECT_H

#include <cstdint>

#include "platform.h"
#include "base/request_records.h"
#include "containers/container.h"

/* Result of detectContainer and index into ContainerHandlers. */
enum ContainerKind : int32_t {
  ContainerUnsupported = -1, /* no JPEG stream located, or the input refused */
  ContainerPlainJpeg = 0,
  ContainerJ6i = 1,
  ContainerPmp = 2
};

constexpr int kContainerKinds = 3;

/* Indexed by ContainerKind: plain JPEG, then the containers in the order
 * recognition and refusal try them. */
extern const ContainerHandler ContainerHandlers[kContainerKinds];

inline bool containerEnabled(const ContainerHandler &kind, const PluginSettings &settings) {
  return kind.enabledBy == nullptr || settings.*kind.enabledBy != 0;
}

/* Whether the header pass of a `kind` input reads the Exif orientation. */
inline bool exifTurnWanted(const PluginSettings &settings, int32_t kind) {
  return ContainerHandlers[kind].readsStreamMetadata && settings.ExifSupport &&
         settings.ExifRotation;
}

/* Detects the kind of the input (see above) and moves it to the JPEG
 * stream: a memory input's data and extent, or a file's position and
 * extent (its offset). Each enabled container's recognition is tried in
 * table order, then (with SearchMarkerSupport) the start-marker search,
 * whose find each enabled kind's entry may refuse.
 * On -1 the input may already have been moved; the caller abandons the
 * request. */
int32_t detectContainer(const PluginSettings *settings, uint8_t headerBlock[kHeaderBlockSize],
                        RequestInput *input);

/* True when `block` (at least 2 bytes) starts with an SOI marker: every
 * setting then detects a plain JPEG stream at its first byte. */
inline bool startsWithJpegStream(const uint8_t *block) {
  return block[0] == 0xFF && block[1] == 0xD8;
}

/* Position of the first SOI marker (0xFF 0xD8) lying wholly inside the
 * first `validBytes` bytes of `block`, or -1. The second byte of any other
 * marker pair is never taken as the start. */
int32_t findFirstSoi(const uint8_t *block, int32_t validBytes);

#endif /* MOVRELA_DETECT_H */
