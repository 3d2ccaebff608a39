// The thread seam: starting the worker thread, waiting for it, and ending it
// at process end.
// Thread safety: a thread record is started, waited for and released by one
// controlling thread; WaitThreadEnd may run while the thread itself runs.
//
// Windows: CreateThread / WaitForSingleObject / TerminateThread.
// Linux: std::thread with a completion flag. A running thread cannot be ended
// safely from outside on Linux, so there the forced end ends the whole process
// at once (_exit), before any destructor could run beneath the thread.
#pragma once

#include <cstdint>

namespace platform {

// The routine of a thread: one pointer argument, a 32-bit exit code.
typedef uint32_t (*ThreadRoutine)(void* pArg);

// One started thread; the record belongs to the side of the build.
struct SThreadRecord;
typedef SThreadRecord* ThreadHandle;

// Starts pfnRoutine(pArg) on a new thread at once; nullptr when no thread
// could be made.
ThreadHandle StartThread(ThreadRoutine pfnRoutine, void* pArg);

// True when the thread has returned from its routine (or has been ended),
// waiting at most nMs milliseconds of real time for that.
bool WaitThreadEnd(ThreadHandle hThread, uint32_t nMs);

// Ends a thread that is still running. Windows: TerminateThread with exit
// code 0, then waits until it is gone. Linux: flushes the C streams and ends
// the process with _exit(nExitStatus); it does not return.
void EndThreadForcibly(ThreadHandle hThread, int nExitStatus);

// Frees the record of a thread that has ended (joins it on Linux).
void ReleaseThread(ThreadHandle hThread);

// Calls pfnHandler once when the process ends normally (main returns or
// exit() is called), before the destructors of the objects built so far.
// The handler gets the process's exit status where the platform tells it
// (Linux), else 0.
void CallAtProcessEnd(void (*pfnHandler)(int nExitStatus));

}  // namespace platform
