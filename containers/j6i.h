/*
 * j6i.h - handlers of the J6I container (entry 1 of ContainerHandlers).
 */
#ifndef MOVRELA_J6I_H
#define MOVRELA_J6I_H

#include "containers/detect.h"

int j6iInfoHandler(const PluginSettings *settings, const uint8_t *headerBlock, PictureInfo *info);
int j6iPostProcessor(const PluginSettings *settings, const uint8_t *headerBlock,
                     BitmapHandles *bitmap);

#endif /* MOVRELA_J6I_H */
