/*
 * exif_corpus.cpp - our Exif reader against exiftool (a peer nobody here
 * wrote) over the corpus (tests/corpus) of camera files: the report values, the
 * Nikon white balance, the thumbnail kind, its bytes, size and resolution,
 * and the pixels of RGB thumbnails. Native only.
 *
 * usage: exif_corpus CORPUS_DIR. Exits 77 (skipped) with a message when
 * exiftool or the corpus is missing.
 */
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "exif/reader.h"
#include "exif/thumbnail.h"
#include "exif_header_pass.h"
#include "harness.h"

namespace {

typedef std::map<std::string, std::string> Tags; /* "Group:Tag" -> value text */

std::string run(const std::string &command) {
  std::string out;
  FILE *pipe = popen(command.c_str(), "r");
  if (!pipe) return out;
  char buf[4096];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, pipe)) > 0) out.append(buf, n);
  pclose(pipe);
  return out;
}

bool haveExiftool() { return std::system("exiftool -ver >/dev/null 2>&1") == 0; }

const char *const kTagList[] = {
    "IFD0:Make", "IFD0:Model", "ExifIFD:DateTimeOriginal", "ExifIFD:ExposureTime",
    "ExifIFD:FNumber", "ExifIFD:ISO", "ExifIFD:ExposureProgram", "ExifIFD:MeteringMode",
    "ExifIFD:LightSource", "ExifIFD:Flash", "ExifIFD:FocalLength",
    "ExifIFD:CompressedBitsPerPixel", "ExifIFD:ExposureCompensation", "ExifIFD:ShutterSpeedValue",
    "Nikon:WhiteBalance", "IFD1:Compression", "IFD1:PhotometricInterpretation",
    "IFD1:ImageWidth", "IFD1:ImageHeight", "IFD1:ThumbnailOffset", "IFD1:ThumbnailLength",
    "IFD1:StripOffsets", "IFD1:XResolution", "IFD1:YResolution"};

/* exiftool's numeric values (-n) of every file below `folder`: one line per
 * file, the file name and the tags of kTagList separated by tabs, "-" for a
 * tag the file does not have. */
std::map<std::string, Tags> exiftoolTags(const std::string &folder) {
  std::string format = "$Directory/$FileName";
  for (const char *tag : kTagList) format += std::string("\t$") + tag;
  std::string lines = run("exiftool -n -f -r -ext jpg -p '" + format + "' '" + folder + "' 2>/dev/null");
  std::map<std::string, Tags> byFile;
  size_t start = 0;
  for (size_t end; (end = lines.find('\n', start)) != std::string::npos; start = end + 1) {
    std::string line = lines.substr(start, end - start);
    size_t tab = line.find('\t');
    Tags &tags = byFile[line.substr(0, tab)];
    for (const char *tag : kTagList) {
      size_t from = tab + 1;
      tab = line.find('\t', from);
      std::string value = line.substr(from, tab == std::string::npos ? std::string::npos : tab - from);
      if (value != "-") tags[tag] = value;
      if (tab == std::string::npos) break;
    }
  }
  return byFile;
}

/* ---- our side ---- */

std::vector<uint8_t> readFile(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

/* The APP1 payloads before the first scan, found by walking the markers. */
std::vector<std::vector<uint8_t>> app1Payloads(const std::vector<uint8_t> &file) {
  std::vector<std::vector<uint8_t>> out;
  size_t i = 2;
  while (i + 4 <= file.size() && file[i] == 0xFF) {
    uint8_t marker = file[i + 1];
    if (marker == 0xFF) { ++i; continue; }
    if (marker == 0xDA || marker == 0xD9) break;
    size_t length = static_cast<size_t>(file[i + 2]) << 8 | file[i + 3];
    if (length < 2 || i + 2 + length > file.size()) break;
    if (marker == 0xE1) out.emplace_back(file.begin() + static_cast<long>(i) + 4,
                                         file.begin() + static_cast<long>(i + 2 + length));
    i += 2 + length;
  }
  return out;
}

bool has(const Tags &t, const std::string &k) { return t.count(k) != 0; }

/* exiftool prints a rational without a finite value as "inf" or "undef". */
bool sameNumber(double ours, const std::string &theirs) {
  if (theirs == "undef") return std::isnan(ours);
  if (theirs == "inf") return std::isinf(ours) && ours > 0;
  if (theirs == "-inf") return std::isinf(ours) && ours < 0;
  char *end = nullptr;
  double v = std::strtod(theirs.c_str(), &end);
  if (end == theirs.c_str()) return false;
  return std::fabs(ours - v) <= 1e-8 * std::fmax(std::fabs(v), 1e-300) || ours == v;
}

struct Checker {
  std::string file;
  void fail(const std::string &what) { suite::Report(__FILE__, __LINE__, file + ": " + what); }

  void text(const Tags &t, const char *key, const ExifText &ours) {
    bool theirs = has(t, key);
    if (theirs != (ours.bytes != nullptr)) {
      fail(std::string(key) + (theirs ? " missing" : " read but exiftool has none"));
      return;
    }
    if (!theirs) return;
    /* exiftool drops the trailing blanks that cameras pad names with; the
     * report keeps the string as stored. */
    std::string stored(ours.bytes, ours.length);
    std::string trimmed = stored.substr(0, stored.find_last_not_of(' ') + 1);
    if (t.at(key) != trimmed) fail(std::string(key) + ": \"" + stored + "\" vs \"" + t.at(key) + "\"");
  }
  void rational(const Tags &t, const char *key, const RationalValue &ours) {
    bool theirs = has(t, key);
    if (theirs != (ours.count != 0)) {
      fail(std::string(key) + (theirs ? " missing" : " read but exiftool has none"));
      return;
    }
    if (theirs && !sameNumber(ours.first, t.at(key)))
      fail(std::string(key) + ": " + std::to_string(ours.first) + " vs " + t.at(key));
  }
  void number(const Tags &t, const char *key, uint32_t flags, uint32_t flag, uint32_t ours) {
    bool theirs = has(t, key);
    if (theirs != ((flags & flag) != 0)) {
      fail(std::string(key) + (theirs ? " missing" : " read but exiftool has none"));
      return;
    }
    if (theirs && std::strtoul(t.at(key).c_str(), nullptr, 10) != ours)
      fail(std::string(key) + ": " + std::to_string(ours) + " vs " + t.at(key));
  }
};

std::string corpusFolder() { return suite::Current().argument; }

SUITE_CASE(corpus_matches_exiftool) {
  std::map<std::string, Tags> peer = exiftoolTags(corpusFolder());
  int files = 0, reports = 0, kinds[4] = {0, 0, 0, 0};
  for (const auto &entry : std::filesystem::recursive_directory_iterator(corpusFolder())) {
    if (entry.path().extension() != ".jpg") continue;
    const std::string path = entry.path().string();
    ++files;
    Checker check{entry.path().filename().string()};
    if (!peer.count(path)) {
      check.fail("no exiftool output");
      continue;
    }
    const Tags &t = peer[path];
    const std::vector<uint8_t> file = readFile(path);

    /* Report values: the last Exif segment with tags wins, as in the reader. */
    std::vector<std::vector<uint8_t>> payloads = app1Payloads(file);
    ExifReportData data = {};
    int n = 0;
    for (const auto &payload : payloads) {
      ExifSegment segment;
      if (!openExifSegment(payload.data(), static_cast<uint32_t>(payload.size()), &segment)) continue;
      ExifReportData candidate = {};
      int found = collectReportValues(&segment, &candidate);
      if (found > 0) {
        data = candidate;
        n = found;
      }
    }
    check.text(t, "IFD0:Make", data.maker);
    check.text(t, "IFD0:Model", data.model);
    check.text(t, "ExifIFD:DateTimeOriginal", data.date);
    check.rational(t, "ExifIFD:ExposureTime", data.exposureTime);
    check.rational(t, "ExifIFD:FNumber", data.fNumber);
    check.rational(t, "ExifIFD:FocalLength", data.focalLength);
    check.rational(t, "ExifIFD:CompressedBitsPerPixel", data.compressedBpp);
    check.rational(t, "ExifIFD:ExposureCompensation", data.exposureBias);
    check.rational(t, "ExifIFD:ShutterSpeedValue", data.shutter);
    check.number(t, "ExifIFD:ISO", data.presentFlags, kHasIso, data.iso);
    check.number(t, "ExifIFD:ExposureProgram", data.presentFlags, kHasExposureProgram, data.exposureProgram);
    check.number(t, "ExifIFD:MeteringMode", data.presentFlags, kHasMeteringMode, data.meteringMode);
    check.number(t, "ExifIFD:LightSource", data.presentFlags, kHasLightSource, data.lightSource);
    check.number(t, "ExifIFD:Flash", data.presentFlags, kHasFlash, data.flash);
    /* Only the old Nikon note has a numeric white balance at tag 7 of its
     * own directory; the newer ones print a word and are not read. */
    if (has(t, "Nikon:WhiteBalance") && std::isdigit(static_cast<unsigned char>(t.at("Nikon:WhiteBalance")[0])))
      check.number(t, "Nikon:WhiteBalance", data.makerNoteFlags, kHasNikonWhiteBalance, data.nikonWhiteBalance);
    else if (data.makerNoteFlags & kHasNikonWhiteBalance)
      check.fail("white balance read from a note exiftool does not number");

    /* The marker reader inside libjpeg gives the same report. */
    RequestContext context;
    CHECK_EQ(exifpass::readHeader(&context, file, exifpass::kReport | exifpass::kComment), 0);
    if (n > 0) {
      ++reports;
      HLOCAL expected = nullptr;
      uint32_t size = 0;
      CHECK(buildExifReport(ReportEnglish, &data, n, &expected, &size));
      std::string text(static_cast<const char *>(LocalLock(expected)));
      LocalUnlock(expected);
      LocalFree(expected);
      if (exifpass::slotText(context) != text) check.fail("report text differs from the values");
      CHECK(text.size() <= size);
      CHECK_EQ(context.textLength, size);
    }
    exifpass::releaseContext(&context);

    /* The thumbnail. */
    CHECK_EQ(exifpass::readHeader(&context, file, exifpass::kPreview), 0);
    const ExifThumbnail &thumb = context.thumbnail;
    uint32_t kind = thumb.kind;
    if (kind < 4) ++kinds[kind];
    bool jpeg = has(t, "IFD1:ThumbnailOffset") && has(t, "IFD1:ThumbnailLength");
    bool rgb = !jpeg && has(t, "IFD1:Compression") && t.at("IFD1:Compression") == "1" &&
               has(t, "IFD1:PhotometricInterpretation") && t.at("IFD1:PhotometricInterpretation") == "2";
    uint32_t expectedKind = jpeg ? 1 : rgb ? 2 : 0;
    if (kind != expectedKind) {
      check.fail("thumbnail kind " + std::to_string(kind) + ", exiftool's tags say " +
                 std::to_string(expectedKind));
    } else if (kind == 1) {
      size_t offset = std::strtoul(t.at("IFD1:ThumbnailOffset").c_str(), nullptr, 10);
      size_t length = std::strtoul(t.at("IFD1:ThumbnailLength").c_str(), nullptr, 10);
      if (thumb.jpegLength != length || offset + length > file.size() ||
          std::memcmp(thumb.savedSegment + 6 + thumb.jpegOffset, &file[offset], length) != 0)
        check.fail("JPEG thumbnail bytes differ");
    } else if (kind == 2) {
      CHECK_EQ(std::to_string(thumb.width), t.at("IFD1:ImageWidth"));
      CHECK_EQ(std::to_string(thumb.height), t.at("IFD1:ImageHeight"));
      size_t strip = std::strtoul(t.at("IFD1:StripOffsets").c_str(), nullptr, 10);
      DibWriter writer;
      CHECK(makeThumbnailBitmap(&thumb, &writer));
      const uint8_t *bits = static_cast<const uint8_t *>(LocalLock(writer.bitsHandle));
      bool same = strip + thumb.width * thumb.height * 3 <= file.size();
      for (uint32_t row = 0; same && row < thumb.height; ++row) {
        for (uint32_t x = 0; same && x < thumb.width; ++x) {
          const uint8_t *pixel = bits + (thumb.height - 1 - row) * writer.stride + x * 3;
          const uint8_t *source = &file[strip + (row * thumb.width + x) * 3];
          same = pixel[0] == source[2] && pixel[1] == source[1] && pixel[2] == source[0];
        }
      }
      if (!same) check.fail("RGB thumbnail pixels differ from the file's strip");
      LocalUnlock(writer.bitsHandle);
      LocalFree(writer.infoHandle);
      LocalFree(writer.bitsHandle);
    }
    if (kind != 0 && has(t, "IFD1:XResolution") && has(t, "IFD1:YResolution")) {
      CHECK_EQ(static_cast<long long>(thumb.xResolution),
               std::llround(std::strtod(t.at("IFD1:XResolution").c_str(), nullptr)));
      CHECK_EQ(static_cast<long long>(thumb.yResolution),
               std::llround(std::strtod(t.at("IFD1:YResolution").c_str(), nullptr)));
    }
    exifpass::releaseContext(&context);
  }
  std::printf("  %d files: %d reports; thumbnails: %d none, %d JPEG, %d RGB, %d YCbCr\n", files,
              reports, kinds[0], kinds[1], kinds[2], kinds[3]);
  CHECK(files > 0);
}

}  // namespace

int main(int argc, char **argv) {
  if (argc < 2 || !std::filesystem::is_directory(argv[1])) {
    std::printf("exif_corpus: no corpus folder given or found; skipped\n");
    return 77;
  }
  if (!haveExiftool()) {
    std::printf("exif_corpus: exiftool not found (Debian package libimage-exiftool-perl); "
                "skipped\n");
    return 77;
  }
  return suite::RunAll(argc, argv);
}
