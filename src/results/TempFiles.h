#pragma once
// The temporary files a program has open beside their final names, listed so that a forced exit
// from a signal handler can remove them: a killed save leaves the previous files and no debris.

#include <cstddef>

// Lists path (copied) until forgettemp; returns its slot, or -1 when the path is too long or the
// list is full (the file is then merely not removed by a forced exit).
int remembertemp(const char* path);
// Takes the slot off the list; -1 is ignored.
void forgettemp(int slot);
// Unlinks every listed file. Async-signal-safe: only unlink(2) on fixed buffers.
void removetemps();

// The number of listed files (for tests).
size_t listedtemps();
