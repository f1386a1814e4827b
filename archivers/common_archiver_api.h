/* The C interface shared by the three archiver plug-ins (Unlha32.so, UnZip32.so, 7-Zip32.so)
 * and the engine that loads them. Each plug-in exports these thirteen functions under its own
 * prefix ("Unlha", "UnZip", "SevenZip"); the command entry point is named by the prefix alone.
 *
 * Results: the command entry point and CloseArchive return 0 on success; FindFirst/FindNext
 * return 0 when a record was filled, non-zero at the end or on error; the ...Ex functions
 * return non-zero on success.
 *
 * FindFirst's wildcard: "*" matches any run of characters, "?" one character. A wildcard
 * without either looks up that one name: the plug-in may pass over other entries without
 * decoding them, and an extraction of the names so found that follows the handle's close is
 * served without walking the archive again. The 7-Zip plug-in takes "/" in a wildcard for the
 * "\" its names use; its packed sizes are each entry's share of the archive, which only a
 * whole listing knows: an entry looked up by name reports its own size instead. */
#ifndef KESTREL_COMMON_ARCHIVER_API_H
#define KESTREL_COMMON_ARCHIVER_API_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef void* HARC;

/* The per-entry record handed to FindFirst/FindNext: 560 bytes, little-endian, every byte not
 * listed here is zero. Of the flag field only KESTREL_FLAG_ENCRYPTED is used. */
enum {
    KESTREL_INDIVIDUALINFO_SIZE = 560,
    KESTREL_INFO_ORIGINAL_SIZE = 0,   /* uint32 */
    KESTREL_INFO_COMPRESSED_SIZE = 4, /* uint32 */
    KESTREL_INFO_CRC = 8,             /* uint32, not read by the engine */
    KESTREL_INFO_FLAG = 12,           /* uint32 */
    KESTREL_INFO_OS_TYPE = 16,        /* uint32 */
    KESTREL_INFO_RATIO = 20,          /* uint16, thousandths */
    KESTREL_INFO_DATE = 22,           /* uint16, DOS date */
    KESTREL_INFO_TIME = 24,           /* uint16, DOS time */
    KESTREL_INFO_FILENAME = 26,       /* UTF-8, NUL-terminated */
    KESTREL_INFO_FILENAME_SIZE = 513, /* at most, terminator included */
};

/* Bits of the record's flag field. */
enum { KESTREL_FLAG_ENCRYPTED = 0x1 }; /* the entry's data is encrypted */

/* The mode the engine passes to OpenArchive. */
enum { KESTREL_OPEN_MODE = 0x400000 };

typedef int (*PFN_ARCHIVER_COMMAND)(void* hwnd, const char* cmdline, char* output,
                                    uint32_t outputSize);
typedef HARC (*PFN_ARCHIVER_OPEN_ARCHIVE)(void* hwnd, const char* path, uint32_t mode);
typedef int (*PFN_ARCHIVER_CLOSE_ARCHIVE)(HARC harc);
typedef int (*PFN_ARCHIVER_FIND_FIRST)(HARC harc, const char* wildcard, void* record560);
typedef int (*PFN_ARCHIVER_FIND_NEXT)(HARC harc, void* record560);
typedef uint32_t (*PFN_ARCHIVER_GET_SIZE32)(HARC harc);
typedef int (*PFN_ARCHIVER_GET_SIZE64)(HARC harc, int64_t* size);

/* Our own addition, optional for a caller: PREFIXGetFileName gives the whole UTF-8 name of the
 * entry last found, which the record cuts at 512 bytes (at a character boundary). Returns 0
 * and writes the NUL-terminated name when it fits in size bytes; otherwise writes nothing and
 * returns the size needed, terminator included; -1 when no entry has been found. */
typedef int (*PFN_ARCHIVER_GET_FILE_NAME)(HARC harc, char* buffer, uint32_t size);

/* ---- Optional exports for progress, cancel, reasons, passwords and the test verb ----
 *
 * int PREFIXCommandEx(hwnd, cmdline, output, outputSize, callbacks)
 *   The command entry point with callbacks (callbacks may be NULL: then as PREFIX). It takes the
 *   same command lines and response files, plus the test verb of each format, which decodes and
 *   checks every named entry and writes nothing:
 *     7-Zip: t "ARCHIVE" "@RESPONSE"    LHA: t "ARCHIVE" @"RESPONSE"    ZIP: -t "ARCHIVE"
 * "@RESPONSE" Results: 0 every named entry extracted (or sound); KESTREL_RESULT_CANCELLED when the
 *   progress callback asked to stop; the other non-zero results of PREFIX otherwise. The text in
 *   output is a log in English, never meant for a user: the reasons come through pfnProblem.
 *
 * HARC PREFIXOpenArchiveEx(hwnd, path, mode, pnReason)
 *   OpenArchive that tells why it failed: *pnReason is 0 on success, else KESTREL_REASON_NOT_FOUND
 *   (no such file, or not a regular file), KESTREL_REASON_ENCRYPTED (a 7z whose header is
 *   encrypted), KESTREL_REASON_UNSUPPORTED (no archive of the format), KESTREL_REASON_DAMAGED.
 *
 * Passwords travel only through pfnPassword: never in a command line, a response file or the
 * output text, and the plug-in wipes its copies when it no longer needs them. */

/* Why an entry (or, with an empty name, the whole command) was not extracted or is not sound. */
enum {
    KESTREL_REASON_DAMAGED = 1,       /* CRC or format error, data cut short */
    KESTREL_REASON_ENCRYPTED = 2,     /* no or wrong password, or an encryption not supported */
    KESTREL_REASON_UNSUPPORTED = 3,   /* compression method not supported */
    KESTREL_REASON_REFUSED_NAME = 4,  /* absolute or ".." name; device, pipe or hard link */
    KESTREL_REASON_LINK_OUTSIDE = 5,  /* a link, or a path through a link, leaving the folder */
    KESTREL_REASON_NAME_TOO_LONG = 6, /* the file system cannot hold the name */
    KESTREL_REASON_NOT_FOUND = 7,     /* asked for, not in the archive; or no archive file */
    KESTREL_REASON_WRITE_ERROR = 8,   /* nErrno tells which */
    KESTREL_REASON_NO_SPACE = 9,      /* ENOSPC, EDQUOT or EFBIG (nErrno tells which) */
    KESTREL_REASON_IN_THE_WAY = 10,   /* a file where a folder must go, or a folder where a file */
    KESTREL_REASON_ARCHIVE_DAMAGED = 11, /* empty name: entries after a damage cannot be read */
    KESTREL_REASON_CANCELLED = 12, /* the entry being written when the command was cancelled */
};

enum { KESTREL_RESULT_CANCELLED = 7 };

typedef struct KESTREL_PROGRESS {
    uint64_t nEntriesDone;  /* named entries finished, whatever their outcome */
    uint64_t nEntriesTotal; /* distinct names asked for */
    int64_t llBytesDone;    /* entry data written (decoded, in a test) */
    int64_t llBytesTotal;   /* declared size of the named entries; -1 while not yet known */
    const char* pszName;    /* the entry worked on, UTF-8 as listed; "" before the first; valid
                               during the call only */
} KESTREL_PROGRESS;

typedef struct KESTREL_COMMAND_CALLBACKS {
    uint32_t nSize; /* sizeof(KESTREL_COMMAND_CALLBACKS) as the caller knows it: lets it grow */
    void* pvContext;
    /* At each entry and at least every 64 KiB of data (also while the plug-in reads its way to
     * the entries asked for). Non-zero cancels: the plug-in stops within that time, removes the
     * file it was writing, and returns KESTREL_RESULT_CANCELLED; what was finished stays. */
    int (*pfnProgress)(void* pvContext, const KESTREL_PROGRESS* pstProgress);
    /* Once per named entry not extracted (not sound, in a test), and once with an empty name
     * for what concerns the whole command (the archive cannot be opened or read past a point,
     * the destination cannot be made). nErrno is the system's error number for write errors,
     * else 0. Names are UTF-8 as listed. Told in archive order once the entries are done,
     * whatever order they were written in. */
    void (*pfnProblem)(void* pvContext, uint32_t nReason, int nErrno, const char* pszName);
    /* An encrypted entry needs a password: nAttempt 0 at first, more after a wrong one. Writes a
     * NUL-terminated password of at most nSize - 1 bytes into pszBuffer and returns 1, or
     * returns 0: the encrypted entries are then skipped, each reported with
     * KESTREL_REASON_ENCRYPTED. */
    int (*pfnPassword)(void* pvContext, uint32_t nAttempt, char* pszBuffer, uint32_t nSize);
} KESTREL_COMMAND_CALLBACKS;
/* The callbacks are never called at the same time; they may come from threads the plug-in
 * starts. A pointer member beyond nSize, or a null one, is not called. */

typedef int (*PFN_ARCHIVER_COMMAND_EX)(void* hwnd, const char* cmdline, char* output,
                                       uint32_t outputSize,
                                       const KESTREL_COMMAND_CALLBACKS* callbacks);
typedef HARC (*PFN_ARCHIVER_OPEN_ARCHIVE_EX)(void* hwnd, const char* path, uint32_t mode,
                                             uint32_t* pnReason);

#ifdef __cplusplus
}
#endif

#endif
