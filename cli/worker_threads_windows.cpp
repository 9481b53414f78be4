#include "worker_threads.h"

#include <windows.h>

#include <new>

struct WorkerThread {
    HANDLE handle;
    void (*run)(void*);
    void* argument;
};

static DWORD WINAPI RunWorkerThread(LPVOID parameter)
{
    WorkerThread* thread = static_cast<WorkerThread*>(parameter);
    thread->run(thread->argument);
    return 0;
}

WorkerThread* StartWorkerThread(void (*run)(void*), void* argument)
{
    WorkerThread* thread = new (std::nothrow) WorkerThread{nullptr, run, argument};
    if (thread == nullptr)
        return nullptr;
    thread->handle = CreateThread(nullptr, 0, RunWorkerThread, thread, 0, nullptr);
    if (thread->handle == nullptr) {
        delete thread;
        return nullptr;
    }
    return thread;
}

void JoinWorkerThread(WorkerThread* thread)
{
    WaitForSingleObject(thread->handle, INFINITE);
    CloseHandle(thread->handle);
    delete thread;
}

int ProcessorCount()
{
    // The processors of this process's group: a process runs in one group unless it asks.
    SYSTEM_INFO system;
    GetSystemInfo(&system);
    return system.dwNumberOfProcessors > 0 ? static_cast<int>(system.dwNumberOfProcessors) : 1;
}
