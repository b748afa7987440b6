/*
 * pmp.cpp - handlers of the PMP container.
 */
#include "containers/pmp.h"

/* Placeholder: the real handler comes with PMP support. */
int pmpInfoHandler(const PluginSettings *, const uint8_t *, PictureInfo *) { return 0; }

/* Placeholder: the real handler comes with PMP support. */
int pmpPostProcessor(const PluginSettings *, const uint8_t *, BitmapHandles *) { return 0; }
