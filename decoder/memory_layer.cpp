/*
 * memory_layer.cpp - libjpeg's system-dependent memory manager, supplied by
 * us in place of the library's own: every allocation and release goes to the
 * process heap under AllocationLock, and virtual arrays always live wholly
 * in memory (there is no backing store).
 *
 * These objects are linked before the library archive, so that the
 * library's own memory-layer member is never pulled in.
 */
#include "base/jpeg.h"
#include "base/module_state.h"

extern "C" {
#include <jerror.h>
}

/* The library's memory-layer interface (its jmemsys.h, not installed). */
struct backing_store_struct;
typedef struct backing_store_struct *backing_store_ptr;

namespace {

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

}  // namespace

extern "C" {

void *jpeg_get_small(j_common_ptr, size_t sizeofobject) { return heapAllocate(sizeofobject); }

void jpeg_free_small(j_common_ptr, void *object, size_t) { heapFree(object); }

void *jpeg_get_large(j_common_ptr, size_t sizeofobject) { return heapAllocate(sizeofobject); }

void jpeg_free_large(j_common_ptr, void *object, size_t) { heapFree(object); }

/* As much as the library asks for: virtual arrays stay in memory. */
size_t jpeg_mem_available(j_common_ptr, size_t, size_t max_bytes_needed, size_t) {
  return max_bytes_needed;
}

void jpeg_open_backing_store(j_common_ptr cinfo, backing_store_ptr, long) {
  ERREXIT(cinfo, JERR_NO_BACKING_STORE);
}

long jpeg_mem_init(j_common_ptr) { return 0; }

void jpeg_mem_term(j_common_ptr) {}

}  // extern "C"
