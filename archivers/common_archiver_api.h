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
 * listed here is zero. */
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

#ifdef __cplusplus
}
#endif

#endif
