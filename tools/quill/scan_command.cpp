// scan_command.cpp - "quill scan": the walk, the workers and the report.
//
// The walk lists the files first (it is cheap beside reading them); the
// workers then take the next file from a shared counter.  Each result is
// written as soon as every file before it is done, so the output keeps the
// walk's order whatever the number of threads, and a long scan shows its
// progress.
#include "quill/scan_command.h"

#include <algorithm>
#include <atomic>
#include <mutex>
#include <optional>
#include <thread>

#include "quill/exit_codes.h"
#include "quill/scan_options.h"
#include "quill/scan_probe.h"
#include "quill/scan_report.h"
#include "quill/scan_walk.h"

namespace quill {

namespace {

// Results in the walk's order: each is written once all before it are.
class OrderedReport {
public:
    OrderedReport(std::size_t count, bool json, std::ostream &out, std::ostream &err)
        : results_(count), json_(json), out_(out), err_(err)
    {
    }

    void Deliver(std::size_t index, ScanResult result)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        results_[index] = std::move(result);
        while (next_ < results_.size() && results_[next_]) {
            Write(*results_[next_]);
            results_[next_].reset();  // keep no more than the files still pending
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
    std::vector<std::optional<ScanResult>> results_;
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
    // The walk reports what it cannot read before any result is written.
    std::vector<std::pair<std::string, std::string>> walkFailures;
    const std::vector<ScanTarget> files = CollectScanFiles(
        o.paths, [&](const std::string &path, const std::string &why) { walkFailures.emplace_back(path, why); });
    OrderedReport report(files.size(), o.json, out, err);
    for (const auto &[path, why] : walkFailures)
        report.Unreadable(path, why);

    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    const std::size_t workers = std::min<std::size_t>(o.jobs ? o.jobs : cores, std::max<std::size_t>(files.size(), 1));
    std::atomic<std::size_t> next{0};
    auto work = [&] {
        for (std::size_t i; (i = next.fetch_add(1)) < files.size();)
            report.Deliver(i, ProbeFile(files[i], o.test));
    };
    std::vector<std::thread> threads;
    for (std::size_t t = 1; t < workers; ++t)
        threads.emplace_back(work);
    work();  // the main thread is a worker too
    for (auto &t : threads)
        t.join();
    return report.ExitCode();
}

}  // namespace quill
