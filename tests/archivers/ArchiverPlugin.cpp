#include "ArchiverPlugin.h"

#include <dlfcn.h>
#include <stdlib.h>

#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace kestrel_test {

ArchiverPlugin::ArchiverPlugin(Kind eKind) : m_eKind(eKind) {
    const char* dir = std::getenv("KESTREL_ARCHIVER_DIR");
    std::string file = eKind == Kind::Lha   ? "Unlha32.so"
                       : eKind == Kind::Zip ? "UnZip32.so"
                                            : "7-Zip32.so";
    std::string path = (dir ? std::string(dir) + "/" : std::string()) + file;
    m_pvLib = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!m_pvLib) return;
    std::string p = Prefix();
    auto sym = [&](const char* suffix) { return dlsym(m_pvLib, (p + suffix).c_str()); };
    Command = reinterpret_cast<PFN_ARCHIVER_COMMAND>(sym(""));
    OpenArchive = reinterpret_cast<PFN_ARCHIVER_OPEN_ARCHIVE>(sym("OpenArchive"));
    CloseArchive = reinterpret_cast<PFN_ARCHIVER_CLOSE_ARCHIVE>(sym("CloseArchive"));
    FindFirst = reinterpret_cast<PFN_ARCHIVER_FIND_FIRST>(sym("FindFirst"));
    FindNext = reinterpret_cast<PFN_ARCHIVER_FIND_NEXT>(sym("FindNext"));
    GetArcFileSize = reinterpret_cast<PFN_ARCHIVER_GET_SIZE32>(sym("GetArcFileSize"));
    GetArcFileSizeEx = reinterpret_cast<PFN_ARCHIVER_GET_SIZE64>(sym("GetArcFileSizeEx"));
    GetArcOriginalSizeEx = reinterpret_cast<PFN_ARCHIVER_GET_SIZE64>(sym("GetArcOriginalSizeEx"));
    GetArcCompressedSizeEx =
        reinterpret_cast<PFN_ARCHIVER_GET_SIZE64>(sym("GetArcCompressedSizeEx"));
    GetArcReadSize = reinterpret_cast<PFN_ARCHIVER_GET_SIZE32>(sym("GetArcReadSize"));
    GetArcReadSizeEx = reinterpret_cast<PFN_ARCHIVER_GET_SIZE64>(sym("GetArcReadSizeEx"));
    GetOriginalSizeEx = reinterpret_cast<PFN_ARCHIVER_GET_SIZE64>(sym("GetOriginalSizeEx"));
    GetCompressedSizeEx = reinterpret_cast<PFN_ARCHIVER_GET_SIZE64>(sym("GetCompressedSizeEx"));
    GetFileName = reinterpret_cast<PFN_ARCHIVER_GET_FILE_NAME>(sym("GetFileName"));
}

ArchiverPlugin::~ArchiverPlugin() {
    if (m_pvLib) dlclose(m_pvLib);
}

std::string ArchiverPlugin::Prefix() const {
    return m_eKind == Kind::Lha ? "Unlha" : m_eKind == Kind::Zip ? "UnZip" : "SevenZip";
}

std::vector<Listed> ArchiverPlugin::List(const std::string& c_strArchive, const char* c_pszWildcard,
                                         bool* pbOpened) const {
    std::vector<Listed> out;
    HARC h = OpenArchive(nullptr, c_strArchive.c_str(), KESTREL_OPEN_MODE);
    if (pbOpened) *pbOpened = h != nullptr;
    if (!h) return out;
    unsigned char rec[KESTREL_INDIVIDUALINFO_SIZE + 16];
    std::memset(rec, 0xAB, sizeof(rec));
    for (int r = FindFirst(h, c_pszWildcard, rec); r == 0; r = FindNext(h, rec)) {
        Listed l;
        l.strName = reinterpret_cast<const char*>(rec + KESTREL_INFO_FILENAME);
        std::memcpy(&l.nOriginal, rec + KESTREL_INFO_ORIGINAL_SIZE, 4);
        std::memcpy(&l.nCompressed, rec + KESTREL_INFO_COMPRESSED_SIZE, 4);
        std::memcpy(&l.nRatio, rec + KESTREL_INFO_RATIO, 2);
        std::memcpy(&l.nDate, rec + KESTREL_INFO_DATE, 2);
        std::memcpy(&l.nTime, rec + KESTREL_INFO_TIME, 2);
        for (size_t i = KESTREL_INFO_FILENAME + l.strName.size(); i < KESTREL_INDIVIDUALINFO_SIZE;
             ++i) {
            if (rec[i] != 0) l.bZeroTail = false;
        }
        for (size_t i = KESTREL_INDIVIDUALINFO_SIZE; i < sizeof(rec); ++i) {
            if (rec[i] != 0xAB) l.bZeroTail = false;  // written past the record
        }
        GetOriginalSizeEx(h, &l.llOriginal);
        GetCompressedSizeEx(h, &l.llCompressed);
        char small[1];
        int need = GetFileName(h, small, 0);
        if (need > 0) {
            std::string buf(static_cast<size_t>(need), '\0');
            if (GetFileName(h, buf.data(), static_cast<uint32_t>(need)) == 0) {
                l.strFullName = buf.c_str();
            }
        }
        out.push_back(l);
    }
    CloseArchive(h);
    return out;
}

std::string ArchiverPlugin::CommandLine(const std::string& a, const std::string& d,
                                        const std::string& r, uint32_t mode) const {
    return kestrel::test::EngineCommandLine(m_eKind, a, d, r, mode);
}

std::string ArchiverPlugin::ResponseLine(const std::string& c_strEntryPath) const {
    return kestrel::test::EngineResponseLine(m_eKind, c_strEntryPath);
}

ArchiverPlugin::Result ArchiverPlugin::Run(const std::string& c_strCommandLine) const {
    Result r;
    char out[1024];
    std::memset(out, 0, sizeof(out));
    r.nCode = Command(nullptr, c_strCommandLine.c_str(), out, sizeof(out));
    r.strOutput.assign(out, strnlen(out, sizeof(out)));
    return r;
}

ArchiverPlugin::Result ArchiverPlugin::Extract(const std::string& a, const std::string& d,
                                               const std::vector<std::string>& entries,
                                               uint32_t mode, const std::string& scratch) const {
    std::string response = scratch + "/kr_response_0000abcd.tmp";
    std::string text;
    for (const auto& e : entries) text += ResponseLine(e);
    WriteFile(response, text);
    Result r = Run(CommandLine(a, d, response, mode));
    std::filesystem::remove(response);
    return r;
}

std::string DataPath(const std::string& c_strName) {
    const char* dir = std::getenv("KESTREL_TEST_DATA");
    return std::string(dir ? dir : "tests/data") + "/" + c_strName;
}

std::string ReadFile(const std::string& c_strPath) {
    std::ifstream f(c_strPath, std::ios::binary);
    std::stringstream ss;
    ss << f.rdbuf();
    return ss.str();
}

void WriteFile(const std::string& c_strPath, const std::string& c_strData) {
    std::ofstream f(c_strPath, std::ios::binary | std::ios::trunc);
    f << c_strData;
}

ScratchDir::ScratchDir() {
    std::string base =
        std::filesystem::temp_directory_path().string() + "/kestrel-archivers-XXXXXX";
    std::vector<char> buf(base.begin(), base.end());
    buf.push_back('\0');
    if (mkdtemp(buf.data())) m_strPath = buf.data();
}

ScratchDir::~ScratchDir() {
    std::error_code ec;
    if (!m_strPath.empty()) std::filesystem::remove_all(m_strPath, ec);
}

ZoneScope::ZoneScope(const char* c_pszZone) {
    if (const char* old = std::getenv("TZ")) {
        m_bHad = true;
        m_strOld = old;
    }
    setenv("TZ", c_pszZone, 1);
    tzset();
}

ZoneScope::~ZoneScope() {
    if (m_bHad) {
        setenv("TZ", m_strOld.c_str(), 1);
    } else {
        unsetenv("TZ");
    }
    tzset();
}

}  // namespace kestrel_test
