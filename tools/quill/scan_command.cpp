// scan_command.cpp - "quill scan": the walk, the workers and the report.
//
// The walk runs in a thread of its own and hands each file to the workers
// through a queue as it meets it, so the scanning starts at once and the
// walk's own work is done beside it.  Each result is written as soon as
// every file before it is done, so the output keeps the walk's order
// whatever the number of threads, and a long scan shows its progress.
#include "quill/scan_command.h"

#include <algorithm>
#include <mutex>
#include <map>
#include <thread>

#include "quill/exit_codes.h"
#include "quill/scan_options.h"
#include "quill/scan_probe.h"
#include "quill/scan_queue.h"
#include "quill/scan_report.h"
#include "quill/scan_walk.h"

namespace quill {

namespace {

// Results in the walk's order: each is written once all before it are.
class OrderedReport {
public:
    OrderedReport(bool json, std::ostream &out, std::ostream &err) : json_(json), out_(out), err_(err) {}

    void Deliver(std::size_t index, ScanResult result)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        waiting_.emplace(index, std::move(result));
        // Only results behind an unfinished one wait here.
        for (auto it = waiting_.begin(); it != waiting_.end() && it->first == next_; it = waiting_.erase(it)) {
            Write(it->second);
            ++next_;
        }
    }

    void Unreadable(const std::string &path, const std::string &reason)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        err_ << "quill: " << path << ": cannot read: " << reason << "\n";
        sawUnreadable_ = true;
    }

    int ExitCode() const
    {
        if (sawUnreadable_)
            return kExitUnreadable;
        return sawDamage_ ? kExitDamaged : kExitOk;
    }

private:
    void Write(const ScanResult &r)
    {
        if (r.kind == ScanResult::Kind::Unreadable) {
            err_ << "quill: " << r.path << ": cannot read: " << r.error << "\n";
            sawUnreadable_ = true;
            return;
        }
        if (r.kind != ScanResult::Kind::Archive)
            return;
        if (ScanVerdict(r) == "damaged" || r.damagedHeader)
            sawDamage_ = true;
        (json_ ? out_ << ScanJsonLine(r) : out_ << ScanTextLine(r)) << "\n";
        out_.flush();
    }

    std::mutex mutex_;
    std::map<std::size_t, ScanResult> waiting_;
    std::size_t next_ = 0;
    bool json_;
    std::ostream &out_;
    std::ostream &err_;
    bool sawUnreadable_ = false;
    bool sawDamage_ = false;
};

}  // namespace

int RunScan(const std::vector<std::string> &args, std::ostream &out, std::ostream &err)
{
    const ScanParse parsed = ParseScanArguments(args);
    if (!parsed.ok) {
        err << "quill: " << parsed.error << "\n" << ScanUsageText();
        return kExitUsage;
    }
    const ScanOptions &o = parsed.options;
    if (o.help) {
        out << ScanUsageText();
        return kExitOk;
    }
    OrderedReport report(o.json, out, err);
    ScanQueue queue;
    std::thread walker([&] {
        WalkScanPaths(
            o.paths, [&](ScanTarget target) { queue.Push(std::move(target)); },
            [&](const std::string &path, const std::string &why) { report.Unreadable(path, why); });
        queue.Close();
    });
    const unsigned workers = o.jobs ? o.jobs : std::max(1u, std::thread::hardware_concurrency());
    auto work = [&] {
        while (auto item = queue.Pop())
            report.Deliver(item->first, ProbeFile(item->second, o.test));
    };
    std::vector<std::thread> threads;
    for (unsigned t = 1; t < workers; ++t)
        threads.emplace_back(work);
    work();  // the main thread is a worker too
    for (auto &t : threads)
        t.join();
    walker.join();
    return report.ExitCode();
}

}  // namespace quill
