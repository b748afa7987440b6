/*
 * e2e_host.h - the viewer's side of the end-to-end suites: loads the built
 * MOVRELA.MQF afresh (so that no external decoder is loaded yet), calls its
 * exports the way the viewer does, takes over and frees every block it
 * hands out, and drives the fake external decoders (tests/fakes).
 *
 * usage of a suite: SUITE PATH-TO-MOVRELA.MQF [CORPUS_DIR]
 * The reference decoder quorel.mqf lies beside the plug-in, the fakes in
 * the folder fakes/ beside it.
 */
#ifndef MOVRELA_TEST_E2E_HOST_H
#define MOVRELA_TEST_E2E_HOST_H

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "base/host_interface.h"
#include "camera_files.h"
#include "fake_decoder.h"
#include "harness.h"
#include "jpeg_maker.h"
#include "store.h"
#include "win_accounting.h"

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#endif

namespace e2e {

typedef camera::Data Data;

using suite::ProcAs;

typedef ProgressCallback ProgressFn;
typedef PictureInfo HostPictureInfo;

/* Where things are, from the command line. */
struct Places {
  std::string plugin;  /* MOVRELA.MQF */
  std::string folder;  /* the build folder holding it and quorel.mqf */
  std::string fakes;   /* folder/fakes */
  std::string corpus;  /* may be empty */
};

inline Places &Where() {
  static Places places;
  return places;
}

/* A path as the viewer would store it: backslashes on Windows. */
inline std::string HostPath(const std::string &path) {
  std::string out = path;
#ifdef _WIN32
  for (char &c : out)
    if (c == '/') c = '\\';
#else
  /* The stand-in's one drive; a UNC path ("//server/...") stays one. */
  if (out.size() > 1 && out[0] == '/' && out[1] != '/') out = "Z:" + out;
#endif
  return out;
}

inline void SetPlaces(int argc, char **argv) {
  Places &p = Where();
  if (argc > 1) p.plugin = suite::Path(argv[1]);
  if (argc > 2) p.corpus = suite::Path(argv[2]);
  size_t slash = p.plugin.find_last_of("/\\");
  p.folder = slash == std::string::npos ? "." : p.plugin.substr(0, slash);
  p.fakes = p.folder + "/fakes";
}

/* Blocks (local blocks and library memory) and files the plug-in and its
 * external decoder hold right now. */
inline long LiveBlocks() {
#ifdef _WIN32
  return winacct::LiveBlocks();
#else
  return StandinLiveLocalBlocks();
#endif
}

/* Bytes allocated (local blocks and library memory) since the start. */
inline long long AllocatedBytes() {
#ifdef _WIN32
  return winacct::AllocatedBytes();
#else
  return StandinAllocatedBytes();
#endif
}

inline long OpenFiles() {
#ifdef _WIN32
  return winacct::OpenFiles();
#else
  return StandinOpenFiles();
#endif
}

/* The host frees a block the plug-in handed over. */
inline void HostFree(HLOCAL h) {
  if (LocalFree(h) == nullptr) {
#ifdef _WIN32
    winacct::HostFreed();
#endif
  }
}

/* The plug-in, loaded for one case and released at its end: a new load
 * starts with no external decoder. */
struct Plugin {
  HMODULE module = nullptr;
  IsSupportedFn IsSupported = nullptr;
  GetPictureInfoFn GetPictureInfo = nullptr;
  GetPictureFn GetPicture = nullptr;
  GetPictureFn GetPreview = nullptr;
  Plugin() {
    module = LoadLibraryA(Where().plugin.c_str());
    if (!module) {
      suite::Report(__FILE__, __LINE__, "cannot load " + Where().plugin);
      return;
    }
#ifdef _WIN32
    winacct::Patch(module);
#endif
    IsSupported = ProcAs<IsSupportedFn>(GetProcAddress(module, "IsSupported"));
    GetPictureInfo = ProcAs<GetPictureInfoFn>(GetProcAddress(module, "GetPictureInfo"));
    GetPicture = ProcAs<GetPictureFn>(GetProcAddress(module, "GetPicture"));
    GetPreview = ProcAs<GetPictureFn>(GetProcAddress(module, "GetPreview"));
  }
  ~Plugin() {
    if (module) FreeLibrary(module);
  }
  bool ok() const { return IsSupported && GetPictureInfo && GetPicture && GetPreview; }
  Plugin(const Plugin &) = delete;
  Plugin &operator=(const Plugin &) = delete;
};

/* A fake decoder file, held loaded for the whole run so that its records
 * outlive the plug-in loads of single cases. */
struct Fake {
  std::string path;
  HMODULE module = nullptr;
  FakeResetFn Reset = nullptr;
  FakeConfigureFn Configure = nullptr;
  FakeCallCountFn CallCount = nullptr;
  FakeLastCallFn LastCall = nullptr;
  explicit Fake(const std::string &file) : path(file) {
    module = LoadLibraryA(path.c_str());
    if (!module) return;
    Reset = ProcAs<FakeResetFn>(GetProcAddress(module, "FakeReset"));
    Configure = ProcAs<FakeConfigureFn>(GetProcAddress(module, "FakeConfigure"));
    CallCount = ProcAs<FakeCallCountFn>(GetProcAddress(module, "FakeCallCount"));
    LastCall = ProcAs<FakeLastCallFn>(GetProcAddress(module, "FakeLastCall"));
  }
  bool ok() const {
    if (!Reset || !Configure || !CallCount || !LastCall) {
      suite::Report(__FILE__, __LINE__, "fake not usable: " + path);
      return false;
    }
    return true;
  }
  void answer(FakeFunction f, int32_t result, int32_t width = 16, int32_t height = 8,
              int32_t bitCount = 24, int32_t progress = -1) {
    FakeAnswer a = {result, width, height, bitCount, 2835, progress};
    Configure(f, &a);
  }
  /* Calls to GetPicture and GetPreview, as one number: picture + 100 x preview. */
  int32_t calls() const { return CallCount(FakeGetPicture) + 100 * CallCount(FakeGetPreview); }
  FakeCall last(FakeFunction f) const {
    FakeCall c;
    std::memset(&c, 0, sizeof c);
    LastCall(f, &c);
    return c;
  }
};

/* The fake of that file name in the fakes folder (or a subfolder). */
inline Fake &FakeNamed(const std::string &relative) {
  static std::vector<std::unique_ptr<Fake>> fakes;
  std::string path = Where().fakes + "/" + relative;
  for (auto &f : fakes)
    if (f->path == path) return *f;
  fakes.emplace_back(new Fake(path));
  return *fakes.back();
}

/* Settings of the plug-in's main key. */
inline void SetMain(const char *name, int32_t value) {
  store::SetNumber("Software\\Doru\\movrela", name, value);
}

/* The external decoder: the viewer's plug-in folder ("" leaves it unset)
 * and the configured file name ("" leaves the default). */
inline void UseDecoder(const std::string &folder, const std::string &name) {
  if (!folder.empty())
    store::SetText("Software\\Merovane\\Orvid\\Plug-in", "path", HostPath(folder).c_str(), true);
  if (!name.empty()) store::SetText("Software\\Doru\\movrela", "JPEGPlug-in", name.c_str(), true);
}

/* The fake of that name from the fakes folder, reset to its defaults. */
inline Fake &UseFake(const std::string &name = "fake_full.mqf") {
  UseDecoder(Where().fakes, name);
  Fake &fake = FakeNamed(name);
  if (fake.ok()) fake.Reset();
  return fake;
}

/* An input the viewer may pass by name or as a block. */
struct Input {
  Data bytes;
  std::unique_ptr<camera::TempFile> file;
  explicit Input(const Data &data) : bytes(data), file(new camera::TempFile(data)) {}
  const std::string &path() const { return file->path; }
};

/* Handle value the host presets, to see whether the plug-in wrote it. */
inline HLOCAL Unwritten() { return reinterpret_cast<HLOCAL>(static_cast<UINT_PTR>(0x5E5E0000)); }

/* What one GetPicture or GetPreview call gave the host; the blocks are
 * read and freed. */
struct Answer {
  int32_t result = -99;
  bool written = false;         /* the handle variables changed */
  UINT_PTR info = 0, bits = 0;  /* their values */
  BITMAPINFOHEADER header = {};
  size_t bitsSize = 0;
  uint32_t bitsChecksum = 0;
  bool unlocked = true;
  std::vector<uint8_t> infoBytes, pixels; /* the blocks' contents */
};

inline Answer TakeOver(int32_t result, HLOCAL info, HLOCAL bits) {
  Answer a;
  a.result = result;
  a.written = info != Unwritten() || bits != Unwritten();
  if (info == Unwritten()) info = nullptr;
  if (bits == Unwritten()) bits = nullptr;
  a.info = reinterpret_cast<UINT_PTR>(info);
  a.bits = reinterpret_cast<UINT_PTR>(bits);
  if (info) {
    a.unlocked = suite::Unlocked(info);
    const void *p = LocalLock(info);
    if (p && LocalSize(info) >= sizeof a.header) std::memcpy(&a.header, p, sizeof a.header);
    if (p) a.infoBytes.assign(static_cast<const uint8_t *>(p), static_cast<const uint8_t *>(p) + LocalSize(info));
    LocalUnlock(info);
    HostFree(info);
  }
  if (bits) {
    a.unlocked = a.unlocked && suite::Unlocked(bits);
    const uint8_t *p = static_cast<const uint8_t *>(LocalLock(bits));
    a.bitsSize = LocalSize(bits);
    if (p) a.bitsChecksum = FakeChecksum(p, a.bitsSize);
    if (p) a.pixels.assign(p, p + a.bitsSize);
    LocalUnlock(bits);
    HostFree(bits);
  }
  return a;
}

/* One picture or preview request: `flag` 1 (memory) hands the block over,
 * anything else the file name with `offset`. */
inline Answer Request(GetPictureFn fn, const Input &in, uint32_t flag, int32_t offset = 0,
                      ProgressFn callback = nullptr, int32_t callbackData = 0) {
  HLOCAL info = Unwritten(), bits = Unwritten();
  int32_t result;
  if ((flag & 7u) == 1u)
    result = fn(reinterpret_cast<char *>(const_cast<uint8_t *>(in.bytes.data())),
                static_cast<int32_t>(in.bytes.size()), flag, &info, &bits, callback, callbackData);
  else
    result = fn(const_cast<char *>(in.path().c_str()), offset, flag, &info, &bits, callback,
                callbackData);
  return TakeOver(result, info, bits);
}

/* GetPictureInfo's answer, with the text block read and freed. */
struct Info {
  int32_t result = -99;
  HostPictureInfo record;
  bool untouched = false; /* the record still holds the preset bytes */
  bool hasText = false;
  std::string text;
};

inline Info QueryInfo(const Plugin &plugin, const Input &in, uint32_t flag, int32_t offset = 0) {
  Info out;
  HostPictureInfo preset;
  std::memset(&preset, 0xAB, sizeof preset);
  out.record = preset;
  if ((flag & 7u) == 1u)
    out.result = plugin.GetPictureInfo(reinterpret_cast<char *>(const_cast<uint8_t *>(in.bytes.data())),
                                       static_cast<int32_t>(in.bytes.size()), flag, &out.record);
  else
    out.result = plugin.GetPictureInfo(const_cast<char *>(in.path().c_str()), offset, flag, &out.record);
  out.untouched = std::memcmp(&out.record, &preset, sizeof preset) == 0;
  if (out.result == 0 && out.record.textHandle) {
    out.hasText = true;
    const char *p = static_cast<const char *>(LocalLock(out.record.textHandle));
    if (p) out.text.assign(p, strnlen(p, LocalSize(out.record.textHandle)));
    LocalUnlock(out.record.textHandle);
    HostFree(out.record.textHandle);
  }
  return out;
}

/* IsSupported over the first 2048 bytes as a block (zero-padded), or over
 * a handle the host opened on the file. */
inline int32_t SupportedBlock(const Plugin &plugin, const Data &bytes, const char *name = "x.jpg") {
  std::vector<uint8_t> block(2048, 0);
  if (!bytes.empty()) std::memcpy(block.data(), bytes.data(), bytes.size() < 2048 ? bytes.size() : 2048);
  return plugin.IsSupported(const_cast<char *>(name), reinterpret_cast<UINT_PTR>(block.data()));
}

inline int32_t SupportedHandle(const Plugin &plugin, const Input &in) {
  HANDLE h = CreateFileA(in.path().c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                         0, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    suite::Report(__FILE__, __LINE__, "cannot open " + in.path());
    return -1;
  }
  int32_t result = plugin.IsSupported(const_cast<char *>(in.path().c_str()),
                                      reinterpret_cast<UINT_PTR>(h));
  CloseHandle(h);
  return result;
}

using maker::WithSegments;

inline Data Concat(const Data &a, const Data &b) {
  Data out = a;
  out.insert(out.end(), b.begin(), b.end());
  return out;
}

inline bool MakeFolder(const std::string &path) {
#ifdef _WIN32
  return CreateDirectoryA(path.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS;
#else
  return mkdir(path.c_str(), 0755) == 0 || errno == EEXIST;
#endif
}

inline bool CopyWholeFile(const std::string &from, const std::string &to) {
  camera::Data bytes = camera::ReadWholeFile(from);
  FILE *f = std::fopen(to.c_str(), "wb");
  if (!f || bytes.empty()) {
    if (f) std::fclose(f);
    return false;
  }
  bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return std::fclose(f) == 0 && ok;
}

/* Changes the current folder for the lifetime of the object. */
struct InFolder {
  std::string previous;
  explicit InFolder(const std::string &folder) {
    char buf[1024] = "";
#ifdef _WIN32
    GetCurrentDirectoryA(sizeof buf, buf);
    previous = buf;
    if (!SetCurrentDirectoryA(folder.c_str())) suite::Report(__FILE__, __LINE__, "cd " + folder);
#else
    if (getcwd(buf, sizeof buf)) previous = buf;
    if (chdir(folder.c_str()) != 0) suite::Report(__FILE__, __LINE__, "cd " + folder);
#endif
  }
  ~InFolder() {
#ifdef _WIN32
    SetCurrentDirectoryA(previous.c_str());
#else
    if (chdir(previous.c_str()) != 0) std::printf("  cannot return to %s\n", previous.c_str());
#endif
  }
};

}  // namespace e2e

#define E2E_MAIN()                          \
  int main(int argc, char **argv) {         \
    e2e::SetPlaces(argc, argv);             \
    return suite::RunAll(argc, argv);       \
  }

#endif /* MOVRELA_TEST_E2E_HOST_H */
