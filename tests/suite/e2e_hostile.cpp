/*
 * e2e_hostile.cpp - the built plug-in with quorel.mqf on input a viewer
 * may meet: every file of the corpus (tests/corpus) (damaged ones included),
 * random bytes, truncated files, containers whose header promises more
 * than the block holds, failing allocations; and several threads calling
 * the picture exports at once. Every answer must be a defined result code,
 * with every block and file released.
 *
 * usage: e2e_hostile PATH-TO-MOVRELA.MQF CORPUS_DIR
 */
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "e2e_host.h"
#include "e2e_inputs.h"
#include "e2e_outcome.h"

#ifndef _WIN32
#include <dirent.h>
#endif

namespace {

using camera::Data;
using e2e::Balance;
using e2e::Defined;
using e2e::Outcome;
using e2e::Random;
using e2e::Thread;
using e2e::Answer;
using e2e::Input;
using e2e::Plugin;

std::vector<std::string> FilesIn(const std::string &folder) {
  std::vector<std::string> names;
#ifdef _WIN32
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA((folder + "\\*.jpg").c_str(), &found);
  if (search != INVALID_HANDLE_VALUE) {
    do names.push_back(folder + "/" + found.cFileName);
    while (FindNextFileA(search, &found));
    FindClose(search);
  }
#else
  if (DIR *dir = opendir(folder.c_str())) {
    while (dirent *entry = readdir(dir))
      if (std::strstr(entry->d_name, ".jpg")) names.push_back(folder + "/" + entry->d_name);
    closedir(dir);
  }
#endif
  std::sort(names.begin(), names.end());
  return names;
}

/* Corpus files; `damaged` selects invalid/ instead of the camera files. */
std::vector<std::string> Corpus(bool damaged) {
  std::vector<std::string> files;
  const char *folders[] = {"camera", "exif-org"};
  if (damaged) return FilesIn(e2e::Where().corpus + "/invalid");
  for (const char *folder : folders) {
    std::vector<std::string> some = FilesIn(e2e::Where().corpus + "/" + folder);
    files.insert(files.end(), some.begin(), some.end());
  }
  return files;
}

void UseQuorel() {
  e2e::UseDecoder(e2e::Where().folder, "quorel.mqf");
  e2e::SetMain("ReportDialog", 0);
}

SUITE_CASE(every_corpus_file_gets_defined_answers) {
  if (e2e::Where().corpus.empty()) {
    suite::Report(__FILE__, __LINE__, "no corpus folder given");
    return;
  }
  UseQuorel();
  Plugin plugin;
  if (!plugin.ok()) return;
  for (bool damaged : {false, true}) {
    std::vector<std::string> files = Corpus(damaged);
    CHECK(files.size() >= (damaged ? 5u : 30u));
    for (const std::string &name : files) {
      Input in(camera::ReadWholeFile(name));
      Balance balance;
      Outcome o = AskEverything(plugin, in);
      balance.check(name);
      CheckOutcome(name, o);
      if (damaged) continue;
      /* The camera pictures are whole: each export serves them. */
      CHECK_EQ_AT(name, o.supportedBlock, 1);
      CHECK_EQ_AT(name, o.info[0].result, 0);
      CHECK_EQ_AT(name, o.picture[0].result, 0);
      CHECK_EQ_AT(name, o.preview[0].result, 0);
    }
  }
}

SUITE_CASE(random_and_truncated_input_gets_defined_answers) {
  UseQuorel();
  Plugin plugin;
  if (!plugin.ok()) return;
  std::vector<std::pair<std::string, Data>> inputs;
  Random random(20240607);
  const size_t sizes[] = {1, 2, 3, 64, 2047, 2048, 2049, 6000};
  for (size_t n : sizes) {
    inputs.push_back({"random " + std::to_string(n), random.bytes(n)});
    inputs.push_back({"SOI and random " + std::to_string(n), e2e::Concat({0xFF, 0xD8}, random.bytes(n))});
    inputs.push_back({"SOI, DQT and random " + std::to_string(n),
                      e2e::Concat({0xFF, 0xD8, 0xFF, 0xDB, 0x00, 0x43, 0x00}, random.bytes(n))});
  }
  /* A JPEG with random bytes in its scan data, and one with a random
   * header segment. */
  Data scrambled = e2e::Jpeg(64, 48);
  for (size_t i = scrambled.size() / 2; i + 2 < scrambled.size(); i += 7) scrambled[i] = random.next();
  inputs.push_back({"scan data scrambled", scrambled});
  inputs.push_back({"random APP1", e2e::WithSegments(e2e::Jpeg(), {exifbuild::app1(random.bytes(500))})});

  std::vector<Data> wholes = {e2e::ExifJpeg(1), e2e::ExifJpeg(2), camera::MakeJ6i(e2e::Jpeg()),
                              camera::MakePmp(e2e::Jpeg())};
  if (!e2e::Where().corpus.empty())
    wholes.push_back(camera::ReadWholeFile(e2e::Where().corpus + "/camera/Canon_40D.jpg"));
  for (size_t w = 0; w < wholes.size(); ++w) {
    const Data &whole = wholes[w];
    for (size_t cut : {size_t{2}, size_t{4}, size_t{21}, size_t{140}, size_t{400}, whole.size() / 2,
                       whole.size() - 2}) {
      if (cut >= whole.size()) continue;
      inputs.push_back({"input " + std::to_string(w) + " cut at " + std::to_string(cut),
                        Data(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(cut))});
    }
  }
  for (const auto &input : inputs) {
    Input in(input.second);
    Balance balance;
    Outcome o = AskEverything(plugin, in);
    balance.check(input.first);
    CheckOutcome(input.first, o);
  }
}

SUITE_CASE(headers_that_promise_more_than_the_block_holds) {
  UseQuorel();
  Plugin plugin;
  if (!plugin.ok()) return;
  camera::J6iHeader farJ6i;
  farJ6i.distance = 5000;
  camera::PmpHeader farPmp;
  farPmp.longSignature = true;
  farPmp.distance = 844;
  const Data j6iHeader = camera::J6iHeaderBytes(farJ6i);
  const Data pmpHeader = camera::PmpHeaderBytes(farPmp);
  Data longSegment = e2e::Concat({0xFF, 0xD8, 0xFF, 0xE1, 0xEA, 0x60}, Data(500, 0x45));
  struct Row {
    const char *label;
    Data bytes;
    int32_t memory; /* every memory request's answer; -1: any defined code */
  } rows[] = {
      {"J6I stream at 5000 of 3000 bytes", Data(j6iHeader.begin(), j6iHeader.begin() + 3000), 2},
      {"J6I stream at 5000 of 5000 bytes", j6iHeader, 2},
      {"J6I stream at 5000 of 5001 bytes", e2e::Concat(j6iHeader, {0xFF}), 3},
      {"PMP stream at 844 of 500 bytes", Data(pmpHeader.begin(), pmpHeader.begin() + 500), 2},
      {"APP1 of 60000 bytes in 506", longSegment, 3},
      {"SOF longer than the block", e2e::Concat({0xFF, 0xD8, 0xFF, 0xC0, 0x40, 0x00, 8, 0, 16}, Data(20, 1)), 3},
  };
  for (const Row &row : rows) {
    Input in(row.bytes);
    Balance balance;
    Outcome o = AskEverything(plugin, in);
    balance.check(row.label);
    CheckOutcome(row.label, o);
    if (row.memory < 0) continue;
    CHECK_EQ_AT(row.label, o.info[1].result, row.memory);
    CHECK_EQ_AT(row.label, o.picture[1].result, row.memory);
    CHECK_EQ_AT(row.label, o.preview[1].result, row.memory);
    CHECK_AT(row.label, o.info[1].untouched && !o.picture[1].written && !o.preview[1].written);
  }

  /* The host's offset at or past the end of the file: nothing to detect. */
  Input small(e2e::Jpeg());
  for (int32_t offset : {static_cast<int32_t>(small.bytes.size()), 1000000}) {
    std::string where = "offset " + std::to_string(offset);
    Balance balance;
    CHECK_EQ_AT(where, e2e::QueryInfo(plugin, small, 0, offset).result, 2);
    CHECK_EQ_AT(where, e2e::Request(plugin.GetPicture, small, 0, offset).result, 2);
    CHECK_EQ_AT(where, e2e::Request(plugin.GetPreview, small, 0, offset).result, 2);
    balance.check(where);
  }
}

using exifbuild::RepeatedPointers;

/* An Exif JPEG around the raw TIFF structure. */
Data JpegWith(const exifbuild::RawTiff &tiff) {
  return e2e::WithSegments(e2e::Jpeg(), {exifbuild::app1(tiff.bytes)});
}

/* Structures built to multiply the work: every export answers each with a
 * defined code, releasing everything, and allocates within a linear bound
 * of the input and the bitmap. The time each took is printed, not judged. */
SUITE_CASE(adversarial_structures_cost_work_linear_in_their_size) {
  UseQuorel();
  Plugin plugin;
  if (!plugin.ok()) return;
  exifbuild::RawTiff cycle; /* IFD0's Exif IFD and next IFD are IFD0 itself */
  cycle.u16(2), cycle.entry(0x010F, 2, 4, 0x41424300), cycle.entry(0x8769, 4, 1, 8), cycle.u32(8);
  exifbuild::RawTiff distant; /* IFD0 far outside; then one whose pointers all lead outside */
  distant.ifd0At(0xFFFFFFF7);
  exifbuild::RawTiff farPointers;
  farPointers.u16(3), farPointers.entry(0x8769, 4, 1, 0xFFFFFFFF),
      farPointers.entry(0x010F, 2, 0xFFFFFFFF, 0xFFFFFFF0), farPointers.entry(0x8769, 4, 1, 50);
  farPointers.u32(0xFFFFFFF0);
  farPointers.u16(1), farPointers.entry(0x927C, 7, 0xFFFFFFFF, 0xFFFFFFFA), farPointers.u32(0);
  exifbuild::RawTiff counts; /* counts far beyond the bytes */
  counts.u16(0xFFFF), counts.entry(0x8769, 4, 1, 26), counts.u32(0);
  counts.u16(1), counts.entry(0x927C, 7, 0xFFFFFFFF, 44), counts.u32(0);
  for (char c : std::string("Nikon")) counts.bytes.push_back(static_cast<uint8_t>(c));
  counts.bytes.insert(counts.bytes.end(), {0, 2, 0, 0xFF, 0xFF});
  exifbuild::RawTiff makes; /* a 65,533-byte segment full of Make entries */
  const uint32_t kMakes = (65533 - 6 - 8 - 6) / 12;
  makes.u16(kMakes);
  for (uint32_t i = 0; i < kMakes; ++i) makes.entry(0x010F, 2, 4, 0x41424300);
  makes.u32(0);
  exifbuild::RawTiff wraps; /* an RGB thumbnail whose size wraps 64 bits when tripled */
  wraps.u16(0), wraps.u32(14);
  wraps.u16(6), wraps.entry(0x0100, 4, 1, 4294760058u), wraps.entry(0x0101, 4, 1, 1431724848u),
      wraps.entry(0x0103, 3, 1, 1u << 16), wraps.entry(0x0106, 3, 1, 2u << 16),
      wraps.entry(0x0111, 4, 1, 8), wraps.entry(0x0115, 3, 1, 3u << 16), wraps.u32(0);
  maker::Picture scans;
  scans.width = 64;
  scans.height = 48;
  scans.scanPerCoefficient = true;
  maker::Picture greyScans = scans;
  greyScans.input = JCS_GRAYSCALE;

  struct Row {
    const char *label;
    Data bytes;
    int32_t picture; /* GetPicture's answer, both input kinds */
  };
  std::vector<Row> rows = {
      {"one Exif IFD and maker note, each pointed to 1819 times", JpegWith(RepeatedPointers(1819, 1819, 1819)), 0},
      {"Exif IFD and next IFD pointing back at IFD0", JpegWith(cycle), 0},
      {"IFD0 at 0xFFFFFFF7", JpegWith(distant), 0},
      {"pointers and counts leading outside", JpegWith(farPointers), 0},
      {"IFD and maker note counts of 0xFFFF and 0xFFFFFFFF", JpegWith(counts), 0},
      {"65,533-byte segment of Make entries", JpegWith(makes), 0},
      {"RGB thumbnail of 4294760058 x 1431724848", JpegWith(wraps), 0},
      {"190 scans", e2e::Encoded(scans), 3},
      {"64 scans, grey", e2e::Encoded(greyScans), 0},
  };
  /* Valid progressions and floods that repeat scans (seed 9 is the first). */
  for (const maker::ScanCase &c : maker::ScanCases()) rows.push_back({c.label, c.bytes, c.valid ? 0 : 3});
  /* The fuzzers' structure-aware seeds (tests/fuzz/seeds) are these rows. */
  const char *seeds = std::getenv("MOVRELA_SEED_DIR");
  for (size_t i = 0; seeds && i < rows.size(); ++i) {
    std::string name = std::string(seeds) + "/adversarial-" + std::to_string(i) + ".jpg";
    if (FILE *f = std::fopen(name.c_str(), "wb")) {
      std::fwrite(rows[i].bytes.data(), 1, rows[i].bytes.size(), f);
      std::fclose(f);
    }
  }
  for (const Row &row : rows) {
    Input in(row.bytes);
    Balance balance;
    const long long before = e2e::AllocatedBytes();
    const auto start = std::chrono::steady_clock::now();
    Outcome o = AskEverything(plugin, in);
    const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    const long long allocated = e2e::AllocatedBytes() - before;
    balance.check(row.label);
    CheckOutcome(row.label, o);
    CHECK_EQ_AT(row.label, o.picture[0].result, row.picture);
    CHECK_EQ_AT(row.label, o.picture[1].result, row.picture);
    /* Eight requests; each may copy the input a few times and hold the
     * bitmap with its library buffers: far below what a multiplied walk
     * asks for (hundreds of MB). */
    const long long bitmap = 64LL * 48 * 3;
    const long long bound = 8 * (8 * static_cast<long long>(row.bytes.size()) + 8 * bitmap + (256 << 10));
    CHECK_AT(std::string(row.label) + ": " + std::to_string(allocated) + " bytes", allocated <= bound);
    std::printf("  %-58s %8zu bytes in, %9lld allocated, %8.1f ms\n", row.label, row.bytes.size(),
                allocated, ms);
  }
}

#ifndef _WIN32
/* Every allocation of a request failing in turn: a defined answer each
 * time, nothing left behind. */
SUITE_CASE(failing_allocations_give_defined_answers_and_release_everything) {
  e2e::Fake &fake = e2e::UseFake();
  e2e::SetMain("ReportDialog", 0);
  e2e::SetMain("ExifPreviewLevel", 14);
  Plugin plugin;
  if (!plugin.ok() || !fake.ok()) return;
  Input exif1(e2e::WithSegments(e2e::ExifJpeg(1), {exifbuild::comment("text")}));
  Input exif2(e2e::ExifJpeg(2));
  struct Step {
    const char *label;
    int which; /* 0 information, 1 picture (declined: internal decoder), 2 preview */
    const Input &in;
  } steps[] = {{"information", 0, exif1}, {"picture", 1, exif1}, {"preview, JPEG thumbnail", 2, exif1},
               {"preview, RGB thumbnail", 2, exif2}};
  typedef void (*FailAt)(long);
  const FailAt failers[] = {StandinFailHeapAllocAt, StandinFailLocalAllocAt};
  for (int f = 0; f < 2; ++f) {
    for (const Step &step : steps) {
      int outOfMemory = 0;
      int32_t result = -99;
      for (long n = 1; n <= 120; ++n) {
        std::string where = std::string(step.label) + (f ? ", LocalAlloc " : ", HeapAlloc ") +
                            std::to_string(n);
        fake.Reset();
        fake.answer(FakeGetPicture, step.which == 1 ? 10 : 0);
        Balance balance;
        failers[f](n);
        if (step.which == 0) {
          result = e2e::QueryInfo(plugin, step.in, 1).result;
        } else {
          Answer a = e2e::Request(step.which == 1 ? plugin.GetPicture : plugin.GetPreview, step.in, 1);
          result = a.result;
          CHECK_AT(where, a.unlocked);
        }
        failers[f](0);
        balance.check(where);
        CHECK_AT(where + ": " + suite::Show(result), result == 0 || result == 3 || result == 4);
        if (result == 4) ++outOfMemory;
      }
      /* Far enough: the last requests had all they asked for. */
      CHECK_EQ_AT(step.label, result, 0);
      if (f == 0) CHECK_AT(step.label, outOfMemory > 0);
    }
  }
}
#endif

/* The block count the other cases rely on sees a block the plug-in hands
 * over (on Windows it comes from the patched import tables). */
SUITE_CASE(block_count_sees_the_text_block_handed_over) {
  UseQuorel();
  Plugin plugin;
  if (!plugin.ok()) return;
  Input in(e2e::WithSegments(e2e::Jpeg(), {exifbuild::comment("counted")}));
  const long blocks = e2e::LiveBlocks();
  e2e::HostPictureInfo record;
  std::memset(&record, 0, sizeof record);
  CHECK_EQ(plugin.GetPictureInfo(reinterpret_cast<char *>(in.bytes.data()),
                                 static_cast<int32_t>(in.bytes.size()), 1, &record), 0);
  CHECK(record.textHandle != nullptr);
  CHECK_EQ(e2e::LiveBlocks(), blocks + 1);
  if (record.textHandle) e2e::HostFree(record.textHandle);
  CHECK_EQ(e2e::LiveBlocks(), blocks);
}

/* One input's answers, reduced to what must not depend on the thread. */
std::string Summary(const Plugin &plugin, const Input &in) {
  e2e::Info info = e2e::QueryInfo(plugin, in, 1);
  Answer picture = e2e::Request(plugin.GetPicture, in, 1);
  Answer preview = e2e::Request(plugin.GetPreview, in, 0);
  const uint8_t *text = reinterpret_cast<const uint8_t *>(info.text.data());
  char line[256];
  std::snprintf(line, sizeof line, "%d %d %d/%d %dx%d %08x %d %08x %d %dx%d %08x",
                e2e::SupportedBlock(plugin, in.bytes), info.result, info.record.width,
                info.record.height, info.record.xDensity, info.record.yDensity,
                FakeChecksum(text, info.text.size()), picture.result, picture.bitsChecksum,
                preview.result, static_cast<int>(preview.header.biWidth),
                static_cast<int>(preview.header.biHeight), preview.bitsChecksum);
  return line;
}

/* Passes of every thread over all inputs: MOVRELA_THREAD_ROUNDS, else 2. */
size_t Rounds() {
  const char *text = std::getenv("MOVRELA_THREAD_ROUNDS");
  long n = text ? std::strtol(text, nullptr, 10) : 0;
  return n > 0 ? static_cast<size_t>(n) : 2;
}

struct Worker {
  const Plugin *plugin;
  const std::vector<std::unique_ptr<Input>> *inputs;
  size_t first;
  std::vector<std::string> summaries; /* by input index */
  static void Run(void *self) {
    Worker *w = static_cast<Worker *>(self);
    size_t n = w->inputs->size();
    w->summaries.assign(n, std::string());
    for (size_t round = 0; round < Rounds(); ++round)
      for (size_t k = 0; k < n; ++k) {
        size_t i = (w->first + k) % n;
        std::string s = Summary(*w->plugin, *(*w->inputs)[i]);
        if (round == 0) w->summaries[i] = s;
        else if (s != w->summaries[i]) w->summaries[i] = "changed: " + s;
      }
  }
};

SUITE_CASE(threads_get_the_answers_of_one_thread) {
  UseQuorel();
  Plugin plugin;
  if (!plugin.ok()) return;
  std::vector<std::unique_ptr<Input>> inputs;
  for (const std::string &name : Corpus(false))
    inputs.emplace_back(new Input(camera::ReadWholeFile(name)));
  for (const std::string &name : Corpus(true))
    inputs.emplace_back(new Input(camera::ReadWholeFile(name)));
  inputs.emplace_back(new Input(e2e::ExifJpeg(1)));
  inputs.emplace_back(new Input(e2e::ExifJpeg(2)));
  inputs.emplace_back(new Input(camera::MakeJ6i(e2e::Jpeg())));
  inputs.emplace_back(new Input(camera::MakePmp(e2e::Jpeg())));

  /* One thread first; that also loads the external decoder. */
  std::vector<std::string> expected;
  for (const auto &in : inputs) expected.push_back(Summary(plugin, *in));
  const long blocks = e2e::LiveBlocks(), files = e2e::OpenFiles();
  const size_t kThreads = 8;
  std::vector<Worker> workers(kThreads);
  std::vector<Thread> threads(kThreads);
  for (size_t t = 0; t < kThreads; ++t) {
    workers[t] = Worker{&plugin, &inputs, t * inputs.size() / kThreads, {}};
    threads[t].body = Worker::Run;
    threads[t].argument = &workers[t];
  }
  for (Thread &t : threads) t.start();
  for (Thread &t : threads) t.join();
  /* Each input costs four calls: IsSupported, GetPictureInfo, GetPicture, GetPreview. */
  std::printf("  %zu threads x %zu passes over %zu inputs\n", kThreads, Rounds(), inputs.size());
  for (size_t t = 0; t < kThreads; ++t)
    for (size_t i = 0; i < inputs.size(); ++i)
      CHECK_EQ_AT("thread " + std::to_string(t) + ", input " + std::to_string(i),
                  workers[t].summaries[i], expected[i]);
  CHECK_EQ(e2e::LiveBlocks(), blocks);
  CHECK_EQ(e2e::OpenFiles(), files);
}

}  // namespace

E2E_MAIN()
