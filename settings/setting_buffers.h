/*
 * setting_buffers.h - the sizes of the buffers that settings are read
 * through, shared by the store and its watch.
 */
#ifndef MOVRELA_SETTING_BUFFERS_H
#define MOVRELA_SETTING_BUFFERS_H

/* A text destination of ReadSetting is a work buffer of this many bytes. */
constexpr int kSettingTextBuffer = 1024;
/* Key paths and value names are loaded from the string table into buffers of
 * this size. */
constexpr int kSettingNameBuffer = 260;

#endif /* MOVRELA_SETTING_BUFFERS_H */
