// scan_command.cpp - "quill scan": the command line, the shared walk and
// the report.
//
// The walk and the probing share the N threads (see scan_walk.h); results
// arrive here in the walk's order, one at a time, whatever the number of
// threads, and each line is written as it arrives, so a long scan shows its
// progress.
#include "quill/scan_command.h"

#include <algorithm>
#include <thread>

#ifdef __GLIBC__
#include <malloc.h>
#endif

#include "quill/exit_codes.h"
#include "quill/scan_options.h"
#include "quill/scan_report.h"
#include "quill/scan_walk.h"

namespace quill {

namespace {

class ScanReport {
public:
    ScanReport(bool json, std::ostream &out, std::ostream &err) : json_(json), out_(out), err_(err) {}

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

    int ExitCode() const
    {
        if (sawUnreadable_)
            return kExitUnreadable;
        return sawDamage_ ? kExitDamaged : kExitOk;
    }

private:
    bool json_;
    std::ostream &out_;
    std::ostream &err_;
    bool sawUnreadable_ = false;
    bool sawDamage_ = false;
};

// Every archive the scan opens takes a decoder and a 1 MiB window from the
// heap and gives them back when it is done.  By default glibc maps blocks
// that large fresh from the system and gives freed memory back, and the
// second thread's arena shrinks and grows again, so each archive paid a
// page fault per 4 KiB it touched (12 us each on the 2-core virtual machine
// of the benchmarks: a tenth of the processor time of "scan -j 2 --test").
// Kept in the heap, the memory of one archive serves the next.
void KeepFreedMemory()
{
#ifdef __GLIBC__
    mallopt(M_MMAP_THRESHOLD, 4 << 20);
    mallopt(M_TRIM_THRESHOLD, 64 << 20);
#endif
}

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
    ScanReport report(o.json, out, err);
    KeepFreedMemory();
    const unsigned threads = o.jobs ? o.jobs : std::max(1u, std::thread::hardware_concurrency());
    WalkAndProbe(o.paths, threads, o.test, [&report](const ScanResult &r) { report.Write(r); });
    return report.ExitCode();
}

}  // namespace quill
