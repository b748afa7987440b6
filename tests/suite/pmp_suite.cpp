/*
 * pmp_suite.cpp - the PMP handlers: the Japanese information text byte by
 * byte, the turned size, bitmaps turned by each orientation and colour
 * corrected, the failure and hostile paths, and PMP files of our own
 * decoded by decodeInternally from memory and from files.
 *
 * usage: pmp_suite CORPUS_DIR
 */
#include <cstdint>
#include <cstring>
#include <functional>
#include <string>

#include "base/all_cores.h"
#include "camera_bitmaps.h"
#include "camera_files.h"
#include "containers/pmp.h"
#include "harness.h"
#include "jpeg_maker.h"

#ifndef _WIN32
#include <iconv.h>
#endif

namespace {

using camera::Rgb;
using camera::Snapshot;
using camera::TextOf;

PluginSettings PmpSettings(int rotation, int colorCorrect) {
  PluginSettings s;
  std::memset(&s, 0, sizeof s);
  s.PMPSupport = 1;
  s.Rotation = rotation;
  s.ColorCorrect = colorCorrect;
  return s;
}

struct HeaderBlock {
  uint8_t bytes[kHeaderBlockSize] = {};
  explicit HeaderBlock(const camera::PmpHeader &h = camera::PmpHeader()) {
    camera::Data header = camera::PmpHeaderBytes(h);
    std::memcpy(bytes, header.data(), header.size());
  }
};

/* The expected texts are written here in UTF-8 and converted by the
 * system's own code page tables. */
std::string ShiftJis(const std::string &utf8) {
#ifdef _WIN32
  int wideLength = MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, nullptr, 0);
  std::wstring wide(static_cast<size_t>(wideLength), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, &wide[0], wideLength);
  int length = WideCharToMultiByte(932, 0, wide.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(length), '\0');
  WideCharToMultiByte(932, 0, wide.c_str(), -1, &out[0], length, nullptr, nullptr);
  out.resize(length > 0 ? static_cast<size_t>(length - 1) : 0);
  return out;
#else
  iconv_t convert = iconv_open("CP932", "UTF-8");
  std::string out(utf8.size() * 2 + 1, '\0');
  char *in = const_cast<char *>(utf8.data()), *to = &out[0];
  size_t inLeft = utf8.size(), outLeft = out.size();
  if (convert == reinterpret_cast<iconv_t>(-1) ||
      iconv(convert, &in, &inLeft, &to, &outLeft) == static_cast<size_t>(-1))
    suite::Report(__FILE__, __LINE__, "no CP932 conversion");
  if (convert != reinterpret_cast<iconv_t>(-1)) iconv_close(convert);
  out.resize(out.size() - outLeft);
  return out;
#endif
}

SUITE_CASE(information_text_is_five_shift_jis_lines) {
  const std::string shot = "    撮影日: 97/05/21 13:45:00\r\n";
  const std::string edited = "    編集日: 97/05/22 08:00:00\r\n";
  const std::string comment = "  コメント: ";
  struct TextCase {
    const char *label;
    std::function<void(camera::PmpHeader &)> change;
    std::string utf8;        /* the text up to the comment */
    std::string commentBytes; /* the comment as it must come out */
  } cases[] = {
      {"upright", [](camera::PmpHeader &) {},
       shot + edited + "    サイズ: 640 x 480\r\n      備考: フラッシュあり / ファイン\r\n" + comment,
       "Hello"},
      {"quarter turn clockwise", [](camera::PmpHeader &h) { h.orientation = 3; },
       shot + edited + "    サイズ: 480 x 640\r\n      備考: フラッシュあり / ファイン\r\n" + comment,
       "Hello"},
      {"quarter turn counter-clockwise", [](camera::PmpHeader &h) { h.orientation = 1; },
       shot + edited + "    サイズ: 480 x 640\r\n      備考: フラッシュあり / ファイン\r\n" + comment,
       "Hello"},
      {"half turn", [](camera::PmpHeader &h) { h.orientation = 2; },
       shot + edited + "    サイズ: 640 x 480\r\n      備考: フラッシュあり / ファイン\r\n" + comment,
       "Hello"},
      {"standard, no flash",
       [](camera::PmpHeader &h) { h.flash = 0, h.quality = 0x17; },
       shot + edited + "    サイズ: 640 x 480\r\n      備考: フラッシュなし / スタンダード\r\n" + comment,
       "Hello"},
      {"economy, flash byte 0x80",
       [](camera::PmpHeader &h) { h.flash = 0x80, h.quality = 0x08; },
       shot + edited + "    サイズ: 640 x 480\r\n      備考: フラッシュあり / エコノミー\r\n" + comment,
       "Hello"},
      {"quality without a name", [](camera::PmpHeader &h) { h.quality = 0x34; },
       shot + edited + "    サイズ: 640 x 480\r\n      備考: フラッシュあり\r\n" + comment, "Hello"},
      {"18-byte comment without a zero",
       [](camera::PmpHeader &h) { h.comment = "ABCDEFGHIJKLMNOPQR"; },
       shot + edited + "    サイズ: 640 x 480\r\n      備考: フラッシュあり / ファイン\r\n" + comment,
       "ABCDEFGHIJKLMNOPQR"},
      {"comment bytes copied unchanged",
       [](camera::PmpHeader &h) { h.comment = "\x95\x5C\x8E\xA6 %s%n"; },
       shot + edited + "    サイズ: 640 x 480\r\n      備考: フラッシュあり / ファイン\r\n" + comment,
       "\x95\x5C\x8E\xA6 %s%n"},
      {"empty comment, three-digit and 0xFF edit values",
       [](camera::PmpHeader &h) {
         h.comment = "";
         h.edited[0] = 0xFF, h.edited[3] = 200, h.shot[5] = 7;
         h.width = 65535, h.height = 1;
       },
       "    撮影日: 97/05/21 13:45:07\r\n    編集日: 255/05/22 200:00:00\r\n"
       "    サイズ: 65535 x 1\r\n      備考: フラッシュあり / ファイン\r\n" + comment,
       ""},
  };
  for (TextCase &c : cases) {
    camera::PmpHeader h;
    h.comment = "Hello";
    c.change(h);
    HeaderBlock block(h);
    char text[kPmpInfoTextSize];
    std::memset(text, 0x11, sizeof text);
    std::string want = ShiftJis(c.utf8) + c.commentBytes;
    if (!pmpInfoText(block.bytes, text) || std::string(text) != want)
      suite::Report(__FILE__, __LINE__, std::string(c.label) + ": " +
                                            suite::Bytes(text, std::strlen(text)));
  }

  struct Refusal {
    const char *label;
    std::function<void(camera::PmpHeader &)> change;
  } refusals[] = {
      {"number at 0x16 is 0", [](camera::PmpHeader &h) { h.check1 = 0; }},
      {"number at 0x18 is 0", [](camera::PmpHeader &h) { h.check2 = 0; }},
      {"width 0", [](camera::PmpHeader &h) { h.width = 0; }},
      {"height 0", [](camera::PmpHeader &h) { h.height = 0; }},
      {"shooting year 0xFF", [](camera::PmpHeader &h) { h.shot[0] = 0xFF; }},
  };
  for (Refusal &r : refusals) {
    camera::PmpHeader h;
    r.change(h);
    HeaderBlock block(h);
    char text[kPmpInfoTextSize] = "untouched";
    if (pmpInfoText(block.bytes, text) || std::string(text) != "untouched")
      suite::Report(__FILE__, __LINE__, std::string(r.label) + ": a text was made");
    PluginSettings settings = PmpSettings(1, 1);
    PictureInfo info = {0, 0, 640, 480, 72, 96, 24, nullptr};
    ContainerHandlers[ContainerPmp].infoHandler(&settings, block.bytes, 0, &info);
    CHECK(info.textHandle == nullptr);
  }
}

SUITE_CASE(information_reports_the_turned_size) {
  struct InfoCase {
    uint8_t orientation;
    int rotation;
    bool exchanged;
  } cases[] = {
      {1, 1, true}, {3, 1, true}, {1, 0, false}, {3, 0, false},
      {0, 1, false}, {2, 1, false}, {4, 1, false}, {255, 1, false},
  };
  for (const InfoCase &c : cases) {
    camera::PmpHeader h;
    h.orientation = c.orientation;
    HeaderBlock block(h);
    PluginSettings settings = PmpSettings(c.rotation, 1);
    PictureInfo info = {0, 0, 640, 480, 72, 96, 24, nullptr};
    ContainerHandlers[ContainerPmp].infoHandler(&settings, block.bytes, 0, &info);
    bool exchanged = info.width == 480 && info.height == 640 && info.xDensity == 96 && info.yDensity == 72;
    bool kept = info.width == 640 && info.height == 480 && info.xDensity == 72 && info.yDensity == 96;
    if (!(c.exchanged ? exchanged : kept))
      suite::Report(__FILE__, __LINE__, "orientation " + suite::Show((long long)c.orientation) +
                                            ", rotation " + suite::Show((long long)c.rotation));
    char text[kPmpInfoTextSize];
    pmpInfoText(block.bytes, text);
    CHECK_EQ(TextOf(info.textHandle), std::string(text));
    if (info.textHandle) CHECK_EQ((long long)LocalSize(info.textHandle), (long long)std::strlen(text) + 2);
    LocalFree(info.textHandle);
  }

  /* A text already there stays. */
  HeaderBlock block;
  PluginSettings settings = PmpSettings(1, 1);
  HLOCAL own = LocalAlloc(LMEM_MOVEABLE | LMEM_ZEROINIT, 4);
  PictureInfo info = {0, 0, 640, 480, 72, 96, 24, own};
  ContainerHandlers[ContainerPmp].infoHandler(&settings, block.bytes, 0, &info);
  CHECK(info.textHandle == own);
  LocalFree(own);
#ifndef _WIN32
  StandinFailLocalAllocAt(1);
  info.textHandle = nullptr;
  ContainerHandlers[ContainerPmp].infoHandler(&settings, block.bytes, 0, &info);
  StandinFailLocalAllocAt(0);
  CHECK(info.textHandle == nullptr);
#endif
}

/* The picture as displayed after turning by `orientation`: column c, row r
 * (from the top) of the result, taken from `before` (W x H as displayed). */
Rgb TurnedPixel(const std::function<Rgb(int, int)> &before, int width, int height,
                uint8_t orientation, int c, int r) {
  switch (orientation) {
    case 1: return before(width - 1 - r, c);             /* top row was the right column */
    case 2: return before(width - 1 - c, height - 1 - r);
    case 3: return before(r, height - 1 - c);            /* top row was the left column, upwards */
    default: return before(c, r);
  }
}

SUITE_CASE(bitmaps_turn_by_the_orientation) {
  struct TurnCase {
    int32_t width, height;
    uint8_t orientation;
    int rotation;
  } cases[] = {
      {2, 1, 1, 1}, {2, 1, 3, 1}, {2, 1, 1, 0}, {5, 2, 1, 1}, {5, 2, 3, 1},
      {37, 70, 1, 1}, {37, 70, 3, 1}, {70, 33, 3, 1}, {3, 3, 2, 1}, {4, 5, 2, 1},
      {70, 33, 2, 1}, {1, 1, 2, 1}, {6, 4, 0, 1}, {6, 4, 4, 1}, {6, 4, 255, 1}, {6, 4, 2, 0},
      {300, 260, 1, 1}, {300, 261, 3, 1}, /* tiles cut both sides; rows with and without padding */
      {1100, 999, 1, 1}, {1003, 1100, 3, 1}, /* over a million pixels: bands on threads */
  };
  for (int32_t threads : {1, 2, 3, 8})
  for (const TurnCase &c : cases) {
    if (threads > 1 && c.width * c.height < kPixelsForThreads) continue;
    forcePassThreads(threads);
    camera::PmpHeader h;
    h.orientation = c.orientation;
    HeaderBlock block(h);
    PluginSettings settings = PmpSettings(c.rotation, 0);
    BitmapHandles bitmap = camera::MakeBitmap(c.width, c.height, 24, camera::Numbered, 2835, 3780);
    HLOCAL oldBits = bitmap.bits;
#ifndef _WIN32
    long live = StandinLiveLocalBlocks();
#endif
    CHECK_EQ(ContainerHandlers[ContainerPmp].postProcessor(&settings, block.bytes, 0, nullptr, &bitmap), 1);
    bool quarter = c.rotation && (c.orientation == 1 || c.orientation == 3);
    uint8_t turn = c.rotation ? c.orientation : 0;
    std::string label = suite::Show((long long)c.width) + "x" + suite::Show((long long)c.height) +
                        " turned " + suite::Show((long long)turn) + " on " +
                        suite::Show((long long)threads) + " threads: ";
    CHECK(quarter ? bitmap.bits != oldBits : bitmap.bits == oldBits);
#ifndef _WIN32
    /* The new block replaces the old one, which is gone. */
    CHECK_EQ(StandinLiveLocalBlocks(), live);
    if (quarter) CHECK_EQ(StandinLocalLockCount(oldBits), -1);
#endif
    Snapshot s = camera::Take(bitmap);
    camera::Free(bitmap);
    int32_t wantWidth = quarter ? c.height : c.width, wantHeight = quarter ? c.width : c.height;
    if (s.header.biWidth != wantWidth || s.header.biHeight != wantHeight || !s.unlocked ||
        s.header.biXPelsPerMeter != (quarter ? 3780 : 2835) ||
        s.header.biYPelsPerMeter != (quarter ? 2835 : 3780) ||
        s.bits.size() != static_cast<size_t>(s.Stride()) * wantHeight) {
      suite::Report(__FILE__, __LINE__, label + "header " + suite::Show((long long)s.header.biWidth) +
                                            " x " + suite::Show((long long)s.header.biHeight));
      continue;
    }
    int wrong = 0;
    for (int r = 0; r < wantHeight; ++r)
      for (int col = 0; col < wantWidth; ++col)
        if (s.At(col, r) != TurnedPixel(camera::Numbered, c.width, c.height, turn, col, r)) ++wrong;
    for (int r = 0; r < wantHeight; ++r) /* row padding stays zero */
      for (int i = wantWidth * 3; i < s.Stride(); ++i) wrong += s.bits[r * s.Stride() + i] != 0;
    if (wrong) suite::Report(__FILE__, __LINE__, label + suite::Show((long long)wrong) + " pixels or padding bytes wrong");
  }
  forcePassThreads(0);
}

SUITE_CASE(named_turns_as_displayed) {
  const Rgb a = {10, 20, 30}, b = {40, 50, 60};
  auto ab = [&](int column, int) { return column == 0 ? a : b; };
  const uint8_t orientations[] = {1, 3};
  for (uint8_t o : orientations) {
    camera::PmpHeader h;
    h.orientation = o;
    HeaderBlock block(h);
    Snapshot s = camera::Processed(ContainerHandlers[ContainerPmp].postProcessor, PmpSettings(1, 0),
                                   block.bytes, camera::MakeBitmap(2, 1, 24, ab));
    CHECK(s.header.biWidth == 1 && s.header.biHeight == 2);
    /* Counter-clockwise puts b above a; clockwise a above b. */
    CHECK(s.At(0, 0) == (o == 1 ? b : a) && s.At(0, 1) == (o == 1 ? a : b));
  }

  /* 5 x 2 (rows of 16 bytes, 32 in all) becomes 2 x 5: rows of 8, 40 bytes. */
  camera::PmpHeader h;
  h.orientation = 3;
  HeaderBlock quarter(h);
  Snapshot s = camera::Processed(ContainerHandlers[ContainerPmp].postProcessor, PmpSettings(1, 0),
                                 quarter.bytes, camera::MakeBitmap(5, 2, 24, camera::Numbered));
  CHECK(s.header.biWidth == 2 && s.header.biHeight == 5 && s.Stride() == 8);
  CHECK_EQ(s.bits.size(), static_cast<size_t>(40));
  CHECK_EQ((long long)s.header.biSizeImage, 0LL);

  /* Half turn of 3 x 3: corners and the middle row's ends change places. */
  h.orientation = 2;
  HeaderBlock half(h);
  s = camera::Processed(ContainerHandlers[ContainerPmp].postProcessor, PmpSettings(1, 0), half.bytes,
                        camera::MakeBitmap(3, 3, 24, camera::Numbered));
  CHECK(s.At(0, 0) == camera::Numbered(2, 2) && s.At(2, 2) == camera::Numbered(0, 0));
  CHECK(s.At(0, 1) == camera::Numbered(2, 1) && s.At(2, 1) == camera::Numbered(0, 1));
  CHECK(s.At(1, 1) == camera::Numbered(1, 1));
}

SUITE_CASE(colour_correction_maps_every_channel) {
  for (int i = 1; i < 256; ++i) CHECK(ColorCorrectionTable[i] >= ColorCorrectionTable[i - 1]);
  /* First and last entry of each run of 16, as the camera's curve has them. */
  const uint8_t runEnds[16][2] = {{0, 16},    {17, 34},   {35, 53},   {54, 73},
                                  {74, 93},   {94, 113},  {114, 133}, {134, 152},
                                  {154, 171}, {172, 189}, {190, 205}, {206, 219},
                                  {220, 232}, {233, 242}, {243, 250}, {250, 255}};
  for (int run = 0; run < 16; ++run)
    CHECK(ColorCorrectionTable[run * 16] == runEnds[run][0] &&
          ColorCorrectionTable[run * 16 + 15] == runEnds[run][1]);

  struct ColourCase {
    Rgb in, out;
  } cases[] = {
      {{0, 128, 255}, {0, 154, 255}}, {{100, 100, 100}, {119, 119, 119}},
      {{12, 11, 13}, {13, 11, 14}},   {{176, 183, 207}, {206, 212, 232}},
  };
  const uint8_t orientations[] = {0, 3, 2, 4};
  for (uint8_t o : orientations) {
    camera::PmpHeader h;
    h.orientation = o;
    HeaderBlock block(h);
    for (const ColourCase &c : cases) {
      /* Odd width: the fill bytes at each row's end stay as they were. */
      BitmapHandles bitmap = camera::MakeBitmap(3, 1, 24, [&](int, int) { return c.in; });
      uint8_t *bits = static_cast<uint8_t *>(LocalLock(bitmap.bits));
      bits[9] = 200, bits[11] = 100;
      LocalUnlock(bitmap.bits);
      Snapshot s = camera::Processed(ContainerHandlers[ContainerPmp].postProcessor, PmpSettings(1, 1),
                                     block.bytes, bitmap);
      bool allCorrected = true;
      for (int r = 0; r < s.header.biHeight; ++r)
        for (int col = 0; col < s.header.biWidth; ++col) allCorrected &= s.At(col, r) == c.out;
      if (!allCorrected)
        suite::Report(__FILE__, __LINE__, "orientation " + suite::Show((long long)o) + ": " +
                                              suite::Show((long long)c.in.g) + " not corrected");
      if (o != 3) CHECK(s.bits[9] == 200 && s.bits[11] == 100);
    }
  }
}

#ifndef _WIN32
SUITE_CASE(no_memory_for_the_turn_leaves_the_bitmap_as_it_was) {
  camera::PmpHeader h;
  const uint8_t orientations[] = {1, 3};
  for (uint8_t o : orientations) {
    h.orientation = o;
    HeaderBlock block(h);
    PluginSettings settings = PmpSettings(1, 1);
    BitmapHandles bitmap = camera::MakeBitmap(5, 2, 24, camera::Numbered);
    BitmapHandles before = bitmap;
    Snapshot original = camera::Take(bitmap);
    StandinFailLocalAllocAt(1);
    CHECK_EQ(ContainerHandlers[ContainerPmp].postProcessor(&settings, block.bytes, 0, nullptr, &bitmap), 0);
    StandinFailLocalAllocAt(0);
    CHECK(bitmap.info == before.info && bitmap.bits == before.bits);
    Snapshot s = camera::Take(bitmap);
    camera::Free(bitmap);
    CHECK(std::memcmp(&s.header, &original.header, sizeof s.header) == 0);
    CHECK(s.bits == original.bits); /* unturned and uncorrected */
    CHECK(s.unlocked);
  }
}
#endif

SUITE_CASE(other_bitmaps_are_left_alone) {
  camera::PmpHeader h;
  h.orientation = 3;
  HeaderBlock block(h);
  PluginSettings settings = PmpSettings(1, 1);
  const SIZE_T rows = static_cast<SIZE_T>(camera::StrideOf(5, 24)) * 4;
  BitmapHandles cases[] = {
      camera::MakeBitmap(5, 4, 8, camera::Numbered),
      camera::MakeBitmap(5, 4, 24, camera::Numbered, 2835, 2835, rows - 1),
      {LocalAlloc(LHND, 39), LocalAlloc(LHND, 64)},
      camera::MakeBitmap(5, 4, 24, camera::Numbered),
      camera::MakeBitmap(5, 4, 24, camera::Numbered),
  };
  BITMAPINFOHEADER *topDown = static_cast<BITMAPINFOHEADER *>(LocalLock(cases[3].info));
  topDown->biHeight = -4;
  LocalUnlock(cases[3].info);
  BITMAPINFOHEADER *huge = static_cast<BITMAPINFOHEADER *>(LocalLock(cases[4].info));
  huge->biWidth = 0x30000000;
  LocalUnlock(cases[4].info);
  for (BitmapHandles &bitmap : cases) {
    Snapshot before = camera::Take(bitmap);
    HLOCAL bits = bitmap.bits;
    CHECK_EQ(ContainerHandlers[ContainerPmp].postProcessor(&settings, block.bytes, 0, nullptr, &bitmap), 0);
    Snapshot after = camera::Take(bitmap);
    CHECK(bitmap.bits == bits);
    CHECK(std::memcmp(&after.header, &before.header, sizeof before.header) == 0);
    CHECK(after.bits == before.bits && after.unlocked);
    camera::Free(bitmap);
  }
  BitmapHandles none = {nullptr, nullptr};
  CHECK_EQ(ContainerHandlers[ContainerPmp].postProcessor(&settings, block.bytes, 0, nullptr, &none), 0);
}

/* decodeInternally on PMP files of each header kind, from memory and from
 * disk: the plain JPEG's pixels turned and corrected. */
SUITE_CASE(pmp_files_decode_turned_and_corrected) {
  PluginSettings settings = camera::DefaultSettings();
  settings.IgnorePixelAspectRatio = 0;
  maker::Picture picture;
  picture.width = 40;
  picture.height = 24;
  picture.densityUnit = 1;
  picture.xDensity = 72;
  picture.yDensity = 96;
  camera::Data made = maker::Encode(picture);
  std::string corpus = suite::Path(suite::Current().argument) + "/camera/Canon_40D.jpg";
  camera::Data cameraJpeg = camera::ReadWholeFile(corpus);
  CHECK(!cameraJpeg.empty());

  struct FileCase {
    const char *label;
    const camera::Data *jpeg;
    bool longSignature;
    uint32_t distance;
    uint8_t orientation;
  } cases[] = {
      {"124-byte header, clockwise", &made, false, 124, 3},
      {"332-byte header, counter-clockwise", &made, true, 332, 1},
      {"844-byte header, half turn", &made, true, 844, 2},
      {"844-byte header, upright", &made, true, 844, 0},
      {"camera picture, clockwise", &cameraJpeg, false, 124, 3},
  };
  for (const FileCase &c : cases) {
    if (c.jpeg->empty()) continue;
    camera::Decoded plain = camera::Decode(std::string(c.jpeg->begin(), c.jpeg->end()), false, settings);
    camera::PmpHeader h;
    h.longSignature = c.longSignature;
    h.distance = c.distance;
    h.orientation = c.orientation;
    camera::Data file = camera::MakePmp(*c.jpeg, h);
    camera::TempFile onDisk(file);
    CHECK(onDisk.ok);
    const BITMAPINFOHEADER &p = plain.bitmap.header;
    auto before = [&](int col, int r) { return plain.bitmap.At(col, r); };
    bool quarter = c.orientation == 1 || c.orientation == 3;
    for (int fromFile = 0; fromFile < 2; ++fromFile) {
      camera::Decoded d = fromFile ? camera::Decode(onDisk.path, true, settings)
                                   : camera::Decode(std::string(file.begin(), file.end()), false, settings);
      std::string label = std::string(c.label) + (fromFile ? " (file): " : " (memory): ");
      const BITMAPINFOHEADER &t = d.bitmap.header;
      if (plain.result != Success || d.result != Success || !d.bitmap.unlocked ||
          t.biWidth != (quarter ? p.biHeight : p.biWidth) ||
          t.biHeight != (quarter ? p.biWidth : p.biHeight) ||
          t.biXPelsPerMeter != (quarter ? p.biYPelsPerMeter : p.biXPelsPerMeter)) {
        suite::Report(__FILE__, __LINE__, label + "result " + suite::Show((long long)d.result) +
                                              ", " + suite::Show((long long)t.biWidth) + " x " +
                                              suite::Show((long long)t.biHeight));
        continue;
      }
      int wrong = 0;
      for (int r = 0; r < t.biHeight; ++r)
        for (int col = 0; col < t.biWidth; ++col) {
          Rgb o = TurnedPixel(before, p.biWidth, p.biHeight, c.orientation, col, r);
          Rgb want = {ColorCorrectionTable[o.r], ColorCorrectionTable[o.g], ColorCorrectionTable[o.b]};
          if (d.bitmap.At(col, r) != want) ++wrong;
        }
      if (wrong) suite::Report(__FILE__, __LINE__, label + suite::Show((long long)wrong) + " pixels wrong");
    }
  }
}

}  // namespace

SUITE_MAIN()
