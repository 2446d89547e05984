// scan_walk.cpp - the shared walk of "quill scan".
//
// The walk's order is kept as a tree: a folder, once read, becomes a list
// of slots (a run of up to kFilesPerJob files, or a subfolder); each slot
// is one piece of work.  A thread does its piece without the lock, then
// takes the lock once to file its results, queue the pieces a folder gave,
// and hand over every result whose turn has come.  New pieces go to the
// front of the queue, so the threads work through the tree about in its
// order and few results wait.  Only archives and unreadable paths are
// kept; a folder's slots are freed once its results are handed over.
#include "quill/scan_walk.h"

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <memory>
#include <mutex>
#include <utility>

#include "quill/scan_file.h"
#include "quill/scan_folder.h"
#include "quill/worker_thread.h"

namespace quill {

namespace {

// Files probed between two takings of the lock: small enough to share a
// folder of few files between threads, large enough that the lock is
// rarely wanted.
constexpr std::size_t kFilesPerJob = 16;

struct Listing;

struct Slot {
    bool done = false;
    std::vector<ScanResult> results;   // archives and unreadable paths, in order
    std::unique_ptr<Listing> listing;  // a folder's slots, once read
};

struct Listing {
    std::vector<Slot> slots;  // sized once: jobs point into it
};

struct Job {
    enum class Kind { Given, Folder, Files };
    Kind kind = Kind::Given;
    Slot *slot = nullptr;
    std::shared_ptr<const ScanFolder> parent;  // the folder Folder and Files jobs are in
    std::string path;                          // Given: as given
    std::vector<std::string> names;            // Folder: one name; Files: the run
};

// What a job found, filed under the lock.
struct Done {
    std::vector<ScanResult> results;
    std::unique_ptr<Listing> listing;
    std::vector<Job> more;
};

ScanResult Unreadable(std::string path, std::string why)
{
    ScanResult r;
    r.kind = ScanResult::Kind::Unreadable;
    r.path = std::move(path);
    r.error = std::move(why);
    return r;
}

class SharedWalk {
public:
    SharedWalk(const std::vector<std::string> &paths, bool test, const ScanReportFn &report)
        : test_(test), report_(report)
    {
        root_.slots.resize(paths.size());
        for (std::size_t i = 0; i < paths.size(); ++i) {
            Job job;
            job.slot = &root_.slots[i];
            job.path = paths[i];
            queue_.push_back(std::move(job));
        }
        outstanding_ = paths.size();
        cursor_.push_back({&root_, 0});
    }

    // One thread's share: until every piece is done.  The threads started
    // for the walk take descriptor tables of their own; the calling thread
    // keeps the process's, which is then its alone.
    void Work(bool ownTable)
    {
        if (ownTable)
            FolderDescriptors::MakeTablePrivate();
        ScanProbe probe(test_);
        FolderDescriptors held;  // after the table is made private: they live in it
        std::unique_lock<std::mutex> lock(mutex_);
        for (;;) {
            ready_.wait(lock, [this] { return !queue_.empty() || outstanding_ == 0; });
            if (queue_.empty())
                return;
            Job job = std::move(queue_.front());
            queue_.pop_front();
            lock.unlock();
            Done done = Run(job, probe, held);
            lock.lock();
            const std::size_t added = File(job, std::move(done));
            if (outstanding_ == 0 || added > 1)
                ready_.notify_all();
            else if (added == 1)
                ready_.notify_one();
        }
    }

private:
    Done Run(const Job &job, ScanProbe &probe, FolderDescriptors &held)
    {
        Done done;
        switch (job.kind) {
        case Job::Kind::Given:
            RunGiven(job, probe, held, done);
            break;
        case Job::Kind::Folder: {
            auto folder = std::make_shared<ScanFolder>();
            std::string why;
            if (folder->OpenIn(job.parent, job.names[0], held, &why))
                List(std::move(folder), held, done);
            else
                done.results.push_back(Unreadable(job.parent->PathOf(job.names[0]), why));
            break;
        }
        case Job::Kind::Files:
            for (const auto &name : job.names) {
                ScanFile file;
                std::string why;
                if (!file.OpenIn(*job.parent, held, name, &why)) {
                    done.results.push_back(Unreadable(job.parent->PathOf(name), why));
                    continue;
                }
                ScanResult r = probe.Probe(file);
                if (r.kind == ScanResult::Kind::NotArchive)
                    continue;
                r.path = job.parent->PathOf(name);
                done.results.push_back(std::move(r));
            }
            break;
        }
        return done;
    }

    // A path given: a file is probed (through a link too), a folder read.
    static void RunGiven(const Job &job, ScanProbe &probe, FolderDescriptors &held, Done &done)
    {
        ScanFile file;
        std::string why;
        if (file.Open(job.path, true, &why)) {
            ScanResult r = probe.Probe(file);
            r.path = job.path;
            if (r.kind != ScanResult::Kind::NotArchive)
                done.results.push_back(std::move(r));
            return;
        }
        auto folder = std::make_shared<ScanFolder>();
        std::string folderWhy;
        if (folder->OpenGiven(job.path, held, &folderWhy)) {
            List(std::move(folder), held, done);
            return;
        }
        // Neither: the file's reason, unless it was there but no file.
        done.results.push_back(Unreadable(job.path, why == "not a regular file" ? "not a regular file or a folder" : why));
    }

    // Reads a folder into slots and the jobs that fill them.
    static void List(std::shared_ptr<const ScanFolder> folder, FolderDescriptors &held, Done &done)
    {
        std::string error;
        const std::vector<ScanFolderEntry> entries = folder->Read(held, &error);
        if (!error.empty())
            done.results.push_back(Unreadable(folder->Path(), error));
        done.listing = std::make_unique<Listing>();
        // Count the slots first: they must not move once jobs point at them.
        std::size_t count = 0;
        std::size_t run = 0;
        for (const auto &e : entries) {
            if (e.kind == ScanFolderEntry::Kind::File && run > 0 && run < kFilesPerJob) {
                ++run;
                continue;
            }
            ++count;
            run = e.kind == ScanFolderEntry::Kind::File ? 1 : 0;
        }
        auto &slots = done.listing->slots;
        slots.resize(count);
        std::size_t at = 0;
        constexpr std::size_t kNoRun = static_cast<std::size_t>(-1);
        std::size_t files = kNoRun;  // the Files job being filled, in done.more
        for (const auto &e : entries) {
            if (e.kind == ScanFolderEntry::Kind::File && files != kNoRun &&
                done.more[files].names.size() < kFilesPerJob) {
                done.more[files].names.push_back(e.name);
                continue;
            }
            Slot &slot = slots[at++];
            files = kNoRun;
            if (e.kind == ScanFolderEntry::Kind::Unreadable) {
                slot.done = true;
                slot.results.push_back(Unreadable(folder->PathOf(e.name), e.reason));
                continue;
            }
            Job job;
            job.kind = e.kind == ScanFolderEntry::Kind::File ? Job::Kind::Files : Job::Kind::Folder;
            job.slot = &slot;
            job.parent = folder;
            job.names.push_back(e.name);
            done.more.push_back(std::move(job));
            if (e.kind == ScanFolderEntry::Kind::File)
                files = done.more.size() - 1;
        }
    }

    // Under the lock: files what job found and hands over what may go.
    // Returns the number of jobs queued.
    std::size_t File(const Job &job, Done done)
    {
        Slot &slot = *job.slot;
        slot.results = std::move(done.results);
        slot.listing = std::move(done.listing);
        slot.done = true;
        const std::size_t added = done.more.size();
        for (auto it = done.more.rbegin(); it != done.more.rend(); ++it)
            queue_.push_front(std::move(*it));
        outstanding_ = outstanding_ + added - 1;
        HandOver();
        return added;
    }

    // Reports every result whose turn has come and frees read folders.
    void HandOver()
    {
        while (!cursor_.empty()) {
            const auto [listing, index] = cursor_.back();
            if (index == listing->slots.size()) {
                cursor_.pop_back();
                if (!cursor_.empty()) {
                    auto &up = cursor_.back();
                    up.first->slots[up.second].listing.reset();
                    ++up.second;
                }
                continue;
            }
            Slot &slot = listing->slots[index];
            if (!slot.done)
                return;
            for (const auto &r : slot.results)
                report_(r);
            slot.results.clear();
            if (slot.listing)
                cursor_.push_back({slot.listing.get(), 0});
            else
                ++cursor_.back().second;
        }
    }

    const bool test_;
    const ScanReportFn &report_;
    std::mutex mutex_;
    std::condition_variable ready_;
    std::deque<Job> queue_;
    std::size_t outstanding_ = 0;  // jobs queued or running
    Listing root_;
    std::vector<std::pair<Listing *, std::size_t>> cursor_;  // where the hand-over stands
};

}  // namespace

void WalkAndProbe(const std::vector<std::string> &paths, unsigned threads, bool test, const ScanReportFn &report)
{
    SharedWalk walk(paths, test, report);
    std::vector<WorkerThread> others;
    others.reserve(threads);
    for (unsigned t = 1; t < threads; ++t)
        others.emplace_back(t - 1, [&walk] { walk.Work(true); });
    walk.Work(false);  // the calling thread is one of the N
    for (auto &t : others)
        t.Join();
}

}  // namespace quill
