// kestrel-cli: lists, extracts and tests archives through the engine (the unified archive and
// the file tree), for scripts and for testing the engine end to end.
//
//   kestrel-cli list ARCHIVE
//   kestrel-cli extract [--password-file FILE] ARCHIVE DEST [ENTRY...]
//   kestrel-cli test [--password-file FILE] ARCHIVE [ENTRY...]
//   kestrel-cli --help | --version
//
// Exit status: 0 success, 1 the archive cannot be opened, 2 usage error, 3 extraction failed
// (or was interrupted, or a password was missing or wrong; for test: some entry is not sound).
#include <fcntl.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "CArchive_FileTree.h"
#include "CArchive_Unify.h"
#include "Platform.h"
#include "ReasonText.h"
#include "Secret.h"

using namespace shelf;
using namespace shelf::NArchive;
using NODE = CArchive_FileTree::NODE;

namespace {

constexpr int kExitOk = 0;
constexpr int kExitCannotOpen = 1;
constexpr int kExitUsage = 2;
constexpr int kExitExtractFailed = 3;
// Up to this many named entries are looked up one by one; more, and the archive is read once
// into the tree.
constexpr size_t kMostLookUps = 8;

const char kUsage[] =
    "使い方: kestrel-cli list ARCHIVE\n"
    "        kestrel-cli extract [--password-file FILE] ARCHIVE DEST [ENTRY...]\n"
    "        kestrel-cli test [--password-file FILE] ARCHIVE [ENTRY...]\n"
    "        kestrel-cli --help | --version\n"
    "\n"
    "list     書庫の項目を一行ずつ表示します: パス、サイズ、圧縮サイズ、圧縮率、更新日時\n"
    "         (タブ区切り、書庫の順)。パスの制御文字は \\xHH と書きます。\n"
    "extract  ENTRY (書庫内のパス。/ で終わればそのフォルダ以下すべて) を DEST に\n"
    "         フォルダごと上書きで解凍します。ENTRY がなければ書庫のすべてのファイルです。\n"
    "         Ctrl+C で中止すると、書きかけのファイルは残りません。\n"
    "test     ENTRY (なければすべてのファイル) を読んで壊れていないか調べます。何も書きません。\n"
    "\n"
    "暗号化された ZIP のパスワードは、標準入力が端末ならそこから (表示せずに) 読み、\n"
    "--password-file FILE があれば FILE の最初の行を使います。\n"
    "\n"
    "終了コード: 0 成功、1 書庫を開けない、2 使い方の誤り、\n"
    "            3 解凍に失敗 (中止、パスワードがないか違う場合も。test "
    "では正常でない項目がある)\n";

// Set by SIGINT: the extraction stops at its next progress report.
volatile std::sig_atomic_t g_bInterrupted = 0;

void OnInterrupt(int) {
    g_bInterrupted = 1;
}

// One entry per line and tab-separated columns: control characters are written out.
void AppendPathText(std::string* pstrLine, const std::wstring& c_strPath) {
    AppendVisible(pstrLine, ToAnsi(c_strPath));
}

std::vector<std::wstring> SplitLines(const std::wstring& c_str) {
    std::vector<std::wstring> vstr;
    size_t nStart = 0;
    while (nStart < c_str.size()) {
        size_t nEnd = c_str.find(L'\n', nStart);
        if (nEnd == std::wstring::npos) nEnd = c_str.size();
        vstr.push_back(c_str.substr(nStart, nEnd - nStart));
        nStart = nEnd + 1;
    }
    return vstr;
}

void AppendNumber(std::string* pstrLine, int64_t c_n) {
    char sz[24];
    const auto stResult = std::to_chars(sz, sz + sizeof sz, c_n);
    pstrLine->append(sz, stResult.ptr);
}

// The entry's date and time as stored, with no time-zone change.
std::string DateText(const FILETIME& c_ft) {
    return FileTimeText((static_cast<uint64_t>(c_ft.dwHighDateTime) << 32) | c_ft.dwLowDateTime);
}

class CProgressLine {
public:
    CProgressLine() : m_bShown(isatty(STDERR_FILENO) == 1) {}
    void Update(int32_t c_nPerMille) {
        if (!m_bShown || c_nPerMille == m_nLast) return;
        m_nLast = c_nPerMille;
        std::fprintf(stderr, "\r読み込み中 %5.1f%%", c_nPerMille / 10.0);
        std::fflush(stderr);
    }
    ~CProgressLine() {
        if (m_bShown && m_nLast >= 0) std::fputs("\r\033[K", stderr);
    }

private:
    bool m_bShown;
    int32_t m_nLast = -1;
};

// The unified archive with its libraries, released in the order the engine expects.
class COpenArchive {
public:
    COpenArchive() : m_bLoaded(m_cUnify.ClassInitialize() != 0) {}
    ~COpenArchive() {
        m_cUnify.Close();
        m_cUnify.Uninitialize();
        m_cUnify.ClassUninitialize();
    }

    // Reads every entry, into the tree when asked; calls c_fnEntry for each, in enumeration
    // order.
    template <class FN>
    bool Open(const std::string& c_strArchive, bool c_bTree, FN&& c_fnEntry) {
        return Open(c_strArchive) && Enumerate(c_bTree, c_fnEntry);
    }

    bool Open(const std::string& c_strArchive) {
        std::string strReason;
        CA_RESULT eResult = CA_NO_ARCHIVER;
        if (m_bLoaded) {
            m_cUnify.Initialize();
            eResult = m_cUnify.Create(nullptr, ToWide(c_strArchive));
        }
        switch (eResult) {
            case CA_OPENED:
                return true;
            case CA_UNKNOWN_EXT:
                strReason = "この種類のファイルには対応していません";
                break;
            case CA_NO_ARCHIVER:
                strReason = "書庫を読むライブラリが見つかりません";
                break;
            case CA_NEWFILE:
            default:
                strReason = ToAnsi(OpenFailureText(m_cUnify.GetOpenReason()));
                break;
        }
        std::string strName;
        AppendVisible(&strName, c_strArchive);
        std::fprintf(stderr, "このファイルは開くことが出来ません\n%s: %s\n", strName.c_str(),
                     strReason.c_str());
        return false;
    }

    template <class FN>
    bool Enumerate(bool c_bTree, FN&& c_fnEntry) {
        m_cTree.Initialize();
        CProgressLine cProgress;
        ARCHIVE_FILE stFile;
        uint32_t nCount = 0;
        for (CA_RESULT e = m_cUnify.FindFirst(L"*", &stFile); e == CA_OK;
             e = m_cUnify.FindNext(&stFile)) {
            if (c_bTree) m_cTree.AddNode(stFile, NODE::NS_NORMAL);
            c_fnEntry(stFile);
            if ((++nCount & 7) == 0) cProgress.Update(m_cUnify.FindProgress());
        }
        return true;
    }

    CArchive_Unify& Unify() { return m_cUnify; }
    CArchive_FileTree& Tree() { return m_cTree; }

private:
    CArchive_Unify m_cUnify;
    bool m_bLoaded;
    CArchive_FileTree m_cTree;
};

int List(const std::string& c_strArchive) {
    static char s_abyBuffer[1 << 16];
    std::setvbuf(stdout, s_abyBuffer, _IOFBF, sizeof s_abyBuffer);
    COpenArchive cArchive;
    std::string strLine;
    FILETIME stLastTime{0, 0};
    std::string strLastTime = DateText(stLastTime);
    const bool bOpened = cArchive.Open(c_strArchive, false, [&](const ARCHIVE_FILE& c_st) {
        strLine.clear();
        AppendPathText(&strLine, c_st.strFullPath);
        strLine += '\t';
        AppendNumber(&strLine, c_st.nOriginalSize);
        strLine += '\t';
        AppendNumber(&strLine, c_st.nCompressedSize);
        strLine += '\t';
        // The ratio comes in thousandths: one decimal of a percentage is exact.
        const int64_t nPerMille = std::llround(c_st.dRatio * 1000.0);
        AppendNumber(&strLine, nPerMille / 10);
        strLine += '.';
        strLine += static_cast<char>('0' + std::abs(nPerMille % 10));
        strLine += "%\t";
        // Entries of one archive mostly share a few dates.
        if (!(c_st.ftUpdate == stLastTime)) {
            stLastTime = c_st.ftUpdate;
            strLastTime = DateText(stLastTime);
        }
        strLine += strLastTime;
        strLine += '\n';
        std::fwrite(strLine.data(), 1, strLine.size(), stdout);
    });
    if (std::fflush(stdout) != 0) return kExitExtractFailed;
    return bOpened ? kExitOk : kExitCannotOpen;
}

// Every file below a node, in the tree's order.
void CollectFiles(const NODE* c_pNode, std::vector<std::wstring>* pvstrPath) {
    std::vector<const NODE*> vecPending{c_pNode};
    while (!vecPending.empty()) {
        const NODE* pNode = vecPending.back();
        vecPending.pop_back();
        if (pNode->nStatus == NODE::NS_EXCLUDED) continue;
        if (pNode->nType == NODE::NT_FILE) {
            pvstrPath->push_back(pNode->stFile.strFullPath);
            continue;
        }
        for (auto it = pNode->vecChildren.rbegin(); it != pNode->vecChildren.rend(); ++it) {
            vecPending.push_back(*it);
        }
    }
}

// Entries of c_strPath: the file of that name (c_bFolder false), or everything below the
// folder c_strPath, which ends in "/". The library is asked for the name alone, so that it need
// not report every entry; a library that reports more is checked here all the same.
bool LookUp(CArchive_Unify* pcUnify, const std::wstring& c_strPath, bool c_bFolder,
            std::vector<std::wstring>* pvstrFile) {
    bool bFound = false;
    ARCHIVE_FILE stFile;
    const std::wstring strWild = c_strPath.substr(1) + (c_bFolder ? L"*" : L"");
    for (CA_RESULT e = pcUnify->FindFirst(strWild, &stFile); e == CA_OK;
         e = pcUnify->FindNext(&stFile)) {
        const std::wstring& c_strFound = stFile.strFullPath;
        if (!c_bFolder) {
            if (c_strFound != c_strPath) continue;
            pvstrFile->push_back(c_strFound);
            return true;
        }
        if (c_strFound.compare(0, c_strPath.size(), c_strPath) != 0) continue;
        bFound = true;
        if (c_strFound.back() != L'/') pvstrFile->push_back(c_strFound);
    }
    return bFound;
}

// The password of encrypted entries: the first line of --password-file, or typed on the
// terminal without echo when stdin is one; never an argument.
class CPasswordSource {
public:
    explicit CPasswordSource(std::string strFile, std::string strArchive)
        : m_strFile(std::move(strFile)), m_strArchive(std::move(strArchive)) {}

    // False: no (further) password; the encrypted entries are then skipped.
    bool Get(bool c_bWrongBefore, kestrel::Secret* pPassword) {
        m_bAsked = true;
        m_bWrong = c_bWrongBefore;
        if (!m_strFile.empty()) return !c_bWrongBefore && ReadFile(pPassword);
        if (isatty(STDIN_FILENO) != 1 || m_nTyped >= kMostTries) return false;
        ++m_nTyped;
        return Type(c_bWrongBefore, pPassword);
    }
    bool Asked() const { return m_bAsked; }
    // The last password given did not open an entry.
    bool Wrong() const { return m_bWrong; }
    bool FromFile() const { return !m_strFile.empty(); }
    bool FileUnreadable() const { return m_bFileUnreadable; }

private:
    static constexpr int kMostTries = 3;

    bool ReadFile(kestrel::Secret* pPassword) {
        const int nFd = open(m_strFile.c_str(), O_RDONLY | O_CLOEXEC);
        if (nFd < 0) {
            m_bFileUnreadable = true;
            return false;
        }
        char* p = pPassword->Buffer();
        size_t n = 0;
        bool bOk = true;
        for (char c; n <= kestrel::Secret::kMaxLength;) {
            const ssize_t r = read(nFd, &c, 1);
            if (r < 0 && errno == EINTR) continue;
            if (r < 0) bOk = false;
            if (r <= 0 || c == '\n') break;
            if (n == kestrel::Secret::kMaxLength) {
                bOk = false;  // longer than any password
                break;
            }
            p[n++] = c;
        }
        close(nFd);
        if (n > 0 && p[n - 1] == '\r') --n;
        pPassword->SetLength(n);
        if (!bOk) {
            pPassword->Clear();
            m_bFileUnreadable = true;
        }
        return bOk;
    }

    bool Type(bool c_bWrongBefore, kestrel::Secret* pPassword) {
        std::string strName;
        AppendVisible(&strName, m_strArchive);
        std::fprintf(stderr, "%s%s のパスワード: ", c_bWrongBefore ? "パスワードが違います。" : "",
                     strName.c_str());
        std::fflush(stderr);
        termios stOld{};
        const bool bTerminal = tcgetattr(STDIN_FILENO, &stOld) == 0;
        if (bTerminal) {
            termios stQuiet = stOld;
            stQuiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
            stQuiet.c_lflag |= ECHONL;
            tcsetattr(STDIN_FILENO, TCSAFLUSH, &stQuiet);
        }
        char* p = pPassword->Buffer();
        size_t n = 0;
        bool bOk = true;
        for (char c;;) {
            // Interrupted (Ctrl+C): no password, and the extraction stops.
            const ssize_t r = read(STDIN_FILENO, &c, 1);
            if (r <= 0 || g_bInterrupted) {
                bOk = false;
                break;
            }
            if (c == '\n') break;
            if (n < kestrel::Secret::kMaxLength) p[n++] = c;
        }
        if (bTerminal) tcsetattr(STDIN_FILENO, TCSAFLUSH, &stOld);
        if (!bOk) std::fputc('\n', stderr);
        pPassword->SetLength(n);
        if (!bOk) pPassword->Clear();
        return bOk;
    }

    std::string m_strFile;
    std::string m_strArchive;
    int m_nTyped = 0;
    bool m_bAsked = false;
    bool m_bWrong = false;
    bool m_bFileUnreadable = false;
};

// What an extraction or a test tells kestrel-cli: a progress line on a terminal, the problems
// for the end, passwords from CPasswordSource; Ctrl+C cancels.
class CObserver : public IExtractObserver {
public:
    CObserver(const char* c_pszVerb, CPasswordSource* pcPasswords)
        : m_pszVerb(c_pszVerb), m_pcPasswords(pcPasswords), m_bShown(isatty(STDERR_FILENO) == 1) {}
    ~CObserver() override { ClearLine(); }

    bool Progress(const EXTRACT_PROGRESS& c_st) override {
        if (g_bInterrupted) return false;
        if (!m_bShown) return true;
        // A line ten times a second is enough for a person, and costs nothing.
        timespec stNow{};
        clock_gettime(CLOCK_MONOTONIC, &stNow);
        const int64_t llNow = stNow.tv_sec * 1000LL + stNow.tv_nsec / 1000000;
        if (llNow - m_llLastDrawn < 100 && c_st.nEntriesDone != c_st.nEntriesTotal) return true;
        m_llLastDrawn = llNow;
        std::string strLine = "\r";
        strLine += m_pszVerb;
        strLine += "中 ";
        char sz[64];
        std::snprintf(sz, sizeof sz, "%5.1f%% %llu/%llu ", 100.0 * c_st.Part(),
                      static_cast<unsigned long long>(c_st.nEntriesDone),
                      static_cast<unsigned long long>(c_st.nEntriesTotal));
        strLine += sz;
        // The name's last part keeps the line short.
        const std::wstring& c_strPath = c_st.strPath;
        const size_t nSlash = c_strPath.rfind(L'/');
        AppendVisible(
            &strLine,
            ToAnsi(nSlash == std::wstring::npos ? c_strPath : c_strPath.substr(nSlash + 1)));
        strLine += "\033[K";
        std::fputs(strLine.c_str(), stderr);
        std::fflush(stderr);
        m_bDrawn = true;
        return !g_bInterrupted;
    }
    void Problem(const EXTRACT_PROBLEM& c_st) override { m_vstProblem.push_back(c_st); }
    bool Password(bool c_bWrongBefore, kestrel::Secret* pPassword) override {
        ClearLine();
        return m_pcPasswords->Get(c_bWrongBefore, pPassword);
    }

    void ClearLine() {
        if (!m_bDrawn) return;
        std::fputs("\r\033[K", stderr);
        std::fflush(stderr);
        m_bDrawn = false;
    }
    const std::vector<EXTRACT_PROBLEM>& Problems() const { return m_vstProblem; }
    // Each problem as "PATH: REASON" (or the reason alone for the whole request); names with
    // "/" between folders and control characters written out.
    std::string ProblemText() const {
        std::string str;
        for (const EXTRACT_PROBLEM& c_st : m_vstProblem) {
            if (!c_st.strPath.empty()) {
                AppendPathText(&str, c_st.strPath);
                str += ": ";
            }
            str += ToAnsi(ReasonText(c_st.nReason, c_st.nErrno));
            str += '\n';
        }
        return str;
    }

private:
    const char* m_pszVerb;
    CPasswordSource* m_pcPasswords;
    bool m_bShown;
    bool m_bDrawn = false;
    int64_t m_llLastDrawn = -1000;
    std::vector<EXTRACT_PROBLEM> m_vstProblem;
};

// The files of the request: every file, or those named (a folder: everything below it). False
// (and said so) when a name is not in the archive.
bool CollectRequest(COpenArchive* pcArchive, const std::vector<std::string>& c_vstrEntry,
                    std::vector<std::wstring>* pvstrPath) {
    std::vector<std::wstring> vstrEntry;
    bool bTree = c_vstrEntry.empty() || c_vstrEntry.size() > kMostLookUps;
    for (const std::string& c_strEntry : c_vstrEntry) {
        std::wstring strPath = ToWide(c_strEntry);
        if (strPath.empty() || strPath[0] != L'/') strPath.insert(0, 1, L'/');
        // Wildcard characters cannot be looked up by name.
        if (strPath.find_first_of(L"*?") != std::wstring::npos) bTree = true;
        vstrEntry.push_back(std::move(strPath));
    }
    if (bTree) pcArchive->Enumerate(true, [](const ARCHIVE_FILE&) {});

    if (c_vstrEntry.empty()) CollectFiles(pcArchive->Tree().RootNode(), pvstrPath);
    for (size_t i = 0; i < vstrEntry.size(); ++i) {
        const std::wstring& c_strPath = vstrEntry[i];
        bool bFound;
        if (bTree) {
            const NODE* pNode = pcArchive->Tree().FindNode(c_strPath);
            if (pNode == nullptr && c_strPath.back() != L'/')
                pNode = pcArchive->Tree().FindNode(c_strPath + L'/');
            bFound = pNode != nullptr;
            if (bFound) CollectFiles(pNode, pvstrPath);
        } else {
            // A folder may be named without its slash.
            const bool bFolder = c_strPath.back() == L'/';
            bFound = LookUp(&pcArchive->Unify(), c_strPath, bFolder, pvstrPath) ||
                     (!bFolder && LookUp(&pcArchive->Unify(), c_strPath + L'/', true, pvstrPath));
        }
        if (!bFound) {
            std::string strName;
            AppendVisible(&strName, c_vstrEntry[i]);
            std::fprintf(stderr, "kestrel-cli: %s: 書庫の中にありません\n", strName.c_str());
            return false;
        }
    }
    return true;
}

// After an extraction or a test that did not succeed: what went wrong, in Japanese.
void TellFailure(int32_t c_nResult, const char* c_pszVerb, const CObserver& c_cObserver,
                 const CPasswordSource& c_cPasswords, COpenArchive* pcArchive) {
    if (c_nResult == -3) {
        std::fprintf(stderr, "kestrel-cli: 中止しました\n");
    } else if (c_nResult == -2) {
        std::fprintf(stderr, "kestrel-cli: %sに失敗しました (作業ファイルを作れません)\n",
                     c_pszVerb);
    } else if (std::strcmp(c_pszVerb, "検査") == 0) {
        std::fputs("kestrel-cli: 正常でない項目があります\n", stderr);
    } else {
        std::fprintf(stderr, "kestrel-cli: %sに失敗しました\n", c_pszVerb);
    }
    std::string strText = c_cObserver.ProblemText();
    if (strText.empty() && c_nResult == -1) {
        // An archiver without reasons: its own words, control characters written out.
        for (const std::wstring& c_strLine : SplitLines(pcArchive->Unify().GetLastMessage())) {
            AppendPathText(&strText, c_strLine);
            strText += '\n';
        }
    }
    std::fputs(strText.c_str(), stderr);
    const bool bEncrypted = std::any_of(
        c_cObserver.Problems().begin(), c_cObserver.Problems().end(),
        [](const EXTRACT_PROBLEM& c_st) { return c_st.nReason == KESTREL_REASON_ENCRYPTED; });
    if (!bEncrypted || !c_cPasswords.Asked()) return;
    if (c_cPasswords.FileUnreadable()) {
        std::fputs("kestrel-cli: パスワードのファイルを読めません\n", stderr);
    } else if (c_cPasswords.Wrong()) {
        std::fputs("kestrel-cli: パスワードが違います\n", stderr);
    } else {
        std::fputs(
            "kestrel-cli: パスワードが必要です (端末から入力するか、--password-file FILE "
            "で渡します)\n",
            stderr);
    }
}

// Stops at the next progress report on Ctrl+C, instead of ending the program mid-write.
class CInterruptScope {
public:
    CInterruptScope() {
        struct sigaction st {};
        st.sa_handler = &OnInterrupt;
        sigemptyset(&st.sa_mask);
        st.sa_flags = 0;  // a password being typed stops waiting
        sigaction(SIGINT, &st, &m_stOld);
    }
    ~CInterruptScope() { sigaction(SIGINT, &m_stOld, nullptr); }

private:
    struct sigaction m_stOld {};
};

int Extract(const std::string& c_strArchive, const std::string& c_strDestination,
            const std::vector<std::string>& c_vstrEntry, const std::string& c_strPasswordFile) {
    CInterruptScope cInterrupt;
    COpenArchive cArchive;
    if (!cArchive.Open(c_strArchive)) return kExitCannotOpen;
    std::vector<std::wstring> vstrPath;
    if (!CollectRequest(&cArchive, c_vstrEntry, &vstrPath)) return kExitExtractFailed;
    if (g_bInterrupted) {
        std::fprintf(stderr, "kestrel-cli: 中止しました\n");
        return kExitExtractFailed;
    }

    std::error_code ec;
    const bool bMade = std::filesystem::create_directories(c_strDestination, ec);
    const std::filesystem::path pathDestination = std::filesystem::absolute(c_strDestination, ec);
    if (ec || CheckPathType(ToWide(pathDestination.string())) != 2) {
        std::string strName;
        AppendVisible(&strName, c_strDestination);
        std::fprintf(stderr, "kestrel-cli: %s: 解凍先のフォルダを作れません\n", strName.c_str());
        return kExitExtractFailed;
    }
    if (vstrPath.empty()) return kExitOk;

    CPasswordSource cPasswords(c_strPasswordFile, c_strArchive);
    CObserver cObserver("解凍", &cPasswords);
    cArchive.Unify().SetExtractObserver(&cObserver);
    const int32_t nResult = cArchive.Unify().Extract(
        vstrPath, ToWide(pathDestination.string()), EXT_OVERWRITE | EXT_WITH_PATH | EXT_NO_CONFIRM);
    cArchive.Unify().SetExtractObserver(nullptr);
    cObserver.ClearLine();
    if (nResult >= 0) return kExitOk;
    // A folder made for files none of which arrived is not left behind (rmdir keeps a full one).
    if (bMade) rmdir(pathDestination.c_str());
    TellFailure(nResult, "解凍", cObserver, cPasswords, &cArchive);
    return kExitExtractFailed;
}

int Test(const std::string& c_strArchive, const std::vector<std::string>& c_vstrEntry,
         const std::string& c_strPasswordFile) {
    CInterruptScope cInterrupt;
    COpenArchive cArchive;
    if (!cArchive.Open(c_strArchive)) return kExitCannotOpen;
    std::vector<std::wstring> vstrPath;
    if (!CollectRequest(&cArchive, c_vstrEntry, &vstrPath)) return kExitExtractFailed;
    CPasswordSource cPasswords(c_strPasswordFile, c_strArchive);
    CObserver cObserver("検査", &cPasswords);
    int32_t nResult = 0;
    if (!vstrPath.empty() && !g_bInterrupted) {
        cArchive.Unify().SetExtractObserver(&cObserver);
        nResult = cArchive.Unify().Extract(vstrPath, std::wstring(), EXT_TEST);
        cArchive.Unify().SetExtractObserver(nullptr);
    } else if (g_bInterrupted) {
        nResult = -3;
    }
    cObserver.ClearLine();
    if (nResult >= 0) {
        std::printf("%zu 個のファイルを検査しました。すべて正常です。\n", vstrPath.size());
        return kExitOk;
    }
    TellFailure(nResult, "検査", cObserver, cPasswords, &cArchive);
    return kExitExtractFailed;
}

// Takes "--password-file FILE" out of the arguments after the verb ("--" ends the options).
// False for one without its file, and for any other option (a password is never one).
bool TakePasswordFile(std::vector<std::string>* pvstrArg, std::string* pstrFile) {
    for (size_t i = 1; i < pvstrArg->size(); ++i) {
        const std::string& c_str = (*pvstrArg)[i];
        if (c_str == "--") {
            pvstrArg->erase(pvstrArg->begin() + static_cast<std::ptrdiff_t>(i));
            return true;
        }
        if (c_str.starts_with("--") && c_str != "--password-file") return false;
        if (c_str != "--password-file") continue;
        if (i + 1 >= pvstrArg->size() || (*pvstrArg)[i + 1].empty()) return false;
        *pstrFile = (*pvstrArg)[i + 1];
        pvstrArg->erase(pvstrArg->begin() + static_cast<std::ptrdiff_t>(i),
                        pvstrArg->begin() + static_cast<std::ptrdiff_t>(i + 2));
        --i;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    // The local zone stays the same; the C library stops re-reading it for every entry.
    if (std::getenv("TZ") == nullptr) setenv("TZ", ":/etc/localtime", 1);
    // A file grown past the size limit fails its write (and is removed) instead of killing us
    // half-way with a cut file left behind.
    std::signal(SIGXFSZ, SIG_IGN);

    const std::vector<std::string> vstrArg(argv + 1, argv + argc);
    if (vstrArg.size() == 1 && (vstrArg[0] == "--help" || vstrArg[0] == "-h")) {
        std::fputs(kUsage, stdout);
        return kExitOk;
    }
    if (vstrArg.size() == 1 && vstrArg[0] == "--version") {
        std::fputs("kestrel-cli " KESTREL_VERSION "\n", stdout);
        return kExitOk;
    }
    if (vstrArg.size() == 2 && vstrArg[0] == "list") return List(vstrArg[1]);
    // A write past the file-size limit fails with EFBIG and is reported, instead of killing us.
    std::signal(SIGXFSZ, SIG_IGN);
    std::vector<std::string> vstrRest = vstrArg;
    std::string strPasswordFile;
    const bool bOptions = !vstrRest.empty() && TakePasswordFile(&vstrRest, &strPasswordFile);
    if (bOptions && vstrRest.size() >= 3 && vstrRest[0] == "extract" && !vstrRest[2].empty()) {
        return Extract(vstrRest[1], vstrRest[2],
                       std::vector<std::string>(vstrRest.begin() + 3, vstrRest.end()),
                       strPasswordFile);
    }
    if (bOptions && vstrRest.size() >= 2 && vstrRest[0] == "test" && !vstrRest[1].empty()) {
        return Test(vstrRest[1], std::vector<std::string>(vstrRest.begin() + 2, vstrRest.end()),
                    strPasswordFile);
    }
    std::fputs(kUsage, stderr);
    return kExitUsage;
}
