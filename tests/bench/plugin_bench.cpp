/*
 * plugin_bench.cpp - the built plug-in's exports timed in one run, each
 * against a peer measured here too:
 *   - GetPictureInfo on a large JPEG file (6000 x 4000, with a camera's
 *     Exif segment) against a bare libjpeg header read of the same file;
 *   - GetPreview of that Exif JPEG, answered from its thumbnail, against
 *     the full GetPicture (quorel.mqf decodes);
 *   - IsSupported per call on a 2048-byte block, one whose header runs
 *     past the block and one that holds a whole small JPEG;
 *   - GetPicture of the large file through quorel.mqf and through the
 *     internal decoder (fakes/fake_full.mqf declines, so the plug-in falls
 *     back), against libjpeg alone decoding the file into one bottom-up
 *     buffer of padded BGR rows, as a bitmap holds it: medians of rounds
 *     that take the three in turn (the ratio: the median of the rounds'), each plug-in freshly loaded and warmed
 *     by one small picture, as in a viewer that has shown one already
 *     (the first picture also loads the decoder and reads the settings);
 *     and the memory each adds to the process
 *     (peak less the level before it), each in a process of its own
 *     (--memory).
 * Lines starting with "@row" repeat the figures for scripts/bench.sh's
 * table: measure, ours, peer, peer's figure, ratio, target.
 * Every export first asks the settings store whether anything changed;
 * GetPluginInfo(2), which does little else, gives that fixed cost of a
 * call, and the figures less it show what the request itself costs. Each
 * figure compared is the median of batches that take turns, and its ratio
 * the median of the batches' own ratios.
 *
 * Built natively (settings in the stand-in's file-backed registry) and for
 * Windows (run under Wine: the registry of the Wine prefix).
 *
 * usage: plugin_bench PATH-TO-MOVRELA.MQF EXIF_JPEG
 *   EXIF_JPEG: a camera picture whose Exif segment (with its JPEG
 *   thumbnail) the large picture gets.
 *        plugin_bench PATH-TO-MOVRELA.MQF --memory floor|quorel|internal LARGE_JPEG
 *   one decode of LARGE_JPEG; prints the bytes it added to the peak.
 *        plugin_bench PATH-TO-MOVRELA.MQF --scans DIR
 *   writes floods of repeated scans into DIR (flood-*.jpg), made from its
 *   progressive.jpg, pairs.jpg (luminance AC at Al 1, then refined) and
 *   sequential.jpg (one scan per component), and times GetPicture of each
 *   against the picture's own, through quorel.mqf alone and through the
 *   plug-in (medians of rounds in turn); and the walk over the scans of
 *   large.jpg (GetPicture with a fake decoder that answers at once)
 *   against its decode through the plug-in and quorel.mqf.
 *        plugin_bench PATH-TO-MOVRELA.MQF --early LARGE_JPEG
 *   the early turn block's cost and gain (EarlyRun).
 */
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "base/host_interface.h"
#include "camera_files.h"
#include "colour_profiles.h"
#include "harness.h"
#include "jpeg_maker.h"
#include "store.h"
#include "base/jpeg.h"
#include "platform.h"

#include "fake_decoder.h"

#ifdef _WIN32
#include <psapi.h>
#else
#include <unistd.h>
#endif

namespace {

typedef std::vector<uint8_t> Data;
using suite::ProcAs;

typedef PictureInfo HostPictureInfo;

/* Encodes a width x height colour picture with smooth gradients and some
 * texture, so that it compresses like a photograph. */
Data Encode(int width, int height, int quality) {
  maker::Picture p;
  p.width = width;
  p.height = height;
  p.quality = quality;
  p.pixel = [width, height](int x, int y, uint8_t *s) {
    s[0] = static_cast<uint8_t>(x * 255 / width);
    s[1] = static_cast<uint8_t>(y * 255 / height);
    s[2] = static_cast<uint8_t>((x * 7 + y * 13 + (x * y) % 31) & 0xFF);
  };
  return maker::Encode(p);
}

bool WriteFile(const std::string &path, const Data &data) {
  FILE *f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  bool ok = std::fwrite(data.data(), 1, data.size(), f) == data.size();
  return std::fclose(f) == 0 && ok;
}

/* The first APP1 segment of a JPEG stream (marker and length included). */
Data FirstApp1(const Data &jpeg) {
  size_t i = 2;
  while (i + 4 <= jpeg.size() && jpeg[i] == 0xFF && jpeg[i + 1] != 0xDA) {
    size_t length = static_cast<size_t>(jpeg[i + 2]) << 8 | jpeg[i + 3];
    if (jpeg[i + 1] == 0xE1 && i + 2 + length <= jpeg.size())
      return Data(jpeg.begin() + i, jpeg.begin() + i + 2 + length);
    i += 2 + length;
  }
  return Data();
}

/* `jpeg` without its APP2 ICC_PROFILE segments: a picture tagged again
 * must carry one profile, or the plug-in rightly takes none. */
Data WithoutProfile(const Data &jpeg) {
  static const char kMark[12] = "ICC_PROFILE";
  Data out(jpeg.begin(), jpeg.begin() + 2);
  size_t i = 2;
  while (i + 4 <= jpeg.size() && jpeg[i] == 0xFF && jpeg[i + 1] != 0xDA) {
    const size_t end = i + 2 + (static_cast<size_t>(jpeg[i + 2]) << 8 | jpeg[i + 3]);
    if (end > jpeg.size()) break;
    const bool profile = jpeg[i + 1] == 0xE2 && end - i >= 4 + sizeof kMark &&
                         std::memcmp(&jpeg[i + 4], kMark, sizeof kMark) == 0;
    if (!profile) out.insert(out.end(), jpeg.begin() + i, jpeg.begin() + end);
    i = end;
  }
  out.insert(out.end(), jpeg.begin() + i, jpeg.end());
  return out;
}

/* A width x height CMYK picture as print workflows write it (YCCK with an
 * Adobe marker), of the same gradients with ink growing across. */
Data EncodeCmyk(int width, int height, int quality) {
  maker::Picture p;
  p.width = width;
  p.height = height;
  p.quality = quality;
  p.input = JCS_CMYK;
  p.stored = JCS_YCCK;
  p.pixel = [width, height](int x, int y, uint8_t *s) {
    s[0] = static_cast<uint8_t>(x * 255 / width);
    s[1] = static_cast<uint8_t>(y * 255 / height);
    s[2] = static_cast<uint8_t>((x * 7 + y * 13 + (x * y) % 31) & 0xFF);
    s[3] = static_cast<uint8_t>(255 - (x + y) * 96 / (width + height));
  };
  return maker::Encode(p);
}

/* `jpeg` with the value of its first Orientation entry (a SHORT of count 1,
 * in either byte order) set to `orientation`; empty when it has none. */
Data WithOrientation(Data jpeg, uint16_t orientation) {
  static const uint8_t kLittle[8] = {0x12, 0x01, 3, 0, 1, 0, 0, 0};
  static const uint8_t kBig[8] = {0x01, 0x12, 0, 3, 0, 0, 0, 1};
  for (size_t i = 0; i + 10 <= jpeg.size(); ++i) {
    bool big = std::memcmp(&jpeg[i], kBig, 8) == 0;
    if (!big && std::memcmp(&jpeg[i], kLittle, 8) != 0) continue;
    jpeg[i + 8] = static_cast<uint8_t>(big ? orientation >> 8 : orientation);
    jpeg[i + 9] = static_cast<uint8_t>(big ? orientation : orientation >> 8);
    return jpeg;
  }
  return Data();
}

/* The best mean time of one call, in microseconds, over `batches` batches
 * of `calls` calls. */
template <typename F>
double Time(int batches, int calls, F call) {
  double best = 1e30;
  for (int b = 0; b < batches; ++b) {
    auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < calls; ++i) call();
    std::chrono::duration<double, std::micro> spent = std::chrono::steady_clock::now() - start;
    best = std::min(best, spent.count() / calls);
  }
  return best;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

/* Mean times of one call, in microseconds, batch by batch. */
typedef std::vector<double> Batches;

/* Several calls timed in batches that take them in turn, so that a busy
 * spell of the machine weighs on neighbouring batches alike. */
std::vector<Batches> TimeInTurn(int batches, int calls, const std::vector<std::function<void()>> &each) {
  std::vector<Batches> times(each.size());
  for (int b = 0; b < batches; ++b)
    for (size_t k = 0; k < each.size(); ++k) times[k].push_back(Time(1, calls, each[k]));
  return times;
}

/* The median of the batches' own ratios. */
double MedianRatio(const Batches &ours, const Batches &peer) {
  Batches ratios;
  for (size_t i = 0; i < ours.size(); ++i) ratios.push_back(ours[i] / peer[i]);
  return Median(ratios);
}

Batches Less(const Batches &a, const Batches &b) {
  Batches d;
  for (size_t i = 0; i < a.size(); ++i) d.push_back(a[i] - b[i]);
  return d;
}

/* libjpeg alone: the file decoded into a new bottom-up buffer of BGR rows
 * padded to 4 bytes, zeroed like the host's blocks (calloc). The floor under
 * GetPicture: what it adds beyond this is ours. */
size_t FloorDecode(const std::string &path) {
  jpeg_decompress_struct cinfo;
  jpeg_error_mgr errors;
  cinfo.err = jpeg_std_error(&errors);
  jpeg_create_decompress(&cinfo);
  FILE *f = std::fopen(path.c_str(), "rb");
  if (!f) return 0;
  jpeg_stdio_src(&cinfo, f);
  jpeg_read_header(&cinfo, TRUE);
  cinfo.out_color_space = JCS_EXT_BGR;
  jpeg_start_decompress(&cinfo);
  const size_t stride = (static_cast<size_t>(cinfo.output_width) * 3 + 3) & ~size_t(3);
  const size_t size = stride * cinfo.output_height;
  uint8_t *bitmap = static_cast<uint8_t *>(std::calloc(size, 1));
  while (bitmap && cinfo.output_scanline < cinfo.output_height) {
    JSAMPROW row = bitmap + stride * (cinfo.output_height - 1 - cinfo.output_scanline);
    jpeg_read_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_decompress(&cinfo);
  jpeg_destroy_decompress(&cinfo);
  std::fclose(f);
  std::free(bitmap);
  return bitmap ? size : 0;
}

/* The process's memory now and at its peak, in bytes. */
void MemoryLevels(double *now, double *peak) {
#ifdef _WIN32
  PROCESS_MEMORY_COUNTERS counters = {};
  counters.cb = sizeof counters;
  K32GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
  *now = static_cast<double>(counters.WorkingSetSize);
  *peak = static_cast<double>(counters.PeakWorkingSetSize);
#else
  *now = *peak = 0;
  FILE *f = std::fopen("/proc/self/status", "r");
  char line[256];
  while (f && std::fgets(line, sizeof line, f)) {
    double kb = 0;
    if (std::sscanf(line, "VmRSS: %lf kB", &kb) == 1) *now = kb * 1024;
    if (std::sscanf(line, "VmHWM: %lf kB", &kb) == 1) *peak = kb * 1024;
  }
  if (f) std::fclose(f);
#endif
}

using store::SetNumber;
using store::SetText;

int Fail(const char *what) {
  std::fprintf(stderr, "plugin_bench: %s\n", what);
  return 1;
}

/* A fresh folder for the benchmark's files (and, natively, the stand-in's
 * registry), with the plug-in's own settings at their defaults. */
std::string MakeWorkFolder() {
#ifdef _WIN32
  char temp[MAX_PATH];
  GetTempPathA(sizeof temp, temp);
  std::string work = std::string(temp) + "plugin-bench-" + std::to_string(GetCurrentProcessId());
  CreateDirectoryA(work.c_str(), nullptr);
  RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\Doru");
  return work;
#else
  const char *tmp = std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp";
  const std::string work = std::string(tmp) + "/plugin-bench-" + std::to_string(getpid());
  if (std::system(("mkdir -p '" + work + "/root'").c_str()) != 0) return std::string();
  setenv("MOVRELA_WINROOT", (work + "/root").c_str(), 1);
  return work;
#endif
}

bool RemoveWorkFolder(const std::string &work, const std::string &file) {
#ifdef _WIN32
  return DeleteFileA(file.c_str()) && RemoveDirectoryA(work.c_str());
#else
  (void)file;
  return std::system(("rm -rf '" + work + "'").c_str()) == 0;
#endif
}

/* The folder part of a path, with the separators the host uses. */
std::string FolderOf(const std::string &path) {
  std::string folder = path.substr(0, path.find_last_of("/\\"));
#ifdef _WIN32
  for (char &c : folder)
    if (c == '/') c = '\\';
  if (folder.size() > 1 && folder[0] == '\\') folder = "Z:" + folder;
#else
  if (folder.size() > 1 && folder[0] == '/') folder = "Z:" + folder; /* the stand-in's one drive */
#endif
  return folder;
}

std::string LoadError() {
#ifdef _WIN32
  return "LoadLibrary error " + std::to_string(GetLastError());
#else
  return StandinLastLoadError();
#endif
}

}  // namespace

/* The plug-in, loaded with the given decoder ("" quorel.mqf beside it,
 * else fakes/NAME answering 10, so that the internal decoder decodes). */
struct Loaded {
  HMODULE module = nullptr, fake = nullptr;
  GetPictureFn getPicture = nullptr;
};

Loaded LoadWith(const std::string &plugin, const std::string &folder, const std::string &decliner,
                int32_t fakeAnswer = 10) {
  Loaded l;
#ifdef _WIN32
  const std::string fakePath = folder + "\\fakes\\" + decliner;
#else
  const std::string fakePath = folder + "/fakes/" + decliner;
#endif
  /* A relative name with a folder counts from the plug-in folder. */
  SetText("Software\\Doru\\movrela", "JPEGPlug-in", decliner.empty() ? "quorel.mqf" : "fakes\\" + decliner);
  if (!decliner.empty()) {
    l.fake = LoadLibraryA(fakePath.c_str());
    auto configure = l.fake ? ProcAs<FakeConfigureFn>(GetProcAddress(l.fake, "FakeConfigure")) : nullptr;
    if (!configure) return l;
    FakeAnswer declined = {fakeAnswer, 16, 8, 24, 0, -1};
    configure(FakeGetPicture, &declined);
  }
  l.module = LoadLibraryA(plugin.c_str());
  if (l.module) l.getPicture = ProcAs<GetPictureFn>(GetProcAddress(l.module, "GetPicture"));
  return l;
}

void Unload(Loaded *l) {
  if (l->module) FreeLibrary(l->module);
  if (l->fake) FreeLibrary(l->fake);
  *l = Loaded();
}

/* Time of one GetPicture of `path`, in milliseconds; negative on failure. */
double PictureMs(const Loaded &l, const std::string &path) {
  HLOCAL info = nullptr, bits = nullptr;
  auto start = std::chrono::steady_clock::now();
  int32_t result = l.getPicture ? l.getPicture(const_cast<char *>(path.c_str()), 0, 0, &info, &bits,
                                               nullptr, 0)
                                : -1;
  std::chrono::duration<double, std::milli> spent = std::chrono::steady_clock::now() - start;
  if (info) LocalFree(info);
  if (bits) LocalFree(bits);
  return result == 0 ? spent.count() : -1;
}

/* --memory: one decode in this process; prints the bytes it added to the
 * process's peak. */
int MemoryRun(const std::string &which, const std::string &plugin, const std::string &large) {
  const std::string folder = FolderOf(plugin);
  const std::string work = MakeWorkFolder();
  SetText("Software\\Merovane\\Orvid\\Plug-in", "path", folder);
  Loaded l;
  if (which != "floor") {
    l = LoadWith(plugin, folder, which == "internal" ? "fake_full.mqf" : "");
    if (!l.getPicture) return Fail("plug-in not loaded");
  }
  double before = 0, peak = 0, after = 0;
  MemoryLevels(&before, &peak);
  bool ok = which == "floor" ? FloorDecode(large) != 0 : PictureMs(l, large) >= 0;
  MemoryLevels(&after, &peak);
  Unload(&l);
#ifndef _WIN32
  (void)std::system(("rm -rf '" + work + "'").c_str());
#endif
  if (!ok) return Fail("decode failed");
  std::printf("%.0f\n", peak - before);
  return 0;
}

/* Time of one GetPicture of `path` by `fn`, in milliseconds, when it
 * answers `expected`; else a failure. */
double AnyPictureMs(GetPictureFn fn, const std::string &path, int32_t expected = 0) {
  HLOCAL info = nullptr, bits = nullptr;
  auto start = std::chrono::steady_clock::now();
  int32_t result = fn(const_cast<char *>(path.c_str()), 0, 0, &info, &bits, nullptr, 0);
  if (result != expected) {
    std::fprintf(stderr, "plugin_bench: %s answered %d\n", path.c_str(), result);
    std::exit(1);
  }
  std::chrono::duration<double, std::milli> spent = std::chrono::steady_clock::now() - start;
  if (info) LocalFree(info);
  if (bits) LocalFree(bits);
  return spent.count();
}

/* --scans: see the header. */
int ScanRun(const std::string &plugin, const std::string &dir) {
  const std::string folder = FolderOf(plugin);
  const std::string work = MakeWorkFolder();
  SetText("Software\\Merovane\\Orvid\\Plug-in", "path", folder);
  const Data progressive = camera::ReadWholeFile(dir + "/progressive.jpg");
  const Data sequential = camera::ReadWholeFile(dir + "/sequential.jpg");
  const Data pairs = camera::ReadWholeFile(dir + "/pairs.jpg");
  if (progressive.empty() || sequential.empty() || pairs.empty()) return Fail("pictures missing");
  struct Flood {
    const char *label, *name, *picture;
    Data bytes;
  } floods[] = {
      {"last refinement scan", "refinement", "progressive", maker::RepeatScans(progressive, 10, 1, 20)},
      {"luminance AC first scan", "ac-first", "progressive", maker::RepeatScans(progressive, 2, 1, 20)},
      {"DC scan", "dc", "progressive", maker::RepeatScans(progressive, 1, 1, 20)},
      {"rising-Al pair", "pairs", "pairs", maker::RepeatScans(pairs, 2, 2, 10)},
      {"sequential luminance scan", "sequential", "sequential", maker::RepeatScans(sequential, 1, 1, 20)},
  };
  for (const Flood &f : floods)
    if (!WriteFile(dir + "/flood-" + f.name + ".jpg", f.bytes)) return Fail("cannot write a flood");
  HMODULE quorel = LoadLibraryA((folder + "/quorel.mqf").c_str());
  GetPictureFn quorelPicture = quorel ? ProcAs<GetPictureFn>(GetProcAddress(quorel, "GetPicture")) : nullptr;
  Loaded viaPlugin = LoadWith(plugin, folder, "");
  if (!quorelPicture || !viaPlugin.getPicture) return Fail("decoders not loaded");
  const GetPictureFn paths[] = {quorelPicture, viaPlugin.getPicture};
  const char *pathNames[] = {"quorel.mqf alone", "plug-in, quorel.mqf"};
  for (int k = 0; k < 2; ++k) {
    for (const Flood &f : floods) {
      const std::string picture = dir + "/" + f.picture + ".jpg";
      std::vector<double> ours, peer;
      for (int round = 0; round < 5; ++round) {
        ours.push_back(AnyPictureMs(paths[k], dir + "/flood-" + f.name + ".jpg", BrokenData));
        peer.push_back(AnyPictureMs(paths[k], picture));
      }
      std::printf("@row\t%s: %s repeated, refused\t%.1f ms\tits picture decoded\t%.1f ms\t%.3f\t<= 1.5\n",
                  pathNames[k], f.label, Median(ours), Median(peer), MedianRatio(ours, peer));
    }
  }
  Unload(&viaPlugin);
  FreeLibrary(quorel);
  /* The walk: the fake answers at once, so GetPicture is the header pass
   * and the walk; against the decode of the same file. */
  const std::string large = dir + "/large.jpg";
  std::vector<double> walk, decode;
  for (int round = 0; round < 5; ++round) {
    Loaded fake = LoadWith(plugin, folder, "fake_full.mqf", 0);
    AnyPictureMs(fake.getPicture, large); /* loads the fake and reads the settings */
    walk.push_back(AnyPictureMs(fake.getPicture, large));
    Unload(&fake);
    Loaded l = LoadWith(plugin, folder, "");
    decode.push_back(AnyPictureMs(l.getPicture, large));
    Unload(&l);
  }
  std::printf("@row\tGetPicture, header pass and walk over the scans of a 6000 x 4000 progressive file"
              "\t%.1f ms\tits decode (plug-in, quorel.mqf)\t%.1f ms\t%.3f\t<= 0.03\n",
              Median(walk), Median(decode), MedianRatio(walk, decode));
#ifndef _WIN32
  (void)std::system(("rm -rf '" + work + "'").c_str());
#endif
  return 0;
}

/* --colour: GetPicture of the large picture (its own profile taken out)
 * tagged in several ways, and of a CMYK picture of the same size, at
 * ColorManagement 1 (or 2), against the same build at 0 on the same
 * picture (the turned one against the upright untagged one), through
 * quorel.mqf and the internal decoder (CMYK: the internal decoder only);
 * rounds alternate which goes first. */
int ColourRun(const std::string &plugin, const std::string &large) {
  const std::string folder = FolderOf(plugin);
  const std::string work = MakeWorkFolder();
  SetText("Software\\Merovane\\Orvid\\Plug-in", "path", folder);
  const Data plain = WithoutProfile(camera::ReadWholeFile(large));
  if (plain.size() <= 2) return Fail("no large picture");
  const Data press = camera::ReadWholeFile(colour::kSystemPressProfile), cmyk = EncodeCmyk(6000, 4000, 90);
  if (press.empty()) return Fail("no Ghostscript press profile (scripts/setup.sh installs libgs-common)");
  struct Case {
    const char *label;
    Data jpeg;
    DWORD setting;
    bool againstUntagged;
    const char *target;
    bool internalOnly = false; /* wrapped decoders keep CMYK as they return it */
    std::string path = std::string();
  } cases[] = {
      {"untagged", plain, 1, false, "<= 1.02"},
      {"its own sRGB profile", colour::Tagged(plain, colour::Saved(cmsCreate_sRGBProfile())), 1, false, "<= 1.02"},
      {"Adobe RGB", colour::Tagged(plain, colour::Make(colour::kAdobeRgb)), 1, false, "<= 1.3"},
      {"Display P3", colour::Tagged(plain, colour::Make(colour::kDisplayP3)), 1, false, "<= 1.3"},
      {"orientation 6", WithOrientation(plain, 6), 1, true, "<= 1.4"},
      {"Adobe RGB, orientation 6", colour::Tagged(WithOrientation(plain, 6), colour::Make(colour::kAdobeRgb)), 1, true, "<= 1.75"},
      {"lookup-table RGB", colour::Tagged(plain, colour::Make(colour::kLutRgb)), 1, false, "<= 2.2"},
      {"7,000 float elements (refused)", colour::Tagged(plain, colour::CostlyElements(7000)), 1, true, "<= 1.1"},
      {"untagged, ColorManagement 2", plain, 2, false, "-"},
      {"press CMYK", colour::Tagged(cmyk, colour::Make(colour::kPressCmyk)), 1, false, "<= 2.8", true},
      {"Ghostscript's press CMYK", colour::Tagged(cmyk, press, press.size() / 60000 + 1), 1, false, "<= 2.8", true},
  };
  for (size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i) {
    cases[i].path = large + ".colour" + std::to_string(i) + ".jpg";
    if (!WriteFile(cases[i].path, cases[i].jpeg)) return Fail("cannot write a colour picture");
  }
  const char *key = "Software\\Doru\\movrela";
  /* PLUGIN_BENCH_ONLY=TEXT keeps the cases whose label holds TEXT;
   * PLUGIN_BENCH_ROUNDS the pairs per case (default 5). */
  const char *only = std::getenv("PLUGIN_BENCH_ONLY");
  const int rounds = std::getenv("PLUGIN_BENCH_ROUNDS") ? std::atoi(std::getenv("PLUGIN_BENCH_ROUNDS")) : 5;
  for (int internal = 0; internal < 2; ++internal) {
    Loaded l = LoadWith(plugin, folder, internal ? "fake_full.mqf" : "");
    for (const Case &c : cases) {
      if ((only && !std::strstr(c.label, only)) || (c.internalOnly && !internal)) continue;
      std::vector<double> ours, peer, ratios;
      const std::string &peerPath = c.againstUntagged ? cases[0].path : c.path;
      for (int round = 0; round < rounds; ++round) {
        double ms[2];
        for (int k = 0; k < 2; ++k) {
          const int which = (round + k) % 2;
          SetNumber(key, "ColorManagement", which ? c.setting : 0);
          ms[which] = PictureMs(l, which ? c.path : peerPath);
        }
        if (ms[0] < 0 || ms[1] < 0) return Fail("GetPicture of a colour picture");
        peer.push_back(ms[0]);
        ours.push_back(ms[1]);
        ratios.push_back(ms[1] / ms[0]);
      }
      std::printf("@row\tGetPicture 6000 x 4000 %s, %s\t%.1f ms\tthe same %sat 0\t%.1f ms\t%.2f\t%s\n",
                  c.label, internal ? "internal decoder" : "through quorel.mqf", Median(ours),
                  c.againstUntagged ? "upright and untagged " : "", Median(peer), Median(ratios),
                  c.target);
    }
    Unload(&l);
  }
  for (const Case &c : cases) std::remove(c.path.c_str());
  return 0;
}

/* The decode's own time that the bench's builds without the early block
 * leave behind (containers/turn.cpp), in milliseconds; negative without. */
double DecodeMs() {
#ifdef _WIN32
  char text[32];
  if (GetEnvironmentVariableA("MOVRELA_BENCH_DECODE_MS", text, sizeof text) == 0) return -1;
  SetEnvironmentVariableA("MOVRELA_BENCH_DECODE_MS", nullptr);
  return std::atof(text);
#else
  return -1;
#endif
}

/* --early: GetPicture of LARGE_JPEG with orientation 6 by this build and
 * by the bench's builds beside it without the early turn block, MOVEARL1
 * (made, never taken) and MOVEARL0 (none made), through quorel.mqf and the
 * internal decoder; the order rotates every round (PLUGIN_BENCH_ROUNDS,
 * default 15). The block's own cost is the decode's own time by MOVEARL1
 * over MOVEARL0 (the whole call of MOVEARL1 also frees a block it did not
 * take), its gain this build over MOVEARL0: medians of the rounds'
 * ratios. */
int EarlyRun(const std::string &plugin, const std::string &large) {
  const std::string folder = FolderOf(plugin);
  const std::string work = MakeWorkFolder();
  SetText("Software\\Merovane\\Orvid\\Plug-in", "path", folder);
  SetNumber("Software\\Doru\\movrela", "ColorManagement", 1);
  const std::string turned = large + ".early.jpg";
  if (!WriteFile(turned, WithOrientation(camera::ReadWholeFile(large), 6)))
    return Fail("cannot write the turned picture");
#ifdef _WIN32
  const std::string beside = folder + "\\";
#else
  const std::string beside = folder + "/";
#endif
  const std::string builds[3] = {plugin, beside + "MOVEARL1.MQF", beside + "MOVEARL0.MQF"};
  const int rounds = std::getenv("PLUGIN_BENCH_ROUNDS") ? std::atoi(std::getenv("PLUGIN_BENCH_ROUNDS")) : 15;
  for (int internal = 0; internal < 2; ++internal) {
    const char *path = internal ? "internal decoder" : "through quorel.mqf";
    Loaded l[3];
    std::vector<double> ms[3], decode[3], cost, gain;
    for (int b = 0; b < 3; ++b) {
      l[b] = LoadWith(builds[b], folder, internal ? "fake_full.mqf" : "");
      if (PictureMs(l[b], large) < 0) return Fail(("GetPicture by " + builds[b]).c_str());
    }
    for (int round = 0; round < rounds; ++round) {
      for (int k = 0; k < 3; ++k) {
        const int b = (round + k) % 3;
        ms[b].push_back(PictureMs(l[b], turned));
        if (ms[b].back() < 0) return Fail("GetPicture of the turned picture");
        decode[b].push_back(DecodeMs());
      }
      if (decode[1].back() <= 0 || decode[2].back() <= 0) return Fail("no decode time from MOVEARL0/1");
      cost.push_back(decode[1].back() / decode[2].back());
      gain.push_back(ms[0].back() / ms[2].back());
    }
    auto best = [](const std::vector<double> &v) { return *std::min_element(v.begin(), v.end()); };
    std::printf("GetPicture 6000 x 4000 orientation 6, %s (ms, median of %d; best): early block %.1f; %.1f, "
                "made and never taken %.1f; %.1f, none made %.1f; %.1f\n",
                path, rounds, Median(ms[0]), best(ms[0]), Median(ms[1]), best(ms[1]), Median(ms[2]),
                best(ms[2]));
    std::printf("@row\tdecode of 6000 x 4000 orientation 6, %s, early block made\t%.1f ms"
                "\tnone made\t%.1f ms\t%.3f\t<= 1.01\n",
                path, Median(decode[1]), Median(decode[2]), Median(cost));
    std::printf("@row\tGetPicture 6000 x 4000 orientation 6, %s, early block\t%.1f ms"
                "\tnone made\t%.1f ms\t%.3f\t< 1\n",
                path, Median(ms[0]), Median(ms[2]), Median(gain));
    for (Loaded &each : l) Unload(&each);
  }
  std::remove(turned.c_str());
  return 0;
}

/* --browse: GetPreview of every file given, as a viewer browsing a folder,
 * at ColorManagement 1 against 0, through quorel.mqf; rounds alternate. */
int BrowseRun(const std::string &plugin, const std::string &label, std::vector<std::string> files) {
  const std::string folder = FolderOf(plugin);
  const std::string work = MakeWorkFolder();
  SetText("Software\\Merovane\\Orvid\\Plug-in", "path", folder);
  HMODULE module = LoadLibraryA(plugin.c_str());
  auto getPreview = module ? ProcAs<GetPictureFn>(GetProcAddress(module, "GetPreview")) : nullptr;
  if (!getPreview) return Fail("no GetPreview");
  auto browse = [&] {
    auto start = std::chrono::steady_clock::now();
    for (const std::string &file : files) {
      HLOCAL info = nullptr, bits = nullptr;
      getPreview(const_cast<char *>(file.c_str()), 0, 0, &info, &bits, nullptr, 0);
      if (info) LocalFree(info);
      if (bits) LocalFree(bits);
    }
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  };
  std::vector<double> ours, peer, ratios;
  for (int round = 0; round < 11; ++round) {
    double ms[2];
    for (int k = 0; k < 2; ++k) {
      const int which = (round + k) % 2;
      SetNumber("Software\\Doru\\movrela", "ColorManagement", static_cast<DWORD>(which));
      ms[which] = browse();
    }
    if (round == 0) continue; /* the first loads the decoder and makes the transforms */
    peer.push_back(ms[0]);
    ours.push_back(ms[1]);
    ratios.push_back(ms[1] / ms[0]);
  }
  FreeLibrary(module);
  std::printf("@row\tGetPreview of %s (%zu files), ColorManagement 1\t%.1f ms\tthe same at 0\t%.1f ms\t%.3f\t%s\n",
              label.c_str(), files.size(), Median(ours), Median(peer), Median(ratios),
              label.find("camera") != std::string::npos ? "<= 1.05" : "-");
  return 0;
}

int main(int argc, char **argv) {
  if (argc == 4 && std::string(argv[2]) == "--scans") {
    std::string plugin = argv[1], dir = argv[3];
#ifdef _WIN32
    if (!plugin.empty() && plugin[0] == '/') plugin = "Z:" + plugin;
    if (!dir.empty() && dir[0] == '/') dir = "Z:" + dir;
#endif
    return ScanRun(plugin, dir);
  }
  if (argc >= 5 && std::string(argv[2]) == "--browse") {
    std::vector<std::string> files(argv + 4, argv + argc);
    std::string plugin = argv[1];
#ifdef _WIN32
    for (std::string &file : files)
      if (file[0] == '/') file = "Z:" + file;
    if (plugin[0] == '/') plugin = "Z:" + plugin;
#endif
    return BrowseRun(plugin, argv[3], files);
  }
  if (argc == 4 && std::string(argv[2]) == "--colour") {
    std::string plugin = argv[1], large = argv[3];
#ifdef _WIN32
    if (!plugin.empty() && plugin[0] == '/') plugin = "Z:" + plugin;
    if (!large.empty() && large[0] == '/') large = "Z:" + large;
#endif
    return ColourRun(plugin, large);
  }
  if (argc == 4 && std::string(argv[2]) == "--early") {
    std::string plugin = argv[1], large = argv[3];
#ifdef _WIN32
    if (!plugin.empty() && plugin[0] == '/') plugin = "Z:" + plugin;
    if (!large.empty() && large[0] == '/') large = "Z:" + large;
#endif
    return EarlyRun(plugin, large);
  }
  if (argc == 5 && std::string(argv[2]) == "--memory") {
    std::string plugin = argv[1], large = argv[4];
#ifdef _WIN32
    if (!plugin.empty() && plugin[0] == '/') plugin = "Z:" + plugin;
    if (!large.empty() && large[0] == '/') large = "Z:" + large;
#endif
    return MemoryRun(argv[3], plugin, large);
  }
  if (argc < 3) {
    std::fprintf(stderr, "usage: plugin_bench PATH-TO-MOVRELA.MQF EXIF_JPEG\n");
    return 2;
  }
  std::string plugin = argv[1];
#ifdef _WIN32
  if (!plugin.empty() && plugin[0] == '/') plugin = "Z:" + plugin;
#endif
  const std::string folder = FolderOf(plugin);
  const std::string work = MakeWorkFolder();
  if (work.empty()) return Fail("no work folder");
  SetText("Software\\Merovane\\Orvid\\Plug-in", "path", folder);

  HMODULE module = LoadLibraryA(plugin.c_str());
  if (!module) return Fail(LoadError().c_str());
  auto pluginInfo = ProcAs<GetPluginInfoFn>(GetProcAddress(module, "GetPluginInfo"));
  auto isSupported = ProcAs<IsSupportedFn>(GetProcAddress(module, "IsSupported"));
  auto pictureInfo = ProcAs<GetPictureInfoFn>(GetProcAddress(module, "GetPictureInfo"));
  auto getPicture = ProcAs<GetPictureFn>(GetProcAddress(module, "GetPicture"));
  auto getPreview = ProcAs<GetPictureFn>(GetProcAddress(module, "GetPreview"));
  if (!pluginInfo || !isSupported || !pictureInfo || !getPicture || !getPreview) return Fail("exports missing");

  /* The large picture: our encoding with the camera's Exif segment. */
  std::string exifJpeg = argv[2];
#ifdef _WIN32
  if (!exifJpeg.empty() && exifJpeg[0] == '/') exifJpeg = "Z:" + exifJpeg;
#endif
  Data exif = FirstApp1(camera::ReadWholeFile(exifJpeg));
  if (exif.empty()) return Fail("no Exif segment");
  Data plain = Encode(6000, 4000, 90);
  Data large(plain.begin(), plain.begin() + 2);
  large.insert(large.end(), exif.begin(), exif.end());
  large.insert(large.end(), plain.begin() + 2, plain.end());
#ifdef _WIN32
  const std::string largePath = work + "\\large.jpg";
#else
  const std::string largePath = work + "/large.jpg";
#endif
  if (!WriteFile(largePath, large)) return Fail("cannot write the large picture");
  char *largeName = const_cast<char *>(largePath.c_str());

  char text[128];
  HostPictureInfo info;
  if (pictureInfo(largeName, 0, 0, &info) != 0 || info.width != 6000) return Fail("GetPictureInfo");
  if (info.textHandle) LocalFree(info.textHandle);
  auto headerRead = [](const std::string &path) {
    jpeg_decompress_struct cinfo;
    jpeg_error_mgr errors;
    cinfo.err = jpeg_std_error(&errors);
    jpeg_create_decompress(&cinfo);
    FILE *f = std::fopen(path.c_str(), "rb");
    jpeg_stdio_src(&cinfo, f);
    jpeg_read_header(&cinfo, TRUE);
    jpeg_destroy_decompress(&cinfo);
    std::fclose(f);
  };
  auto infoOf = [&](char *input, int32_t len, uint32_t flag) {
    HostPictureInfo i;
    pictureInfo(input, len, flag, &i);
    if (i.textHandle) LocalFree(i.textHandle);
  };
  /* The same picture without the Exif segment. */
  const std::string plainPath = largePath + ".plain.jpg";
  if (!WriteFile(plainPath, plain)) return Fail("cannot write the plain picture");
  char *plainName = const_cast<char *>(plainPath.c_str());
  const std::vector<Batches> queries = TimeInTurn(15, 700, {
      [&] { pluginInfo(2, text, sizeof text); },
      [&] { infoOf(largeName, 0, 0); },
      [&] { infoOf(reinterpret_cast<char *>(large.data()), static_cast<int32_t>(large.size()), 1); },
      [&] { headerRead(largePath); },
      [&] { infoOf(plainName, 0, 0); },
      [&] { headerRead(plainPath); },
  });
  const double settingsTime = Median(queries[0]), infoTime = Median(queries[1]),
               memoryInfoTime = Median(queries[2]), headerTime = Median(queries[3]);
  std::remove(plainPath.c_str());

  HLOCAL bitmap[2] = {nullptr, nullptr};
  auto release = [&] {
    for (HLOCAL &h : bitmap)
      if (h) LocalFree(h), h = nullptr;
  };
  if (getPreview(largeName, 0, 0, &bitmap[0], &bitmap[1], nullptr, 0) != 0) return Fail("GetPreview");
  release();
  double previewTime = Time(5, 200, [&] {
    getPreview(largeName, 0, 0, &bitmap[0], &bitmap[1], nullptr, 0);
    release();
  });
  if (getPicture(largeName, 0, 0, &bitmap[0], &bitmap[1], nullptr, 0) != 0) return Fail("GetPicture");
  release();
  double pictureTime = Time(3, 2, [&] {
    getPicture(largeName, 0, 0, &bitmap[0], &bitmap[1], nullptr, 0);
    release();
  });

  Data runsPast(large.begin(), large.begin() + 2048);
  Data whole = Encode(64, 48, 75);
  whole.resize(2048, 0);
  if (isSupported(nullptr, reinterpret_cast<UINT_PTR>(runsPast.data())) != 1 ||
      isSupported(nullptr, reinterpret_cast<UINT_PTR>(whole.data())) != 1)
    return Fail("IsSupported");
  const std::vector<Batches> blocks = TimeInTurn(15, 7000, {
      [&] { isSupported(nullptr, reinterpret_cast<UINT_PTR>(runsPast.data())); },
      [&] { isSupported(nullptr, reinterpret_cast<UINT_PTR>(whole.data())); },
      [&] {
        jpeg_decompress_struct cinfo;
        jpeg_error_mgr errors;
        cinfo.err = jpeg_std_error(&errors);
        jpeg_create_decompress(&cinfo);
        jpeg_mem_src(&cinfo, whole.data(), static_cast<unsigned long>(whole.size()));
        jpeg_read_header(&cinfo, TRUE);
        jpeg_destroy_decompress(&cinfo);
      },
  });
  const double runsPastTime = Median(blocks[0]), wholeTime = Median(blocks[1]);

  std::printf("large picture: 6000 x 4000, %zu bytes, Exif segment of %zu bytes\n", large.size(),
              exif.size());
  std::printf("fixed cost of a call (GetPluginInfo 2, settings check) %8.1f us\n", settingsTime);
  std::printf("%-36s %10s %10s %8s %8s\n", "", "us", "less fixed", "peer us", "ratio");
  std::printf("%-36s %10.1f %10.1f %8.1f %8.2f / %.2f\n", "GetPictureInfo, file", infoTime,
              infoTime - settingsTime, headerTime, infoTime / headerTime,
              (infoTime - settingsTime) / headerTime);
  std::printf("%-36s %10.1f %10.1f %8.1f %8.2f / %.2f\n", "GetPictureInfo, memory", memoryInfoTime,
              memoryInfoTime - settingsTime, headerTime, memoryInfoTime / headerTime,
              (memoryInfoTime - settingsTime) / headerTime);
  std::printf("%-36s %10.1f %10.1f %8.0f %8.0f (GetPicture / GetPreview)\n",
              "GetPreview from the Exif thumbnail", previewTime, previewTime - settingsTime,
              pictureTime, pictureTime / previewTime);
  std::printf("%-36s %10.2f %10.2f\n", "IsSupported, header past the block", runsPastTime,
              runsPastTime - settingsTime);
  std::printf("%-36s %10.2f %10.2f\n", "IsSupported, whole JPEG in the block", wholeTime,
              wholeTime - settingsTime);

  /* Medians of the batches; the ratio is the median of the batches' own. */
  auto row = [](const char *measure, const Batches &ours, const char *peer, const Batches &peerTimes,
                const char *target) {
    std::printf("@row\t%s\t%.1f us\t%s\t%.1f us\t%.2f\t%s\n", measure, Median(ours), peer,
                Median(peerTimes), MedianRatio(ours, peerTimes), target);
  };
  const char *bare = "bare libjpeg header read";
  row("GetPictureInfo, 6000 x 4000 file with Exif", queries[1], bare, queries[3], "<= 1.2");
  row("GetPictureInfo, 6000 x 4000 file without Exif", queries[4], bare, queries[5], "<= 1.2");
  row("GetPictureInfo, same picture in memory", queries[2], bare, queries[3], "-");
  row("GetPictureInfo, file, less the settings check", Less(queries[1], queries[0]), bare, queries[3], "-");
  std::printf("@row\tGetPreview from the Exif thumbnail\t%.0f us\tfull GetPicture (quorel.mqf)\t%.0f us\t"
              "%.5f (%.0fx faster)\t-\n",
              previewTime, pictureTime, previewTime / pictureTime, pictureTime / previewTime);
#ifdef _WIN32
  const char *supportedTarget = "<= 20";
#else
  const char *supportedTarget = "<= 3";
#endif
  row("IsSupported, whole JPEG in the 2048-byte block", blocks[1], "bare header read of the block",
      blocks[2], supportedTarget);
  row("IsSupported, header runs past the block", blocks[0], "bare header read of the block", blocks[2],
      supportedTarget);
  row("settings check alone (GetPluginInfo 2)", queries[0], bare, queries[3], "-");

  FreeLibrary(module);

  /* The same picture with orientation 6: turned upright by a quarter. */
  const Data turned = WithOrientation(large, 6);
  const std::string turnedPath = largePath + ".turned.jpg";
  if (turned.empty() || !WriteFile(turnedPath, turned)) return Fail("cannot write the turned picture");

  /* Full decodes: rounds of the floor, quorel.mqf and the internal decoder
   * in turn, so that a busy moment weighs on all three alike; each decoder
   * takes the picture with orientation 1 and 6 in turn. */
  std::vector<double> floorMs, quorelMs, internalMs, quorelTurnedMs, internalTurnedMs;
  const std::string smallPath = largePath + ".small.jpg";
  if (!WriteFile(smallPath, whole)) return Fail("cannot write the small picture");
  for (int round = 0; round < 9; ++round) {
    auto start = std::chrono::steady_clock::now();
    if (FloorDecode(largePath) == 0) return Fail("floor decode");
    floorMs.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    for (int turn = 0; turn < 2; ++turn) {
      const int internal = (round + turn) % 2; /* which goes first alternates */
      Loaded l = LoadWith(plugin, folder, internal ? "fake_full.mqf" : "");
      PictureMs(l, smallPath); /* loads the decoder and reads the settings */
      double ms = 0, turnedMs = 0;
      for (int which = 0; which < 2; ++which) {
        if ((round + which) % 2) turnedMs = PictureMs(l, turnedPath);
        else ms = PictureMs(l, largePath);
      }
      Unload(&l);
      if (ms < 0 || turnedMs < 0)
        return Fail(internal ? "GetPicture, internal decoder" : "GetPicture, quorel.mqf");
      (internal ? internalMs : quorelMs).push_back(ms);
      (internal ? internalTurnedMs : quorelTurnedMs).push_back(turnedMs);
    }
  }
  std::remove(smallPath.c_str());
  std::printf("GetPicture, 6000 x 4000 (ms, median of 9): floor %.1f, quorel.mqf %.1f, internal %.1f\n",
              Median(floorMs), Median(quorelMs), Median(internalMs));
  auto best = [](const std::vector<double> &v) { return *std::min_element(v.begin(), v.end()); };
  std::printf("  best of 9: floor %.1f, quorel.mqf %.1f, internal %.1f\n", best(floorMs), best(quorelMs),
              best(internalMs));
  for (int round = 0; round < 9; ++round)
    std::printf("  round %d: floor %.1f, quorel.mqf %.1f, internal %.1f\n", round + 1, floorMs[round],
                quorelMs[round], internalMs[round]);
  /* The ratio is the median of each round's own ratio: a busy spell of the
   * machine slows a round's three decodes together. */
  auto msRow = [&floorMs](const char *measure, const std::vector<double> &ours) {
    std::vector<double> ratios;
    for (size_t i = 0; i < ours.size(); ++i) ratios.push_back(ours[i] / floorMs[i]);
    std::printf("@row\t%s\t%.1f ms\tlibjpeg into a bottom-up BGR buffer\t%.1f ms\t%.2f\t<= 1.03\n",
                measure, Median(ours), Median(floorMs), Median(ratios));
  };
  msRow("GetPicture 6000 x 4000, internal decoder", internalMs);
  msRow("GetPicture 6000 x 4000, through quorel.mqf", quorelMs);
  /* The turn's cost: orientation 6 over the same picture with orientation 1. */
  auto turnRow = [](const char *measure, const std::vector<double> &ours,
                    const std::vector<double> &upright) {
    std::vector<double> ratios;
    for (size_t i = 0; i < ours.size(); ++i) ratios.push_back(ours[i] / upright[i]);
    std::printf("@row\t%s\t%.1f ms\tthe same with orientation 1\t%.1f ms\t%.2f\t<= 1.35\n", measure,
                Median(ours), Median(upright), Median(ratios));
  };
  turnRow("GetPicture 6000 x 4000 orientation 6, internal decoder", internalTurnedMs, internalMs);
  turnRow("GetPicture 6000 x 4000 orientation 6, through quorel.mqf", quorelTurnedMs, quorelMs);
  for (int round = 0; round < 9; ++round)
    std::printf("  round %d, orientation 6: quorel.mqf %.1f, internal %.1f\n", round + 1,
                quorelTurnedMs[round], internalTurnedMs[round]);

  /* The large picture stays for the memory runs when asked. */
  if (const char *keep = std::getenv("PLUGIN_BENCH_KEEP")) {
    if (!WriteFile(keep, large) || !WriteFile(std::string(keep) + ".turned.jpg", turned))
      return Fail("cannot keep the large picture");
  }
  std::remove(turnedPath.c_str());
  if (!RemoveWorkFolder(work, largePath)) return Fail("cannot clean up");
  return 0;
}
