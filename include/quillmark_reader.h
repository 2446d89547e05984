/*
 * quillmark_reader.h - reading archives through handles.
 *
 * Each open archive is a qm_archive of its own: it may come from a file, from
 * bytes already in memory or from a read callback, and an entry's data may
 * be read into the caller's buffers (qm_read_data), checked (qm_test_entry)
 * or written to a folder (qm_extract_entry).  Nothing here touches the
 * session of the exports in quillmark.h.
 *
 *   qm_archive *a;
 *   if (qm_open_file("backup.qm", NULL, &a) == 0) {
 *       const qm_entry *e;
 *       while (qm_next_entry(a, &e) == 0) {
 *           char buf[65536];
 *           int64_t n;
 *           while ((n = qm_read_data(a, buf, sizeof buf)) > 0)
 *               consume(buf, n);
 *           if (n < 0)
 *               report(qm_error_message(a));
 *       }
 *       qm_close(a);
 *   }
 *
 * Strings are UTF-8.  Functions return 0 (or a count) on success and one of
 * the negative QM_E_ codes on failure; qm_error_message then says, in
 * English, what went wrong and with which entry.
 *
 * Threads: different archives may be used from different threads at the same
 * time, and the exports of quillmark.h may run in another thread beside them;
 * none sees the state of another.  One archive is used by one thread at a
 * time, except qm_cancel, which any thread may call at any time.
 *
 * Memory: an open archive holds about 1.2 MiB while it reads a compressed
 * entry (a 1 MiB window and the decoder's tables), a few KiB otherwise.
 *
 * Usable from C, C++ and foreign-function interfaces: plain structs, no
 * macros needed to call.
 */
#ifndef QUILLMARK_READER_H
#define QUILLMARK_READER_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#ifdef _WIN32
#define QM_READER_CALL __cdecl
#else
#define QM_READER_CALL
#endif

#if defined(QUILLMARK_BUILDING)
#if defined(_WIN32)
#define QM_READER_API __declspec(dllexport)
#else
#define QM_READER_API __attribute__((visibility("default")))
#endif
#else
#define QM_READER_API
#endif

/* ---- errors ------------------------------------------------------------------ */

enum qm_error {
    QM_OK = 0,
    QM_E_ARGUMENT = -1,       /* a null handle or pointer, or a qm_options / qm_source of unknown size */
    QM_E_NOT_ARCHIVE = -2,    /* no archive signature, or no first header block behind it */
    QM_E_DAMAGED = -3,        /* a damaged header block, or entry data that ends early */
    QM_E_CRC = -4,            /* the entry's data does not match its CRC (not enciphered) */
    QM_E_NEED_PASSWORD = -5,  /* the entry or the headers are enciphered and no password was given */
    QM_E_BAD_PASSWORD = -6,   /* the password given does not open the entry or the headers */
    QM_E_IO = -7,             /* the system could not read or write; see qm_system_error */
    QM_E_NO_MEMORY = -8,      /* out of memory */
    QM_E_CANCELLED = -9,      /* qm_cancel was called */
    QM_E_NO_ENTRY = -10,      /* no current entry: qm_next_entry was not called or returned no entry */
    QM_E_UNSAFE_NAME = -11,   /* the entry's name cannot be written inside the folder */
    QM_E_OUTPUT = -12         /* the output file could not be created, written or renamed */
};

/* ---- opening -------------------------------------------------------------------- */

enum qm_password_kind {
    QM_PASSWORD_DATA = 0,   /* the password of an entry's data; name is the entry's */
    QM_PASSWORD_HEADER = 1  /* the password of the header blocks; name is the archive's */
};

/* Asked when a password is missing or wrong.  Write a NUL-terminated UTF-8
 * password of at most answer_size - 1 bytes to answer and return nonzero to
 * try it, or return 0 to give up. */
typedef int(QM_READER_CALL *qm_password_fn)(void *user, int kind, const char *name,
                                            char *answer, size_t answer_size);

typedef struct qm_options {
    size_t size;                      /* sizeof(qm_options): lets the struct grow */
    const char *data_password;        /* UTF-8, or NULL for none */
    const char *header_password;      /* UTF-8, or NULL for none */
    qm_password_fn password_callback; /* or NULL: no questions */
    void *user;                       /* handed to the callback */
} qm_options;

/* A random-access source: read_at reads up to size bytes at offset into buf
 * and returns the count (less only at the end of the data), or a negative
 * number on failure.  Calls come from the thread using the archive. */
typedef struct qm_source {
    size_t size; /* sizeof(qm_source) */
    int64_t(QM_READER_CALL *read_at)(void *user, uint64_t offset, void *buf, size_t size);
    uint64_t length; /* the source's length in bytes */
    void *user;
} qm_source;

typedef struct qm_archive qm_archive;

/* Each returns 0 and the new archive in *out, or a negative error with *out
 * set to NULL (qm_error_message(NULL) then says why, in this thread).  A null
 * opts means no passwords and no callback.  qm_open_memory reads the caller's
 * bytes in place: they must stay valid until qm_close. */
QM_READER_API int QM_READER_CALL qm_open_file(const char *path_utf8, const qm_options *opts,
                                              qm_archive **out);
QM_READER_API int QM_READER_CALL qm_open_memory(const void *data, size_t size,
                                                const qm_options *opts, qm_archive **out);
QM_READER_API int QM_READER_CALL qm_open_source(const qm_source *src, const qm_options *opts,
                                                qm_archive **out);

/* Closes the archive and frees everything it holds; NULL is ignored. */
QM_READER_API void QM_READER_CALL qm_close(qm_archive *a);

/* ---- entries -------------------------------------------------------------------- */

enum qm_cipher {
    QM_CIPHER_METHOD_NONE = -1,
    QM_CIPHER_METHOD_DES = 0,          /* single DES, block by block */
    QM_CIPHER_METHOD_TRIPLE_DES = 1,   /* two-key triple DES, chained */
    QM_CIPHER_METHOD_CHAINING_ONLY = 2 /* a chaining value ahead of plain data */
};

typedef struct qm_entry {
    const char *name;        /* UTF-8, '/' between folders */
    const char *raw_name;    /* as stored: the OEM code page, '\\' between folders */
    uint64_t size;           /* unpacked bytes */
    uint64_t packed_size;    /* bytes in the archive (a chaining value included) */
    uint32_t crc32;          /* CRC-32 of the unpacked bytes */
    uint32_t dos_time;       /* DOS date (high 16 bits) and time (low 16 bits), local time */
    int year, month, day;    /* the DOS time taken apart */
    int hour, minute, second;
    uint32_t attributes;     /* Windows attribute bits */
    int cipher;              /* an enum qm_cipher value; other values mean no cipher */
} qm_entry;

/* Moves to the next entry: 0 and *entry set (valid until the next
 * qm_next_entry or qm_close), 1 when there are no more, or a negative
 * error.  Whatever was left of the current entry's data is skipped. */
QM_READER_API int QM_READER_CALL qm_next_entry(qm_archive *a, const qm_entry **entry);

/* The number of entries, counted by a walk of its own (the current entry
 * stays where it is); negative on an error met before the end. */
QM_READER_API int64_t QM_READER_CALL qm_entry_count(qm_archive *a);

/* Reads the current entry's next bytes into buf: the count (at most size),
 * 0 at its end once the CRC has matched, or a negative error, which stays
 * (QM_E_ARGUMENT for a size of 0 unless the entry has already ended or
 * failed).  Bytes handed out before an error (a damaged entry) stay the
 * caller's to keep or drop. */
QM_READER_API int64_t QM_READER_CALL qm_read_data(qm_archive *a, void *buf, size_t size);

/* Leaves the rest of the current entry's data unread. */
QM_READER_API int QM_READER_CALL qm_skip_entry(qm_archive *a);

/* Reads the whole current entry and checks its CRC, keeping nothing; asks
 * the password callback again while the data password is wrong. */
QM_READER_API int QM_READER_CALL qm_test_entry(qm_archive *a);

/* Writes the current entry below the folder dir_utf8, under its stored path.
 * The file goes to a temporary name beside its final one and is renamed into
 * place only when complete and its CRC matched; names that would leave the
 * folder, and links among the folders below it, are refused.  flags: 0. */
QM_READER_API int QM_READER_CALL qm_extract_entry(qm_archive *a, const char *dir_utf8,
                                                  unsigned flags);

/* ---- errors and cancelling -------------------------------------------------- */

/* Stops a qm_read_data, qm_test_entry or qm_extract_entry running in another
 * thread: it returns QM_E_CANCELLED.  Calls after it fail the same way until
 * the next qm_next_entry. */
QM_READER_API void QM_READER_CALL qm_cancel(qm_archive *a);

/* What went wrong last, in English; "" when nothing has.  With NULL: the
 * last failed open in this thread.  Valid until the next call on a. */
QM_READER_API const char *QM_READER_CALL qm_error_message(const qm_archive *a);

/* The system's error number behind the last QM_E_IO (errno,
 * or GetLastError on Windows for the file system), 0 when there is none.
 * With NULL: that of the last failed open in this thread. */
QM_READER_API int QM_READER_CALL qm_system_error(const qm_archive *a);

#ifdef __cplusplus
}
#endif

#endif /* QUILLMARK_READER_H */
