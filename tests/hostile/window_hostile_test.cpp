// The window, through its real driver, on hostile archives: opening shows the tree or the open
// failure in bounded time; extracting selected files, every tree folder (the root included),
// opening with a viewer and rendering drag data write only into the chosen folder and the
// instance temporary folder, and every failure is told in the program's own words.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QTreeWidgetItemIterator>
#include <QUrl>
#include <climits>

#include "CArchive_Driver.h"
#include "CFileDialogs.h"
#include "CFileListModel.h"
#include "CFileListView.h"
#include "CFolderTreeView.h"
#include "DataObject_DelayRender.h"
#include "DriverTestSupport.h"
#include "HostileSupport.h"

using namespace kestrel;
using namespace kestrel::test;
using namespace kestrel::hostile;

namespace {

const QString c_strOpenFailed = QStringLiteral("このファイルは開くことが出来ません");
const QString c_strExtractError =
    QStringLiteral("ファイルの解凍中にエラーが発生しました\n\n■原因\n");
const QString c_strMoveError = QStringLiteral("ファイルの移動中にエラーが発生しました\n\n■原因\n");
const QString c_strManyFiles = QStringLiteral("複数のファイルを1度に開いた場合");

QString Q(const fs::path& c_path) {
    return QString::fromStdString(c_path.string());
}

// The folder dialog answers with the next folder of the list each time it is asked.
struct FolderAnswers {
    explicit FolderAnswers(std::function<QString()> fnNext) {
        CFileDialogs::SetHooks(
            [fnNext](QWidget*, const QString&, const QString&) { return fnNext(); }, {});
    }
    ~FolderAnswers() { CFileDialogs::SetHooks({}, {}); }
};

class CNoButtons : public shelf_cli::IMouseButtonState {
public:
    Qt::MouseButtons Buttons() const override { return Qt::NoButton; }
};

bool IsInside(const fs::path& c_path, const fs::path& c_folder) {
    std::error_code ec;
    const std::string strPath = fs::weakly_canonical(c_path, ec).string();
    const std::string strFolder = fs::weakly_canonical(c_folder, ec).string() + "/";
    return !ec && strPath.rfind(strFolder, 0) == 0;
}

QStringList TreeNodes(const DriverWindow& c_w) {
    QStringList lst;
    for (QTreeWidgetItemIterator it(c_w.frm->frmTreeView); *it; ++it)
        lst << CFolderTreeView::NodeName(*it);
    return lst;
}

QTreeWidgetItem* TreeNode(const DriverWindow& c_w, const QString& c_strName) {
    for (QTreeWidgetItemIterator it(c_w.frm->frmTreeView); *it; ++it) {
        if (CFolderTreeView::NodeName(*it) == c_strName) return *it;
    }
    return nullptr;
}

void SelectAllRows(DriverWindow& w) {
    w.frm->frmListView->selectAll();
    QCoreApplication::processEvents();
}

// A window whose temporary folders live in the sandbox's "tmp", and what it was seen doing.
struct HostileWindow {
    explicit HostileWindow(const Sandbox& c_sandbox)
        : w(MakeDriverWindow([&c_sandbox](STConfig& st) {
              st.stGeneral.bUseUserTempDirectory = true;
              st.stGeneral.strUserTempDirectory = Q(c_sandbox.Folder("tmp")) + QLatin1Char('/');
          })) {
        w.pDriver->hookQuestion = [](const CFileMover::Question&) {
            return CFileMover::EAnswer::Yes;
        };
        strInstance = w.pDriver->pcArchive_Driver()->strTempDirectory();
    }
    // Opens and says whether the archive is shown; the time it took goes to nOpenMs.
    bool Open(const fs::path& c_archive) {
        QElapsedTimer timer;
        timer.start();
        w.Open(Q(c_archive));
        nOpenMs = timer.elapsed();
        return w.pDriver->pcArchive_Driver()->bFileOpened();
    }

    MessageRecorder messages;
    DriverWindow w;
    QString strInstance;
    qint64 nOpenMs = 0;
};

// Every command of the window on every entry and every folder of the archive (or the folders
// given). Returns the messages shown. Checks as it goes that what viewers and drop targets are
// handed lies in the instance folder.
QStringList RunEveryCommand(HostileWindow& hw, const Sandbox& c_sandbox,
                            const QStringList& c_lstFolders = {}) {
    DriverWindow& w = hw.w;
    const fs::path instance = hw.strInstance.toStdString();
    const QStringList lstFolders = c_lstFolders.isEmpty() ? TreeNodes(w) : c_lstFolders;
    int nFolder = 0;
    FolderAnswers answers([&] {
        const fs::path folder = c_sandbox.Folder("out") / std::to_string(nFolder++);
        fs::create_directories(folder);
        return Q(folder);
    });

    // Selected files of the whole archive, then each tree folder with its subfolders.
    w.SelectFolder(QString());
    SelectAllRows(w);
    if (w.pDriver->pcFileListModel()->rowCount() > 0) {
        EXPECT_TRUE(w.pDriver->Edit_Extract_ListView());
    }
    for (const QString& c_strNode : lstFolders) {
        if (c_strNode.isEmpty()) continue;
        w.SelectFolder(c_strNode);
        w.pDriver->Edit_Extract_TreeView(true);
    }

    // Viewers: each file handed over lies in the instance folder.
    w.SelectFolder(QString());
    SelectAllRows(w);
    w.pDriver->lstLaunched.clear();
    if (w.pDriver->pcFileListModel()->rowCount() > 0) w.pDriver->Edit_Open(nullptr);
    for (const auto& c_launch : w.pDriver->lstLaunched) {
        EXPECT_TRUE(IsInside(c_launch.strFile.toStdString(), instance))
            << c_launch.strFile.toStdString();
    }

    // Drags of the selection and of each folder, dropped at once: what the target receives
    // lies in the instance folder.
    auto pcNoButtons = std::make_shared<CNoButtons>();
    w.pDriver->hookDrag = [&](QMimeData* pData) {
        static_cast<shelf_cli::DataObject_DelayRender*>(pData)->Set_MouseButtonState(pcNoButtons);
        for (const QUrl& c_url : pData->urls()) {
            EXPECT_TRUE(IsInside(c_url.toLocalFile().toStdString(), instance))
                << c_url.toString().toStdString();
        }
        QCoreApplication::processEvents();  // failures inside a drop are told afterwards
        return Qt::CopyAction;
    };
    w.pDriver->DoDragDrop_ListView(w.frm->frmListView);
    for (const QString& c_strNode : lstFolders) {
        if (!c_strNode.isEmpty())
            w.pDriver->DoDragDrop_TreeView(w.frm->frmTreeView, TreeNode(w, c_strNode));
    }
    QCoreApplication::processEvents();
    w.pDriver->hookDrag = {};

    for (const QString& c_strText : hw.messages.lstTexts) {
        EXPECT_TRUE(c_strText.startsWith(c_strExtractError) ||
                    c_strText.startsWith(c_strMoveError) || c_strText.startsWith(c_strManyFiles))
            << c_strText.toStdString();
    }
    return hw.messages.lstTexts;
}

// Nothing outside the chosen folders and the temporary folder changed, nothing in the temporary
// folder lies outside the instance folder, and no link leads out of where it was put.
void ExpectContained(const Sandbox& c_sandbox, const HostileWindow& c_hw) {
    EXPECT_EQ(c_sandbox.Verify(), "");
    // Each command had a folder of its own, out/<n>: nothing may land beside them.
    std::error_code ec;
    for (const auto& c_entry : fs::directory_iterator(c_sandbox.Folder("out"), ec)) {
        const std::string strName = c_entry.path().filename().string();
        EXPECT_TRUE(c_entry.is_directory() && !c_entry.is_symlink() &&
                    strName.find_first_not_of("0123456789") == std::string::npos)
            << "out/" << strName;
        // Nor may a link there lead out of the folder it was put in.
        EXPECT_EQ(LinksLeadingOut(c_entry.path()), std::vector<std::string>{}) << "out/" << strName;
    }
    const fs::path instance = c_hw.strInstance.toStdString();
    for (const std::string& c_str : ListTree(c_sandbox.Folder("tmp"))) {
        const fs::path path = c_sandbox.Folder("tmp") / c_str;
        EXPECT_TRUE(c_str == "kestrel/" || path == instance || IsInside(path, instance)) << c_str;
    }
    EXPECT_EQ(LinksLeadingOut(instance), std::vector<std::string>{});
}

bool AnyStartsWith(const QStringList& c_lst, const QString& c_strStart) {
    for (const QString& c_str : c_lst) {
        if (c_str.startsWith(c_strStart)) return true;
    }
    return false;
}

bool AnyContains(const QStringList& c_lst, const QString& c_strPart) {
    for (const QString& c_str : c_lst) {
        if (c_str.contains(c_strPart)) return true;
    }
    return false;
}

}  // namespace

TEST(WindowHostile, NamesLinksAndControlCharactersStayInsideTheChosenFolders) {
    const struct {
        const char* pszFixture;
        const char* pszTold;     // a part of what the user is told
        const char* pszArrives;  // a file that arrives in the first chosen folder
    } c_aCase[] = {
        {"zip_hostile.zip", "refused: absolute path or \"..\"", "good.txt"},
        {"lzh_hostile.lzh", "refused: absolute path or \"..\"", "good.txt"},
        {"7z_hostile.7z", "refused: absolute path or \"..\"", "good.txt"},
        {"zip_escape.zip", "refused: link target outside the destination", "inside.txt"},
        {"lzh_escape.lzh", "refused: link target outside the destination", "inside.txt"},
        {"7z_escape.7z", "refused: link target outside the destination", "inside.txt"},
        {"7z_links.7z", "refused: link target outside the destination", "good.txt"},
        {"zip_controlnames.zip", "取り出せない名前の項目があります:\n/nl\\x0Aname.txt", "ok.txt"},
        {"lzh_controlnames.lzh", "取り出せない名前の項目があります:\n/nl\\x0Aname.txt", "ok.txt"},
        {"7z_controlnames.7z", "取り出せない名前の項目があります:\n/nl\\x0Aname.txt", "ok.txt"},
        {"zip_duplicates.zip", "a file is in the way of its folder", "dup.txt"},
        {"lzh_duplicates.lzh", "a file is in the way of its folder", "dup.txt"},
        {"7z_duplicates.7z", "a file is in the way of its folder", "dup.txt"},
        {"zip_encrypted.zip", "encrypted", "plain.txt"},
        {"7z_encrypted.7z", "encrypted", nullptr},
        {"zip_corrupt.zip", "damaged", "ok.txt"},
        {"lzh_corrupt.lzh", "damaged", "ok.txt"},
        {"7z_corrupt.7z", "damaged", nullptr},
    };
    for (const auto& c_case : c_aCase) {
        SCOPED_TRACE(c_case.pszFixture);
        Sandbox sandbox({"tmp", "out"});
        HostileWindow hw(sandbox);
        ASSERT_TRUE(hw.Open(DataPath(c_case.pszFixture)));
        EXPECT_LT(hw.nOpenMs, 5000);
        EXPECT_GT(TreeNodes(hw.w).size(), 1);
        const QStringList lstTold = RunEveryCommand(hw, sandbox);
        EXPECT_TRUE(AnyStartsWith(lstTold, c_strExtractError))
            << lstTold.join("\n---\n").toStdString();
        EXPECT_TRUE(AnyContains(lstTold, QString::fromUtf8(c_case.pszTold)))
            << lstTold.join("\n---\n").toStdString();
        if (c_case.pszArrives != nullptr) {
            EXPECT_TRUE(fs::exists(sandbox.Folder("out") / "0" / c_case.pszArrives));
        }
        ExpectContained(sandbox, hw);
    }
}

// Links that point inside the archive's folder can climb out of a file or subfolder handed out
// alone: such links are not handed out; the rest is.
TEST(WindowHostile, LinksThatWouldLeadOutOfWhereTheyLandAreNotHandedOut) {
    for (const char* c_psz :
         {"zip_relativelinks.zip", "lzh_relativelinks.lzh", "7z_relativelinks.7z"}) {
        SCOPED_TRACE(c_psz);
        Sandbox sandbox({"tmp", "out"});
        HostileWindow hw(sandbox);
        ASSERT_TRUE(hw.Open(DataPath(c_psz)));
        const fs::path out = sandbox.Folder("out");
        int nFolder = 0;
        FolderAnswers answers([&] {
            fs::create_directories(out / std::to_string(nFolder));
            return Q(out / std::to_string(nFolder++));
        });
        const QString c_strNotHandedOut =
            c_strExtractError + QStringLiteral("解凍先の外を指すリンクは取り出しません:\n");

        // Files without their folders: every link that climbs at all stays behind.
        hw.w.SelectFolder(QString());
        SelectAllRows(hw.w);
        hw.messages.lstTexts.clear();
        EXPECT_TRUE(hw.w.pDriver->Edit_Extract_ListView());
        EXPECT_EQ(ListTree(out / "0"), (std::vector<std::string>{"c.txt", "top.txt"}));
        EXPECT_TRUE(AnyStartsWith(hw.messages.lstTexts, c_strNotHandedOut + "/a/b/up\n/a/b/side"))
            << hw.messages.lstTexts.join("\n---\n").toStdString();

        // A subfolder keeps the links that stay inside it.
        hw.messages.lstTexts.clear();
        hw.w.SelectFolder(QStringLiteral("/a/"));
        EXPECT_TRUE(hw.w.pDriver->Edit_Extract_TreeView(true));
        EXPECT_EQ(ListTree(out / "1"),
                  (std::vector<std::string>{"a/", "a/b/", "a/b/side", "a/c.txt"}));
        EXPECT_EQ(hw.messages.lstTexts.last(), c_strNotHandedOut + "/a/b/up");
        // The root keeps them all.
        hw.messages.lstTexts.clear();
        hw.w.SelectFolder(QStringLiteral("/"));
        EXPECT_TRUE(hw.w.pDriver->Edit_Extract_TreeView(true));
        const std::string strRoot = fs::path(c_psz).string() + "/";
        EXPECT_EQ(ListTree(out / "2"),
                  (std::vector<std::string>{strRoot, strRoot + "a/", strRoot + "a/b/",
                                            strRoot + "a/b/side", strRoot + "a/b/up",
                                            strRoot + "a/c.txt", strRoot + "top.txt"}));
        EXPECT_EQ(fs::read_symlink(out / "2" / strRoot / "a/b/up"), "../../top.txt");

        // A dragged folder: what the drop target is given holds no link out of it.
        auto pcNoButtons = std::make_shared<CNoButtons>();
        QStringList lstDropped;
        hw.w.pDriver->hookDrag = [&](QMimeData* pData) {
            static_cast<shelf_cli::DataObject_DelayRender*>(pData)->Set_MouseButtonState(
                pcNoButtons);
            for (const QUrl& c_url : pData->urls()) {
                lstDropped << c_url.toLocalFile();
                EXPECT_EQ(LinksLeadingOut(c_url.toLocalFile().toStdString()),
                          std::vector<std::string>{});
            }
            return Qt::CopyAction;
        };
        hw.w.pDriver->DoDragDrop_TreeView(hw.w.frm->frmTreeView,
                                          TreeNode(hw.w, QStringLiteral("/a/b/")));
        ASSERT_EQ(lstDropped.size(), 1);
        EXPECT_TRUE(fs::is_directory(lstDropped[0].toStdString()));
        EXPECT_TRUE(ListTree(lstDropped[0].toStdString()).empty());
        ExpectContained(sandbox, hw);
    }
}

TEST(WindowHostile, FoldersNamedDotDotOrEmptyAreNeverStaged) {
    Sandbox sandbox({"tmp", "out"});
    HostileWindow hw(sandbox);
    ASSERT_TRUE(hw.Open(DataPath("zip_hostile.zip")));
    // The archive's "../evil.txt" and "/abs.txt" appear under folders named ".." and "".
    const QStringList lstNodes = TreeNodes(hw.w);
    ASSERT_TRUE(lstNodes.contains(QStringLiteral("/../")));
    ASSERT_TRUE(lstNodes.contains(QStringLiteral("//")));
    const fs::path out = sandbox.Folder("out");
    FolderAnswers answers([&] { return Q(out); });
    for (const QString& c_strNode : {QStringLiteral("/../"), QStringLiteral("//")}) {
        SCOPED_TRACE(c_strNode.toStdString());
        hw.messages.lstTexts.clear();
        hw.w.SelectFolder(c_strNode);
        EXPECT_FALSE(hw.w.pDriver->Edit_Extract_TreeView(true));
        EXPECT_EQ(
            hw.messages.lstTexts,
            QStringList{c_strExtractError +
                        QStringLiteral("解凍先の外を指す名前は取り出せません:\n") + c_strNode});
        // Its files, selected in the list, are refused the same way; nothing is opened.
        SelectAllRows(hw.w);
        hw.messages.lstTexts.clear();
        hw.w.pDriver->Edit_Open(nullptr);
        EXPECT_TRUE(hw.w.pDriver->lstLaunched.isEmpty());
        ASSERT_EQ(hw.messages.lstTexts.size(), 1);
        EXPECT_TRUE(hw.messages.lstTexts[0].startsWith(c_strExtractError));
        int nDropped = 0;
        hw.w.pDriver->hookDrag = [&](QMimeData*) { return ++nDropped, Qt::CopyAction; };
        EXPECT_EQ(
            hw.w.pDriver->DoDragDrop_TreeView(hw.w.frm->frmTreeView, TreeNode(hw.w, c_strNode)),
            Qt::IgnoreAction);
        EXPECT_EQ(nDropped, 0);
    }
    EXPECT_TRUE(ListTree(out).empty());
    ExpectContained(sandbox, hw);
}

TEST(WindowHostile, ArchivesThatCannotBeOpenedAreTold) {
    Scratch scratch;
    const std::vector<std::pair<std::string, std::string>> c_vCase = {
        {"zip.lzh", ReadFile(DataPath("zip_utf8.zip"))},
        {"lzh.7z", ReadFile(DataPath("lzh_cp932.lzh"))},
        {"7z.zip", ReadFile(DataPath("7z_basic.7z"))},
        {"text.zip", "just some text\n"},
        {"empty.zip", ""},
        {"empty.lzh", ""},
        {"empty.7z", ""},
    };
    for (const auto& [c_strName, c_strContent] : c_vCase)
        WriteFile(scratch / c_strName, c_strContent);
    ASSERT_EQ(mkfifo((scratch / "pipe.zip").c_str(), 0600), 0);
    std::vector<fs::path> vPath{scratch / "pipe.zip", DataPath("7z_header_encrypted.7z"),
                                DataPath("zip_truncated.zip"), DataPath("7z_truncated.7z")};
    for (const auto& c_case : c_vCase) vPath.push_back(scratch / c_case.first);
    for (const fs::path& c_path : vPath) {
        SCOPED_TRACE(c_path.filename().string());
        Sandbox sandbox({"tmp", "out"});
        HostileWindow hw(sandbox);
        EXPECT_FALSE(hw.Open(c_path));
        EXPECT_LT(hw.nOpenMs, 5000);
        EXPECT_EQ(hw.messages.lstTexts, QStringList{c_strOpenFailed});
        EXPECT_EQ(hw.w.pDriver->pcFileListModel()->rowCount(), 0);
        ExpectContained(sandbox, hw);
    }
    // Cut in half, an LZH archive still shows what it holds before the cut.
    Sandbox sandbox({"tmp", "out"});
    HostileWindow hw(sandbox);
    EXPECT_TRUE(hw.Open(DataPath("lzh_truncated.lzh")));
    RunEveryCommand(hw, sandbox);
    ExpectContained(sandbox, hw);
}

// Bytes changed here and there: the window opens what it can read or says it cannot, and every
// command stays in its folders.
TEST(WindowHostile, FlippedBytes) {
    Scratch scratch;
    for (const char* c_psz : {"zip_utf8.zip", "lzh_cp932.lzh", "7z_basic.7z"}) {
        const std::string strOriginal = ReadFile(DataPath(c_psz));
        constexpr size_t c_nFlips = 6;
        for (size_t i = 0; i < c_nFlips; ++i) {
            std::string strBytes = strOriginal;
            const size_t nAt = (2 * i + 1) * (strBytes.size() - 1) / (2 * c_nFlips);
            strBytes[nAt] = static_cast<char>(strBytes[nAt] ^ 0x20);
            const fs::path path =
                scratch / ("flip" + std::to_string(i) + fs::path(c_psz).extension().string());
            WriteFile(path, strBytes);
            SCOPED_TRACE(std::string(c_psz) + " byte " + std::to_string(nAt));
            Sandbox sandbox({"tmp", "out"});
            HostileWindow hw(sandbox);
            if (hw.Open(path)) {
                RunEveryCommand(hw, sandbox, {QStringLiteral("/")});
            } else {
                EXPECT_EQ(hw.messages.lstTexts, QStringList{c_strOpenFailed});
            }
            EXPECT_LT(hw.nOpenMs, 5000);
            ExpectContained(sandbox, hw);
        }
    }
}

TEST(WindowHostile, HugeDeclaredSizesAddUpWithoutGoingNegative) {
    for (const char* c_psz : {"huge.zip", "huge.lzh", "huge.7z", "huge64.7z"}) {
        SCOPED_TRACE(c_psz);
        Sandbox sandbox({"tmp", "out"});
        HostileWindow hw(sandbox);
        ASSERT_TRUE(hw.Open(BigArchives() / c_psz));
        hw.w.SelectFolder(QStringLiteral("/"));
        SelectAllRows(hw.w);
        QCoreApplication::processEvents();
        const int64_t llSelected = hw.w.pDriver->llSelectedItemFileSize();
        EXPECT_GT(llSelected, int64_t(4) << 30);
        for (const QLabel* pLabel : {hw.w.frm->frmStatus_Select, hw.w.frm->frmStatus_Directory,
                                     hw.w.frm->frmStatus_Archive}) {
            EXPECT_FALSE(pLabel->text().contains(QLatin1Char('-'))) << pLabel->text().toStdString();
        }
        if (std::string(c_psz) == "huge.zip") {
            EXPECT_EQ(llSelected, INT64_MAX);
            EXPECT_TRUE(hw.w.frm->frmStatus_Select->text().contains(
                QStringLiteral("9,223,372,036,854,775,807")))
                << hw.w.frm->frmStatus_Select->text().toStdString();
        }
        QElapsedTimer timer;
        timer.start();
        const QStringList lstTold = RunEveryCommand(hw, sandbox);
        EXPECT_LT(timer.elapsed(), 20000);
        EXPECT_TRUE(AnyContains(lstTold, QStringLiteral("damaged")))
            << lstTold.join("\n").toStdString();
        ExpectContained(sandbox, hw);
    }
}

TEST(WindowHostile, DeepFolders) {
    for (const char* c_psz : {"deep10000.zip", "deep10000.lzh", "deep10000.7z"}) {
        SCOPED_TRACE(c_psz);
        Sandbox sandbox({"tmp", "out"});
        HostileWindow hw(sandbox);
        ASSERT_TRUE(hw.Open(BigArchives() / c_psz));
        EXPECT_LT(hw.nOpenMs, 5000);
        // The name is cut where the record ends: hundreds of folders, never extracted.
        const QStringList lstNodes = TreeNodes(hw.w);
        EXPECT_GT(lstNodes.size(), 200);
        const QStringList lstTold = RunEveryCommand(
            hw, sandbox, {QStringLiteral("/"), lstNodes[lstNodes.size() / 2], lstNodes.last()});
        EXPECT_TRUE(
            AnyContains(lstTold, QStringLiteral("取り出せない名前の項目があります:\n/d/d/d/")));
        EXPECT_TRUE(fs::exists(sandbox.Folder("out") / "0/top.txt"));
        ExpectContained(sandbox, hw);
    }
    // 2,040 folders: every name fits, the tree is deeper than a path. The root is extracted
    // whole; the staging tree, deeper than a path can name, goes with the window.
    Sandbox sandbox({"tmp", "out"});
    QString strInstance;
    {
        HostileWindow hw(sandbox);
        strInstance = hw.strInstance;
        ASSERT_TRUE(hw.Open(BigArchives() / "deep2040.zip"));
        EXPECT_EQ(TreeNodes(hw.w).size(), 2 + 2040);
        FolderAnswers answers([&] { return Q(sandbox.Folder("out")); });
        hw.w.SelectFolder(QStringLiteral("/"));
        EXPECT_TRUE(hw.w.pDriver->Edit_Extract_TreeView(true));
        EXPECT_TRUE(hw.messages.lstTexts.isEmpty())
            << hw.messages.lstTexts.join("\n").toStdString();
        EXPECT_TRUE(fs::is_directory(sandbox.Folder("out") / "deep2040.zip/d/d/d"));
        // A file staged for a viewer stays in the instance folder, deeper than a path can name.
        hw.w.SelectFolder(TreeNodes(hw.w).last());
        hw.w.SelectRows({0});
        EXPECT_TRUE(hw.w.pDriver->Edit_Open(nullptr));
        ASSERT_EQ(hw.w.pDriver->lstLaunched.size(), 1);
        EXPECT_TRUE(hw.w.pDriver->lstLaunched[0].strFile.endsWith(QStringLiteral("/d/bottom.txt")));
        EXPECT_GT(hw.w.pDriver->lstLaunched[0].strFile.size(), PATH_MAX);
        EXPECT_EQ(sandbox.Verify(), "");
    }
    EXPECT_FALSE(fs::exists(strInstance.toStdString()));
    EXPECT_EQ(ListTree(sandbox.Folder("tmp")), std::vector<std::string>{"kestrel/"});
    RemoveTree(sandbox.Folder("out"));
}

TEST(WindowHostile, AHundredThousandEntriesInOneFolder) {
    for (const char* c_psz : {"many.zip", "many.lzh", "many.7z"}) {
        SCOPED_TRACE(c_psz);
        Sandbox sandbox({"tmp", "out"});
        HostileWindow hw(sandbox);
        ASSERT_TRUE(hw.Open(BigArchives() / c_psz));
        EXPECT_LT(hw.nOpenMs, 20000);
        hw.w.SelectFolder(QStringLiteral("/many/"));
        ASSERT_EQ(hw.w.pDriver->pcFileListModel()->rowCount(), 100000);
        hw.w.SelectRows({99999});
        fs::create_directories(sandbox.Folder("out") / "0");
        FolderAnswers answers([&] { return Q(sandbox.Folder("out") / "0"); });
        QElapsedTimer timer;
        timer.start();
        EXPECT_TRUE(hw.w.pDriver->Edit_Extract_ListView());
        EXPECT_LT(timer.elapsed(), 10000);
        EXPECT_EQ(ListTree(sandbox.Folder("out") / "0"), std::vector<std::string>{"f099999.txt"});
        EXPECT_TRUE(hw.messages.lstTexts.isEmpty());
        ExpectContained(sandbox, hw);
    }
}
