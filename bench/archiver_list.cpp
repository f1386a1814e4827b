// Lists an archive through a plug-in's exports, as the engine does (dlopen, FindFirst "*",
// FindNext to the end). Prints one line per entry, or with --time only the count and the
// seconds the listing took.
//   archiver_list PLUGIN.so PREFIX ARCHIVE [--time]
#include <dlfcn.h>

#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <string>

#include "common_archiver_api.h"

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: %s PLUGIN.so PREFIX ARCHIVE [--time]\n", argv[0]);
        return 2;
    }
    bool timeOnly = argc > 4 && std::strcmp(argv[4], "--time") == 0;
    void* lib = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
    if (!lib) {
        std::fprintf(stderr, "%s\n", dlerror());
        return 1;
    }
    std::string prefix = argv[2];
    auto sym = [&](const char* suffix) { return dlsym(lib, (prefix + suffix).c_str()); };
    auto open = reinterpret_cast<PFN_ARCHIVER_OPEN_ARCHIVE>(sym("OpenArchive"));
    auto close = reinterpret_cast<PFN_ARCHIVER_CLOSE_ARCHIVE>(sym("CloseArchive"));
    auto first = reinterpret_cast<PFN_ARCHIVER_FIND_FIRST>(sym("FindFirst"));
    auto next = reinterpret_cast<PFN_ARCHIVER_FIND_NEXT>(sym("FindNext"));
    auto readSize = reinterpret_cast<PFN_ARCHIVER_GET_SIZE64>(sym("GetArcReadSizeEx"));
    auto fileSize = reinterpret_cast<PFN_ARCHIVER_GET_SIZE64>(sym("GetArcFileSizeEx"));
    if (!open || !close || !first || !next || !readSize || !fileSize) {
        std::fprintf(stderr, "%s lacks the listing exports\n", argv[1]);
        return 1;
    }

    auto start = std::chrono::steady_clock::now();
    HARC h = open(nullptr, argv[3], KESTREL_OPEN_MODE);
    if (!h) {
        std::fprintf(stderr, "cannot open %s\n", argv[3]);
        return 1;
    }
    unsigned char rec[KESTREL_INDIVIDUALINFO_SIZE];
    long count = 0;
    int64_t read = 0, total = 0;
    for (int r = first(h, "*", rec); r == 0; r = next(h, rec)) {
        ++count;
        if (count % 8 == 0) readSize(h, &read);  // as the engine's progress does
        if (timeOnly) continue;
        uint32_t orig, comp;
        uint16_t ratio, date, time;
        std::memcpy(&orig, rec + KESTREL_INFO_ORIGINAL_SIZE, 4);
        std::memcpy(&comp, rec + KESTREL_INFO_COMPRESSED_SIZE, 4);
        std::memcpy(&ratio, rec + KESTREL_INFO_RATIO, 2);
        std::memcpy(&date, rec + KESTREL_INFO_DATE, 2);
        std::memcpy(&time, rec + KESTREL_INFO_TIME, 2);
        std::printf("%s\t%" PRIu32 "\t%" PRIu32 "\t%u\t%04u-%02u-%02u %02u:%02u:%02u\n",
                    reinterpret_cast<char*>(rec + KESTREL_INFO_FILENAME), orig, comp, ratio,
                    1980 + (date >> 9), (date >> 5) & 15, date & 31, time >> 11, (time >> 5) & 63,
                    (time & 31) * 2);
    }
    readSize(h, &read);
    fileSize(h, &total);
    close(h);
    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (timeOnly)
        std::printf("%ld entries, read %" PRId64 " of %" PRId64 " bytes, %.3f s\n", count, read,
                    total, seconds);
    dlclose(lib);
    return 0;
}
