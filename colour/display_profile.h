/*
 * display_profile.h - the display's ICC profile, as the system names it
 * for the screen (the plug-in has no window of its own), read afresh at
 * each request that converts to it.
 */
#ifndef MOVRELA_DISPLAY_PROFILE_H
#define MOVRELA_DISPLAY_PROFILE_H

#include <cstdint>

struct DisplayProfile {
  uint8_t *bytes; /* the file's bytes, or null when none can be had */
  uint32_t size;
};

/* Largest display profile read; real ones are a few KB to a few hundred. */
constexpr uint32_t kLargestDisplayProfile = 4u << 20;

/* Fills `profile` with the display's profile file, or leaves it empty: no
 * display, no profile named, a file that cannot be read or is larger than
 * kLargestDisplayProfile. */
void readDisplayProfile(DisplayProfile *profile);
void freeDisplayProfile(DisplayProfile *profile);

#endif /* MOVRELA_DISPLAY_PROFILE_H */
