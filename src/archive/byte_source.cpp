// byte_source.cpp - the memory and file sources.
#include "archive/byte_source.h"

#include <cstring>
#include <new>

#include "platform/random_access_file.h"

namespace qm {

namespace {

class MemorySource final : public ByteSource {
public:
    MemorySource(const void *data, std::size_t size)
        : ByteSource(size), data_(static_cast<const std::uint8_t *>(data))
    {
    }

    std::int64_t ReadAt(std::uint64_t offset, void *buffer, std::size_t count, int *) override
    {
        if (offset >= Length())
            return 0;
        const std::uint64_t left = Length() - offset;
        const std::size_t n = count < left ? count : static_cast<std::size_t>(left);
        std::memcpy(buffer, data_ + offset, n);
        return static_cast<std::int64_t>(n);
    }

private:
    const std::uint8_t *data_;
};

class FileSource final : public ByteSource {
public:
    FileSource(platform::RandomAccessFile *file, std::uint64_t length) : ByteSource(length), file_(file) {}
    ~FileSource() override { platform::Close(file_); }

    std::int64_t ReadAt(std::uint64_t offset, void *buffer, std::size_t count, int *error) override
    {
        return platform::ReadAt(file_, offset, buffer, count, error);
    }

    bool IsFile(const char *path) const override { return platform::IsSameFile(file_, path); }

private:
    platform::RandomAccessFile *file_;
};

}  // namespace

std::unique_ptr<ByteSource> MakeMemorySource(const void *data, std::size_t size)
{
    return std::unique_ptr<ByteSource>(new (std::nothrow) MemorySource(data, size));
}

std::unique_ptr<ByteSource> OpenFileSource(const char *pathUtf8, int *error)
{
    std::uint64_t length = 0;
    platform::RandomAccessFile *file = platform::OpenRandomAccess(pathUtf8, &length, error);
    if (!file)
        return nullptr;
    std::unique_ptr<ByteSource> source(new (std::nothrow) FileSource(file, length));
    if (!source)
        platform::Close(file);
    return source;
}

}  // namespace qm
