#include "CArchive_Drivers.h"

#include <algorithm>

#include "CommandQuote.h"
#include "Platform.h"

namespace shelf {

using namespace NArchive;

namespace {

void Describe(ARCHIVE_PROPERTY* pst, const wchar_t* c_pszProvider, const wchar_t* c_pszName,
              const wchar_t* c_pszType, const wchar_t* c_pszExt, CArchive* pcArchive) {
    pst->strProvider = c_pszProvider;
    pst->strName = c_pszName;
    pst->strType = c_pszType;
    pst->strExt = c_pszExt;
    pst->bFind = 1;
    pst->bCompress = 0;
    pst->bExtract = 1;
    pst->bUpdate = 0;
    pst->bRename = 0;
    pst->bDelete = 0;
    pst->pcArchive = pcArchive;
}

// One response line: the path without its leading "/", quoted, then the tail; UTF-8, CR LF.
void WriteLine(std::FILE* pFile, const std::wstring& c_strPath, const char* c_pszTail) {
    if (pFile == nullptr) return;
    const std::string strPath = ToAnsi(c_strPath.empty() ? c_strPath : c_strPath.substr(1));
    std::fputc('"', pFile);
    std::fwrite(strPath.data(), 1, strPath.size(), pFile);
    std::fputc('"', pFile);
    std::fputs(c_pszTail, pFile);
    std::fputs("\r\n", pFile);
}

uint32_t OverwriteField(EXT_MODE c_eMode) {
    return c_eMode & EXT_OVERWRITE_MASK;
}
uint32_t ConfirmField(EXT_MODE c_eMode) {
    return c_eMode & EXT_CONFIRM_MASK;
}
bool WithPath(EXT_MODE c_eMode) {
    return (c_eMode & EXT_WITH_PATH) != 0;
}

std::string Quoted(const std::string& c_str) {
    std::string str;
    kestrel::quote::AppendQuoted(&str, c_str);
    return str;
}

// The test verb: VERB "ARCHIVE" then the response file, quoted as the format's extraction does.
bool MakeTestLine(std::string* pstr, const char* c_pszVerb, const std::string& c_strArchive,
                  const std::string& c_strResponse, bool c_bAtOutside, EXT_MODE c_eMode) {
    if ((c_eMode & EXT_TEST) == 0) return false;
    *pstr = std::string(c_pszVerb) + " " + Quoted(c_strArchive) + " ";
    if (c_bAtOutside) pstr->push_back('@');
    *pstr += Quoted(c_bAtOutside ? c_strResponse : "@" + c_strResponse);
    return true;
}

}  // namespace

// 7-Zip

CArchive_7Zip_7Zip32::CArchive_7Zip_7Zip32() {
    Describe(&m_stProperty, L"7-Zip32.dll", L"7-ZIP書庫", L"7-ZIP", L".7z", this);
}

CArchive_7Zip_7Zip32::~CArchive_7Zip_7Zip32() = default;

int32_t CArchive_7Zip_7Zip32::ClassInitialize() {
    return LoadArchiver(L"7-Zip32.dll");
}

int32_t CArchive_7Zip_7Zip32::LoadArchiver(const std::wstring& c_strDllName) {
    return LoadArchiverWithPrefix(c_strDllName, "SevenZip");
}

void CArchive_7Zip_7Zip32::WriteResponse(std::FILE* pFile, const std::wstring& c_strFilePath) {
    std::wstring strPath = c_strFilePath;
    std::replace(strPath.begin(), strPath.end(), L'/', L'\\');
    WriteLine(pFile, strPath, "");
}

void CArchive_7Zip_7Zip32::MakeCommandLine(std::string* pstrCommandLine,
                                           const std::string& c_strArchive,
                                           const std::string& c_strDirectory,
                                           const std::string& c_strResponse, EXT_MODE c_eMode) {
    if (pstrCommandLine == nullptr) return;
    std::string& str = *pstrCommandLine;
    if (MakeTestLine(&str, "t", c_strArchive, c_strResponse, false, c_eMode)) return;
    str = WithPath(c_eMode) ? "x " : "e ";
    if (OverwriteField(c_eMode) == EXT_OVERWRITE) {
        str += "-aoa ";
    } else if (OverwriteField(c_eMode) == EXT_NO_OVERWRITE) {
        str += "-aos ";
    }
    if (ConfirmField(c_eMode) == EXT_NO_CONFIRM) str += "-y ";
    str += Quoted("-o" + c_strDirectory) + " ";
    str += Quoted(c_strArchive) + " ";
    str += Quoted("@" + c_strResponse);
}

void CArchive_7Zip_7Zip32::AdjustFilePath(ARCHIVE_FILE* pstArchiveFile) {
    if (pstArchiveFile == nullptr) return;
    std::replace(pstArchiveFile->strFullPath.begin(), pstArchiveFile->strFullPath.end(), L'\\',
                 L'/');
}

// LHA

CArchive_Lha_Unlha32::CArchive_Lha_Unlha32() {
    Describe(&m_stProperty, L"Unlha32.dll", L"LHA書庫", L"LHA", L".lzh", this);
}

CArchive_Lha_Unlha32::~CArchive_Lha_Unlha32() = default;

int32_t CArchive_Lha_Unlha32::ClassInitialize() {
    return LoadArchiver(L"Unlha32.dll");
}

int32_t CArchive_Lha_Unlha32::LoadArchiver(const std::wstring& c_strDllName) {
    return LoadArchiverWithPrefix(c_strDllName, "Unlha");
}

void CArchive_Lha_Unlha32::WriteResponse(std::FILE* pFile, const std::wstring& c_strFilePath) {
    WriteLine(pFile, c_strFilePath, " -p2");
}

void CArchive_Lha_Unlha32::MakeCommandLine(std::string* pstrCommandLine,
                                           const std::string& c_strArchive,
                                           const std::string& c_strDirectory,
                                           const std::string& c_strResponse, EXT_MODE c_eMode) {
    if (pstrCommandLine == nullptr) return;
    std::string& str = *pstrCommandLine;
    if (MakeTestLine(&str, "t", c_strArchive, c_strResponse, true, c_eMode)) return;
    str = "e ";
    if (WithPath(c_eMode)) str += "-x1 ";
    switch (OverwriteField(c_eMode)) {
        case EXT_OVERWRITE_MODE1:
            str += "-c0 ";
            break;
        case EXT_OVERWRITE:
            str += "-c1 ";
            break;
        default:
            str += "-m0 -c1 ";
            break;
    }
    if (ConfirmField(c_eMode) == EXT_CONFIRM) {
        str += "-m0 ";
    } else if (ConfirmField(c_eMode) == EXT_NO_CONFIRM) {
        str += "-m1 ";
    }
    str += "-a2 ";
    str += Quoted(c_strArchive) + " ";
    if (!c_strDirectory.empty()) str += Quoted(c_strDirectory) + " ";
    str += '@';
    str += Quoted(c_strResponse);
}

// ZIP

CArchive_Zip_UnZip32::CArchive_Zip_UnZip32() {
    Describe(&m_stProperty, L"UnZip32.dll", L"ZIP書庫", L"ZIP", L".zip", this);
}

CArchive_Zip_UnZip32::~CArchive_Zip_UnZip32() = default;

int32_t CArchive_Zip_UnZip32::ClassInitialize() {
    return LoadArchiver(L"UnZip32.dll");
}

int32_t CArchive_Zip_UnZip32::LoadArchiver(const std::wstring& c_strDllName) {
    return LoadArchiverWithPrefix(c_strDllName, "UnZip");
}

void CArchive_Zip_UnZip32::WriteResponse(std::FILE* pFile, const std::wstring& c_strFilePath) {
    WriteLine(pFile, c_strFilePath, "");
}

void CArchive_Zip_UnZip32::MakeCommandLine(std::string* pstrCommandLine,
                                           const std::string& c_strArchive,
                                           const std::string& c_strDirectory,
                                           const std::string& c_strResponse, EXT_MODE c_eMode) {
    if (pstrCommandLine == nullptr) return;
    std::string& str = *pstrCommandLine;
    if (MakeTestLine(&str, "-t", c_strArchive, c_strResponse, false, c_eMode)) return;
    str = "-x ";
    if (!WithPath(c_eMode)) str += "-j ";
    if (OverwriteField(c_eMode) == EXT_OVERWRITE) {
        str += "-o ";
    } else if (OverwriteField(c_eMode) == EXT_NO_OVERWRITE) {
        str += "-n ";
    }
    str += Quoted(c_strArchive) + " ";
    str += Quoted(c_strDirectory) + " ";
    str += Quoted("@" + c_strResponse);
}

}  // namespace shelf
