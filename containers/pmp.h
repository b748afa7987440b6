/*
 * pmp.h - handlers of the PMP container (entry 2 of ContainerHandlers).
 */
#ifndef MOVRELA_PMP_H
#define MOVRELA_PMP_H

#include "containers/detect.h"

int pmpInfoHandler(const PluginSettings *settings, const uint8_t *headerBlock, PictureInfo *info);
int pmpPostProcessor(const PluginSettings *settings, const uint8_t *headerBlock,
                     BitmapHandles *bitmap);

#endif /* MOVRELA_PMP_H */
