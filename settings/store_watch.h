/*
 * store_watch.h - registry change notifications on the keys the settings
 * are read from, so that a call learns with one kernel call whether
 * anything it might read has changed since the store was last read.
 *
 * A key that does not exist is watched through its nearest existing
 * parent, which reports the creation of the next key on the way. The
 * parent of every watched key is watched too: not every platform reports
 * a key's deletion to the key's own watchers. All notifications set one
 * manual-reset event.
 */
#ifndef MOVRELA_STORE_WATCH_H
#define MOVRELA_STORE_WATCH_H

#include "platform.h"

/* The settings groups' keys and the host's two, with room to spare. */
constexpr int kMaxWatchedPaths = 8;
constexpr int kMaxWatchedKeys = 2 * kMaxWatchedPaths; /* a key and its parent per path */

struct StoreWatch {
  HANDLE event;                 /* set by every notification; null until first armed */
  HKEY keys[kMaxWatchedKeys];   /* open keys with a notification registered */
  int keyCount;
  bool unavailable;             /* notifications cannot be had here */
};

/* Closes the watch's keys and registers fresh notifications for the keys
 * `paths` (below HKEY_CURRENT_USER) name, before the caller reads them. True
 * when the watch is complete: no change under the paths goes unreported
 * from now on. False when it is not (a key appeared or vanished meanwhile,
 * a key cannot be opened, notifications are unavailable): whatever is read
 * now is good for this call only. */
bool ArmStoreWatch(StoreWatch *watch, const char *const *paths, int count);

/* True when a notification has arrived since the watch was armed. */
bool StoreWatchFired(const StoreWatch *watch);

/* Closes the keys and the event. */
void CloseStoreWatch(StoreWatch *watch);

#endif /* MOVRELA_STORE_WATCH_H */
