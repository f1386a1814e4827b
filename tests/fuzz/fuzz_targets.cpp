// The fuzz targets: bytes as an archive (listed; extracted as the engine asks) and bytes as the
// settings file. What must hold is in README.md.
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>

#include "CArchive_Drivers.h"
#include "Entry.h"
#include "FuzzTargets.h"
#include "Platform.h"
#include "Text.h"
#include "common_archiver_api.h"
#include "support/Support.h"

#ifdef KESTREL_FUZZ_CONFIG
#include "CConfigFile.h"
#endif

using namespace kestrel::test;
using kestrel::archiver::Format;

// The three export sets, linked in rather than loaded, so that coverage reaches behind them.
#define KESTREL_DECLARE_EXPORTS(P)                                 \
    extern "C" int P(void*, const char*, char*, uint32_t);         \
    extern "C" void* P##OpenArchive(void*, const char*, uint32_t); \
    extern "C" int P##CloseArchive(void*);                         \
    extern "C" int P##FindFirst(void*, const char*, void*);        \
    extern "C" int P##FindNext(void*, void*);                      \
    extern "C" uint32_t P##GetArcReadSize(void*);                  \
    extern "C" int P##GetArcFileSizeEx(void*, int64_t*);           \
    extern "C" int P##GetArcReadSizeEx(void*, int64_t*);           \
    extern "C" int P##GetOriginalSizeEx(void*, int64_t*);          \
    extern "C" int P##GetCompressedSizeEx(void*, int64_t*);        \
    extern "C" int P##GetFileName(void*, char*, uint32_t);
KESTREL_DECLARE_EXPORTS(Unlha)
KESTREL_DECLARE_EXPORTS(UnZip)
KESTREL_DECLARE_EXPORTS(SevenZip)

namespace kestrel_fuzz {

namespace {

ViolationHandler g_pfnHandler = nullptr;

struct Plugin {
    Format eFormat;
    const char* pszExtension;
    char cSeparator;
    PFN_ARCHIVER_COMMAND Command;
    PFN_ARCHIVER_OPEN_ARCHIVE Open;
    PFN_ARCHIVER_CLOSE_ARCHIVE Close;
    PFN_ARCHIVER_FIND_FIRST First;
    PFN_ARCHIVER_FIND_NEXT Next;
    PFN_ARCHIVER_GET_SIZE32 ReadSize;
    PFN_ARCHIVER_GET_SIZE64 FileSizeEx, ReadSizeEx, OriginalEx, CompressedEx;
    PFN_ARCHIVER_GET_FILE_NAME FileName;
    std::unique_ptr<shelf::CArchive_CommonArchiver> (*fnDriver)();
};

#define KESTREL_PLUGIN(FORMAT, EXT, SEP, P, DRIVER)                                            \
    Plugin {                                                                                   \
        FORMAT, EXT, SEP, P, P##OpenArchive, P##CloseArchive, P##FindFirst, P##FindNext,       \
            P##GetArcReadSize, P##GetArcFileSizeEx, P##GetArcReadSizeEx, P##GetOriginalSizeEx, \
            P##GetCompressedSizeEx, P##GetFileName, [] {                                       \
                return std::unique_ptr<shelf::CArchive_CommonArchiver>(                        \
                    std::make_unique<DRIVER>());                                               \
            }                                                                                  \
    }
const Plugin c_aPlugin[] = {
    KESTREL_PLUGIN(Format::Lha, ".lzh", '/', Unlha, shelf::CArchive_Lha_Unlha32),
    KESTREL_PLUGIN(Format::Zip, ".zip", '/', UnZip, shelf::CArchive_Zip_UnZip32),
    KESTREL_PLUGIN(Format::SevenZip, ".7z", '\\', SevenZip, shelf::CArchive_7Zip_7Zip32),
};

// The process's scratch folder: extractions go to <root>/a/b/sandbox, so that a name climbing
// one or two levels lands where it is seen beside canary files.
struct Place {
    Scratch scratch;
    fs::path sandbox = scratch.Path() / "a/b/sandbox";
    Place() {
        fs::create_directories(sandbox);
        for (const char* c_psz : {"canary", "a/canary", "a/b/canary"})
            WriteFile(scratch.Path() / c_psz, "canary\n");
    }
    std::string operator/(const std::string& c_str) const { return scratch / c_str; }
    void EmptySandbox() const {
        std::error_code ec;
        fs::remove_all(sandbox, ec);
        if (ec) RemoveTree(sandbox);  // deeper than a path can name
        fs::create_directories(sandbox);
    }
    Snapshot Outside() const { return TakeSnapshot(scratch.Path(), {sandbox}); }
};
Place& Here() {
    static Place* s_pPlace = new Place();  // removed at exit by the atexit below
    static const bool s_bRegistered = (std::atexit([] { delete s_pPlace; }), true);
    (void)s_bRegistered;
    return *s_pPlace;
}

void WriteBytes(const std::string& c_strPath, const uint8_t* p, size_t n) {
    WriteFile(c_strPath, std::string(reinterpret_cast<const char*>(p), n));
}

// What an extraction may leave: no link leading out, no second name of a file, no temporary
// file of the plug-in's own, no device. c_vNames: the entries asked for.
void CheckSandbox(const std::vector<std::string>& c_vNames) {
    const std::vector<std::string> vOut = LinksLeadingOut(Here().sandbox);
    FUZZ_CHECK(vOut.empty(),
               "a link leads out of the destination: " + (vOut.empty() ? "" : vOut[0]));
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(Here().sandbox, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        struct stat st {};
        if (lstat(it->path().c_str(), &st) != 0) continue;
        const std::string strName = it->path().filename();
        // The plug-in's own temporary names carry this process's id; an entry asked for may be
        // named so too (the fuzzer learns the name from this very check).
        FUZZ_CHECK(
            !strName.starts_with(".kestrel-" + std::to_string(getpid()) + "-") ||
                std::any_of(c_vNames.begin(), c_vNames.end(),
                            [&](const auto& c_str) { return c_str.find(strName) != c_str.npos; }),
            "a temporary file was left behind: " + strName);
        FUZZ_CHECK(!S_ISREG(st.st_mode) || st.st_nlink == 1, "a second name of a file: " + strName);
        FUZZ_CHECK(S_ISREG(st.st_mode) || S_ISDIR(st.st_mode) || S_ISLNK(st.st_mode),
                   "a device or pipe: " + strName);
        if (it.depth() > 100) it.disable_recursion_pending();
    }
}

bool ClimbsOut(const std::string& c_strName, char cSeparator) {
    if (!c_strName.empty() && (c_strName[0] == '/' || c_strName[0] == cSeparator)) return true;
    for (size_t nPos = 0; nPos <= c_strName.size();) {
        size_t nEnd = std::min(c_strName.find(cSeparator, nPos), c_strName.size());
        if (c_strName.compare(nPos, nEnd - nPos, "..") == 0) return true;
        nPos = nEnd + 1;
    }
    return false;
}

// Whole names as listed, at most c_nMax; empty when the archive does not open.
std::vector<std::string> ListNames(const Plugin& p, const std::string& c_strArchive,
                                   size_t c_nMax) {
    std::vector<std::string> v;
    void* h = p.Open(nullptr, c_strArchive.c_str(), KESTREL_OPEN_MODE);
    if (h == nullptr) return v;
    std::vector<uint8_t> rec(KESTREL_INDIVIDUALINFO_SIZE);
    for (int r = p.First(h, "*", rec.data()); r == 0 && v.size() < c_nMax;
         r = p.Next(h, rec.data())) {
        std::vector<char> buf(static_cast<size_t>(std::max(1, p.FileName(h, nullptr, 0))));
        v.emplace_back(
            p.FileName(h, buf.data(), static_cast<uint32_t>(buf.size())) == 0 ? buf.data() : "");
    }
    p.Close(h);
    return v;
}

uint32_t Clamp32(int64_t v) {
    return static_cast<uint32_t>(std::clamp<int64_t>(v, 0, 0xFFFFFFFFLL));
}

int Listing(Format eFormat, const uint8_t* pData, size_t nSize) {
    const Plugin& p = c_aPlugin[static_cast<int>(eFormat)];
    const std::string strPath = Here() / (std::string("archive") + p.pszExtension);
    WriteBytes(strPath, pData, nSize);
    void* h = p.Open(nullptr, strPath.c_str(), KESTREL_OPEN_MODE);
    if (h == nullptr) return 0;
    int64_t llFile = -1, llLast = 0, ll = 0;
    FUZZ_CHECK(p.FileSizeEx(h, &llFile) && llFile == static_cast<int64_t>(nSize),
               "GetArcFileSizeEx");
    FUZZ_CHECK(p.OriginalEx(h, &ll) == 0, "an entry's size before any entry");
    std::vector<uint8_t> rec(KESTREL_INDIVIDUALINFO_SIZE, 0xAB);  // exact: ASan sees overruns
    std::vector<std::string> vNames;
    for (int r = p.First(h, "*", rec.data()); r == 0; r = p.Next(h, rec.data())) {
        const char* psz = reinterpret_cast<const char*>(rec.data() + KESTREL_INFO_FILENAME);
        const size_t nLen = strnlen(psz, KESTREL_INFO_FILENAME_SIZE);
        FUZZ_CHECK(nLen < KESTREL_INFO_FILENAME_SIZE, "the record's name is not terminated");
        FUZZ_CHECK(std::all_of(rec.begin() + KESTREL_INFO_FILENAME + nLen, rec.end(),
                               [](uint8_t b) { return b == 0; }),
                   "a record byte after the name is not zero");
        const int nNeed = p.FileName(h, nullptr, 0);
        FUZZ_CHECK(nNeed >= 1, "GetFileName gives no size");
        std::vector<char> buf(static_cast<size_t>(nNeed));
        FUZZ_CHECK(p.FileName(h, buf.data(), static_cast<uint32_t>(nNeed)) == 0 &&
                       buf.back() == '\0' && std::strlen(buf.data()) == buf.size() - 1,
                   "GetFileName refuses its own size or holds a NUL");
        const std::string strFull = buf.data();
        FUZZ_CHECK(kestrel::archiver::IsValidUtf8(strFull), "a name is not UTF-8");
        FUZZ_CHECK(strFull.starts_with(std::string(psz, nLen)) &&
                       (strFull.size() >= KESTREL_INFO_FILENAME_SIZE || strFull.size() == nLen),
                   "the record's name is not the whole name or its start");
        int64_t llOriginal = -1, llCompressed = -1;
        FUZZ_CHECK(p.OriginalEx(h, &llOriginal) && llOriginal >= 0 &&
                       p.CompressedEx(h, &llCompressed) && llCompressed >= 0,
                   "entry sizes");
        uint32_t n32 = 0;
        std::memcpy(&n32, rec.data() + KESTREL_INFO_ORIGINAL_SIZE, 4);
        FUZZ_CHECK(n32 == Clamp32(llOriginal),
                   "the record's size disagrees with GetOriginalSizeEx");
        FUZZ_CHECK(
            p.ReadSizeEx(h, &ll) && ll >= llLast && ll <= llFile && p.ReadSize(h) == Clamp32(ll),
            "the read size goes back or past the file");
        llLast = ll;
        vNames.push_back(strFull);
        FUZZ_CHECK(vNames.size() <= 100000, "more entries than the bytes can hold");
        std::fill(rec.begin(), rec.end(), 0xAB);
    }
    FUZZ_CHECK(p.Next(h, rec.data()) != 0, "FindNext found more after the end");
    FUZZ_CHECK(p.ReadSizeEx(h, &ll) && ll == llFile,
               "the read size is not the file size at the end");
    size_t nAgain = 0;
    for (int r = p.First(h, "*", rec.data()); r == 0; r = p.Next(h, rec.data())) {
        FUZZ_CHECK(nAgain < vNames.size() &&
                       vNames[nAgain].starts_with(
                           reinterpret_cast<const char*>(rec.data() + KESTREL_INFO_FILENAME)),
                   "a second listing found other entries");
        ++nAgain;
    }
    FUZZ_CHECK(nAgain == vNames.size(), "a second listing found fewer entries");
    FUZZ_CHECK(p.Close(h) == 0 && p.Close(h) != 0,
               "CloseArchive of an open, then of a closed handle");
    return 0;
}

// Extracts the names as the engine asks: its own command line and response file.
int Extract(const Plugin& p, const std::string& c_strArchive,
            const std::vector<std::string>& c_vNames, uint32_t nMode) {
    const std::string strResponse = Here() / "response.txt";
    const auto pDriver = p.fnDriver();
    std::FILE* pFile = std::fopen(strResponse.c_str(), "wb");
    for (std::string strPath : c_vNames) {
        strPath.insert(0, "/");
        if (p.cSeparator == '\\') std::replace(strPath.begin(), strPath.end(), '\\', '/');
        pDriver->WriteResponse(pFile, shelf::ToWide(strPath));
    }
    std::fclose(pFile);
    std::string strLine;
    pDriver->MakeCommandLine(&strLine, c_strArchive, Here().sandbox, strResponse,
                             shelf::NArchive::EXT_MODE(nMode));
    const Snapshot before = Here().Outside();
    std::vector<char> vOut(1024, 'Z');
    const int nCode = p.Command(nullptr, strLine.c_str(), vOut.data(), 1024);
    FUZZ_CHECK(std::memchr(vOut.data(), '\0', vOut.size()) != nullptr,
               "the output is not terminated");
    const std::string strChanged = Difference(before, Here().Outside());
    FUZZ_CHECK(strChanged.empty(),
               "extraction touched the disk outside the destination: " + strChanged);
    CheckSandbox(c_vNames);
    return nCode;
}

int Extraction(Format eFormat, const uint8_t* pData, size_t nSize) {
    const Plugin& p = c_aPlugin[static_cast<int>(eFormat)];
    const std::string strPath = Here() / (std::string("archive") + p.pszExtension);
    WriteBytes(strPath, pData, nSize);
    Here().EmptySandbox();
    std::vector<std::string> vNames;
    for (const std::string& c_str : ListNames(p, strPath, 256)) {
        if (!c_str.empty() && c_str.find_first_of("\r\n") == std::string::npos)
            vNames.push_back(c_str);
    }
    if (vNames.empty()) {
        FUZZ_CHECK(Extract(p, strPath, {"a.txt"}, 0x92) != 0,
                   "an entry was extracted from an archive that lists nothing");
        return 0;
    }
    const bool bClimbs = std::any_of(vNames.begin(), vNames.end(), [&](const std::string& s) {
        return ClimbsOut(s, p.cSeparator);
    });
    FUZZ_CHECK(!(Extract(p, strPath, vNames, 0x92) == 0 && bClimbs),
               "a name leaving the destination was reported as extracted");
    if (vNames.size() <= 32) Extract(p, strPath, vNames, 0x92);  // again over what is there
    return 0;
}

#ifdef KESTREL_FUZZ_CONFIG
// Either no record, or one that saves, reads back equal, and saves to the same bytes.
int ConfigFile(const uint8_t* pData, size_t nSize) {
    const QString strIn = QString::fromStdString(Here() / "kestrel.config.xml");
    const QString strOut = QString::fromStdString(Here() / "saved/kestrel.config.xml");
    WriteBytes(strIn.toStdString(), pData, nSize);
    const auto read = kestrel::CConfigFile::Read(strIn);
    const auto parsed = kestrel::CConfigFile::Parse(
        QByteArray(reinterpret_cast<const char*>(pData), static_cast<qsizetype>(nSize)));
    if (nSize <= static_cast<size_t>(kestrel::CConfigFile::c_llMaxFileSize)) {
        FUZZ_CHECK(read.has_value() == parsed.has_value() && (!read || *read == *parsed),
                   "reading and parsing disagree");
    } else {
        FUZZ_CHECK(!read, "a file over the size limit was read");
    }
    if (!read) return 0;
    QString strError;
    FUZZ_CHECK(kestrel::CConfigFile::Write(strOut, *read, &strError),
               "a record read cannot be saved: " + strError.toStdString());
    const auto again = kestrel::CConfigFile::Read(strOut);
    FUZZ_CHECK(again && *again == *read, "a saved file reads back differently");
    FUZZ_CHECK(kestrel::CConfigFile::Serialize(*read) == kestrel::CConfigFile::Serialize(*again),
               "saving is not stable");
    return 0;
}
#endif

}  // namespace

void Violation(const std::string& c_strWhat) {
    if (g_pfnHandler) g_pfnHandler(c_strWhat);
    std::fprintf(stderr, "\n*** broken promise: %s\n", c_strWhat.c_str());
    std::abort();
}

void SetViolationHandler(ViolationHandler pfnHandler) {
    g_pfnHandler = pfnHandler;
}

const std::vector<Target>& Targets() {
    static const std::vector<Target> s_v = {
        {"archive_list_lha", [](const uint8_t* d, size_t n) { return Listing(Format::Lha, d, n); },
         ".lzh"},
        {"archive_list_zip", [](const uint8_t* d, size_t n) { return Listing(Format::Zip, d, n); },
         ".zip"},
        {"archive_list_7z",
         [](const uint8_t* d, size_t n) { return Listing(Format::SevenZip, d, n); }, ".7z"},
        {"archive_extract_lha",
         [](const uint8_t* d, size_t n) { return Extraction(Format::Lha, d, n); }, ".lzh"},
        {"archive_extract_zip",
         [](const uint8_t* d, size_t n) { return Extraction(Format::Zip, d, n); }, ".zip"},
        {"archive_extract_7z",
         [](const uint8_t* d, size_t n) { return Extraction(Format::SevenZip, d, n); }, ".7z"},
#ifdef KESTREL_FUZZ_CONFIG
        {"config_file", ConfigFile, ""},
#endif
    };
    return s_v;
}

void LimitFileSizes() {
    signal(SIGXFSZ, SIG_IGN);
    rlimit st{};
    getrlimit(RLIMIT_FSIZE, &st);
    if (st.rlim_max == RLIM_INFINITY || st.rlim_max > (64u << 20)) {
        st.rlim_cur = 64u << 20;
        setrlimit(RLIMIT_FSIZE, &st);
    }
}

}  // namespace kestrel_fuzz
