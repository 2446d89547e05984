/*
 * quillmark.h - the public interface of the Quillmark archive library.
 *
 * Quillmark is an extract-only archive library.  A host opens a carrier file
 * that holds an archive (InitArcFile / InitHidFile), lists its entries through
 * wildcard masks (BuildArcFileList) and extracts them (ExtractFileMaskListArc).
 * Every operation reports failure only through the process-wide status word
 * read with GetArchiveStatus(); results are counts, flags or nothing.
 *
 * All strings are NUL-terminated single-byte strings in the Windows-1252 code
 * page, on every platform.  Names and masks hold at most 255 characters; the
 * carrier, input and relative paths at most 260.
 *
 * The library keeps one session per process, with all its settings in
 * process-global state and no locks: calls must not overlap, so a host with
 * several threads makes them from one thread at a time.  Callbacks run
 * synchronously inside the export that triggers them.
 *
 * Usable from C and C++.  In the 32-bit Windows DLL the user value, callback
 * addresses and pointers are 32 bits wide; elsewhere they are pointer-sized.
 */
#ifndef QUILLMARK_H
#define QUILLMARK_H

#include <stddef.h>
#include <stdint.h>

#ifdef _WIN32
#include <windows.h>
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* ---- calling convention and visibility ------------------------------------ */

#ifdef _WIN32
#define QM_CALL __cdecl
#else
#define QM_CALL
#endif

#if defined(QUILLMARK_BUILDING)
#if defined(_WIN32)
#define QM_API __declspec(dllexport)
#else
#define QM_API __attribute__((visibility("default")))
#endif
#else
#define QM_API
#endif

/* ---- status codes (GetArchiveStatus) --------------------------------------- */

#define QM_STATUS_OK 0                /* no error */
#define QM_STATUS_NO_CARRIER 2        /* the carrier file does not exist */
#define QM_STATUS_CANNOT_OPEN 5       /* a file could not be opened, created or given its time */
#define QM_STATUS_OUT_OF_MEMORY 8     /* out of memory */
#define QM_STATUS_WRITE_FAILED 101    /* an output file could not be written in full */
#define QM_STATUS_STOPPED 2926        /* the host stopped the run */
#define QM_STATUS_EMPTY_LIST 9906     /* no entry could be read, or none matched the masks */
#define QM_STATUS_BAD_PASSWORD 9961   /* a needed password is missing or wrong */
#define QM_STATUS_CRC_MISMATCH 9962   /* CRC mismatch of an entry that is not enciphered */
#define QM_STATUS_BAD_HEADER 9964     /* a damaged header block was met while walking */
#define QM_STATUS_NO_SIGNATURE 9999   /* no archive signature in the carrier file */
#define QM_STATUS_NOT_SUPPORTED 32770 /* the operation is not supported */

/* ---- option word (arOptionsOn / arOptionsOff / arOptionsAreOn) -------------- */

#define QM_OPTION_KEEP_DIRECTORIES 0x0001u /* output names keep stored directories */
#define QM_OPTIONS_AT_LOAD 0x0800u         /* the option word when the library is loaded */
#define QM_OPTIONS_LOCK_MASK 0x8000u       /* bits that can be neither set nor cleared */

/* ---- cipher methods --------------------------------------------------------- */

#define QM_CIPHER_NONE (-1)       /* data stored as it is */
#define QM_CIPHER_DES 0           /* single DES, each 8-byte block on its own */
#define QM_CIPHER_TRIPLE_DES 1    /* two-key triple DES (EDE) in CBC mode */
#define QM_CIPHER_CHAINING_ONLY 2 /* an 8-byte chaining value precedes plain data */

/* ---- host-side widths --------------------------------------------------------- */

/* The opaque value a host registers with a callback and gets back as its first
   argument: 32 bits in the 32-bit DLL, pointer-sized elsewhere. */
typedef uintptr_t QmUserValue;

/* ---- the Windows find-data record ------------------------------------------- */

#ifndef _WIN32
typedef struct QmFileTime {
    uint32_t dwLowDateTime;
    uint32_t dwHighDateTime;
} QmFileTime;

/* The same layout as the Windows WIN32_FIND_DATAA record (320 bytes). */
typedef struct QmFindData {
    uint32_t dwFileAttributes;
    QmFileTime ftCreationTime;
    QmFileTime ftLastAccessTime;
    QmFileTime ftLastWriteTime;
    uint32_t nFileSizeHigh;
    uint32_t nFileSizeLow;
    uint32_t dwReserved0;
    uint32_t dwReserved1;
    char cFileName[260];
    char cAlternateFileName[14];
} WIN32_FIND_DATAA;
#endif

/* ---- caller-owned records ------------------------------------------------------ */

/* The parameter block of InitHidFile. */
typedef struct ArcOpenParams {
    int32_t dataCipherMethod;  /* copied into the session's cipher method */
    int32_t headersEnciphered; /* 1: header blocks are enciphered whatever the archive says */
    uint8_t reserved1[2084];
    char dataPassword[256];    /* NUL-terminated */
    char headerPassword[256];  /* NUL-terminated; used when not empty */
    uint8_t reserved2[524];
} ArcOpenParams;

/* One wildcard mask, split into its parts. */
typedef struct FileMask {
    char *dir;                 /* drive and directory, heap string owned by the node, never null */
    char name[256];            /* file-name part without extension */
    char ext[256];             /* extension without its full stop */
    struct FileMask *next;
} FileMask;

typedef struct FileMaskList {
    FileMask *first;
    FileMask *last;
} FileMaskList;

/* The internal entry record: one header block as the library reads it. */
typedef struct HidFileItem {
    int32_t valid;             /* 1 */
    char name[256];            /* stored name converted to the ANSI code page */
    int32_t packedSize;
    int32_t unpackedSize;
    uint32_t dosDateTime;      /* DOS date in the high 16 bits, DOS time in the low 16 bits */
    uint32_t attributes;       /* Windows file attribute bits */
    int32_t enciphered;        /* 1 unless the cipher method is -1 */
    uint32_t carriedWordB;     /* header block offset 364, not interpreted */
    int32_t headerPos;         /* file offset of the entry's header block */
    uint32_t reserved1[2];
    int32_t cipherMethod;
    int32_t headerSize;        /* 432; the data begins at headerPos + headerSize */
    uint32_t reserved2;
    uint32_t dataCrc;          /* CRC-32 of the unpacked data */
    uint32_t carriedWordA;     /* header block offset 340, not interpreted */
    uint32_t reserved3;
    int32_t nameLength;
    uint32_t magic;            /* 77 */
    uint32_t reserved4[3];
    uint8_t *block;            /* heap copy of the (deciphered) 432-byte header block */
    uint32_t reserved5[3];
    struct HidFileItem *next;
} HidFileItem;

typedef struct HidFileList {
    int32_t count;
    HidFileItem *first;
    HidFileItem *last;
} HidFileList;

/* The public entry record. */
typedef struct ArcFileItem {
    struct ArcFileItem *next;
    char name[276];
    int64_t packedSize;        /* sign-extended from the header block */
    int64_t unpackedSize;      /* sign-extended from the header block */
    uint32_t dosDateTime;
    uint32_t attributes;
    int32_t constant30;        /* always 30 */
    uint32_t reserved1[3];
    int32_t attachedSize;      /* always 0 */
    void *attached;            /* always null */
    int32_t enciphered;
    int32_t valid;
    uint32_t reserved2[26];
    int32_t constant21;        /* always 21 */
    uint32_t reserved3[11];
} ArcFileItem;

typedef struct ArcFileList {
    int32_t count;
    ArcFileItem *first;
    ArcFileItem *last;
} ArcFileList;

/* Archive statistics, 96 32-bit words, filled by BuildArcFileList. */
typedef struct ArcExtraInfo {
    int32_t constant20;
    int32_t constant3;
    int32_t constant2;
    int32_t constant256;
    uint32_t reserved1[5];
    int32_t entryCount;
    int64_t totalPacked;
    int64_t totalUnpacked;
    int32_t ratio;             /* total packed in percent of total unpacked */
    uint32_t reserved2[81];
} ArcExtraInfo;

/* Offsets of the two strings SetDecompExtraFeatures reads from its block. */
#define QM_DECOMP_RELATIVE_PATH_OFFSET 832
#define QM_DECOMP_OUTPUT_PATH_OFFSET 1104

/* ---- callbacks ------------------------------------------------------------------ */

/* Called once per entry before the overwrite question: the stored name with a
   backslash in front, and the output path in a 256-byte buffer the host may
   rewrite.  The result is ignored. */
typedef int32_t(QM_CALL *SetFileNameProc)(QmUserValue user, const char *storedName,
                                          char *outputPath);
/* Called when the output file exists: 1 skip, 2 stop (2926), 0 reset its
   attributes then overwrite, anything else overwrite. */
typedef int32_t(QM_CALL *OkToReplaceProc)(QmUserValue user, WIN32_FIND_DATAA *existing,
                                          WIN32_FIND_DATAA *entry);
/* Called after each write: 0 stops the run (2926). */
typedef int32_t(QM_CALL *SetProgressProc)(QmUserValue user, int32_t percent, int32_t count);
/* Asks for a password; 0 gives up (9961).  Kind 0: a data password for the
   entry named, into a 250-byte buffer; 1 takes the answer.  Kind 1: the header
   password, into a 256-byte buffer, the name being the carrier path; any result
   but 0 tries the answer, and the host is asked again for as long as it does
   not fit.  A callback registered before an open answers the header question
   during it; a successful open empties the slot. */
typedef int32_t(QM_CALL *SetCryptKeyProc)(QmUserValue user, char *buffer, const char *name,
                                          int32_t kind);
/* Registered and kept, never called. */
typedef int32_t(QM_CALL *SetHeadCryptKeyProc)(QmUserValue user);
typedef int32_t(QM_CALL *SetSignalProc)(QmUserValue user);
typedef int32_t(QM_CALL *SetWarningProc)(QmUserValue user);
typedef int32_t(QM_CALL *GetNextDiskProc)(QmUserValue user);
typedef int32_t(QM_CALL *SetSfxProgressProc)(QmUserValue user);
typedef int32_t(QM_CALL *SkipFileProc)(QmUserValue user);

/* ---- the 49 exports (ordinals follow the ASCII order of the names) ------------- */

/* The twelve creation and modification exports only set the status to 32770.
   They take any arguments; under the C calling convention the caller removes
   whatever it passed. */
QM_API void QM_CALL AddDamageAegixArc(void);
QM_API void QM_CALL BuildUnDamagedArc(void);
QM_API void QM_CALL CompressFileMaskListArc(void);
QM_API void QM_CALL CreateArcFile(void);
QM_API void QM_CALL CreateArcSfx2(void);
QM_API void QM_CALL CreateDirectoryArc(void);
QM_API void QM_CALL CreateExeArc(void);
QM_API void QM_CALL DeleteFileMaskListArc(void);
QM_API void QM_CALL SetFileCommentsArc(void);
QM_API void QM_CALL SetMainCommentArc(void);
QM_API void QM_CALL StripDamageAegixArc(void);
QM_API void QM_CALL TestArc(void);

/* Status */
QM_API uint16_t QM_CALL GetArchiveStatus(void);
QM_API void QM_CALL SetArchiveStatus(uint16_t status);

/* Options */
QM_API uint8_t QM_CALL arOptionsAreOn(uint16_t bits);
QM_API void QM_CALL arOptionsOff(uint16_t bits);
QM_API void QM_CALL arOptionsOn(uint16_t bits);

/* Session */
QM_API void QM_CALL InitArcFile(const char *path);
QM_API void QM_CALL InitHidFile(const char *path, const ArcOpenParams *params);
QM_API void QM_CALL DoneArcFile(uint32_t ignored);
QM_API void QM_CALL DoneHidFile(uint32_t ignored);

/* Masks */
QM_API void QM_CALL InitFileMaskList(FileMaskList *list);
QM_API uint8_t QM_CALL AppendFileMask(const char *mask, FileMaskList *list);
QM_API void QM_CALL DoneFileMaskList(FileMaskList *list);

/* Entry lists and statistics */
QM_API void QM_CALL InitArcFileList(ArcFileList *list);
QM_API void QM_CALL BuildArcFileList(ArcFileList *list, const FileMaskList *masks);
QM_API void QM_CALL DoneArcFileList(ArcFileList *list);
QM_API void QM_CALL InitHidFileList(HidFileList *list);
QM_API int32_t QM_CALL BuildHidFileList(HidFileList *list, const FileMaskList *masks);
QM_API void QM_CALL DoneHidFileList(HidFileList *list);
QM_API void QM_CALL GetExtraInfoArc(ArcExtraInfo *info);
QM_API void QM_CALL GetMainCommentArc(uint32_t *twoWords);

/* Path settings */
QM_API void QM_CALL SetOutputPath(const char *path);
QM_API void QM_CALL SetInputPath(const char *path);
QM_API void QM_CALL SetRelativePath(const char *path);
QM_API void QM_CALL SetDecompExtraFeatures(const void *block);
QM_API void QM_CALL SetCompExtraFeatures(void);

/* Extraction */
QM_API void QM_CALL ExtractFileMaskListArc(const FileMaskList *masks);
QM_API void QM_CALL ExtractFileMaskListHid(const FileMaskList *masks);

/* Callback registration: the user value first, the callback second; a null
   callback empties the slot. */
QM_API void QM_CALL SetSetFileNameProc(QmUserValue user, SetFileNameProc proc);
QM_API void QM_CALL SetOkToReplaceProc(QmUserValue user, OkToReplaceProc proc);
QM_API void QM_CALL SetSetProgressProc(QmUserValue user, SetProgressProc proc);
QM_API void QM_CALL SetSetCryptKeyProc(QmUserValue user, SetCryptKeyProc proc);
QM_API void QM_CALL SetSetHeadCryptKeyProc(QmUserValue user, SetHeadCryptKeyProc proc);
QM_API void QM_CALL SetSetSignalProc(QmUserValue user, SetSignalProc proc);
QM_API void QM_CALL SetSetWarningProc(QmUserValue user, SetWarningProc proc);
QM_API void QM_CALL SetGetNextDiskProc(QmUserValue user, GetNextDiskProc proc);
QM_API void QM_CALL SetSetSfxProgressProc(QmUserValue user, SetSfxProgressProc proc);
QM_API void QM_CALL SetSkipFileProc(QmUserValue user, SkipFileProc proc);

#ifdef __cplusplus
} /* extern "C" */
#endif

/* ---- layout pins: the records as the 32-bit DLL's hosts see them -------------- */

#if defined(__cplusplus)
#define QM_STATIC_ASSERT(cond, msg) static_assert(cond, msg)
#else
#define QM_STATIC_ASSERT(cond, msg) _Static_assert(cond, msg)
#endif

QM_STATIC_ASSERT(sizeof(ArcExtraInfo) == 384, "ArcExtraInfo is 96 words");
QM_STATIC_ASSERT(offsetof(ArcOpenParams, dataPassword) == 2092, "data password at 2092");
QM_STATIC_ASSERT(offsetof(ArcOpenParams, headerPassword) == 2348, "header password at 2348");
QM_STATIC_ASSERT(sizeof(ArcOpenParams) == 3128, "ArcOpenParams size");
QM_STATIC_ASSERT(offsetof(ArcExtraInfo, entryCount) == 36, "entry count at word 9");
QM_STATIC_ASSERT(offsetof(ArcExtraInfo, totalPacked) == 40, "totals at word 10");
QM_STATIC_ASSERT(offsetof(ArcExtraInfo, ratio) == 56, "ratio at word 14");
QM_STATIC_ASSERT(sizeof(WIN32_FIND_DATAA) == 320, "find-data record");

#if defined(_WIN32) && !defined(_WIN64)
QM_STATIC_ASSERT(sizeof(FileMask) == 520, "FileMask on 32-bit Windows");
QM_STATIC_ASSERT(sizeof(FileMaskList) == 8, "FileMaskList on 32-bit Windows");
QM_STATIC_ASSERT(offsetof(HidFileItem, packedSize) == 260, "HidFileItem packed size");
QM_STATIC_ASSERT(offsetof(HidFileItem, block) == 340, "HidFileItem block pointer");
QM_STATIC_ASSERT(sizeof(HidFileItem) == 360, "HidFileItem on 32-bit Windows");
QM_STATIC_ASSERT(sizeof(HidFileList) == 12, "HidFileList on 32-bit Windows");
QM_STATIC_ASSERT(offsetof(ArcFileItem, packedSize) == 280, "ArcFileItem packed size");
QM_STATIC_ASSERT(offsetof(ArcFileItem, attached) == 324, "ArcFileItem attached buffer");
QM_STATIC_ASSERT(offsetof(ArcFileItem, constant21) == 440, "ArcFileItem constant 21");
QM_STATIC_ASSERT(sizeof(ArcFileItem) == 488, "ArcFileItem on 32-bit Windows");
QM_STATIC_ASSERT(sizeof(ArcFileList) == 12, "ArcFileList on 32-bit Windows");
#endif

#endif /* QUILLMARK_H */
