/*
 * maker_note.cpp - finding a Nikon maker note and walking its entries for
 * the white balance.
 */
#include "exif/maker_note.h"

namespace {

/* Shorter maker notes cannot hold an entry. */
constexpr uint32_t kNikonMinimumCount = 22;
constexpr uint32_t kNikonCountOffset = 8;
constexpr uint32_t kNikonEntriesOffset = 10;
constexpr uint16_t kNikonWhiteBalanceTag = 7;

}  // namespace

bool findNikonEntries(const ExifSegment *s, const IfdEntry *makerNote, uint32_t *note,
                      uint32_t *entries) {
  if (makerNote->count < kNikonMinimumCount) return false;
  *note = makerNote->value;
  if (!inside(s, *note, kNikonEntriesOffset)) return false;
  static const char kNikon[6] = {'n', 'i', 'k', 'o', 'n', 0};
  for (uint32_t i = 0; i < 6; ++i) {
    uint8_t c = s->tiff[*note + i];
    if (c >= 'A' && c <= 'Z') c = static_cast<uint8_t>(c - 'A' + 'a');
    if (c != static_cast<uint8_t>(kNikon[i])) return false;
  }
  *entries = read16(s, *note + kNikonCountOffset);
  return uint64_t{*entries} * kIfdEntrySize <= makerNote->count - 8;
}

int readNikonWhiteBalance(const ExifSegment *s, const IfdEntry *makerNote, ExifReportData *data,
                          uint32_t *visited) {
  uint32_t note = 0, m = 0;
  if (!findNikonEntries(s, makerNote, &note, &m)) return 0;
  int found = 0;
  for (uint32_t i = 0; i < m; ++i) {
    IfdEntry e;
    if (!readIfdEntry(s, note + kNikonEntriesOffset + kIfdEntrySize * i, &e)) break;
    if (visited) ++*visited;
    if (e.tag == kNikonWhiteBalanceTag && (e.type == kTiffShort || e.type == kTiffLong)) {
      data->makerNoteFlags |= kHasNikonWhiteBalance;
      data->nikonWhiteBalance = e.value;
      ++found;
    }
  }
  return found;
}
