/*
 * display_profile.h - the display's ICC profile, as the system names it
 * for the screen (the plug-in has no window of its own).
 *
 * The profile is read only from a regular file on a disk: a path that names
 * a device (\\.\..., \\?\...), a folder, a reparse point, a file whose data
 * is not on the disk (offline, recalled on access) or, once opened, anything
 * but a disk file (a pipe, a console, a port) counts as no profile, so that
 * a request never waits on what such a name leads to.
 *
 * Two steps, so that a caller can keep what it made of the profile while the
 * file stays as it was:
 *
 *   DisplayProfileIdentity now;
 *   if (!queryDisplayProfile(&now)) ...no display profile: use sRGB...
 *   else if (kept && sameDisplayProfile(now, keptIdentity)) ...reuse...
 *   else if (readDisplayProfileAs(now, &profile)) ...make anew, keep `now`...
 *   else ...the file changed or went away since the query: no profile...
 *
 * queryDisplayProfile opens the file but reads none of its bytes;
 * readDisplayProfileAs reads them only while the file still has the size
 * and time written of the identity it is given, before and after the read.
 */
#ifndef MOVRELA_DISPLAY_PROFILE_H
#define MOVRELA_DISPLAY_PROFILE_H

#include <cstdint>

struct DisplayProfile {
  uint8_t *bytes; /* the file's bytes, or null when none can be had */
  uint32_t size;
};

/* Longest path of a display profile, with its terminating zero (MAX_PATH). */
constexpr uint32_t kDisplayProfilePath = 260;

/* One version of the display's profile file. Equal identities (by
 * sameDisplayProfile) name the same path, of the same size, written at the
 * same time: the same bytes, unless the file was rewritten within the time
 * stamp's resolution and kept its size and time. */
struct DisplayProfileIdentity {
  char path[kDisplayProfilePath]; /* as the system names it, zero-terminated */
  uint32_t size;                  /* in bytes: 1 to kLargestDisplayProfile */
  uint64_t written;               /* time last written, in the system's ticks */
};

/* Largest display profile read; real ones are a few KB to a few hundred. */
constexpr uint32_t kLargestDisplayProfile = 4u << 20;

/* The identity of the display's profile file, or false when there is none to
 * read: no display, no profile named, a path that is no regular disk file, a
 * file that cannot be opened, is empty or is larger than
 * kLargestDisplayProfile. Reads none of the file's bytes. */
bool queryDisplayProfile(DisplayProfileIdentity *identity);

/* True when `a` and `b` name the same version of the same file. */
bool sameDisplayProfile(const DisplayProfileIdentity &a, const DisplayProfileIdentity &b);

/* Fills `profile` with the bytes of the file `identity` names, or leaves it
 * empty and returns false: the path is no longer a regular disk file, or its
 * size or time written differ from the identity's, before or after the read,
 * or the read fails. Free the bytes with freeDisplayProfile. */
bool readDisplayProfileAs(const DisplayProfileIdentity &identity, DisplayProfile *profile);

void freeDisplayProfile(DisplayProfile *profile);

#endif /* MOVRELA_DISPLAY_PROFILE_H */
