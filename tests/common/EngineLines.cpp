#include "common/EngineLines.h"

#include <cstdio>
#include <cstdlib>
#include <memory>

#include "CArchive_Drivers.h"
#include "Platform.h"

namespace kestrel::test {

namespace {

std::unique_ptr<shelf::CArchive_CommonArchiver> Driver(Archiver eArchiver) {
    switch (eArchiver) {
        case Archiver::Lha:
            return std::make_unique<shelf::CArchive_Lha_Unlha32>();
        case Archiver::Zip:
            return std::make_unique<shelf::CArchive_Zip_UnZip32>();
        case Archiver::SevenZip:
            break;
    }
    return std::make_unique<shelf::CArchive_7Zip_7Zip32>();
}

}  // namespace

std::string EngineCommandLine(Archiver eArchiver, const std::string& c_strArchive,
                              const std::string& c_strDestination, const std::string& c_strResponse,
                              uint32_t nMode) {
    std::string str;
    Driver(eArchiver)->MakeCommandLine(&str, c_strArchive, c_strDestination, c_strResponse,
                                       static_cast<shelf::NArchive::EXT_MODE>(nMode));
    return str;
}

std::string EngineResponseLine(Archiver eArchiver, const std::string& c_strPath) {
    char* pszBuffer = nullptr;
    size_t nSize = 0;
    std::FILE* pFile = open_memstream(&pszBuffer, &nSize);
    if (pFile == nullptr) return {};
    Driver(eArchiver)->WriteResponse(pFile, shelf::ToWide(c_strPath));
    std::fclose(pFile);
    std::string str(pszBuffer, nSize);
    std::free(pszBuffer);
    return str;
}

}  // namespace kestrel::test
