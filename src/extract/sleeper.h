// sleeper.h - one thread's sleep until a test of atomics holds, and its
// waking by another thread.
//
// The sleeper marks itself asleep before its last test; the other side
// changes what is tested before it looks at the mark (all in the atomics'
// default, sequentially consistent order), so either the test sees the
// change or the waker sees the mark, and then takes the mutex, which the
// sleeper holds until it waits.  A thread that is not asleep costs the
// waker one load, and a thread with work to do never touches the mutex: a
// waking costs tens of microseconds on a virtual machine, where these
// threads hand over a piece every millisecond or so.
//
// (std::atomic's wait and notify would do the same, but under MinGW's
// runtime on Wine a notify was seen not to wake the waiter.)
#pragma once

#include <atomic>
#include <condition_variable>
#include <mutex>

namespace qm {

class Sleeper {
public:
    // Returns once ready() holds: at once when it does, else after sleeping
    // until a Wake.  ready reads atomics only (it may run under the mutex).
    template <typename Ready>
    void SleepUntil(Ready ready)
    {
        if (ready())
            return;
        std::unique_lock<std::mutex> lock(mutex_);
        asleep_.store(true);
        while (!ready())
            wake_.wait(lock);
        asleep_.store(false);
    }
    // Called after a change that may make the sleeper's test hold.
    void Wake()
    {
        if (!asleep_.load())
            return;
        // Once the mutex is had, the sleeper waits (or has seen the
        // change); the notify comes after it is let go, so the woken
        // thread does not wake into a mutex still held.
        { std::lock_guard<std::mutex> lock(mutex_); }
        wake_.notify_one();
    }

private:
    std::mutex mutex_;
    std::condition_variable wake_;
    std::atomic<bool> asleep_{false};
};

}  // namespace qm
