// Waits on the window thread that still let other threads' SendMessage calls through. The workers
// update windows with SendMessage, so a window thread blocked in a plain wait for a worker would
// deadlock with it; posted messages (input, timers) stay queued until the wait ends.
#pragma once

#include <windows.h>

namespace quenlet {

// Waits until handle is signalled or limitMs passed. True when signalled.
bool waitHandlingSentMessages(HANDLE handle, DWORD limitMs);

// Pauses for durationMs.
void pauseHandlingSentMessages(DWORD durationMs);

}  // namespace quenlet
