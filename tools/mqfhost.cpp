/*
 * mqfhost.cpp - a command-line host for import-filter plug-ins.
 *
 * Loads a plug-in file the way the viewer does (by its path, after
 * initialising the common controls and recording the plug-in folder, and
 * the language when asked, in the viewer's configuration) and calls its
 * exports: plug-in information, the format test, picture information,
 * picture and preview (written as .bmp files) and the configuration
 * dialogs. Every block the plug-in hands over is freed. A failed call ends
 * the program with status 1 and the name of the result code.
 */
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "base/host_interface.h"
#include "platform.h"

#ifndef _WIN32
#include <iconv.h>
#endif

namespace {

/* Exports are looked up as FARPROC and called through their real type. */
template <typename F>
F ProcAs(FARPROC proc) {
  return reinterpret_cast<F>(reinterpret_cast<void (*)()>(proc));
}

typedef int32_t(WINAPI *ProgressFn)(int32_t, int32_t, int32_t);
typedef PictureInfo HostPictureInfo;

#pragma pack(push, 1)
struct BmpFileHeader {
  uint16_t type;
  uint32_t size;
  uint16_t reserved1, reserved2;
  uint32_t offBits;
};
struct BmpInfoHeader {
  uint32_t size;
  int32_t width, height;
  uint16_t planes, bitCount;
  uint32_t compression, sizeImage;
  int32_t xPelsPerMeter, yPelsPerMeter;
  uint32_t clrUsed, clrImportant;
};
#pragma pack(pop)

struct Plugin {
  HMODULE module = nullptr;
  GetPluginInfoFn GetPluginInfo = nullptr;
  IsSupportedFn IsSupported = nullptr;
  GetPictureInfoFn GetPictureInfo = nullptr;
  GetPictureFn GetPicture = nullptr;
  GetPictureFn GetPreview = nullptr;
  ConfigurationDlgFn ConfigurationDlg = nullptr;
};

struct Options {
  bool memory = false;
  int32_t offset = 0;
  bool progress = false;
  int abortAt = -1; /* answer "stop" at this percentage */
  int japanese = -1; /* the viewer's language flag to record; -1 leaves it */
  long reserveLargest = 0; /* MB: no free region larger is left; 0: none */
  bool addressSpace = false; /* report the free address space */
  bool time = false; /* print the picture call's own wall time */
};

/* The address space a viewer's own DLLs and heaps leave: every free region
 * larger than `largest` bytes is split by small reservations, as DLLs
 * loaded at scattered bases split it, so that no larger block can be had
 * while the total stays. The stand-in refuses such blocks itself. */
void ReserveAddressSpace(size_t largest) {
#ifdef _WIN32
  constexpr size_t kStub = 64 << 10;
  uintptr_t at = 0x10000;
  MEMORY_BASIC_INFORMATION region;
  while (VirtualQuery(reinterpret_cast<void *>(at), &region, sizeof region) == sizeof region) {
    const uintptr_t end = reinterpret_cast<uintptr_t>(region.BaseAddress) + region.RegionSize;
    if (region.State == MEM_FREE)
      for (uintptr_t stub = at + largest; stub + kStub <= end; stub += largest + kStub)
        VirtualAlloc(reinterpret_cast<void *>(stub), kStub, MEM_RESERVE, PAGE_NOACCESS);
    if (end <= at) break;
    at = end;
  }
#else
  StandinLimitAddressSpace(largest, 0);
#endif
}

/* The largest free block and the free space in 16 MB pieces, in MB. */
void ReportAddressSpace(const char *when) {
#ifdef _WIN32
  size_t largest = 0, pieces = 0;
  uintptr_t at = 0x10000;
  MEMORY_BASIC_INFORMATION region;
  while (VirtualQuery(reinterpret_cast<void *>(at), &region, sizeof region) == sizeof region) {
    const uintptr_t end = reinterpret_cast<uintptr_t>(region.BaseAddress) + region.RegionSize;
    if (region.State == MEM_FREE) {
      if (region.RegionSize > largest) largest = region.RegionSize;
      pieces += region.RegionSize >> 24;
    }
    if (end <= at) break;
    at = end;
  }
  std::printf("address space %s: largest free block %zu MB, %zu MB in 16 MB pieces\n", when,
              largest >> 20, pieces * 16);
#else
  std::printf("address space %s: not measured natively\n", when);
#endif
}

const char *ResultName(int32_t code) {
  switch (code) {
    case -1: return "NotImplemented";
    case 0: return "Success";
    case 1: return "Aborted";
    case 2: return "UnknownFormat";
    case 3: return "BrokenData";
    case 4: return "OutOfMemory";
    case 6: return "FileReadError";
    case 10: return "ExternalDeclined";
    default: return "UnknownResult";
  }
}

int Fail(const char *call, int32_t code) {
  std::fprintf(stderr, "mqfhost: %s failed: %s (%d)\n", call, ResultName(code), code);
  return 1;
}

/* Win32 paths for the plug-in: the stand-in takes '/' and '\' alike. */
std::string FolderOf(const std::string &path) {
  size_t slash = path.find_last_of("/\\");
  return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

std::string AbsolutePath(const std::string &path) {
#ifdef _WIN32
  char full[MAX_PATH];
  DWORD n = GetFullPathNameA(path.c_str(), sizeof full, full, nullptr);
  return n > 0 && n < sizeof full ? std::string(full) : path;
#else
  char *full = realpath(path.c_str(), nullptr);
  /* The stand-in's one drive, as a Windows host would name the path. */
  std::string result = full ? std::string("Z:") + full : path;
  std::free(full);
  return result;
#endif
}

/* The viewer keeps its configuration in the registry, on Win32s in its
 * INI file. */
bool ViewerUsesRegistry() {
  OSVERSIONINFOA version = {};
  version.dwOSVersionInfoSize = sizeof version;
  return GetVersionExA(&version) && version.dwPlatformId != 0;
}

/* The viewer keeps its plug-in folder in its configuration; plug-ins that
 * wrap another plug-in look it up there. */
void RecordPluginFolder(const std::string &folder) {
  if (!ViewerUsesRegistry()) return;
  HKEY key;
  if (RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Merovane\\Orvid\\Plug-in", 0, nullptr,
                      REG_OPTION_NON_VOLATILE, KEY_SET_VALUE, nullptr, &key,
                      nullptr) != ERROR_SUCCESS)
    return;
  RegSetValueExA(key, "path", 0, REG_SZ, reinterpret_cast<const BYTE *>(folder.c_str()),
                 static_cast<DWORD>(folder.size() + 1));
  RegCloseKey(key);
}

/* The viewer's language flag, which the plug-in's dialogs and texts follow
 * (Japanese when it is missing): 0 English, 1 Japanese. */
bool RecordLanguage(int japanese) {
  if (!ViewerUsesRegistry())
    return WritePrivateProfileStringA("Resource", "Japanese", japanese ? "1" : "0", "orvid.ini");
  HKEY key;
  if (RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Merovane\\Orvid\\Resource", 0, nullptr,
                      REG_OPTION_NON_VOLATILE, KEY_SET_VALUE, nullptr, &key,
                      nullptr) != ERROR_SUCCESS)
    return false;
  DWORD value = japanese ? 1 : 0;
  bool ok = RegSetValueExA(key, "Japanese", 0, REG_DWORD, reinterpret_cast<const BYTE *>(&value),
                           sizeof value) == ERROR_SUCCESS;
  RegCloseKey(key);
  return ok;
}

bool LoadPlugin(const std::string &path, Plugin *plugin) {
  plugin->module = LoadLibraryA(path.c_str());
  if (!plugin->module) {
    std::fprintf(stderr, "mqfhost: cannot load %s\n", path.c_str());
    return false;
  }
  plugin->GetPluginInfo =
      ProcAs<GetPluginInfoFn>(GetProcAddress(plugin->module, "GetPluginInfo"));
  plugin->IsSupported =
      ProcAs<IsSupportedFn>(GetProcAddress(plugin->module, "IsSupported"));
  plugin->GetPictureInfo =
      ProcAs<GetPictureInfoFn>(GetProcAddress(plugin->module, "GetPictureInfo"));
  plugin->GetPicture = ProcAs<GetPictureFn>(GetProcAddress(plugin->module, "GetPicture"));
  plugin->GetPreview = ProcAs<GetPictureFn>(GetProcAddress(plugin->module, "GetPreview"));
  plugin->ConfigurationDlg =
      ProcAs<ConfigurationDlgFn>(GetProcAddress(plugin->module, "ConfigurationDlg"));
  if (!plugin->GetPluginInfo || !plugin->IsSupported || !plugin->GetPictureInfo ||
      !plugin->GetPicture || !plugin->GetPreview) {
    std::fprintf(stderr, "mqfhost: %s lacks an export of the plug-in interface\n", path.c_str());
    return false;
  }
  return true;
}

bool ReadWholeFile(const char *name, std::vector<char> *data) {
  FILE *f = std::fopen(name, "rb");
  if (!f) return false;
  char chunk[65536];
  size_t n;
  while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0) data->insert(data->end(), chunk, chunk + n);
  std::fclose(f);
  return true;
}

/* Texts come from the plug-in in the viewer's code page (Shift_JIS for
 * Japanese); the terminal wants UTF-8. */
std::string ShiftJisToUtf8(const std::string &text) {
#ifdef _WIN32
  int wide = MultiByteToWideChar(932, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  if (wide <= 0) return text;
  std::vector<wchar_t> w(static_cast<size_t>(wide));
  MultiByteToWideChar(932, 0, text.data(), static_cast<int>(text.size()), w.data(), wide);
  int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), wide, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, w.data(), wide, &out[0], n, nullptr, nullptr);
  return out;
#else
  iconv_t cd = iconv_open("UTF-8", "CP932");
  if (cd == reinterpret_cast<iconv_t>(-1)) return text;
  std::string out(text.size() * 3 + 4, '\0');
  char *in = const_cast<char *>(text.data());
  size_t inLeft = text.size();
  char *outp = &out[0];
  size_t outLeft = out.size();
  while (inLeft > 0) {
    if (iconv(cd, &in, &inLeft, &outp, &outLeft) == static_cast<size_t>(-1)) {
      if (errno != EILSEQ && errno != EINVAL) break;
      *outp++ = '?'; /* undecodable byte */
      --outLeft;
      ++in;
      --inLeft;
    }
  }
  iconv_close(cd);
  out.resize(out.size() - outLeft);
  return out;
#endif
}

int CmdInfo(const Plugin &plugin) {
  char buf[1024];
  for (int32_t index = 0; index <= 5; ++index) {
    int32_t n;
    if (index == 4) {
      int32_t needed = plugin.GetPluginInfo(4, nullptr, 0);
      std::printf("info 4 needs %d bytes\n", needed);
    }
    std::memset(buf, 0, sizeof buf);
    n = plugin.GetPluginInfo(index, buf, sizeof buf - 1);
    std::printf("info %d (%d bytes): %s\n", index, n, ShiftJisToUtf8(buf).c_str());
  }
  return 0;
}

int CmdSupported(const Plugin &plugin, const char *name) {
  HANDLE file = CreateFileA(name, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    std::fprintf(stderr, "mqfhost: cannot open %s\n", name);
    return 1;
  }
  /* The viewer hands over the first 2048 bytes, zero-filled past the end. */
  std::vector<char> block(2048, 0);
  DWORD got = 0;
  ReadFile(file, block.data(), 2048, &got, nullptr);
  SetFilePointer(file, 0, nullptr, FILE_BEGIN);

  int32_t byHandle = plugin.IsSupported(const_cast<char *>(name), reinterpret_cast<UINT_PTR>(file));
  CloseHandle(file);
  int32_t byBlock =
      plugin.IsSupported(const_cast<char *>(name), reinterpret_cast<UINT_PTR>(block.data()));
  std::printf("supported (file handle): %d\n", byHandle);
  std::printf("supported (2048-byte block): %d\n", byBlock);
  return 0;
}

/* callbackData: bit 0 = print, higher bits = 1 + percentage to abort at. */
int32_t WINAPI Progress(int32_t numerator, int32_t denominator, int32_t data) {
  if (data & 1) std::printf("progress %d/%d\n", numerator, denominator);
  int abortAt = data >> 1;
  return abortAt > 0 && numerator >= abortAt - 1 ? 1 : 0;
}

int32_t CallbackData(const Options &options) {
  return (options.progress ? 1 : 0) | ((options.abortAt >= 0 ? options.abortAt + 1 : 0) << 1);
}

int CmdPictureInfo(const Plugin &plugin, const char *name, const Options &options) {
  HostPictureInfo info = {};
  int32_t result;
  std::vector<char> data;
  if (options.memory) {
    if (!ReadWholeFile(name, &data) || static_cast<size_t>(options.offset) > data.size()) {
      std::fprintf(stderr, "mqfhost: cannot read %s\n", name);
      return 1;
    }
    result = plugin.GetPictureInfo(data.data() + options.offset,
                                   static_cast<int32_t>(data.size() - options.offset), 1, &info);
  } else {
    result = plugin.GetPictureInfo(const_cast<char *>(name), options.offset, 0, &info);
  }
  if (result != 0) return Fail("GetPictureInfo", result);

  std::printf("size: %d x %d\n", info.width, info.height);
  std::printf("density: %u x %u\n", info.xDensity, info.yDensity);
  std::printf("depth: %d\n", info.bitDepth);
  if (info.textHandle) {
    SIZE_T size = LocalSize(info.textHandle);
    const char *text = static_cast<const char *>(LocalLock(info.textHandle));
    std::string bytes;
    if (text) {
      const void *end = std::memchr(text, 0, size);
      bytes.assign(text, end ? static_cast<const char *>(end) - text : size);
      LocalUnlock(info.textHandle);
    }
    LocalFree(info.textHandle);
    std::printf("text:\n%s\n", ShiftJisToUtf8(bytes).c_str());
  } else {
    std::printf("text: none\n");
  }
  return 0;
}

/* Writes the plug-in's two blocks as a .bmp file, checking that the blocks
 * are as large as their header says. */
bool WriteBmp(HLOCAL infoHandle, HLOCAL bitsHandle, const char *out) {
  SIZE_T infoSize = LocalSize(infoHandle);
  SIZE_T bitsSize = LocalSize(bitsHandle);
  const BmpInfoHeader *header = static_cast<const BmpInfoHeader *>(LocalLock(infoHandle));
  const char *bits = static_cast<const char *>(LocalLock(bitsHandle));
  bool ok = false;
  if (header && bits && infoSize >= sizeof(BmpInfoHeader)) {
    uint32_t colours = header->bitCount <= 8
                           ? (header->clrUsed ? header->clrUsed : (1u << header->bitCount))
                           : header->clrUsed;
    uint64_t headerBytes = header->size + uint64_t(colours) * 4 + (header->compression == 3 ? 12 : 0);
    uint64_t stride = ((uint64_t(header->width) * header->bitCount + 31) / 32) * 4;
    uint64_t height = header->height < 0 ? -int64_t(header->height) : header->height;
    uint64_t imageBytes = stride * height;
    if (headerBytes <= infoSize && imageBytes <= bitsSize) {
      BmpFileHeader file = {0x4D42, uint32_t(14 + headerBytes + imageBytes), 0, 0,
                            uint32_t(14 + headerBytes)};
      FILE *f = std::fopen(out, "wb");
      if (f) {
        ok = std::fwrite(&file, sizeof file, 1, f) == 1 &&
             std::fwrite(header, headerBytes, 1, f) == 1 &&
             (imageBytes == 0 || std::fwrite(bits, imageBytes, 1, f) == 1);
        ok = std::fclose(f) == 0 && ok;
      }
      std::printf("bitmap: %d x %d, %u bits, written to %s\n", header->width, header->height,
                  header->bitCount, out);
    } else {
      std::fprintf(stderr, "mqfhost: blocks smaller than their header says\n");
    }
  }
  if (header) LocalUnlock(infoHandle);
  if (bits) LocalUnlock(bitsHandle);
  return ok;
}

int CmdPicture(const Plugin &plugin, bool preview, const char *name, const char *out,
               const Options &options) {
  HLOCAL infoHandle = nullptr;
  HLOCAL bitsHandle = nullptr;
  GetPictureFn call = preview ? plugin.GetPreview : plugin.GetPicture;
  const char *callName = preview ? "GetPreview" : "GetPicture";
  std::vector<char> data;
  int32_t result;
  if (options.memory &&
      (!ReadWholeFile(name, &data) || static_cast<size_t>(options.offset) > data.size())) {
    std::fprintf(stderr, "mqfhost: cannot read %s\n", name);
    return 1;
  }
  /* The call alone is timed: not the process's start, nor the file's write. */
  const auto start = std::chrono::steady_clock::now();
  if (options.memory)
    result = call(data.data() + options.offset, static_cast<int32_t>(data.size() - options.offset),
                  1, &infoHandle, &bitsHandle, Progress, CallbackData(options));
  else
    result = call(const_cast<char *>(name), options.offset, 0, &infoHandle, &bitsHandle, Progress,
                  CallbackData(options));
  if (options.time)
    std::printf("%s: %.1f ms\n", callName,
                std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                    .count());
  bool written = result == 0 && infoHandle && bitsHandle && WriteBmp(infoHandle, bitsHandle, out);
  /* The blocks are the host's whatever the result. */
  if (infoHandle) LocalFree(infoHandle);
  if (bitsHandle) LocalFree(bitsHandle);
  if (result != 0) return Fail(callName, result);
  if (!written) {
    std::fprintf(stderr, "mqfhost: %s gave no usable bitmap\n", callName);
    return 1;
  }
  return 0;
}

int CmdConfig(const Plugin &plugin, int32_t function) {
  if (!plugin.ConfigurationDlg) {
    std::fprintf(stderr, "mqfhost: the plug-in has no ConfigurationDlg\n");
    return 1;
  }
  int32_t result = plugin.ConfigurationDlg(nullptr, function);
  if (result != 0) return Fail("ConfigurationDlg", result);
  std::printf("ConfigurationDlg %d: Success\n", function);
  return 0;
}

int Usage() {
  std::fprintf(stderr,
               "usage: mqfhost PLUGIN COMMAND [ARGS] [--memory] [--offset N] [--progress] "
               "[--abort-at P] [--japanese 0|1] [--reserve-largest MB] [--address-space] [--time]\n"
               "  info                     plug-in information, every index\n"
               "  supported FILE           format test with a file handle and a 2048-byte block\n"
               "  pictureinfo FILE         size, density, depth and text\n"
               "  picture FILE OUT.bmp     the full picture\n"
               "  preview FILE OUT.bmp     the preview\n"
               "  config N                 configuration dialog N (0 About, 1 settings)\n"
               "  --japanese 0|1           first record the viewer's language: 0 English, 1 Japanese\n"
               "  --reserve-largest MB     leave no free block larger, as a viewer's DLLs do\n"
               "  --address-space          report the free address space before and after loading, and at the end\n"
               "  --time                   print the picture or preview call's wall time (ms)\n");
  return 2;
}

}  // namespace

int main(int argc, char **argv) {
  std::vector<std::string> args;
  Options options;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--memory") {
      options.memory = true;
    } else if (a == "--progress") {
      options.progress = true;
    } else if (a == "--address-space") {
      options.addressSpace = true;
    } else if (a == "--time") {
      options.time = true;
    } else if ((a == "--offset" || a == "--abort-at" || a == "--japanese" ||
                a == "--reserve-largest") && i + 1 < argc) {
      long value = std::strtol(argv[++i], nullptr, 10);
      if (a == "--offset") options.offset = static_cast<int32_t>(value);
      else if (a == "--reserve-largest") options.reserveLargest = value;
      else if (a == "--abort-at") options.abortAt = static_cast<int>(value);
      else options.japanese = value != 0 ? 1 : 0;
    } else {
      args.push_back(a);
    }
  }
  if (args.size() < 2) return Usage();

  InitCommonControls();
  std::string pluginPath = AbsolutePath(args[0]);
  RecordPluginFolder(FolderOf(pluginPath));
  if (options.japanese >= 0 && !RecordLanguage(options.japanese)) {
    std::fprintf(stderr, "mqfhost: cannot record the viewer's language\n");
    return 1;
  }
  if (options.addressSpace) ReportAddressSpace("before loading");
  Plugin plugin;
  if (!LoadPlugin(pluginPath, &plugin)) return 1;
  if (options.addressSpace) ReportAddressSpace("after loading");
  if (options.reserveLargest > 0) ReserveAddressSpace(static_cast<size_t>(options.reserveLargest) << 20);

  const std::string &command = args[1];
  int status;
  if (command == "info" && args.size() == 2)
    status = CmdInfo(plugin);
  else if (command == "supported" && args.size() == 3)
    status = CmdSupported(plugin, args[2].c_str());
  else if (command == "pictureinfo" && args.size() == 3)
    status = CmdPictureInfo(plugin, args[2].c_str(), options);
  else if ((command == "picture" || command == "preview") && args.size() == 4)
    status = CmdPicture(plugin, command == "preview", args[2].c_str(), args[3].c_str(), options);
  else if (command == "config" && args.size() == 3)
    status = CmdConfig(plugin, static_cast<int32_t>(std::strtol(args[2].c_str(), nullptr, 10)));
  else
    status = Usage();

  if (options.addressSpace) ReportAddressSpace("after the command");
  std::fflush(stdout);
  FreeLibrary(plugin.module);
  return status;
}
