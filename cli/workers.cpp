#include "workers.h"

#include "worker_threads.h"

#include <algorithm>
#include <atomic>
#include <memory>
#include <vector>

namespace {

// The most files a worker takes at once. Files that follow each other mostly share a folder, and
// two workers creating and renaming files in one folder wait for its lock: taking runs of 16 (a
// folder of a game's models holds a dozen or so) cut the time spent spinning on that lock to a
// sixth on the benchmark's tree.
constexpr std::size_t kMaxRun = 16;

// What the workers of one batch share: the next index nobody has taken, how many files a worker
// takes at once, and which conversions have returned.
struct SharedBatch {
    std::size_t count;
    std::size_t run;
    const std::function<void(std::size_t)>* convert;
    std::atomic<std::size_t> next;
    std::unique_ptr<std::atomic<bool>[]> done;
};

// Converts the next run of files that no worker has taken. Returns false when none is left.
bool ConvertNext(SharedBatch& batch)
{
    const std::size_t first = batch.next.fetch_add(batch.run);
    if (first >= batch.count)
        return false;
    for (std::size_t index = first; index < first + batch.run && index < batch.count; ++index) {
        (*batch.convert)(index);
        // Release: what convert wrote is seen by the thread that reads done[index] as set.
        batch.done[index].store(true, std::memory_order_release);
    }
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
    // Short runs where there are few files, so that every worker gets some.
    const std::size_t perWorker = count / (8 * static_cast<std::size_t>(std::max(workers, 1)));
    batch.run = std::max<std::size_t>(1, std::min(kMaxRun, perWorker));
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
