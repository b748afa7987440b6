/*
 * pmp.h - the PMP container (entry 2 of ContainerHandlers): pictures of
 * the Sony DSC-F1 and DSC-F2. Recognised by its signature and header
 * length, switched on by PMPSupport.
 *
 * The information handler adds a Japanese text (Shift_JIS) built from the
 * header and reports the size turned when the camera was held on its side;
 * the post-processor turns the bitmap by the recorded orientation and maps
 * every colour channel through ColorCorrectionTable.
 */
#ifndef MOVRELA_PMP_H
#define MOVRELA_PMP_H

#include "containers/container.h"

/* Header fields read by the handlers (numbers big-endian). */
constexpr int32_t kPmpCheckOffset1 = 0x16;   /* 16 bits, 0: no text */
constexpr int32_t kPmpCheckOffset2 = 0x18;   /* 16 bits, 0: no text */
constexpr int32_t kPmpOrientationOffset = 0x1B;
constexpr int32_t kPmpQualityOffset = 0x1D;
constexpr int32_t kPmpWidthOffset = 0x28;    /* 16 bits */
constexpr int32_t kPmpHeightOffset = 0x2A;   /* 16 bits */
constexpr int32_t kPmpCommentOffset = 0x34;
constexpr int32_t kPmpCommentSize = 18;      /* no zero needed after 18 bytes */
constexpr int32_t kPmpShotDateOffset = 0x4C; /* Y M D h m s, binary; year 0xFF: no text */
constexpr int32_t kPmpEditDateOffset = 0x54;
constexpr int32_t kPmpFlashOffset = 0x76;

/* Orientation byte: how the bitmap is turned as displayed. */
enum PmpOrientation : uint8_t {
  PmpQuarterCounterClockwise = 1,
  PmpHalfTurn = 2,
  PmpQuarterClockwise = 3
};

/* Quality byte values that have a name in the text. */
enum PmpQuality : uint8_t { PmpEconomy = 0x08, PmpStandard = 0x17, PmpFine = 0x33 };

/* The camera's tone curve: output for each 8-bit channel value. */
extern const uint8_t ColorCorrectionTable[256];

/* Bytes of the buffer pmpInfoText writes. */
constexpr int32_t kPmpInfoTextSize = 1024;

/* Builds the five-line information text (shooting date, edit date, size,
 * flash and quality, comment) from `header`, zero-terminated. False, with
 * nothing written, when a check number, the width or the height is 0 or
 * the shooting year is 0xFF. */
bool pmpInfoText(const uint8_t *header, char text[kPmpInfoTextSize]);

/* The entry. Its post-processor returns 1, or 0 when it left a bitmap as
 * it was: not 24-bit bottom-up, blocks smaller than the header says, or no
 * memory for a quarter turn's new block (then also uncorrected). */
extern const ContainerHandler kPmpContainer;

#endif /* MOVRELA_PMP_H */
