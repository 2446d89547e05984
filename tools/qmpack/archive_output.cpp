// archive_output.cpp - the temporary archive file (see archive_output.h).
#include "qmpack/archive_output.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

namespace qmpack {

namespace {

// The temporary file's path for the signal handler: plain storage, set
// while signals are blocked.
char gTemporary[4096];

const int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};

void RemoveAndEnd(int sig)
{
    if (gTemporary[0])
        unlink(gTemporary);
    signal(sig, SIG_DFL);
    raise(sig);
}

// Blocks the stop signals for its lifetime.
class SignalsHeld {
public:
    SignalsHeld()
    {
        sigset_t stop;
        sigemptyset(&stop);
        for (const int s : kStopSignals)
            sigaddset(&stop, s);
        sigprocmask(SIG_BLOCK, &stop, &before_);
    }
    ~SignalsHeld() { sigprocmask(SIG_SETMASK, &before_, nullptr); }
    SignalsHeld(const SignalsHeld &) = delete;
    SignalsHeld &operator=(const SignalsHeld &) = delete;

private:
    sigset_t before_;
};

}  // namespace

void RemoveTemporaryOnSignals()
{
    for (const int s : kStopSignals) {
        struct sigaction old {};
        if (sigaction(s, nullptr, &old) == 0 && old.sa_handler == SIG_IGN)
            continue;
        struct sigaction action {};
        action.sa_handler = RemoveAndEnd;
        sigemptyset(&action.sa_mask);
        sigaction(s, &action, nullptr);
    }
}

bool ArchiveOutput::Fail()
{
    error_ = std::strerror(errno);
    return false;
}

bool ArchiveOutput::Create(const std::string &archive)
{
    std::string name = archive + ".qmpack-XXXXXX";
    if (name.size() >= sizeof gTemporary) {
        errno = ENAMETOOLONG;
        return Fail();
    }
    const SignalsHeld held;
    fd_ = mkstemp(name.data());
    if (fd_ < 0)
        return Fail();
    path_ = name;
    std::memcpy(gTemporary, name.c_str(), name.size() + 1);
    // mkstemp gives 0600; an archive gets what any new file would.
    const mode_t mask = umask(0);
    umask(mask);
    fchmod(fd_, 0666 & ~mask);
    size_ = 0;
    return true;
}

bool ArchiveOutput::Write(const std::uint8_t *data, std::size_t size)
{
    if (!WriteAt(size_, data, size))
        return false;
    size_ += size;
    return true;
}

bool ArchiveOutput::WriteAt(std::uint64_t offset, const std::uint8_t *data, std::size_t size)
{
    while (size > 0) {
        const ssize_t done = pwrite(fd_, data, size, static_cast<off_t>(offset));
        if (done < 0) {
            if (errno == EINTR)
                continue;
            return Fail();
        }
        data += done;
        size -= static_cast<std::size_t>(done);
        offset += static_cast<std::uint64_t>(done);
    }
    return true;
}

bool ArchiveOutput::CutTo(std::uint64_t size)
{
    if (ftruncate(fd_, static_cast<off_t>(size)) != 0)
        return Fail();
    size_ = size;
    return true;
}

bool ArchiveOutput::CopyFrom(const std::string &path)
{
    const int in = open(path.c_str(), O_RDONLY);
    if (in < 0)
        return Fail();
    std::vector<std::uint8_t> buffer(std::size_t{1} << 20);
    for (;;) {
        const ssize_t got = read(in, buffer.data(), buffer.size());
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0) {
            const bool ok = got == 0 || Fail();
            close(in);
            return ok;
        }
        if (!Write(buffer.data(), static_cast<std::size_t>(got))) {
            close(in);
            return false;
        }
    }
}

bool ArchiveOutput::Commit(const std::string &archive)
{
    if (fsync(fd_) != 0 || close(fd_) != 0) {
        fd_ = -1;
        return Fail();
    }
    fd_ = -1;
    const SignalsHeld held;
    if (std::rename(path_.c_str(), archive.c_str()) != 0)
        return Fail();
    path_.clear();
    gTemporary[0] = '\0';
    return true;
}

void ArchiveOutput::Discard()
{
    if (fd_ >= 0)
        close(fd_);
    fd_ = -1;
    if (path_.empty())
        return;
    const SignalsHeld held;
    unlink(path_.c_str());
    path_.clear();
    gTemporary[0] = '\0';
}

}  // namespace qmpack
