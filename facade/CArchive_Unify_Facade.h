// The object through which the Qt side drives the engine's unified archive: it converts Qt
// strings and lists into the engine's wide strings, calls the native operation of the same
// name and maps the results back. Without a native object every operation answers with its
// "nothing there" value (-1, false or 0) and calls nothing.
#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>
#include <memory>
#include <string>

#include "CArchive_Unify.h"
#include "NArchive.h"

class QWidget;

namespace shelf_cli {

namespace NArchive {

using shelf::NArchive::CA_RESULT;
using shelf::NArchive::EXT_MODE;

struct ARCHIVE_PROPERTY {
    QString strProvider;
    QString strName;
    QString strType;
    QString strExt;
    QStringList lstExts;  // every extension of the format, strExt first (".lzh", ".lha")
    bool bFind = false;
    bool bCompress = false;
    bool bExtract = false;
    bool bUpdate = false;
    bool bRename = false;
    bool bDelete = false;
    shelf::CArchive* pcArchive = nullptr;

    ARCHIVE_PROPERTY() = default;
    explicit ARCHIVE_PROPERTY(const shelf::NArchive::ARCHIVE_PROPERTY& c_stNative);
};

struct ARCHIVE_FILE {
    qint64 nOriginalSize = 0;
    qint64 nCompressedSize = 0;
    double dRatio = 0.0;
    QString strFullPath;

    ARCHIVE_FILE() = default;
    explicit ARCHIVE_FILE(const shelf::NArchive::ARCHIVE_FILE& c_stNative);
    // A file-tree node's record.
    explicit ARCHIVE_FILE(const shelf::NArchive::BASIC_ARCHIVE_FILE<shelf::CTreeString>& c_stNode);
};

struct ARCHIVEFILETREE_NODE {
    ARCHIVE_FILE stFile;
    QString strFileName;

    ARCHIVEFILETREE_NODE() = default;
    explicit ARCHIVEFILETREE_NODE(const shelf::NArchive::ARCHIVEFILETREE_NODE& c_stNative);
};

}  // namespace NArchive

// Wide strings on this platform hold UTF-32; a QString is converted code point by code point.
// Form 1 writes the string and a terminator into a buffer of nSize characters and returns its
// length, or -1 (nothing written) when it does not fit.
int32_t MStringToWchar(wchar_t* pszString, int32_t nSize, const QString& c_strString);
int32_t MStringToWchar(std::wstring& wstrString, const QString& c_strString);

QString WcharToMString(const std::wstring& c_wstrString);

class CArchive_Unify {
public:
    CArchive_Unify();
    ~CArchive_Unify();
    CArchive_Unify(const CArchive_Unify&) = delete;
    CArchive_Unify& operator=(const CArchive_Unify&) = delete;

    // Closes, uninitialises and releases the native object; a second call does nothing.
    void Release();

    bool ClassInitialize();
    void ClassUninitialize();
    bool Initialize();
    bool Uninitialize();
    bool Ready();
    NArchive::CA_RESULT Create(const QWidget* c_frmForm, const QString& c_strFileName);
    NArchive::CA_RESULT Open(const QWidget* c_frmForm, const QString& c_strFileName);
    bool Close();
    // False leaves the caller's record untouched.
    bool Property(NArchive::ARCHIVE_PROPERTY& pstProperty);
    bool EnumProperty(int32_t nIndex, NArchive::ARCHIVE_PROPERTY& pstProperty);
    NArchive::CA_RESULT FindFirst(const QString& c_strWildName,
                                  shelf::NArchive::ARCHIVE_FILE* pstArchiveFile);
    NArchive::CA_RESULT FindNext(shelf::NArchive::ARCHIVE_FILE* pstArchiveFile);
    bool FindEnd();
    int32_t FindProgress();
    int64_t GetArchiveFileSize();
    int32_t Extract(const QStringList& c_strExractFiles, const QString& c_strThawDirectory,
                    NArchive::EXT_MODE c_ExtractMode);

    // The archiver's own words about the last extraction; empty when it said nothing. A log in
    // English: what a user is shown comes from the observer's problems and ReasonText.
    QString LastMessage() const;
    // Told about the extractions and tests that follow (null: nobody); not owned.
    void SetExtractObserver(shelf::IExtractObserver* pcObserver);
    // Why the last Create or Open failed: KESTREL_REASON_*, 0 when unknown.
    uint32_t OpenReason() const;

    // The one table of Japanese reasons (engine/ReasonText.h).
    static QString ReasonText(uint32_t nReason, int32_t nErrno);
    static QString OpenFailureText(uint32_t nReason);

    bool HasNative() const { return m_pcArchive != nullptr; }

private:
    bool m_bReady = false;
    NArchive::ARCHIVE_PROPERTY m_stProperty;
    std::unique_ptr<shelf::CArchive_Unify> m_pcArchive;
};

}  // namespace shelf_cli
