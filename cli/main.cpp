// kestrel-cli: lists and extracts archives through the engine (the unified archive and the
// file tree), for scripts and for testing the engine end to end.
//
//   kestrel-cli list ARCHIVE
//   kestrel-cli extract ARCHIVE DEST [ENTRY...]
//   kestrel-cli --help | --version
//
// Exit status: 0 success, 1 the archive cannot be opened, 2 usage error, 3 extraction failed.
#include <unistd.h>

#include <charconv>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "CArchive_FileTree.h"
#include "CArchive_Unify.h"
#include "Platform.h"

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
    "        kestrel-cli extract ARCHIVE DEST [ENTRY...]\n"
    "        kestrel-cli --help | --version\n"
    "\n"
    "list     書庫の項目を一行ずつ表示します: パス、サイズ、圧縮サイズ、圧縮率、更新日時\n"
    "         (タブ区切り、書庫の順)。パスの制御文字は \\xHH と書きます。\n"
    "extract  ENTRY (書庫内のパス。/ で終わればそのフォルダ以下すべて) を DEST に\n"
    "         フォルダごと上書きで解凍します。ENTRY がなければ書庫のすべてのファイルです。\n"
    "\n"
    "終了コード: 0 成功、1 書庫を開けない、2 使い方の誤り、3 解凍に失敗\n";

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
        const char* pszReason = nullptr;
        CA_RESULT eResult = CA_NO_ARCHIVER;
        if (m_bLoaded) {
            m_cUnify.Initialize();
            eResult = m_cUnify.Create(nullptr, ToWide(c_strArchive));
        }
        switch (eResult) {
            case CA_OPENED:
                break;
            case CA_NEWFILE:
                pszReason = "ファイルが見つかりません";
                break;
            case CA_UNKNOWN_EXT:
                pszReason = "この種類のファイルには対応していません";
                break;
            case CA_NO_ARCHIVER:
                pszReason = "書庫を読むライブラリが見つかりません";
                break;
            default:
                pszReason = "書庫として読むことができません";
                break;
        }
        if (pszReason != nullptr) {
            std::fprintf(stderr, "このファイルは開くことが出来ません\n%s: %s\n",
                         c_strArchive.c_str(), pszReason);
            return false;
        }
        return true;
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

int Extract(const std::string& c_strArchive, const std::string& c_strDestination,
            const std::vector<std::string>& c_vstrEntry) {
    COpenArchive cArchive;
    if (!cArchive.Open(c_strArchive)) return kExitCannotOpen;

    std::vector<std::wstring> vstrEntry;
    bool bTree = c_vstrEntry.empty() || c_vstrEntry.size() > kMostLookUps;
    for (const std::string& c_strEntry : c_vstrEntry) {
        std::wstring strPath = ToWide(c_strEntry);
        if (strPath.empty() || strPath[0] != L'/') strPath.insert(0, 1, L'/');
        // Wildcard characters cannot be looked up by name.
        if (strPath.find_first_of(L"*?") != std::wstring::npos) bTree = true;
        vstrEntry.push_back(std::move(strPath));
    }
    if (bTree) cArchive.Enumerate(true, [](const ARCHIVE_FILE&) {});

    std::vector<std::wstring> vstrPath;
    if (c_vstrEntry.empty()) CollectFiles(cArchive.Tree().RootNode(), &vstrPath);
    for (size_t i = 0; i < vstrEntry.size(); ++i) {
        const std::wstring& c_strPath = vstrEntry[i];
        bool bFound;
        if (bTree) {
            const NODE* pNode = cArchive.Tree().FindNode(c_strPath);
            if (pNode == nullptr && c_strPath.back() != L'/')
                pNode = cArchive.Tree().FindNode(c_strPath + L'/');
            bFound = pNode != nullptr;
            if (bFound) CollectFiles(pNode, &vstrPath);
        } else {
            // A folder may be named without its slash.
            const bool bFolder = c_strPath.back() == L'/';
            bFound = LookUp(&cArchive.Unify(), c_strPath, bFolder, &vstrPath) ||
                     (!bFolder && LookUp(&cArchive.Unify(), c_strPath + L'/', true, &vstrPath));
        }
        if (!bFound) {
            std::fprintf(stderr, "kestrel-cli: %s: 書庫の中にありません\n", c_vstrEntry[i].c_str());
            return kExitExtractFailed;
        }
    }

    std::error_code ec;
    std::filesystem::create_directories(c_strDestination, ec);
    const std::filesystem::path pathDestination = std::filesystem::absolute(c_strDestination, ec);
    if (ec || CheckPathType(ToWide(pathDestination.string())) != 2) {
        std::fprintf(stderr, "kestrel-cli: %s: 解凍先のフォルダを作れません\n",
                     c_strDestination.c_str());
        return kExitExtractFailed;
    }
    if (vstrPath.empty()) return kExitOk;

    const int32_t nResult = cArchive.Unify().Extract(
        vstrPath, ToWide(pathDestination.string()), EXT_OVERWRITE | EXT_WITH_PATH | EXT_NO_CONFIRM);
    if (nResult < 0) {
        // -1 covers the library's failure and entries the engine will not hand over.
        std::fputs(nResult == -2 ? "kestrel-cli: 解凍に失敗しました (作業ファイルを作れません)\n"
                                 : "kestrel-cli: 解凍に失敗しました\n",
                   stderr);
        // What was refused and why, names included: their control characters are written out
        // so that a hostile name cannot drive the terminal.
        std::string strMessage;
        for (const std::wstring& c_strLine : SplitLines(cArchive.Unify().GetLastMessage())) {
            AppendPathText(&strMessage, c_strLine);
            strMessage += '\n';
        }
        std::fputs(strMessage.c_str(), stderr);
        return kExitExtractFailed;
    }
    return kExitOk;
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
    if (vstrArg.size() >= 3 && vstrArg[0] == "extract" && !vstrArg[2].empty()) {
        return Extract(vstrArg[1], vstrArg[2],
                       std::vector<std::string>(vstrArg.begin() + 3, vstrArg.end()));
    }
    std::fputs(kUsage, stderr);
    return kExitUsage;
}
