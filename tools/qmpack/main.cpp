// qmpack - packs files and folders into a Quillmark archive.
//
// The command line (options.h): options, the archive to write, then the
// files and folders to pack.  The work is in four steps: the walk finds the
// files and their names (file_walk), the names become code page 437
// (oem_name), each file streams through the encoder and the cipher into an
// entry of the archive being written (entry_packer, archive_output), and the
// finished archive takes the final name.  A file that cannot be packed is
// named with its reason and left out, and qmpack ends with status 1 (or,
// with --strict, writes nothing).
#include <cstdio>
#include <filesystem>
#include <new>
#include <random>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "packer/carrier_writer.h"
#include "packer_crypto/packer_crypto.h"
#include "qmpack/append.h"
#include "qmpack/archive_output.h"
#include "qmpack/entry_packer.h"
#include "qmpack/file_walk.h"
#include "qmpack/oem_name.h"
#include "qmpack/options.h"
#include "quill/console.h"
#include "quill/progress_display.h"

namespace qmpack {

namespace {

constexpr std::size_t kLargestCarrier = 0x14000 - 25;
constexpr std::uint64_t kLargestArchive = 0x7FFFFFFF;

// A file that passed the checks of its name, with the name to store.
struct Planned {
    const FoundFile *file;
    std::string storedName;
};

class Packer {
public:
    explicit Packer(const Options &o) : o_(o), display_(console_, o.quiet) {}

    int Run()
    {
        if (o_.cipher == 2)
            display_.Err("qmpack: note: -c 3des-iv leaves the data readable");
        if (!CheckOutputPath() || !ReadCarrier())
            return 1;
        const WalkResult walk = WalkPaths(o_.paths, o_.archive);
        for (const std::string &line : walk.skipped)
            display_.Err("qmpack: skipped " + line);
        for (const std::string &line : walk.errors)
            Warn(line);
        const std::vector<Planned> plan = Plan(walk);
        if (o_.strict && leftOut_ > 0)
            return Untouched("(--strict)");
        if (plan.empty())
            return Untouched(leftOut_ > 0 ? "(no file could be packed)" : "(no file to pack)");
        return Write(plan);
    }

private:
    void Warn(const std::string &line)
    {
        display_.Err("qmpack: " + line);
        ++leftOut_;
    }

    int Untouched(const std::string &why)
    {
        display_.Err("qmpack: " + o_.archive + (o_.append ? " left as it was" : " not written") +
                     (why.empty() ? "" : " " + why));
        return 1;
    }

    // A new archive replaces only an archive, unless --force; -a needs one
    // it can add to.
    bool CheckOutputPath()
    {
        if (o_.append) {
            existing_ = ReadForAppend(o_.archive);
            if (!existing_.error.empty()) {
                display_.Err("qmpack: " + o_.archive + " " + existing_.error);
                return false;
            }
            return true;
        }
        switch (LookAtOutputPath(o_.archive)) {
        case OutputPathHolds::Nothing:
        case OutputPathHolds::Archive:
            return true;
        case OutputPathHolds::Folder:
            display_.Err("qmpack: " + o_.archive + " is a folder: name the archive file to write");
            return false;
        case OutputPathHolds::OtherFile:
        case OutputPathHolds::Unreadable:
            if (o_.force)
                return true;
            display_.Err("qmpack: " + o_.archive +
                         " exists and is not an archive (no signature in its first 81,920 bytes): "
                         "not replaced (--force replaces it)");
            return false;
        }
        return false;
    }

    bool ReadCarrier()
    {
        if (o_.carrier.empty())
            return true;
        std::error_code ec;
        if (!std::filesystem::is_regular_file(o_.carrier, ec)) {
            display_.Err("qmpack: " + o_.carrier + ": the carrier is not a readable file");
            return false;
        }
        if (std::filesystem::file_size(o_.carrier, ec) > kLargestCarrier || ec) {
            // The library looks for the signature record in the first 81,920
            // bytes of a carrier, and the record's first 25 bytes must lie there.
            display_.Err("qmpack: " + o_.carrier + ": a carrier may have at most " +
                         std::to_string(kLargestCarrier) +
                         " bytes: the archive must begin within the first 81,920 bytes");
            return false;
        }
        carrier_ = ReadFile(o_.carrier);
        // The library takes the first signature record it meets.
        if (FindSignature(carrier_) != std::string::npos) {
            display_.Err("qmpack: " + o_.carrier + ": the carrier holds an archive signature already");
            return false;
        }
        return true;
    }

    // The files whose names can be stored, each name once.
    std::vector<Planned> Plan(const WalkResult &walk)
    {
        std::set<std::string> names;  // upper-cased: the library matches names without case
        auto fold = [](std::string name) {
            for (char &c : name)
                if (c >= 'a' && c <= 'z')
                    c = static_cast<char>(c - 'a' + 'A');
            return name;
        };
        for (const std::string &name : existing_.names)
            names.insert(fold(name));
        std::vector<Planned> plan;
        for (const FoundFile &file : walk.files) {
            const OemName oem = ToOemName(file.name);
            if (!oem.refused.empty()) {
                Warn(file.path + ": the name cannot be stored: '" + oem.refused + "' " + oem.reason);
            } else if (oem.bytes.size() > 255) {
                Warn(file.path + ": the stored name would have more than 255 characters");
            } else if (!names.insert(fold(oem.bytes)).second) {
                Warn(file.path + ": another file is already stored as " + file.name);
            } else if (file.size > 0x7FFFFFF0u) {
                Warn(file.path + ": larger than an archive entry can be (2 GiB)");
            } else {
                plan.push_back({&file, oem.bytes});
            }
        }
        return plan;
    }

    int OutputFailed(ArchiveOutput &out)
    {
        display_.Err("qmpack: cannot write " + o_.archive + ": " + out.error());
        return Untouched("");
    }

    int Write(const std::vector<Planned> &plan)
    {
        ArchiveOutput out;
        if (!out.Create(o_.archive)) {
            display_.Err("qmpack: cannot write beside " + o_.archive + ": " + out.error());
            return 1;
        }
        if (o_.append) {
            if (!out.CopyFrom(o_.archive))
                return OutputFailed(out);
        } else {
            CarrierSpec layout;
            layout.flags = o_.encipherHeaders ? 1 : 0;
            const Bytes record = BuildSignatureRecord(layout);
            if (!out.Write(carrier_.data(), carrier_.size()) || !out.Write(record.data(), record.size()))
                return OutputFailed(out);
        }

        PackSettings settings;
        settings.method = o_.method;
        settings.encoder = LevelOptions(o_.level);
        settings.cipher = o_.cipher;
        settings.password = o_.password;
        if (o_.encipherHeaders)
            settings.encipherHeader = HeaderEncipherer(o_.headerPassword);
        std::random_device seed;
        std::mt19937 rng(seed());

        std::int64_t total = 0;
        for (const Planned &p : plan)
            total += static_cast<std::int64_t>(p.file->size);
        display_.Start(total);
        std::int64_t before = 0;  // bytes of the files before the current one
        std::size_t packed = 0;
        std::uint64_t unpackedTotal = 0;
        for (const Planned &p : plan) {
            const std::string shown = p.file->name;
            const PackResult r = PackFile(out, *p.file, p.storedName, settings, rng, [&](std::uint64_t read) {
                const std::int64_t size = static_cast<std::int64_t>(p.file->size);
                const auto done = static_cast<std::int64_t>(read);
                display_.Update(shown, size ? static_cast<std::int32_t>(done * 100 / std::max(size, done)) : 100,
                                before + done);
            });
            before += static_cast<std::int64_t>(p.file->size);
            if (r.outcome == PackResult::Outcome::OutputFailed)
                return OutputFailed(out);
            if (r.outcome == PackResult::Outcome::InputFailed) {
                Warn(p.file->path + ": " + r.problem);
                if (o_.strict)
                    return Untouched("(--strict)");
                continue;
            }
            if (!r.problem.empty()) {
                Warn(p.file->path + ": " + r.problem);
                if (o_.strict)
                    return Untouched("(--strict)");
            }
            if (out.Size() > kLargestArchive) {
                // Sizes and offsets in the format are signed 32-bit.
                if (!out.CutTo(out.Size() - kHeaderBlockSize - r.stored))
                    return OutputFailed(out);
                Warn(p.file->path + ": the archive would pass 2 GiB");
                if (o_.strict)
                    return Untouched("(--strict)");
                continue;
            }
            ++packed;
            unpackedTotal += r.size;
            char line[64];
            std::snprintf(line, sizeof line, " %10llu -> %10llu", static_cast<unsigned long long>(r.size),
                          static_cast<unsigned long long>(r.stored));
            display_.Out((shown.size() < 40 ? shown + std::string(40 - shown.size(), ' ') : shown) + line);
        }
        display_.ClearProgress();
        if (packed == 0) {
            out.Discard();
            return Untouched("(no file could be packed)");
        }
        if (!out.Commit(o_.archive))
            return OutputFailed(out);
        display_.Out(std::to_string(packed) + (packed == 1 ? " file, " : " files, ") +
                     std::to_string(unpackedTotal) + " bytes -> " + o_.archive + ", " +
                     std::to_string(out.Size()) + " bytes");
        if (leftOut_ > 0) {
            display_.Err("qmpack: " + std::to_string(leftOut_) + (leftOut_ == 1 ? " file or folder" : " files or folders") +
                         " left out; " + o_.archive + " holds the rest");
            return 1;
        }
        return 0;
    }

    const Options &o_;
    quill::TerminalConsole console_;
    quill::Display display_;
    ExistingArchive existing_;
    Bytes carrier_;
    int leftOut_ = 0;
};

}  // namespace

}  // namespace qmpack

int main(int argc, char **argv)
{
    qmpack::Options options;
    if (const int status = qmpack::ParseArguments(std::vector<std::string>(argv + 1, argv + argc), options);
        status >= 0)
        return status;
    qmpack::RemoveTemporaryOnSignals();
    try {
        qmpack::Packer packer(options);
        return packer.Run();
    } catch (const std::bad_alloc &) {
        std::fputs("qmpack: out of memory; nothing written\n", stderr);
    } catch (const std::exception &e) {
        std::fprintf(stderr, "qmpack: %s; nothing written\n", e.what());
    }
    return 1;
}
