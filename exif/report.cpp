/*
 * report.cpp - formats the camera report: labels, units and value tables in
 * English and Japanese (Shift_JIS bytes, written as octal escapes so that
 * no trail byte 0x5C is read as an escape), one line per value present.
 */
#include "exif/report.h"

#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "base/blocks.h"

namespace {

/* Width of the right-aligned label field, in bytes (a Shift_JIS character
 * counts 2). */
constexpr size_t kLabelWidth = 18;

/* The largest double below 2: the upper end of the BASIC quality. */
constexpr double kBasicLimit = 1.9999999999999998;
/* The double epsilon: smaller magnitudes print as 0 in the 1/x form. */
constexpr double kEpsilon = 2.220446049250313e-16;

enum Label {
  kMaker, kModel, kDate, kQuality, kShutter, kFNumber, kExposureTime, kExposureProgram, kIso,
  kExposureBias, kMetering, kColourTemperature, kLightSource, kFlash, kFocalLength, kLabelCount
};

const char *const kLabels[kLabelCount][2] = {
    {"Maker", "\203\201\201[\203J\201["},                                    /* メーカー */
    {"Model", "\203\202\203f\203\213"},                                      /* モデル */
    {"Date", "\216B\211e\223\372"},                                          /* 撮影日 */
    {"Quality", "\211\346\216\277"},                                         /* 画質 */
    {"Shutter Speed", "\203V\203\203\203b\203^\201[\203X\203s\201[\203h"},  /* シャッタースピード */
    {"F Number", "F\222l"},                                                  /* F値 */
    {"Exposure Time", "\230I\217o\216\236\212\324"},                         /* 露出時間 */
    {"Exposure Program", "\230I\217o\203v\203\215\203O\203\211\203\200"},    /* 露出プログラム */
    {"ISO SPEED", "ISO\212\264\223x"},                                       /* ISO感度 */
    {"Exposure Bias", "\230I\217o\225\342\220\263"},                         /* 露出補正 */
    {"Metering Mode", "\221\252\214\365\225\373\216\256"},                   /* 測光方式 */
    {"Light Source", "\203z\203\217\203C\203g\203o\203\211\203\223\203X"},  /* ホワイトバランス */
    {"Lighting Source", "\203z\203\217\203C\203g\203o\203\211\203\223\203X"}, /* ホワイトバランス */
    {"Flash", "\203t\203\211\203b\203V\203\205"},                            /* フラッシュ */
    {"Focal Length", "\217\305\223_\213\227\227\243"},                       /* 焦点距離 */
};

const char *const kSeconds[2] = {"(sec.)", "(\225b)"}; /* (秒) */
const char *const kMillimetres = "(mm)";

const char *const kExposurePrograms[10][2] = {
    {"Undefined", "\226\242\222\350\213`"},                                      /* 未定義 */
    {"Manual", "\203}\203j\203\205\203A\203\213"},                               /* マニュアル */
    {"Program Normal", "\203m\201[\203}\203\213\203v\203\215\203O\203\211\203\200"}, /* ノーマルプログラム */
    {"Aperture Priority", "\215i\202\350\227D\220\346"},                         /* 絞り優先 */
    {"Shutter Priority", "\203V\203\203\203b\203^\201[\227D\220\346"},           /* シャッター優先 */
    {"Program Creative", "Program Creative"},
    {"Program Action", "Program Action"},
    {"Portrait Mode", "\203|\201[\203g\203\214\201[\203g"},                      /* ポートレート */
    {"Landscape Mode", "\203\211\203\223\203h\203X\203P\201[\203v"},            /* ランドスケープ */
    {"Private", "\203v\203\211\203C\203x\201[\203g"},                           /* プライベート */
};

const char *const kMeteringModes[8][2] = {
    {"Undefined", "\226\242\222\350\213`"},                                      /* 未定義 */
    {"Average", "\225\275\213\317"},                                             /* 平均 */
    {"Center Weighted Average", "\222\206\211\233\217d\223_\225\275\213\317\221\252\214\365"}, /* 中央重点平均測光 */
    {"Spot", "\203X\203|\203b\203g"},                                            /* スポット */
    {"Multispot", "\203}\203\213\203`\203X\203|\203b\203g"},                     /* マルチスポット */
    {"Matrix mertering", "\225\252\212\204\221\252\214\365"},                    /* 分割測光 */
    {"Partial mertering", "\225\224\225\252\221\252\214\365"},                   /* 部分測光 */
    {"Unknown", "\225s\226\276"},                                                /* 不明 */
};

const char *const kLightSources[12][2] = {
    {"Undefined", "\226\242\222\350\213`"},                                      /* 未定義 */
    {"Daylight", "\221\276\227z\214\365"},                                       /* 太陽光 */
    {"Fluorescent light", "\214u\214\365\223\224"},                              /* 蛍光灯 */
    {"Tungsten Lump", "\203^\203\223\203O\203X\203e\203\223\223d\213\205"},      /* タングステン電球 */
    {"Flash", "\203t\203\211\203b\203V\203\205"},                                /* フラッシュ */
    {"Standard Illuminant A", "\225W\217\200\214\365\214\271A"},                 /* 標準光源A */
    {"Standard Illuminant B", "\225W\217\200\214\365\214\271C"},                 /* 標準光源C */
    {"Standard Illuminant C", "\225W\217\200\214\365\214\271C"},                 /* 標準光源C */
    {"D55 Illuminant", "D55\214\365\214\271"},                                   /* D55光源 */
    {"D65 Illuminant", "\223\334\223V(D65\214\365\214\271)"},                    /* 曇天(D65光源) */
    {"D75 Illuminant", "D75\214\365\214\271"},                                   /* D75光源 */
    {"Unknown", "\225s\226\276"},                                                /* 不明 */
};

const char *const kNikonWhiteBalances[7][2] = {
    {"Auto", "\203I\201[\203g"},                                                 /* オート */
    {"Preset", "\203v\203\212\203Z\203b\203g"},                                  /* プリセット */
    {"Daylight", "\221\276\227z\214\365"},                                       /* 太陽光 */
    {"Tungsten Lump", "\203^\203\223\203O\203X\203e\203\223\223d\213\205"},      /* タングステン電球 */
    {"Fluorescent light", "\214u\214\365\223\224"},                              /* 蛍光灯 */
    {"Cloudy", "\211_\223V"},                                                    /* 雲天 */
    {"Speed Light", "\203X\203s\201[\203h\203\211\203C\203g"},                   /* スピードライト */
};

const char *const kFlashes[14][2] = {
    {"Flash did not fire",
     "\203t\203\211\203b\203V\203\205\202\310\202\265"}, /* フラッシュなし */
    {"Flash fired",
     "\203t\203\211\203b\203V\203\205\202\240\202\350"}, /* フラッシュあり */
    {"Flash fired, Flash return not sensed",
     "\203t\203\211\203b\203V\203\205\202\240\202\350/\216\251\223\256\222\262\214\365\220\247"
     "\214\344\202\310\202\265"}, /* フラッシュあり/自動調光制御なし */
    {"Flash fired, Flash return sensed",
     "\203t\203\211\203b\203V\203\205\202\240\202\350/\216\251\223\256\222\262\214\365\220\247"
     "\214\344\202\240\202\350"}, /* フラッシュあり/自動調光制御あり */
    {"Flash fired, Fill flash mode, Camera has no flash return sensing capability",
     "\203t\203\211\203b\203V\203\205\202\240\202\350/\213\255\220\247\203t\203\211\203b\203V"
     "\203\205\203\202\201[\203h/\216\251\223\256\222\262\214\365\220\247\214\344\213@\224\134"
     "\202\310\202\265"}, /* フラッシュあり/強制フラッシュモード/自動調光制御機能なし */
    {"Flash fired, Fill flash mode, Flash return not sensed",
     "\203t\203\211\203b\203V\203\205\202\240\202\350/\213\255\220\247\203t\203\211\203b\203V"
     "\203\205\203\202\201[\203h/\216\251\223\256\222\262\214\365\220\247\214\344\202\310"
     "\202\265"}, /* フラッシュあり/強制フラッシュモード/自動調光制御なし */
    {"Flash fired, Fill flash mode, Flash return sensed",
     "\203t\203\211\203b\203V\203\205\202\240\202\350/\213\255\220\247\203t\203\211\203b\203V"
     "\203\205\203\202\201[\203h/\216\251\223\256\222\262\214\365\220\247\214\344\202\240"
     "\202\350"}, /* フラッシュあり/強制フラッシュモード/自動調光制御あり */
    {"Flash did not fire, Flash \"off\" mode",
     "\203t\203\211\203b\203V\203\205\202\310\202\265/\203t\203\211\203b\203V\203\205\213\326"
     "\216~\203\202\201[\203h"}, /* フラッシュなし/フラッシュ禁止モード */
    {"Flash did not fire, \"Auto\" flash mode",
     "\203t\203\211\203b\203V\203\205\202\310\202\265/\216\251\223\256\203t\203\211\203b\203V"
     "\203\205\203\202\201[\203h"}, /* フラッシュなし/自動フラッシュモード */
    {"Flash fire, \"Auto\" flash mode, Camera has no flash return sensing capability",
     "\203t\203\211\203b\203V\203\205\202\240\202\350/\216\251\223\256\203t\203\211\203b\203V"
     "\203\205\203\202\201[\203h/\216\251\223\256\222\262\214\365\220\247\214\344\213@\224\134"
     "\202\310\202\265"}, /* フラッシュあり/自動フラッシュモード/自動調光制御機能なし */
    {"Flash fire, \"Auto\" flash mode, Flash return not sensed",
     "\203t\203\211\203b\203V\203\205\202\240\202\350/\216\251\223\256\203t\203\211\203b\203V"
     "\203\205\203\202\201[\203h/\216\251\223\256\222\262\214\365\220\247\214\344\202\310"
     "\202\265"}, /* フラッシュあり/自動フラッシュモード/自動調光制御なし */
    {"Flash fire, \"Auto\" flash mode, Flash return sensed",
     "\203t\203\211\203b\203V\203\205\202\240\202\350/\216\251\223\256\203t\203\211\203b\203V"
     "\203\205\203\202\201[\203h/\216\251\223\256\222\262\214\365\220\247\214\344\202\240"
     "\202\350"}, /* フラッシュあり/自動フラッシュモード/自動調光制御あり */
    {"Camera does not have a flash unit",
     "\203t\203\211\203b\203V\203\205\221\225\222u\202\310\202\265"}, /* フラッシュ装置なし */
    {"Unknown", "\225s\226\276"},                                     /* 不明 */
};

/* LightSource values with a row of their own; all others read "Unknown". */
uint32_t lightSourceRow(uint32_t v) {
  switch (v) {
    case 0: case 1: case 2: case 3: return v;
    case 10: return 4;
    case 17: case 18: case 19: case 20: case 21: case 22: return v - 12;
    default: return 11;
  }
}

/* Flash values with a row of their own; all others read "Unknown". */
uint32_t flashRow(uint32_t v) {
  static const uint32_t kValues[13] = {0, 1, 5, 7, 9, 13, 15, 16, 24, 25, 29, 31, 32};
  for (uint32_t row = 0; row < 13; ++row)
    if (kValues[row] == v) return row;
  return 13;
}

const char *qualityWord(double bitsPerPixel) {
  if (bitsPerPixel < kBasicLimit) return "BASIC";
  if (bitsPerPixel < 4) return "NORMAL";
  if (bitsPerPixel < 5) return "FINE";
  return "Super Fine"; /* also for a value without a finite quotient */
}

/* Text written into a buffer that never overflows: what does not fit is
 * dropped (the report's size formula leaves room, so nothing is). */
struct ReportText {
  char *text;
  size_t room; /* bytes available at text, the terminating zero included */
  size_t used;
};

/* Appends `length` bytes, cut to the room left; the text stays terminated.
 * The report's fixed parts go through here rather than through printf,
 * which costs more than the whole header read. */
void put(ReportText *out, const char *bytes, size_t length) {
  if (out->used + 1 >= out->room) return;
  size_t left = out->room - out->used - 1;
  if (length > left) length = left;
  std::memcpy(out->text + out->used, bytes, length);
  out->used += length;
  out->text[out->used] = '\0';
}

void put(ReportText *out, const char *text) { put(out, text, std::strlen(text)); }

/* The label right-aligned in its field, then the colon. */
void putLabel(ReportText *out, const char *label) {
  static const char kSpaces[kLabelWidth + 1] = "                  ";
  size_t length = std::strlen(label);
  if (length < kLabelWidth) put(out, kSpaces, kLabelWidth - length);
  put(out, label, length);
  put(out, ": ", 2);
}

void putInteger(ReportText *out, int value) {
  char digits[12];
  char *start = digits + sizeof digits;
  uint32_t magnitude = value < 0 ? 0u - static_cast<uint32_t>(value) : static_cast<uint32_t>(value);
  do {
    *--start = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  if (value < 0) *--start = '-';
  put(out, start, static_cast<size_t>(digits + sizeof digits - start));
}

void append(ReportText *out, const char *format, ...) {
  if (out->used + 1 >= out->room) return;
  va_list args;
  va_start(args, format);
  int written = std::vsnprintf(out->text + out->used, out->room - out->used, format, args);
  va_end(args);
  if (written < 0) return;
  size_t left = out->room - out->used - 1;
  out->used += static_cast<size_t>(written) < left ? static_cast<size_t>(written) : left;
}

void appendNumber(ReportText *out, double value) {
  if (out->used + 1 >= out->room) return;
  out->used += static_cast<size_t>(formatNumber(out->text + out->used, out->room - out->used, value));
}

/* One value of a rational line: 1/x for a magnitude below 1 when asked. */
void appendRational(ReportText *out, double value, bool reciprocal) {
  if (reciprocal && std::fabs(value) < 1) {
    if (-kEpsilon < value && value < kEpsilon) {
      put(out, "0", 1);
    } else {
      put(out, value < 0 ? "-1/" : "1/");
      appendNumber(out, 1 / std::fabs(value));
    }
  } else {
    appendNumber(out, value);
  }
}

void appendText(ReportText *out, const char *label, const char *text) {
  putLabel(out, label);
  put(out, text);
  put(out, "\r\n", 2);
}

void appendString(ReportText *out, const char *label, const ExifText &text) {
  /* Up to the first zero byte, if one comes before the end. */
  const void *zero = std::memchr(text.bytes, 0, text.length);
  putLabel(out, label);
  put(out, text.bytes, zero ? static_cast<size_t>(static_cast<const char *>(zero) - text.bytes)
                            : text.length);
  put(out, "\r\n", 2);
}

void appendRationalLine(ReportText *out, const char *label, const char *unit,
                        const RationalValue &value, bool reciprocal) {
  if (out->used + 1 >= out->room) return;
  out->used += static_cast<size_t>(formatRationalLine(out->text + out->used, out->room - out->used,
                                                      label, unit, &value, reciprocal));
}

void writeReport(ReportText *out, ReportLanguage language, const ExifReportData *d) {
  const int lang = language == ReportJapanese ? 1 : 0;
  auto L = [lang](Label which) { return kLabels[which][lang]; };

  if (d->maker.bytes) appendString(out, L(kMaker), d->maker);
  if (d->model.bytes) appendString(out, L(kModel), d->model);
  if (d->date.bytes) appendString(out, L(kDate), d->date);
  if (d->compressedBpp.count != 0) {
    putLabel(out, L(kQuality));
    put(out, qualityWord(d->compressedBpp.first));
    put(out, " [", 2);
    appendNumber(out, d->compressedBpp.first);
    put(out, " (bpp)]\r\n");
  }
  if (d->shutter.count != 0)
    appendRationalLine(out, L(kShutter), kSeconds[lang], d->shutter, true);
  if (d->fNumber.count != 0) appendRationalLine(out, L(kFNumber), "", d->fNumber, false);
  if (d->exposureTime.count != 0)
    appendRationalLine(out, L(kExposureTime), kSeconds[lang], d->exposureTime, true);
  if (d->presentFlags & kHasExposureProgram) {
    uint32_t row = d->exposureProgram < 9 ? d->exposureProgram : 9;
    appendText(out, L(kExposureProgram), kExposurePrograms[row][lang]);
  }
  if (d->presentFlags & kHasIso) {
    putLabel(out, L(kIso));
    putInteger(out, static_cast<int>(d->iso));
    put(out, "\r\n", 2);
  }
  if (d->exposureBias.count != 0)
    appendRationalLine(out, L(kExposureBias), "", d->exposureBias, false);
  if (d->presentFlags & kHasMeteringMode) {
    uint32_t row = d->meteringMode < 7 ? d->meteringMode : 7;
    appendText(out, L(kMetering), kMeteringModes[row][lang]);
  }
  if (d->presentFlags & kHasLightSource) {
    uint32_t v = d->lightSource;
    if (v & 0x8000) {
      putLabel(out, L(kColourTemperature));
      putInteger(out, static_cast<int>(v & 0x7FFF));
      put(out, " (K)\r\n");
    } else if (v != 0 || !(d->makerNoteFlags & kHasNikonWhiteBalance)) {
      appendText(out, L(kLightSource), kLightSources[lightSourceRow(v)][lang]);
    } else if (d->nikonWhiteBalance <= 6) {
      appendText(out, L(kLightSource), kNikonWhiteBalances[d->nikonWhiteBalance][lang]);
    } else {
      appendText(out, L(kLightSource), kLightSources[0][lang]);
    }
  }
  if (d->presentFlags & kHasFlash) appendText(out, L(kFlash), kFlashes[flashRow(d->flash)][lang]);
  if (d->focalLength.count != 0)
    appendRationalLine(out, L(kFocalLength), kMillimetres, d->focalLength, false);
}

}  // namespace

namespace {

/* "%g" of `value` into `out` (16 bytes) without printf, for the values a
 * camera's rationals give: six significant digits in plain notation. Returns
 * the length, or 0 when the value needs an exponent or its sixth digit lies
 * too near a rounding tie to be sure of it: printf decides those. */
size_t formatPlainNumber(char *out, double value) {
  const double magnitude = std::fabs(value);
  size_t length = 0;
  if (std::signbit(value)) out[length++] = '-';
  if (magnitude == 0) {
    out[length++] = '0';
    return length;
  }
  if (!(magnitude >= 1e-4 && magnitude < 999999.5)) return 0;
  /* The exponent of the leading digit, then six digits scaled to an
   * integer; the product has one rounding, far below the margin. */
  static const double kPowers[10] = {1, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9};
  int exponent = 5;
  while (exponent > 0 && magnitude < kPowers[exponent]) --exponent;
  if (magnitude < 1) {
    exponent = -1;
    while (exponent > -4 && magnitude * kPowers[-exponent] < 1) --exponent;
  }
  const double scaled = magnitude * kPowers[5 - exponent];
  const double whole = std::floor(scaled);
  const double fraction = scaled - whole;
  if (std::fabs(fraction - 0.5) < 1e-6) return 0;
  const uint32_t digits = static_cast<uint32_t>(whole) + (fraction > 0.5 ? 1 : 0);
  if (digits < 100000 || digits > 999999) return 0;

  char six[6];
  for (int i = 5, rest = static_cast<int>(digits); i >= 0; --i, rest /= 10)
    six[i] = static_cast<char>('0' + rest % 10);
  int significant = 6;
  while (significant > 1 && six[significant - 1] == '0' && significant > exponent + 1)
    --significant;
  if (exponent < 0) {
    out[length++] = '0';
    out[length++] = '.';
    for (int i = -1; i > exponent; --i) out[length++] = '0';
  }
  for (int i = 0; i < significant; ++i) {
    if (exponent >= 0 && i == exponent + 1) out[length++] = '.';
    out[length++] = six[i];
  }
  return length;
}

}  // namespace

int formatNumber(char *out, size_t room, double value) {
  ReportText text = {out, room, 0};
  if (room == 0) return 0;
  out[0] = '\0';
  if (std::isnan(value)) put(&text, "undef");
  else if (std::isinf(value)) put(&text, value < 0 ? "-inf" : "inf");
  else {
    char plain[16];
    size_t length = formatPlainNumber(plain, value);
    if (length != 0) put(&text, plain, length);
    else append(&text, "%g", value);
  }
  return static_cast<int>(text.used);
}

int formatRationalLine(char *out, size_t room, const char *label, const char *unit,
                       const RationalValue *value, bool reciprocal) {
  if (room == 0) return 0;
  out[0] = '\0';
  ReportText text = {out, room, 0};
  putLabel(&text, label);
  appendRational(&text, value->first, reciprocal);
  if (value->count > 1) {
    put(&text, " - ", 3);
    appendRational(&text, value->second, reciprocal);
  }
  put(&text, " ", 1);
  put(&text, unit);
  put(&text, "\r\n", 2);
  return static_cast<int>(text.used);
}

uint32_t exifReportSize(const ExifReportData *data, int n) {
  uint32_t tags = n > 0 ? static_cast<uint32_t>(n) : 0u;
  return data->maker.length + data->model.length + data->date.length + 40u * tags + 248u;
}

bool buildExifReport(ReportLanguage language, const ExifReportData *data, int n, HLOCAL *handle,
                     uint32_t *size) {
  uint32_t total = exifReportSize(data, n);
  HLOCAL block;
  char *text = allocateText(total, LMEM_MOVEABLE, &block);
  if (text == nullptr) return false;
  text[0] = '\0';
  ReportText out = {text, static_cast<size_t>(total) + 1, 0};
  writeReport(&out, language, data);
  LocalUnlock(block);
  *handle = block;
  *size = total;
  return true;
}
