#pragma once

// The few thread calls of the batch workers, behind one small interface: the POSIX build uses the
// standard library's threads; the Windows build calls the system directly, since the MinGW
// toolchains without POSIX threads have no std::thread.

struct WorkerThread;

// Starts run(argument) on a new thread. Returns null when no thread can be started.
WorkerThread* StartWorkerThread(void (*run)(void*), void* argument);

// Waits until the thread has ended and releases it.
void JoinWorkerThread(WorkerThread* thread);

// The processors this process may run on; at least 1.
int ProcessorCount();
