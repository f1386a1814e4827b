// The main window: menus, tool bar, folder tree, file list and status bar. It is a thin view:
// every user action goes to its driver. The window itself decides only which drops it accepts,
// which context menus may open, that nothing is renamed, and how "select all" selects.
#pragma once

#include <QItemSelection>
#include <QMainWindow>
#include <QStringList>
#include <functional>
#include <memory>

#include "CImageList.h"

class QDropEvent;
class QLabel;
class QLineEdit;
class QMenu;
class QMimeData;
class QProgressBar;
class QSplitter;
class QToolButton;
class QTreeWidgetItem;

namespace kestrel {

class CFileListView;
class CFolderTreeView;
class CForm_FilerMain_Driver;

class Form_FilerMain : public QMainWindow {
    Q_OBJECT
public:
    // Makes the window's driver at the end of construction; the default makes the real one.
    using DriverFactory = std::function<std::unique_ptr<CForm_FilerMain_Driver>(Form_FilerMain*)>;

    // c_strImageFolder holds PNGs that replace embedded images; empty means Get_ImageFolder().
    explicit Form_FilerMain(DriverFactory fnCreateDriver = {},
                            const QString& c_strImageFolder = QString());
    ~Form_FilerMain() override;

    CForm_FilerMain_Driver* pForm() const { return m_pForm.get(); }

    // What a drop offers, as the window's rules decide it.
    enum class DropEffect { None, Move, Copy };

    // The file list takes dropped files until the first open starts.
    void Set_ListViewAcceptDrops(bool bAccept);
    bool bListViewAcceptDrops() const { return m_bListViewAcceptDrops; }

    // True while a drag that began in the list or the tree is running.
    bool bListViewDrag() const { return m_bListViewDrag; }
    bool bTreeViewDrag() const { return m_bTreeViewDrag; }

    // The local file paths that a drag offers, in order; other URLs are left out.
    static QStringList DroppedFiles(const QMimeData* pData);

    // Controls, under their object names.
    QMenuBar* frmMenu = nullptr;
    QToolBar* frmToolBar = nullptr;
    QSplitter* MainSplitContainer = nullptr;
    QLabel* TreeLabel = nullptr;
    CFolderTreeView* frmTreeView = nullptr;
    QLabel* frmLabel_CurrentDirectory = nullptr;
    CFileListView* frmListView = nullptr;
    QStatusBar* frmStatusBar = nullptr;
    QLabel* frmStatus_Select = nullptr;
    QLabel* frmStatus_Directory = nullptr;
    QLabel* frmStatus_Archive = nullptr;
    QProgressBar* frmStatus_ProgressBar = nullptr;
    QMenu* frmTreeView_ContextMenuStrip = nullptr;
    QMenu* frmListView_ContextMenuStrip = nullptr;
    QLineEdit* frmToolBar_Edit_Find = nullptr;
    CImageList frmTreeView_ImageList;

    // Handlers that tests and the window's own events call.
    void frmMenu_Edit_SelectAll_Click();
    // Puts the keyboard in the search field, its text selected.
    void frmMenu_Edit_Find_Click();
    // Opens the tree's menu for the node at c_ptViewport (viewport coordinates); false when
    // the rules keep it closed.
    bool frmTreeView_ContextMenuStrip_Opening(const QPoint& c_ptViewport);
    bool frmListView_ContextMenuStrip_Opening(const QPoint& c_ptViewport);

    // The first show runs the window's load step (placement, status widths) beforehand.
    void setVisible(bool bVisible) override;

protected:
    void showEvent(QShowEvent* pEvent) override;
    void resizeEvent(QResizeEvent* pEvent) override;
    void closeEvent(QCloseEvent* pEvent) override;
    void dragEnterEvent(QDragEnterEvent* pEvent) override;
    void dragMoveEvent(QDragMoveEvent* pEvent) override;
    void dropEvent(QDropEvent* pEvent) override;
    bool eventFilter(QObject* pWatched, QEvent* pEvent) override;
    QMenu* createPopupMenu() override;

private:
    void Build_Menu();
    void Build_ToolBar();
    void Build_Views();
    void Build_StatusBar();
    void Build_ContextMenus();
    void Load_Images(const QString& c_strImageFolder);
    void Connect_Commands();

    QAction* Item(const char* pszName) const;
    // Forwards a menu command unless the menu bar as a whole is disabled (its shortcuts too).
    void OnMenu(QAction* pItem, std::function<void()> fnCommand);
    void OnToolBar(QAction* pItem, std::function<void()> fnCommand);

    void Form_FilerMain_Load();
    void frmMain_Shown();

    DropEffect frmMain_DragOver(QDropEvent* pEvent);
    void frmMain_DragDrop(QDropEvent* pEvent);
    DropEffect frmListView_DragOver(QDropEvent* pEvent);
    void frmListView_DragDrop(QDropEvent* pEvent);
    void frmListView_ItemSelectionChanged(const QItemSelection& c_selected,
                                          const QItemSelection& c_deselected);
    void frmListView_ItemDrag();
    void frmTreeView_ItemDrag(QTreeWidgetItem* pNode);

    std::unique_ptr<CForm_FilerMain_Driver> m_pForm;
    bool m_bListViewDrag = false;
    bool m_bTreeViewDrag = false;
    bool m_bListViewAcceptDrops = true;
    bool m_bLoaded = false;
    bool m_bShown = false;
};

}  // namespace kestrel
