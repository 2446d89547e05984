// reader_exports.cpp - the handle API of quillmark_reader.h over
// ArchiveReader.  A qm_archive is a reader with the entry view it hands out;
// nothing here is shared between handles or with the exports.
#include <cstring>
#include <new>
#include <string>
#include <utility>

#include "archive/archive_reader.h"
#include "archive/byte_source.h"
#include "platform/windows_1252.h"
#include "quillmark_reader.h"

struct qm_archive {
    explicit qm_archive(std::unique_ptr<qm::ByteSource> source, qm::ReaderOptions options, std::string name)
        : reader(std::move(source), std::move(options), std::move(name))
    {
    }
    qm::ArchiveReader reader;
    qm_entry view{};
};

namespace {

// Why the latest open in this thread failed (there is no handle to ask).
thread_local std::string OpenFailure;
thread_local int OpenSystemError = 0;

class CallbackSource final : public qm::ByteSource {
public:
    explicit CallbackSource(const qm_source &src) : ByteSource(src.length), src_(src) {}

    std::int64_t ReadAt(std::uint64_t offset, void *buffer, std::size_t count, int *error) override
    {
        if (offset >= Length())
            return 0;
        const std::uint64_t left = Length() - offset;
        const std::size_t n = count < left ? count : static_cast<std::size_t>(left);
        const std::int64_t got = src_.read_at(src_.user, offset, buffer, n);
        // An answer beyond what was asked is a host's error, never trusted.
        if (got < 0 || static_cast<std::uint64_t>(got) > n) {
            *error = 0;
            return -1;
        }
        return got;
    }

private:
    qm_source src_;
};

int FailOpen(int code, std::string message, qm_archive **out, int systemError = 0)
{
    OpenFailure = std::move(message);
    OpenSystemError = systemError;
    *out = nullptr;
    return code;
}

// Takes the options the caller's struct has (it may be an older, shorter
// one); false for one of unknown size or a password beyond Windows-1252.
bool TakeOptions(const qm_options *opts, qm::ReaderOptions *options, std::string *why)
{
    if (!opts)
        return true;
    if (opts->size < offsetof(qm_options, header_password) + sizeof opts->header_password) {
        *why = "qm_options.size is too small";
        return false;
    }
    auto take = [&](const char *utf8, std::string *into) {
        if (!utf8)
            return true;
        const auto converted = qm::platform::Utf8To1252(utf8);
        if (!converted || converted->size() > 255) {
            *why = "a password is longer than 255 bytes or holds characters outside Windows-1252";
            return false;
        }
        *into = *converted;
        return true;
    };
    if (!take(opts->data_password, &options->dataPassword) ||
        !take(opts->header_password, &options->headerPassword))
        return false;
    if (opts->size >= offsetof(qm_options, user) + sizeof opts->user) {
        options->callback = opts->password_callback;
        options->user = opts->user;
    }
    return true;
}

int OpenWith(std::unique_ptr<qm::ByteSource> source, const qm_options *opts, std::string name,
             qm_archive **out)
{
    qm::ReaderOptions options;
    std::string why;
    if (!TakeOptions(opts, &options, &why))
        return FailOpen(QM_E_ARGUMENT, why, out);
    auto *a = new (std::nothrow) qm_archive(std::move(source), std::move(options), std::move(name));
    if (!a)
        return FailOpen(QM_E_NO_MEMORY, "out of memory", out);
    const int r = a->reader.Open();
    if (r < 0) {
        OpenFailure = a->reader.Message();
        OpenSystemError = a->reader.SystemError();
        delete a;
        *out = nullptr;
        return r;
    }
    OpenFailure.clear();
    OpenSystemError = 0;
    *out = a;
    return 0;
}

void FillView(qm_entry &v, const qm::EntryRecord &e)
{
    v.name = e.name.c_str();
    v.raw_name = e.rawName.c_str();
    v.size = e.unpackedSize < 0 ? 0 : static_cast<std::uint64_t>(e.unpackedSize);
    v.packed_size = static_cast<std::uint64_t>(e.packedSize);
    v.crc32 = e.dataCrc;
    v.dos_time = e.dosDateTime;
    const std::uint32_t date = e.dosDateTime >> 16;
    const std::uint32_t time = e.dosDateTime & 0xFFFF;
    v.year = static_cast<int>(1980 + (date >> 9));
    v.month = static_cast<int>((date >> 5) & 15);
    v.day = static_cast<int>(date & 31);
    v.hour = static_cast<int>(time >> 11);
    v.minute = static_cast<int>((time >> 5) & 63);
    v.second = static_cast<int>((time & 31) * 2);
    v.attributes = e.attributes;
    v.cipher = e.cipherMethod;
}

}  // namespace

extern "C" {

QM_READER_API int QM_READER_CALL qm_open_file(const char *path_utf8, const qm_options *opts, qm_archive **out)
{
    if (!out)
        return QM_E_ARGUMENT;
    if (!path_utf8)
        return FailOpen(QM_E_ARGUMENT, "no path given", out);
    int error = 0;
    auto source = qm::OpenFileSource(path_utf8, &error);
    if (!source)
        return FailOpen(QM_E_IO, std::string("cannot open ") + path_utf8 + " (system error " +
                                     std::to_string(error) + ")",
                        out, error);
    return OpenWith(std::move(source), opts, path_utf8, out);
}

QM_READER_API int QM_READER_CALL qm_open_memory(const void *data, size_t size, const qm_options *opts,
                                                qm_archive **out)
{
    if (!out)
        return QM_E_ARGUMENT;
    if (!data && size != 0)
        return FailOpen(QM_E_ARGUMENT, "no data given", out);
    static const unsigned char kNothing = 0;
    auto source = qm::MakeMemorySource(data ? data : &kNothing, size);
    if (!source)
        return FailOpen(QM_E_NO_MEMORY, "out of memory", out);
    return OpenWith(std::move(source), opts, "the archive in memory", out);
}

QM_READER_API int QM_READER_CALL qm_open_source(const qm_source *src, const qm_options *opts, qm_archive **out)
{
    if (!out)
        return QM_E_ARGUMENT;
    if (!src || src->size < sizeof(qm_source) || !src->read_at)
        return FailOpen(QM_E_ARGUMENT, "no qm_source, one of unknown size, or no read_at", out);
    std::unique_ptr<qm::ByteSource> source(new (std::nothrow) CallbackSource(*src));
    if (!source)
        return FailOpen(QM_E_NO_MEMORY, "out of memory", out);
    return OpenWith(std::move(source), opts, "the archive of the source", out);
}

QM_READER_API void QM_READER_CALL qm_close(qm_archive *a) { delete a; }

QM_READER_API int QM_READER_CALL qm_next_entry(qm_archive *a, const qm_entry **entry)
{
    if (!a || !entry)
        return QM_E_ARGUMENT;
    const qm::EntryRecord *e = nullptr;
    const int r = a->reader.Next(&e);
    *entry = nullptr;
    if (r == 0) {
        FillView(a->view, *e);
        *entry = &a->view;
    }
    return r;
}

QM_READER_API int64_t QM_READER_CALL qm_entry_count(qm_archive *a)
{
    return a ? a->reader.Count() : std::int64_t{QM_E_ARGUMENT};
}

QM_READER_API int64_t QM_READER_CALL qm_read_data(qm_archive *a, void *buf, size_t size)
{
    if (!a || (!buf && size != 0))
        return QM_E_ARGUMENT;
    return a->reader.Read(buf, size);
}

QM_READER_API int QM_READER_CALL qm_skip_entry(qm_archive *a) { return a ? a->reader.Skip() : QM_E_ARGUMENT; }

QM_READER_API int QM_READER_CALL qm_test_entry(qm_archive *a) { return a ? a->reader.Test() : QM_E_ARGUMENT; }

QM_READER_API int QM_READER_CALL qm_extract_entry(qm_archive *a, const char *dir_utf8, unsigned flags)
{
    if (!a || !dir_utf8 || flags != 0)
        return QM_E_ARGUMENT;
    return a->reader.Extract(dir_utf8);
}

QM_READER_API void QM_READER_CALL qm_cancel(qm_archive *a)
{
    if (a)
        a->reader.Cancel();
}

QM_READER_API const char *QM_READER_CALL qm_error_message(const qm_archive *a)
{
    return a ? a->reader.Message().c_str() : OpenFailure.c_str();
}

QM_READER_API int QM_READER_CALL qm_system_error(const qm_archive *a) { return a ? a->reader.SystemError() : OpenSystemError; }

}  // extern "C"
