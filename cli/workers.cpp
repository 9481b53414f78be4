#include "workers.h"

#include "worker_threads.h"

#include <atomic>
#include <memory>
#include <vector>

namespace {

// What the workers of one batch share: the next index nobody has taken, and which conversions
// have returned.
struct SharedBatch {
    std::size_t count;
    const std::function<void(std::size_t)>* convert;
    std::atomic<std::size_t> next;
    std::unique_ptr<std::atomic<bool>[]> done;
};

// Converts the next file that no worker has taken. Returns false when none is left.
bool ConvertNext(SharedBatch& batch)
{
    const std::size_t index = batch.next.fetch_add(1);
    if (index >= batch.count)
        return false;
    (*batch.convert)(index);
    // Release: what convert wrote is seen by the thread that reads done[index] as set.
    batch.done[index].store(true, std::memory_order_release);
    return true;
}

void RunWorker(void* batch)
{
    while (ConvertNext(*static_cast<SharedBatch*>(batch))) {
    }
}

} // namespace

void ConvertInOrder(std::size_t count, int workers, const std::function<void(std::size_t)>& convert,
                    const std::function<void(std::size_t)>& take)
{
    SharedBatch batch;
    batch.count = count;
    batch.convert = &convert;
    batch.next = 0;
    batch.done.reset(new std::atomic<bool>[count]);
    for (std::size_t index = 0; index < count; ++index)
        batch.done[index] = false;
    std::vector<WorkerThread*> threads;
    for (int worker = 1; worker < workers; ++worker) {
        WorkerThread* thread = StartWorkerThread(RunWorker, &batch);
        if (thread == nullptr)
            break;
        threads.push_back(thread);
    }
    std::size_t taken = 0;
    do {
        while (taken < count && batch.done[taken].load(std::memory_order_acquire))
            take(taken++);
    } while (ConvertNext(batch));
    for (WorkerThread* thread : threads)
        JoinWorkerThread(thread);
    while (taken < count)
        take(taken++);
}
