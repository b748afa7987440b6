/*
 * j6i.cpp - handlers of the J6I container.
 */
#include "containers/j6i.h"

/* Placeholder: the real handler comes with J6I support. */
int j6iInfoHandler(const PluginSettings *, const uint8_t *, PictureInfo *) { return 0; }

/* Placeholder: the real handler comes with J6I support. */
int j6iPostProcessor(const PluginSettings *, const uint8_t *, BitmapHandles *) { return 0; }
