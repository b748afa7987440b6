/*
 * memory_layer.cpp - libjpeg's system-dependent memory manager, supplied by
 * us in place of the library's own: every allocation and release goes to the
 * process heap under AllocationLock.
 *
 * Virtual arrays (a progressive picture's coefficients) live in memory when
 * the process can still get them in pieces; otherwise the library keeps
 * them in temporary files, the backing store, one file per array, opened
 * without sharing and deleted when closed, however the request ends.
 *
 * These objects are linked before the library archive, so that the
 * library's own memory-layer member is never pulled in.
 */
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "base/jpeg.h"
#include "base/module_state.h"

extern "C" {
#include <jerror.h>
#include <jmemsys.h>
}

namespace {

/* The pieces in which free memory is counted: the library's largest
 * allocation (MAX_ALLOC_CHUNK in the libjpeg build scripts). */
constexpr size_t kPiece = size_t{16} << 20;
/* Pieces counted at most: 4 GB, more than a 32-bit process has. */
constexpr size_t kMostPieces = 256;
/* Left free beside the arrays, for the library's small blocks, the
 * colour conversion and the host. */
constexpr size_t kMargin = size_t{32} << 20;
/* Memory the arrays get at most when they do not all fit and the rest
 * goes to files. libjpeg then moves each array's whole extent through its
 * part in memory on every pass, however large that part is, so more of it
 * buys no time (the 600 MP progressive picture decodes as fast with 512 MB
 * as with 1.7 GB) and only takes the viewer's room. */
constexpr size_t kMostBesideFiles = size_t{512} << 20;
/* File offsets are a 32-bit long: one array's file stays below 2 GB. */
constexpr int64_t kLargestFile = 0x7FFFFFFF;

void *heapAllocate(size_t bytes) {
  EnterModuleLock(ModuleLock::Allocation);
  void *block = HeapAlloc(GetProcessHeap(), 0, bytes);
  LeaveModuleLock(ModuleLock::Allocation);
  return block;
}

void heapFree(void *block) {
  EnterModuleLock(ModuleLock::Allocation);
  HeapFree(GetProcessHeap(), 0, block);
  LeaveModuleLock(ModuleLock::Allocation);
}

/* How much of `wanted` bytes the process can get now in pieces: address
 * space for them is reserved and given back at once, nothing committed. */
size_t memoryInPieces(size_t wanted) {
  void *pieces[kMostPieces];
  size_t count = 0;
  while (count < kMostPieces && count * kPiece < wanted) {
    pieces[count] = VirtualAlloc(nullptr, kPiece, MEM_RESERVE, PAGE_NOACCESS);
    if (pieces[count] == nullptr) break;
    ++count;
  }
  for (size_t i = 0; i < count; ++i) VirtualFree(pieces[i], 0, MEM_RELEASE);
  return count * kPiece;
}

/* Whether the coefficients can go to files: each component's array within
 * one file's reach, and all of them within the temporary folder's free
 * space. Checked before any file is made. */
bool filesCanHold(j_decompress_ptr cinfo, size_t bytes) {
  for (int c = 0; c < cinfo->num_components; ++c) {
    const jpeg_component_info &component = cinfo->comp_info[c];
    const int64_t columns =
        (int64_t{component.width_in_blocks} + component.h_samp_factor - 1) / component.h_samp_factor *
        component.h_samp_factor;
    const int64_t rows =
        (int64_t{component.height_in_blocks} + component.v_samp_factor - 1) / component.v_samp_factor *
        component.v_samp_factor;
    if (columns * rows * int64_t{sizeof(JBLOCK)} > kLargestFile) return false;
  }
  char folder[MAX_PATH];
  const DWORD length = GetTempPathA(MAX_PATH, folder);
  ULARGE_INTEGER free;
  if (length == 0 || length >= MAX_PATH || !GetDiskFreeSpaceExA(folder, &free, nullptr, nullptr))
    return false;
  return free.QuadPart >= static_cast<unsigned long long>(bytes) + kMargin;
}

HANDLE fileOf(backing_store_ptr info) { return reinterpret_cast<HANDLE>(info->temp_file); }

/* Moves to `offset` and reads or writes `count` bytes; libjpeg's
 * out-of-memory error when the disk fails us. */
void transfer(j_common_ptr cinfo, backing_store_ptr info, void *buffer, long offset, long count,
              bool write) {
  HANDLE file = fileOf(info);
  if (SetFilePointer(file, offset, nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER)
    ERREXIT(cinfo, JERR_OUT_OF_MEMORY);
  auto *bytes = static_cast<uint8_t *>(buffer);
  while (count > 0) {
    DWORD done = 0;
    const BOOL ok = write ? WriteFile(file, bytes, static_cast<DWORD>(count), &done, nullptr)
                          : ReadFile(file, bytes, static_cast<DWORD>(count), &done, nullptr);
    if (!ok || done == 0) ERREXIT(cinfo, JERR_OUT_OF_MEMORY);
    bytes += done;
    count -= static_cast<long>(done);
  }
}

void readBackingStore(j_common_ptr cinfo, backing_store_ptr info, void *buffer, long offset,
                      long count) {
  transfer(cinfo, info, buffer, offset, count, false);
}

void writeBackingStore(j_common_ptr cinfo, backing_store_ptr info, void *buffer, long offset,
                       long count) {
  transfer(cinfo, info, buffer, offset, count, true);
}

/* Closing deletes the file (FILE_FLAG_DELETE_ON_CLOSE). */
void closeBackingStore(j_common_ptr, backing_store_ptr info) {
  CloseHandle(fileOf(info));
  info->temp_file = nullptr;
}

}  // namespace

extern "C" {

void *jpeg_get_small(j_common_ptr, size_t sizeofobject) { return heapAllocate(sizeofobject); }

void jpeg_free_small(j_common_ptr, void *object, size_t) { heapFree(object); }

void *jpeg_get_large(j_common_ptr, size_t sizeofobject) { return heapAllocate(sizeofobject); }

void jpeg_free_large(j_common_ptr, void *object, size_t) { heapFree(object); }

/* Asked once, before the virtual arrays are made: all of them when the
 * process can still get them in pieces beside a margin, else what it can
 * get up to kMostBesideFiles, the rest going to the backing store. A
 * picture whose arrays the files cannot hold either fails here, before any
 * file is made. */
size_t jpeg_mem_available(j_common_ptr cinfo, size_t, size_t max_bytes_needed, size_t) {
  const size_t wanted = max_bytes_needed > SIZE_MAX - kMargin ? SIZE_MAX : max_bytes_needed + kMargin;
  const size_t got = memoryInPieces(wanted);
  if (got >= wanted) return max_bytes_needed;
  if (!cinfo->is_decompressor ||
      !filesCanHold(reinterpret_cast<j_decompress_ptr>(cinfo), max_bytes_needed))
    ERREXIT(cinfo, JERR_OUT_OF_MEMORY);
  const size_t spare = got > kMargin ? got - kMargin : 0;
  return spare < kMostBesideFiles ? spare : kMostBesideFiles;
}

void jpeg_open_backing_store(j_common_ptr cinfo, backing_store_ptr info, long total_bytes_needed) {
  if (total_bytes_needed < 0 || int64_t{total_bytes_needed} > kLargestFile)
    ERREXIT(cinfo, JERR_OUT_OF_MEMORY);
  char folder[MAX_PATH], name[MAX_PATH];
  const DWORD length = GetTempPathA(MAX_PATH, folder);
  if (length == 0 || length >= MAX_PATH || GetTempFileNameA(folder, "mqf", 0, name) == 0)
    ERREXIT(cinfo, JERR_OUT_OF_MEMORY);
  HANDLE file = CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    DeleteFileA(name);
    ERREXIT(cinfo, JERR_OUT_OF_MEMORY);
  }
  info->temp_file = reinterpret_cast<FILE *>(file);
  /* The name only where it fits the record; the file needs none. */
  info->temp_name[0] = '\0';
  if (std::strlen(name) < sizeof info->temp_name) std::strcpy(info->temp_name, name);
  info->read_backing_store = readBackingStore;
  info->write_backing_store = writeBackingStore;
  info->close_backing_store = closeBackingStore;
}

long jpeg_mem_init(j_common_ptr) { return 0; }

void jpeg_mem_term(j_common_ptr) {}

}  // extern "C"
