#pragma once
// Two copies of the game (two windows, two tabs of the page) share the player's files:
// one at a time reads hiscoa.sav and the kept replays, merges and writes them. On a
// desktop the lock is a file beside hiscoa.sav (hiscoa.sav.lock), held by the system for
// the process; in the page, a lock of the browser's, around which the stored files are
// read again before and stored after.

// Waits for the other copies (a few seconds at most: a copy that is stuck holding it does
// not stop this one; the save then goes on unlocked) and takes the lock. A copy that may
// not save, or has nowhere to keep the lock, goes on without.
void LockPlayerFiles();
// Lets the next copy in. Every LockPlayerFiles is followed by one of these.
void UnlockPlayerFiles();
