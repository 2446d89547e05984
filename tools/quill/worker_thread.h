// worker_thread.h - a thread of quill's own, started on a processor other
// than its creator's.
//
// Linux puts a new thread on the processor of the thread that made it.
// While the maker keeps that processor busy (quill scan's calling thread
// goes straight to work), the new thread waits for the maker's time slice
// to end or for the load balancer to move it: 1.5 to 4 ms on a 2-core
// virtual machine, against 0.1 to 0.2 ms when it starts on the idle
// processor, and a tenth of the time of a scan of 10,000 small files.  So
// the thread is made bound to one other processor the process may use, and
// once it runs there it frees itself to all of them again: only its first
// place is chosen, the scheduler moves it afterwards as it would any thread.
// Elsewhere it is a plain std::thread.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <thread>

namespace quill {

class WorkerThread {
public:
    // Starts body; `index` spreads several workers over the other processors.
    WorkerThread(unsigned index, std::function<void()> body);
    WorkerThread(const WorkerThread &) = delete;
    WorkerThread &operator=(const WorkerThread &) = delete;
    WorkerThread(WorkerThread &&) noexcept;
    WorkerThread &operator=(WorkerThread &&) = delete;
    ~WorkerThread();  // joins

    void Join();

private:
    std::thread thread_;
};

}  // namespace quill
