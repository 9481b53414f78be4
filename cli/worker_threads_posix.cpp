#include "worker_threads.h"

#include <new>
#ifdef __linux__
#include <sched.h>
#endif
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
    // The processors this process may run on (taskset, cgroups' cpusets), not all the machine's.
#ifdef __linux__
    cpu_set_t allowed;
    if (sched_getaffinity(0, sizeof allowed, &allowed) == 0 && CPU_COUNT(&allowed) > 0)
        return CPU_COUNT(&allowed);
#endif
    const unsigned count = std::thread::hardware_concurrency();
    return count > 0 ? static_cast<int>(count) : 1;
}
