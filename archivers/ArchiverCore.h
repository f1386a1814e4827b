// The one implementation behind the three plug-ins; each export set forwards here with its
// format. Handles from one plug-in mean nothing to another.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "Entry.h"
#include "common_archiver_api.h"

namespace kestrel::archiver {

// callbacks may be null.
int RunCommand(Format eFormat, const char* c_pszCommandLine, char* pszOutput,
               uint32_t c_nOutputSize, const KESTREL_COMMAND_CALLBACKS* pCallbacks);
void* OpenArchive(Format eFormat, const char* c_pszPath, uint32_t* pnReason);
// Why an archive file does not open as the format: a KESTREL_REASON_* code.
uint32_t OpenFailureReason(Format eFormat, const std::string& c_strPath);
int CloseArchive(void* hArc);
int FindFirst(void* hArc, const char* c_pszWildcard, void* pvRecord);
int FindNext(void* hArc, void* pvRecord);
uint32_t GetArcFileSize(void* hArc);
int GetArcFileSizeEx(void* hArc, int64_t* pllSize);
int GetArcOriginalSizeEx(void* hArc, int64_t* pllSize);
int GetArcCompressedSizeEx(void* hArc, int64_t* pllSize);
uint32_t GetArcReadSize(void* hArc);
int GetArcReadSizeEx(void* hArc, int64_t* pllSize);
int GetOriginalSizeEx(void* hArc, int64_t* pllSize);
int GetCompressedSizeEx(void* hArc, int64_t* pllSize);
int GetFileName(void* hArc, char* pszBuffer, uint32_t c_nSize);

// The entries that lookups by name (FindFirst with a wildcard without "*" or "?") found in
// this archive before its handle was closed, when they are every name of c_vNames and the file
// has not changed since: a source giving just them, in archive order. Null otherwise. Taken
// once.
std::unique_ptr<EntrySource> TakeFoundEntries(Format eFormat, const std::string& c_strPath,
                                              const std::vector<std::string>& c_vNames);

// How many threads write the files of one extraction: 0 (the default) one per processor, at
// most eight; 1 writes entry after entry. For tests, which compare the two.
void SetExtractionWorkers(unsigned c_nWorkers);

}  // namespace kestrel::archiver

#define KESTREL_EXPORT extern "C" __attribute__((visibility("default")))

// Defines the sixteen exports of one plug-in: PREFIX, PREFIXOpenArchive, ...
#define KESTREL_DEFINE_ARCHIVER_EXPORTS(PREFIX, FORMAT)                                          \
    KESTREL_EXPORT int PREFIX(void*, const char* cmd, char* out, uint32_t size) {                \
        return kestrel::archiver::RunCommand(FORMAT, cmd, out, size, nullptr);                   \
    }                                                                                            \
    KESTREL_EXPORT int PREFIX##CommandEx(void*, const char* cmd, char* out, uint32_t size,       \
                                         const KESTREL_COMMAND_CALLBACKS* cb) {                  \
        return kestrel::archiver::RunCommand(FORMAT, cmd, out, size, cb);                        \
    }                                                                                            \
    KESTREL_EXPORT void* PREFIX##OpenArchive(void*, const char* path, uint32_t) {                \
        return kestrel::archiver::OpenArchive(FORMAT, path, nullptr);                            \
    }                                                                                            \
    KESTREL_EXPORT void* PREFIX##OpenArchiveEx(void*, const char* path, uint32_t, uint32_t* r) { \
        return kestrel::archiver::OpenArchive(FORMAT, path, r);                                  \
    }                                                                                            \
    KESTREL_EXPORT int PREFIX##CloseArchive(void* h) {                                           \
        return kestrel::archiver::CloseArchive(h);                                               \
    }                                                                                            \
    KESTREL_EXPORT int PREFIX##FindFirst(void* h, const char* w, void* r) {                      \
        return kestrel::archiver::FindFirst(h, w, r);                                            \
    }                                                                                            \
    KESTREL_EXPORT int PREFIX##FindNext(void* h, void* r) {                                      \
        return kestrel::archiver::FindNext(h, r);                                                \
    }                                                                                            \
    KESTREL_EXPORT uint32_t PREFIX##GetArcFileSize(void* h) {                                    \
        return kestrel::archiver::GetArcFileSize(h);                                             \
    }                                                                                            \
    KESTREL_EXPORT int PREFIX##GetArcFileSizeEx(void* h, int64_t* s) {                           \
        return kestrel::archiver::GetArcFileSizeEx(h, s);                                        \
    }                                                                                            \
    KESTREL_EXPORT int PREFIX##GetArcOriginalSizeEx(void* h, int64_t* s) {                       \
        return kestrel::archiver::GetArcOriginalSizeEx(h, s);                                    \
    }                                                                                            \
    KESTREL_EXPORT int PREFIX##GetArcCompressedSizeEx(void* h, int64_t* s) {                     \
        return kestrel::archiver::GetArcCompressedSizeEx(h, s);                                  \
    }                                                                                            \
    KESTREL_EXPORT uint32_t PREFIX##GetArcReadSize(void* h) {                                    \
        return kestrel::archiver::GetArcReadSize(h);                                             \
    }                                                                                            \
    KESTREL_EXPORT int PREFIX##GetArcReadSizeEx(void* h, int64_t* s) {                           \
        return kestrel::archiver::GetArcReadSizeEx(h, s);                                        \
    }                                                                                            \
    KESTREL_EXPORT int PREFIX##GetOriginalSizeEx(void* h, int64_t* s) {                          \
        return kestrel::archiver::GetOriginalSizeEx(h, s);                                       \
    }                                                                                            \
    KESTREL_EXPORT int PREFIX##GetCompressedSizeEx(void* h, int64_t* s) {                        \
        return kestrel::archiver::GetCompressedSizeEx(h, s);                                     \
    }                                                                                            \
    KESTREL_EXPORT int PREFIX##GetFileName(void* h, char* b, uint32_t s) {                       \
        return kestrel::archiver::GetFileName(h, b, s);                                          \
    }
