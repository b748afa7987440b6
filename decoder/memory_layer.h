/*
 * memory_layer.h - the entries of libjpeg's memory layer that our own code
 * calls too (for the copy of the Exif segment). They are ours
 * (memory_layer.cpp): process heap under AllocationLock.
 */
#ifndef MOVRELA_MEMORY_LAYER_H
#define MOVRELA_MEMORY_LAYER_H

#include "base/jpeg.h"

extern "C" {
void *jpeg_get_small(j_common_ptr cinfo, size_t sizeofobject);
void jpeg_free_small(j_common_ptr cinfo, void *object, size_t sizeofobject);
}

#endif /* MOVRELA_MEMORY_LAYER_H */
