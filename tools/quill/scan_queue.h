// scan_queue.h - the files of "quill scan" on their way from the walk to
// the workers, each with its place in the walk's order.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <optional>
#include <utility>

#include "quill/scan_walk.h"

namespace quill {

class ScanQueue {
public:
    using Item = std::pair<std::size_t, ScanTarget>;

    // Adds a file; the walk numbers them from 0.
    void Push(ScanTarget target)
    {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            items_.emplace_back(pushed_++, std::move(target));
        }
        ready_.notify_one();
    }

    // No more files will come.
    void Close()
    {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            closed_ = true;
        }
        ready_.notify_all();
    }

    // The next file, or nothing once the queue is closed and empty.
    std::optional<Item> Pop()
    {
        std::unique_lock<std::mutex> lock(mutex_);
        ready_.wait(lock, [this] { return !items_.empty() || closed_; });
        if (items_.empty())
            return std::nullopt;
        Item item = std::move(items_.front());
        items_.pop_front();
        return item;
    }

private:
    std::mutex mutex_;
    std::condition_variable ready_;
    std::deque<Item> items_;
    std::size_t pushed_ = 0;
    bool closed_ = false;
};

}  // namespace quill
