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
    // The processors this process may run on, which a start with an affinity (start /affinity)
    // or a job object narrows.
    DWORD_PTR process = 0;
    DWORD_PTR system = 0;
    int count = 0;
    if (GetProcessAffinityMask(GetCurrentProcess(), &process, &system)) {
        for (; process != 0; process &= process - 1)
            ++count;
    }
    return count > 0 ? count : 1;
}
