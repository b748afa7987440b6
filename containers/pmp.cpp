/*
 * pmp.cpp - handlers of the PMP container: the information text and the
 * turned size for GetPictureInfo; rotation and colour correction of the
 * bitmap.
 */
#include "containers/pmp.h"

#include <cstddef>
#include <cstdio>
#include <cstring>
#include <utility>

#include "base/blocks.h"
#include "base/byte_order.h"
#include "containers/turn.h"
#include "base/dib_writer.h"

/* Non-decreasing from 0 to 255; lifts the middle tones (128 -> 154) and
 * compresses the highlights. */
const uint8_t ColorCorrectionTable[256] = {
      0,   1,   2,   3,   4,   5,   6,   7,   8,   9,  10,  11,  13,  14,  15,  16,
     17,  18,  19,  20,  21,  22,  24,  25,  26,  27,  28,  29,  30,  32,  33,  34,
     35,  36,  37,  39,  40,  41,  42,  43,  45,  46,  47,  48,  49,  51,  52,  53,
     54,  55,  57,  58,  59,  60,  62,  63,  64,  65,  67,  68,  69,  70,  71,  73,
     74,  75,  76,  78,  79,  80,  82,  83,  84,  85,  87,  88,  89,  90,  92,  93,
     94,  95,  97,  98,  99, 100, 102, 103, 104, 105, 107, 108, 109, 111, 112, 113,
    114, 116, 117, 118, 119, 121, 122, 123, 124, 126, 127, 128, 129, 131, 132, 133,
    134, 135, 137, 138, 139, 140, 142, 143, 144, 145, 146, 148, 149, 150, 151, 152,
    154, 155, 156, 157, 158, 160, 161, 162, 163, 164, 165, 167, 168, 169, 170, 171,
    172, 173, 175, 176, 177, 178, 179, 180, 181, 182, 183, 184, 186, 187, 188, 189,
    190, 191, 192, 193, 194, 195, 196, 197, 198, 199, 200, 201, 202, 203, 204, 205,
    206, 207, 208, 209, 210, 211, 212, 212, 213, 214, 215, 216, 217, 218, 219, 219,
    220, 221, 222, 223, 224, 224, 225, 226, 227, 228, 228, 229, 230, 231, 231, 232,
    233, 233, 234, 235, 236, 236, 237, 237, 238, 239, 239, 240, 241, 241, 242, 242,
    243, 243, 244, 245, 245, 246, 246, 247, 247, 248, 248, 248, 249, 249, 250, 250,
    250, 251, 251, 252, 252, 252, 253, 253, 253, 254, 254, 254, 254, 255, 255, 255
};

namespace {

/* Shift_JIS texts, as octal escapes so that no trail byte is read as one.
 * The labels are right-aligned to ten bytes. */
#define SHOT_LABEL "    \216\102\211\145\223\372: "           /* 撮影日 */
#define EDIT_LABEL "    \225\322\217\127\223\372: "           /* 編集日 */
#define SIZE_LABEL "    \203\124\203\103\203\131: "           /* サイズ */
#define NOTE_LABEL "      \224\365\215\154: "                 /* 備考 */
#define COMMENT_LABEL "  \203\122\203\201\203\223\203\147: "  /* コメント */
#define DATE_FORMAT "%.2d/%.2d/%.2d %.2d:%.2d:%.2d\r\n"
const char kFlashFired[] = "\203\164\203\211\203\142\203\126\203\205\202\240\202\350";  /* フラッシュあり */
const char kFlashNotFired[] = "\203\164\203\211\203\142\203\126\203\205\202\310\202\265"; /* フラッシュなし */
const char kFine[] = " / \203\164\203\100\203\103\203\223";                    /* ファイン */
const char kStandard[] = " / \203\130\203\136\203\223\203\137\201\133\203\150"; /* スタンダード */
const char kEconomy[] = " / \203\107\203\122\203\155\203\176\201\133";         /* エコノミー */

const char *qualityText(uint8_t quality) {
  switch (quality) {
    case PmpFine: return kFine;
    case PmpStandard: return kStandard;
    case PmpEconomy: return kEconomy;
    default: return "";
  }
}

bool isQuarterTurn(uint8_t orientation) {
  return orientation == PmpQuarterCounterClockwise || orientation == PmpQuarterClockwise;
}

/* The orientation byte as the Exif orientation that makes the same turn. */
uint32_t exifTurnOf(uint8_t orientation) {
  switch (orientation) {
    case PmpQuarterCounterClockwise: return kOrientationQuarterCounterClockwise;
    case PmpHalfTurn: return kOrientationHalfTurn;
    case PmpQuarterClockwise: return kOrientationQuarterClockwise;
    default: return kOrientationUpright;
  }
}

void correctColours(const DibWriter &bitmap) {
  const size_t rowBytes = static_cast<size_t>(bitmap.width) * 3; /* fill bytes stay */
  for (int32_t y = 0; y < bitmap.height; ++y) {
    uint8_t *row = bitmap.bits + static_cast<ptrdiff_t>(y) * bitmap.stride;
    for (size_t i = 0; i < rowBytes; ++i) row[i] = ColorCorrectionTable[row[i]];
  }
}

}  // namespace

bool pmpInfoText(const uint8_t *header, char text[kPmpInfoTextSize]) {
  int width = readBigEndian16(header + kPmpWidthOffset);
  int height = readBigEndian16(header + kPmpHeightOffset);
  const uint8_t *shot = header + kPmpShotDateOffset;
  const uint8_t *edit = header + kPmpEditDateOffset;
  if (readBigEndian16(header + kPmpCheckOffset1) == 0 ||
      readBigEndian16(header + kPmpCheckOffset2) == 0 || width == 0 || height == 0 ||
      shot[0] == 0xFF)
    return false;
  /* The size as displayed, whatever the Rotation setting says. */
  if (isQuarterTurn(header[kPmpOrientationOffset])) std::swap(width, height);

  std::snprintf(text, kPmpInfoTextSize,
                SHOT_LABEL DATE_FORMAT EDIT_LABEL DATE_FORMAT SIZE_LABEL "%d x %d\r\n"
                NOTE_LABEL "%s%s\r\n" COMMENT_LABEL "%.*s",
                shot[0], shot[1], shot[2], shot[3], shot[4], shot[5], edit[0], edit[1], edit[2],
                edit[3], edit[4], edit[5], width, height,
                header[kPmpFlashOffset] ? kFlashFired : kFlashNotFired,
                qualityText(header[kPmpQualityOffset]), static_cast<int>(kPmpCommentSize),
                reinterpret_cast<const char *>(header + kPmpCommentOffset));
  return true;
}

namespace {

/* Sets textHandle to a fixed block with pmpInfoText's text when it is null
 * (left null without a text or without memory); with Rotation on and a
 * quarter turn, exchanges width and height and the two densities. */
int pmpInfoHandler(const PluginSettings *settings, const uint8_t *headerBlock, uint32_t,
                   PictureInfo *info) {
  char text[kPmpInfoTextSize];
  if (!info->textHandle && pmpInfoText(headerBlock, text)) {
    size_t length = std::strlen(text);
    HLOCAL handle;
    if (char *block = allocateText(length, LMEM_FIXED, &handle)) {
      std::memcpy(block, text, length + 1);
      LocalUnlock(handle);
      info->textHandle = handle;
    }
  }
  if (settings->Rotation && isQuarterTurn(headerBlock[kPmpOrientationOffset])) {
    std::swap(info->width, info->height);
    uint16_t xDensity = info->xDensity;
    info->xDensity = info->yDensity;
    info->yDensity = xDensity;
  }
  return 0;
}

/* With Rotation on, turns a 24-bit bottom-up bitmap by the orientation (a
 * quarter turn into a new bits block, biSizeImage 0), then with
 * ColorCorrect on maps every channel through ColorCorrectionTable. */
int pmpPostProcessor(const PluginSettings *settings, const uint8_t *headerBlock, uint32_t,
                     const ColourTransform *, BitmapHandles *bitmap) {
  if (!bitmap || !bitmap->info || !bitmap->bits) return 0;
  BITMAPINFOHEADER *header =
      static_cast<BITMAPINFOHEADER *>(lockAtLeast(bitmap->info, sizeof(BITMAPINFOHEADER)));
  if (!header) return 0;
  BITMAPINFOHEADER working = *header;

  /* Only a 24-bit bottom-up bitmap whose block holds all its rows. */
  DibWriter geometry;
  uint8_t *bits = nullptr;
  if (attachDibWriter(&geometry, &working, nullptr))
    bits = static_cast<uint8_t *>(
        lockAtLeast(bitmap->bits, static_cast<SIZE_T>(geometry.stride) * geometry.height));
  if (!bits) {
    LocalUnlock(bitmap->info);
    return 0;
  }

  /* A quarter turn corrects the colours on its way into the new block. */
  const uint32_t turn = settings->Rotation ? exifTurnOf(headerBlock[kPmpOrientationOffset])
                                           : kOrientationUpright;
  const uint8_t *map = settings->ColorCorrect ? ColorCorrectionTable : nullptr;
  if (!turnBits(turn, {map, nullptr, nullptr, nullptr}, bitmap, &working, &bits)) {
    LocalUnlock(bitmap->bits);
    LocalUnlock(bitmap->info);
    return 0;
  }
  if (exchangesSides(turn)) *header = working;
  const bool corrected = map && exchangesSides(turn);
  DibWriter current;
  attachDibWriter(&current, &working, bits);
  if (settings->ColorCorrect && !corrected) correctColours(current);

  LocalUnlock(bitmap->bits);
  LocalUnlock(bitmap->info);
  return 1;
}

/* The header's length after its signature: 124 after 10 12 00 09, 332 or
 * 844 after 10 12 01 00; else 0. */
uint32_t pmpStreamDistance(const uint8_t *block) {
  static const uint8_t kShortSignature[4] = {0x10, 0x12, 0x00, 0x09};
  static const uint8_t kSignature[4] = {0x10, 0x12, 0x01, 0x00};
  constexpr int32_t kDistanceOffset = 8;    /* 32 bits, big-endian */
  constexpr uint32_t kShortHeader = 124;    /* with the short signature */
  constexpr uint32_t kHeader = 332;         /* with the other */
  constexpr uint32_t kLongHeader = 844;     /* with the other */
  uint32_t distance = readBigEndian32(block + kDistanceOffset);
  if (std::memcmp(block, kShortSignature, 4) == 0) return distance == kShortHeader ? distance : 0;
  if (std::memcmp(block, kSignature, 4) == 0)
    return distance == kHeader || distance == kLongHeader ? distance : 0;
  return 0;
}

/* Where a PMP file's stream lies (204 or 716 bytes in): a stream found
 * there by the start-marker search is behind an unaccepted PMP header. */
bool pmpRefusesStreamAt(const uint8_t *, int32_t start) {
  constexpr int32_t kStreamDistance = 204, kLongStreamDistance = 716;
  return start == kStreamDistance || start == kLongStreamDistance;
}

}  // namespace

const ContainerHandler kPmpContainer = {
    pmpInfoHandler, pmpPostProcessor, pmpStreamDistance, pmpRefusesStreamAt,
    &PluginSettings::PMPSupport, "*.PMP", "Sony Cyber-short(DSC-F1,F2)", false, false};
