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
 * - StandinFailLocalAllocAt counts LocalAlloc calls only.
 */
#include "internal.h"

#include <atomic>

#include <cstdlib>
#include <cstring>
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

}  // namespace

HLOCAL LocalAlloc(UINT flags, SIZE_T bytes) {
  std::lock_guard<std::mutex> lock(g_localMutex);
  if (g_failCountdown > 0 && --g_failCountdown == 0) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  if (bytes > kLargestBlock) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  void *data = Allocate(bytes, (flags & LMEM_ZEROINIT) != 0);
  if (!data) {
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
    r->size = bytes;
    return mem;
  }
  if (!mayMove) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  void *grown = std::realloc(r->data, bytes);
  if (!grown) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
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
  void *p = bytes > kLargestBlock ? nullptr : Allocate(bytes, (flags & HEAP_ZERO_MEMORY) != 0);
  if (!p) SetLastError(ERROR_NOT_ENOUGH_MEMORY);
  else g_allocatedBytes += static_cast<long long>(bytes);
  return p;
}

extern "C" long long StandinAllocatedBytes(void) { return g_allocatedBytes.load(); }

BOOL HeapFree(HANDLE heap, DWORD flags, LPVOID mem) {
  (void)flags;
  if (heap != &g_processHeap) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
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

extern "C" void StandinFailHeapAllocAt(long n) { g_heapFailCountdown = n > 0 ? n : 0; }

extern "C" void StandinFailLocalAllocAt(long n) {
  std::lock_guard<std::mutex> lock(g_localMutex);
  g_failCountdown = n > 0 ? n : 0;
}
