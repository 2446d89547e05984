// worker_thread.cpp - WorkerThread: the first processor chosen on Linux
// through the thread's affinity, a plain std::thread elsewhere.
#include "quill/worker_thread.h"

#include <utility>
#include <vector>

#ifdef __linux__
#include <pthread.h>
#include <sched.h>
#endif

namespace quill {

#ifdef __linux__
namespace {

// The processors this process may run on, or an empty list where there is
// only one or the system will not say.
std::vector<int> AllowedProcessors(cpu_set_t *allowed)
{
    std::vector<int> list;
    CPU_ZERO(allowed);
    if (sched_getaffinity(0, sizeof *allowed, allowed) != 0)
        return list;
    for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu)
        if (CPU_ISSET(cpu, allowed))
            list.push_back(cpu);
    if (list.size() < 2)
        list.clear();
    return list;
}

}  // namespace
#endif

WorkerThread::WorkerThread(unsigned index, std::function<void()> body)
{
#ifdef __linux__
    cpu_set_t allowed;
    const std::vector<int> processors = AllowedProcessors(&allowed);
    const int here = sched_getcpu();
    std::vector<int> others;
    for (int cpu : processors)
        if (cpu != here)
            others.push_back(cpu);
    if (!others.empty()) {
        // Bound before it can run: the thread waits, unscheduled, until the
        // binding is in place, then frees itself.  The binding is made from
        // this side, so a failure (the set of processors changed meanwhile)
        // only leaves the thread where Linux put it.
        auto bound = std::make_shared<std::atomic<bool>>(false);
        thread_ = std::thread([body = std::move(body), allowed, bound]() mutable {
            while (!bound->load(std::memory_order_acquire))
                std::this_thread::yield();
            pthread_setaffinity_np(pthread_self(), sizeof allowed, &allowed);
            body();
        });
        cpu_set_t first;
        CPU_ZERO(&first);
        CPU_SET(others[index % others.size()], &first);
        pthread_setaffinity_np(thread_.native_handle(), sizeof first, &first);
        bound->store(true, std::memory_order_release);
        return;
    }
#else
    (void)index;
#endif
    thread_ = std::thread(std::move(body));
}

WorkerThread::WorkerThread(WorkerThread &&other) noexcept : thread_(std::move(other.thread_)) {}

WorkerThread::~WorkerThread() { Join(); }

void WorkerThread::Join()
{
    if (thread_.joinable())
        thread_.join();
}

}  // namespace quill
