#include "worker_threads.h"

#include <new>
#include <system_error>
#include <thread>

struct WorkerThread {
    std::thread thread;
};

WorkerThread* StartWorkerThread(void (*run)(void*), void* argument)
{
    WorkerThread* worker = new (std::nothrow) WorkerThread;
    if (worker == nullptr)
        return nullptr;
    try {
        worker->thread = std::thread(run, argument);
    } catch (const std::system_error&) {
        delete worker;
        return nullptr;
    }
    return worker;
}

void JoinWorkerThread(WorkerThread* thread)
{
    thread->thread.join();
    delete thread;
}

int ProcessorCount()
{
    const unsigned count = std::thread::hardware_concurrency();
    return count > 0 ? static_cast<int>(count) : 1;
}
