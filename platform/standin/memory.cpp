/*
 * memory.cpp - local memory (LocalAlloc family) and the process heap.
 *
 * Every live block has a record in one table, keyed by the value LocalAlloc
 * returned: for LMEM_FIXED the data pointer itself, for LMEM_MOVEABLE the
 * address of the record (a handle that is not the data pointer). Any other
 * value is refused with ERROR_INVALID_HANDLE, never dereferenced.
 *
 * Choices where Win32 leaves room:
 * - a 0-byte block (fixed or moveable) gets a 1-byte buffer: LocalLock gives
 *   a valid pointer (not Win32's NULL for a discarded block), LocalSize 0;
 * - LocalReAlloc moves a block only when it may: an unlocked moveable block
 *   always, a fixed or locked block only with LMEM_MOVEABLE in the flags
 *   (otherwise only shrinking works, in place, as Win32's in-place rule);
 * - requests above 0x7FFFFFFF bytes fail (a 32-bit process has no more);
 * - StandinFailLocalAllocAt counts LocalAlloc calls only;
 * - StandinLimitAddressSpace refuses LocalAlloc and HeapAlloc blocks above
 *   a size, and any block that would take the live bytes of both above a
 *   total, as a 32-bit process's fragmented address space does.
 */
#include "internal.h"

#include <atomic>

#include <cstdlib>
#include <cstring>
#include <malloc.h>
#include <sys/mman.h>
#include <mutex>
#include <unordered_map>

namespace {

struct LocalRecord {
  void *data;
  SIZE_T size; /* as requested */
  unsigned lockCount;
  bool moveable;
};

constexpr SIZE_T kLargestBlock = 0x7FFFFFFF;
constexpr unsigned kMaxLockCount = LMEM_LOCKCOUNT;

std::mutex g_localMutex;
std::unordered_map<void *, LocalRecord *> g_blocks;
long g_failCountdown = 0;

LocalRecord *Find(HLOCAL mem) {
  auto it = g_blocks.find(mem);
  return it == g_blocks.end() ? nullptr : it->second;
}

void *Allocate(SIZE_T bytes, bool zero) {
  size_t n = bytes ? bytes : 1;
  return zero ? std::calloc(n, 1) : std::malloc(n);
}

int g_processHeap;

/* Bytes handed out by LocalAlloc and HeapAlloc since the process began. */
std::atomic<long long> g_allocatedBytes(0);

/* The address-space limits; 0: none. Live bytes count only while a total
 * is set. */
std::atomic<size_t> g_largestBlock(0);
std::atomic<size_t> g_totalLimit(0);
std::atomic<long long> g_liveBytes(0);

/* Whether a block of `bytes` may be had now; when it may, it is counted. */
bool TakeAddressSpace(size_t bytes) {
  const size_t largest = g_largestBlock.load();
  if (largest != 0 && bytes > largest) return false;
  const size_t total = g_totalLimit.load();
  if (total == 0) return true;
  if (g_liveBytes.fetch_add(static_cast<long long>(bytes)) + static_cast<long long>(bytes) <=
      static_cast<long long>(total))
    return true;
  g_liveBytes -= static_cast<long long>(bytes);
  return false;
}

void GiveAddressSpace(size_t bytes) {
  if (g_totalLimit.load() != 0) g_liveBytes -= static_cast<long long>(bytes);
}

}  // namespace

HLOCAL LocalAlloc(UINT flags, SIZE_T bytes) {
  std::lock_guard<std::mutex> lock(g_localMutex);
  if (g_failCountdown > 0 && --g_failCountdown == 0) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  if (bytes > kLargestBlock || !TakeAddressSpace(bytes)) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  void *data = Allocate(bytes, (flags & LMEM_ZEROINIT) != 0);
  if (!data) {
    GiveAddressSpace(bytes);
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  g_allocatedBytes += static_cast<long long>(bytes);
  auto *record = new LocalRecord{data, bytes, 0, (flags & LMEM_MOVEABLE) != 0};
  HLOCAL handle = record->moveable ? static_cast<HLOCAL>(record) : data;
  g_blocks.emplace(handle, record);
  return handle;
}

HLOCAL LocalReAlloc(HLOCAL mem, SIZE_T bytes, UINT flags) {
  std::lock_guard<std::mutex> lock(g_localMutex);
  LocalRecord *r = Find(mem);
  if (!r) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  if (flags & LMEM_MODIFY) return mem; /* attribute changes: nothing to do */
  if (bytes > kLargestBlock) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  bool mayMove = (flags & LMEM_MOVEABLE) || (r->moveable && r->lockCount == 0);
  if (bytes <= r->size) {
    /* Shrinking stays in place. */
    GiveAddressSpace(r->size - bytes);
    r->size = bytes;
    return mem;
  }
  if (!mayMove) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  if (!TakeAddressSpace(bytes)) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  void *grown = std::realloc(r->data, bytes);
  if (!grown) {
    GiveAddressSpace(bytes);
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  GiveAddressSpace(r->size);
  if (flags & LMEM_ZEROINIT) std::memset(static_cast<char *>(grown) + r->size, 0, bytes - r->size);
  r->data = grown;
  r->size = bytes;
  if (r->moveable) return mem;
  g_blocks.erase(mem);
  g_blocks.emplace(grown, r);
  return grown;
}

LPVOID LocalLock(HLOCAL mem) {
  std::lock_guard<std::mutex> lock(g_localMutex);
  LocalRecord *r = Find(mem);
  if (!r) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  if (r->moveable && r->lockCount < kMaxLockCount) ++r->lockCount;
  return r->data;
}

BOOL LocalUnlock(HLOCAL mem) {
  std::lock_guard<std::mutex> lock(g_localMutex);
  LocalRecord *r = Find(mem);
  if (!r) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (!r->moveable || r->lockCount == 0) {
    SetLastError(ERROR_NOT_LOCKED);
    return FALSE;
  }
  if (--r->lockCount > 0) return TRUE;
  SetLastError(NO_ERROR);
  return FALSE;
}

HLOCAL LocalFree(HLOCAL mem) {
  if (!mem) return nullptr;
  std::lock_guard<std::mutex> lock(g_localMutex);
  auto it = g_blocks.find(mem);
  if (it == g_blocks.end()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return mem;
  }
  LocalRecord *r = it->second;
  g_blocks.erase(it);
  GiveAddressSpace(r->size);
  std::free(r->data); /* Win32 frees locked blocks too */
  delete r;
  return nullptr;
}

SIZE_T LocalSize(HLOCAL mem) {
  std::lock_guard<std::mutex> lock(g_localMutex);
  LocalRecord *r = Find(mem);
  if (!r) {
    SetLastError(ERROR_INVALID_HANDLE);
    return 0;
  }
  return r->size;
}

UINT LocalFlags(HLOCAL mem) {
  std::lock_guard<std::mutex> lock(g_localMutex);
  LocalRecord *r = Find(mem);
  if (!r) {
    SetLastError(ERROR_INVALID_HANDLE);
    return LMEM_INVALID_HANDLE;
  }
  return r->lockCount & LMEM_LOCKCOUNT;
}

HANDLE GetProcessHeap(void) { return &g_processHeap; }

std::atomic<long> g_heapFailCountdown(0);

LPVOID HeapAlloc(HANDLE heap, DWORD flags, SIZE_T bytes) {
  if (heap != &g_processHeap) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  long countdown = g_heapFailCountdown.load();
  while (countdown > 0 && !g_heapFailCountdown.compare_exchange_weak(countdown, countdown - 1)) {
  }
  if (countdown == 1) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  if (bytes > kLargestBlock || !TakeAddressSpace(bytes)) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  void *p = Allocate(bytes, (flags & HEAP_ZERO_MEMORY) != 0);
  GiveAddressSpace(bytes);
  if (!p) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  /* Counted from here on by the size the C library keeps, which HeapFree
   * can read. */
  if (g_totalLimit.load() != 0) g_liveBytes += static_cast<long long>(malloc_usable_size(p));
  g_allocatedBytes += static_cast<long long>(bytes);
  return p;
}

extern "C" long long StandinAllocatedBytes(void) { return g_allocatedBytes.load(); }

BOOL HeapFree(HANDLE heap, DWORD flags, LPVOID mem) {
  (void)flags;
  if (heap != &g_processHeap) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (mem) GiveAddressSpace(malloc_usable_size(mem));
  std::free(mem);
  return TRUE;
}

extern "C" long StandinLiveLocalBlocks(void) {
  std::lock_guard<std::mutex> lock(g_localMutex);
  return static_cast<long>(g_blocks.size());
}

extern "C" int StandinLocalLockCount(HLOCAL mem) {
  std::lock_guard<std::mutex> lock(g_localMutex);
  LocalRecord *r = Find(mem);
  return r ? static_cast<int>(r->lockCount) : -1;
}

/* Reservations only: address space without pages, under the same limits
 * as the blocks. */
namespace {
std::mutex g_reserveMutex;
std::unordered_map<void *, size_t> g_reservations;
}  // namespace

LPVOID VirtualAlloc(LPVOID address, SIZE_T bytes, DWORD type, DWORD protect) {
  if (address != nullptr || type != MEM_RESERVE || protect != PAGE_NOACCESS || bytes == 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  if (!TakeAddressSpace(bytes)) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  void *base = ::mmap(nullptr, bytes, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  if (base == MAP_FAILED) {
    GiveAddressSpace(bytes);
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  std::lock_guard<std::mutex> lock(g_reserveMutex);
  g_reservations.emplace(base, bytes);
  return base;
}

BOOL VirtualFree(LPVOID address, SIZE_T bytes, DWORD type) {
  std::lock_guard<std::mutex> lock(g_reserveMutex);
  auto it = g_reservations.find(address);
  if (it == g_reservations.end() || bytes != 0 || type != MEM_RELEASE) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  ::munmap(address, it->second);
  GiveAddressSpace(it->second);
  g_reservations.erase(it);
  return TRUE;
}

extern "C" void StandinLimitAddressSpace(size_t largestBlock, size_t total) {
  g_liveBytes = 0;
  g_largestBlock = largestBlock;
  g_totalLimit = total;
}

extern "C" void StandinFailHeapAllocAt(long n) { g_heapFailCountdown = n > 0 ? n : 0; }

extern "C" void StandinFailLocalAllocAt(long n) {
  std::lock_guard<std::mutex> lock(g_localMutex);
  g_failCountdown = n > 0 ? n : 0;
}
