#include "CArchive_Unify_Facade.h"

#include <vector>

#include "ReasonText.h"

namespace shelf_cli {

namespace NArchive {

ARCHIVE_PROPERTY::ARCHIVE_PROPERTY(const shelf::NArchive::ARCHIVE_PROPERTY& c_stNative)
    : strProvider(WcharToMString(c_stNative.strProvider)),
      strName(WcharToMString(c_stNative.strName)),
      strType(WcharToMString(c_stNative.strType)),
      strExt(WcharToMString(c_stNative.strExt)),
      bFind(c_stNative.bFind != 0),
      bCompress(c_stNative.bCompress != 0),
      bExtract(c_stNative.bExtract != 0),
      bUpdate(c_stNative.bUpdate != 0),
      bRename(c_stNative.bRename != 0),
      bDelete(c_stNative.bDelete != 0),
      pcArchive(c_stNative.pcArchive) {
    for (const std::wstring& c_strOne : shelf::CArchive_Unify::GetExtensions(c_stNative.strExt))
        lstExts << WcharToMString(c_strOne);
    if (lstExts.isEmpty() && !strExt.isEmpty()) lstExts << strExt;
}

ARCHIVE_FILE::ARCHIVE_FILE(const shelf::NArchive::ARCHIVE_FILE& c_stNative)
    : nOriginalSize(c_stNative.nOriginalSize),
      nCompressedSize(c_stNative.nCompressedSize),
      dRatio(c_stNative.dRatio),
      strFullPath(WcharToMString(c_stNative.strFullPath)) {}

ARCHIVE_FILE::ARCHIVE_FILE(const shelf::NArchive::BASIC_ARCHIVE_FILE<shelf::CTreeString>& c_stNode)
    : nOriginalSize(c_stNode.nOriginalSize),
      nCompressedSize(c_stNode.nCompressedSize),
      dRatio(c_stNode.dRatio),
      strFullPath(WcharToMString(c_stNode.strFullPath.str())) {}

ARCHIVEFILETREE_NODE::ARCHIVEFILETREE_NODE(const shelf::NArchive::ARCHIVEFILETREE_NODE& c_stNative)
    : stFile(c_stNative.stFile), strFileName(WcharToMString(c_stNative.strFileName.str())) {}

}  // namespace NArchive

int32_t MStringToWchar(wchar_t* pszString, int32_t nSize, const QString& c_strString) {
    const QList<uint> vnUcs4 = c_strString.toUcs4();
    const qsizetype nLength = vnUcs4.size();
    if (pszString == nullptr || nSize < nLength + 1) return -1;
    for (qsizetype i = 0; i < nLength; ++i) pszString[i] = static_cast<wchar_t>(vnUcs4[i]);
    pszString[nLength] = L'\0';
    return static_cast<int32_t>(nLength);
}

int32_t MStringToWchar(std::wstring& wstrString, const QString& c_strString) {
    wstrString = c_strString.toStdWString();
    return static_cast<int32_t>(wstrString.size());
}

QString WcharToMString(const std::wstring& c_wstrString) {
    return QString::fromStdWString(c_wstrString);
}

namespace {

void* WindowHandle(const QWidget* c_frmForm) {
    // The archivers only pass the handle on; the widget pointer serves as the opaque value
    // and, unlike a native window id, may be read from the worker thread.
    return const_cast<QWidget*>(c_frmForm);
}

std::wstring ToNative(const QString& c_str) {
    std::wstring wstr;
    MStringToWchar(wstr, c_str);
    return wstr;
}

}  // namespace

CArchive_Unify::CArchive_Unify() : m_pcArchive(std::make_unique<shelf::CArchive_Unify>(0)) {}

CArchive_Unify::~CArchive_Unify() {
    Release();
}

void CArchive_Unify::Release() {
    if (!m_pcArchive) return;
    m_pcArchive->Close();
    m_pcArchive->Uninitialize();
    m_pcArchive->ClassUninitialize();
    m_pcArchive.reset();
}

bool CArchive_Unify::ClassInitialize() {
    return m_pcArchive && m_pcArchive->ClassInitialize() == 1;
}

void CArchive_Unify::ClassUninitialize() {
    if (m_pcArchive) m_pcArchive->ClassUninitialize();
}

bool CArchive_Unify::Initialize() {
    return m_pcArchive && m_pcArchive->Initialize() == 1;
}

bool CArchive_Unify::Uninitialize() {
    return m_pcArchive && m_pcArchive->Uninitialize() == 1;
}

bool CArchive_Unify::Ready() {
    return m_pcArchive && m_pcArchive->Ready() == 1;
}

NArchive::CA_RESULT CArchive_Unify::Create(const QWidget* c_frmForm, const QString& c_strFileName) {
    if (!m_pcArchive) return shelf::NArchive::CA_ERROR;
    return m_pcArchive->Create(WindowHandle(c_frmForm), ToNative(c_strFileName));
}

NArchive::CA_RESULT CArchive_Unify::Open(const QWidget* c_frmForm, const QString& c_strFileName) {
    if (!m_pcArchive) return shelf::NArchive::CA_ERROR;
    return m_pcArchive->Open(WindowHandle(c_frmForm), ToNative(c_strFileName));
}

bool CArchive_Unify::Close() {
    return m_pcArchive && m_pcArchive->Close() == 1;
}

bool CArchive_Unify::Property(NArchive::ARCHIVE_PROPERTY& pstProperty) {
    if (!m_pcArchive) return false;
    shelf::NArchive::ARCHIVE_PROPERTY stNative;
    if (m_pcArchive->Property(&stNative) == 0) return false;
    pstProperty = NArchive::ARCHIVE_PROPERTY(stNative);
    return true;
}

bool CArchive_Unify::EnumProperty(int32_t nIndex, NArchive::ARCHIVE_PROPERTY& pstProperty) {
    if (!m_pcArchive) return false;
    shelf::NArchive::ARCHIVE_PROPERTY stNative;
    if (m_pcArchive->EnumProperty(nIndex, &stNative) == 0) return false;
    pstProperty = NArchive::ARCHIVE_PROPERTY(stNative);
    return true;
}

NArchive::CA_RESULT CArchive_Unify::FindFirst(const QString& c_strWildName,
                                              shelf::NArchive::ARCHIVE_FILE* pstArchiveFile) {
    if (!m_pcArchive) return shelf::NArchive::CA_ERROR;
    return m_pcArchive->FindFirst(ToNative(c_strWildName), pstArchiveFile);
}

NArchive::CA_RESULT CArchive_Unify::FindNext(shelf::NArchive::ARCHIVE_FILE* pstArchiveFile) {
    if (!m_pcArchive) return shelf::NArchive::CA_ERROR;
    return m_pcArchive->FindNext(pstArchiveFile);
}

bool CArchive_Unify::FindEnd() {
    return m_pcArchive && m_pcArchive->FindEnd() == 1;
}

int32_t CArchive_Unify::FindProgress() {
    return m_pcArchive ? m_pcArchive->FindProgress() : 0;
}

int64_t CArchive_Unify::GetArchiveFileSize() {
    return m_pcArchive ? m_pcArchive->GetArchiveFileSize() : 0;
}

int32_t CArchive_Unify::Extract(const QStringList& c_strExractFiles,
                                const QString& c_strThawDirectory,
                                NArchive::EXT_MODE c_ExtractMode) {
    if (!m_pcArchive) return -1;
    std::vector<std::wstring> vstrFiles;
    vstrFiles.reserve(static_cast<size_t>(c_strExractFiles.size()));
    for (const QString& str : c_strExractFiles) vstrFiles.push_back(ToNative(str));
    return m_pcArchive->Extract(vstrFiles, ToNative(c_strThawDirectory), c_ExtractMode);
}

void CArchive_Unify::SetExtractObserver(shelf::IExtractObserver* pcObserver) {
    if (m_pcArchive) m_pcArchive->SetExtractObserver(pcObserver);
}

uint32_t CArchive_Unify::OpenReason() const {
    return m_pcArchive ? m_pcArchive->GetOpenReason() : 0;
}

QString CArchive_Unify::ReasonText(uint32_t nReason, int32_t nErrno) {
    return WcharToMString(shelf::ReasonText(nReason, nErrno));
}

QString CArchive_Unify::OpenFailureText(uint32_t nReason) {
    return WcharToMString(shelf::OpenFailureText(nReason));
}

QString CArchive_Unify::LastMessage() const {
    return m_pcArchive ? WcharToMString(m_pcArchive->GetLastMessage()) : QString();
}

}  // namespace shelf_cli
