#include "Form_FilerMain.h"

#include <QAction>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QHeaderView>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QProgressBar>
#include <QScopeGuard>
#include <QSplitter>
#include <QStatusBar>
#include <QToolBar>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>
#include <stdexcept>

#include "CApplication.h"
#include "CFileListView.h"
#include "CFolderTreeView.h"
#include "CForm_FilerMain_Driver.h"
#include "Form_FilerMain_Names.h"
#include "KestrelResources.h"

namespace kestrel {

namespace {

// Text and, after a tab, the shortcut text shown beside it (empty: nothing shown).
QString WithShown(const char16_t* pszText, const char16_t* pszShown) {
    return QString::fromUtf16(pszText) + u'\t' + QString::fromUtf16(pszShown);
}

QAction* NewItem(QWidget* pOwner, const char* pszName, const QString& c_strText, bool bEnabled,
                 bool bVisible = true) {
    auto* pItem = new QAction(c_strText, pOwner);
    pItem->setObjectName(QString::fromLatin1(pszName));
    pItem->setEnabled(bEnabled);
    pItem->setVisible(bVisible);
    pOwner->addAction(pItem);
    return pItem;
}

// A sub-menu that others fill; the menu and the item that opens it carry the same name.
QMenu* NewSubMenu(QMenu* pOwner, const char* pszName, const QString& c_strText, bool bEnabled) {
    auto* pMenu = new QMenu(c_strText, pOwner);
    pMenu->setObjectName(QString::fromLatin1(pszName));
    pMenu->menuAction()->setObjectName(pMenu->objectName());
    pMenu->menuAction()->setEnabled(bEnabled);
    pOwner->addMenu(pMenu);
    return pMenu;
}

void NewSeparator(QWidget* pOwner, const char* pszName) {
    auto* pSeparator = new QAction(pOwner);
    pSeparator->setSeparator(true);
    pSeparator->setObjectName(QString::fromLatin1(pszName));
    pOwner->addAction(pSeparator);
}

QLabel* NewCaption(QWidget* pParent, const char* pszName, const QString& c_strText) {
    auto* pLabel = new QLabel(c_strText, pParent);
    pLabel->setObjectName(QString::fromLatin1(pszName));
    pLabel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    pLabel->setMargin(2);
    pLabel->setIndent(2);
    return pLabel;
}

QLabel* NewStatusLabel(QWidget* pParent, const char* pszName, const QString& c_strText) {
    auto* pLabel = new QLabel(c_strText, pParent);
    pLabel->setObjectName(QString::fromLatin1(pszName));
    pLabel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    pLabel->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    pLabel->setIndent(3);
    pLabel->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    return pLabel;
}

// The drop action told to the source. A source that hears "moved" may delete its files, and
// the window only reads them: accept as a copy (or a link), never as a move.
bool AcceptAsCopy(QDropEvent* pEvent) {
    const Qt::DropActions eOffered = pEvent->possibleActions();
    if (eOffered & Qt::CopyAction) {
        pEvent->setDropAction(Qt::CopyAction);
    } else if (eOffered & Qt::LinkAction) {
        pEvent->setDropAction(Qt::LinkAction);
    } else {
        pEvent->ignore();
        return false;
    }
    pEvent->accept();
    return true;
}

}  // namespace

Form_FilerMain::Form_FilerMain(DriverFactory fnCreateDriver, const QString& c_strImageFolder) {
    Build_Menu();
    Build_ToolBar();
    Build_Views();
    Build_StatusBar();
    Build_ContextMenus();
    setWindowTitle(QStringLiteral("ケストレル"));
    setWindowIcon(QIcon(EmbeddedImagePath(QStringLiteral("Application.ico"))));
    setAcceptDrops(true);
    resize(1120, 680);
    Load_Images(c_strImageFolder.isEmpty() ? Get_ImageFolder() : c_strImageFolder);
    Connect_Commands();

    if (fnCreateDriver) {
        m_pForm = fnCreateDriver(this);
        if (!m_pForm) throw std::logic_error("Form_FilerMain: no driver was made");
    } else {
        m_pForm = std::make_unique<CForm_FilerMain_Driver>(
            this, frmTreeView, frmListView, frmLabel_CurrentDirectory, frmMenu, frmToolBar,
            frmStatusBar, frmStatus_Select, frmStatus_Directory, frmStatus_Archive,
            frmStatus_ProgressBar, frmTreeView_ContextMenuStrip, frmListView_ContextMenuStrip);
    }
}

Form_FilerMain::~Form_FilerMain() = default;

void Form_FilerMain::Build_Menu() {
    frmMenu = menuBar();
    frmMenu->setObjectName(QLatin1String(FormName::frmMenu));

    QMenu* pFile = frmMenu->addMenu(QStringLiteral("ファイル(&F)"));
    pFile->setObjectName(QLatin1String(FormName::frmMenu_File));
    NewItem(pFile, FormName::frmMenu_File_New, WithShown(u"新規作成(&N)", u"Ctrl + N"), true)
        ->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_N));
    NewItem(pFile, FormName::frmMenu_File_Open, WithShown(u"開く(&O)", u"Ctrl + O"), true)
        ->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    // Filled by the driver each time it opens.
    NewSubMenu(pFile, FormName::frmMenu_File_Recent, QStringLiteral("最近使ったファイル(&R)"),
               true);
    NewItem(pFile, FormName::frmMenu_File_Save, WithShown(u"上書き保存(&S)", u"Ctrl + S"), false,
            false)
        ->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
    NewItem(pFile, FormName::frmMenu_File_SaveAs, QStringLiteral("名前を付けて保存(&A)"), false,
            false);
    NewSeparator(pFile, FormName::frmMenu_File_Separator0);
    // Alt+F4 belongs to the window manager; the item only shows it.
    NewItem(pFile, FormName::frmMenu_File_Exit, WithShown(u"終了(&X)", u"Alt + F4"), true);

    QMenu* pEdit = frmMenu->addMenu(QStringLiteral("編集(&E)"));
    pEdit->setObjectName(QLatin1String(FormName::frmMenu_Edit));
    NewItem(pEdit, FormName::frmMenu_Edit_Arc_Thaw, QStringLiteral("書庫を解凍(&K)"), false);
    NewItem(pEdit, FormName::frmMenu_Edit_Arc_Add, QStringLiteral("書庫にファイルを追加(&A)"),
            false, false);
    NewSeparator(pEdit, FormName::MainMenu_Edit_Separator0);
    NewItem(pEdit, FormName::frmMenu_Edit_SelectAll, WithShown(u"全て選択(&S)", u""), false)
        ->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_A));
    NewItem(pEdit, FormName::frmMenu_Edit_Find, WithShown(u"検索(&F)", u"Ctrl + F"), false)
        ->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_F));
    NewSeparator(pEdit, FormName::toolStripSeparator1);
    NewItem(pEdit, FormName::frmMenu_Edit_Select_Thaw,
            WithShown(u"選択ファイルを解凍(&T)", u"Ctrl + E"), false)
        ->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_E));
    NewSubMenu(pEdit, FormName::frmMenu_Edit_Select_Open, QStringLiteral("選択ファイルを開く(&O)"),
               false);
    NewItem(pEdit, FormName::frmMenu_Edit_Select_Rename,
            QStringLiteral("選択ファイルを名前変更(&R)"), false, false);
    NewItem(pEdit, FormName::frmMenu_Edit_Select_Delete, QStringLiteral("選択ファイルを削除(&D)"),
            false, false);
    NewSeparator(pEdit, FormName::MainMenu_Edit_Separator1);
    NewItem(pEdit, FormName::frmMenu_Edit_Arc_Check, QStringLiteral("書庫を検査(&C)"), false);

    QMenu* pOption = frmMenu->addMenu(QStringLiteral("設定(&O)"));
    pOption->setObjectName(QLatin1String(FormName::MainMenu_Option));
    NewItem(pOption, FormName::frmMenu_Option_Option, QStringLiteral("オプション設定(&O)"), true);

    QMenu* pHelp = frmMenu->addMenu(QStringLiteral("ヘルプ(&H)"));
    pHelp->setObjectName(QLatin1String(FormName::MainMenu_Help));
    NewItem(pHelp, FormName::frmMenu_Help_About, QStringLiteral("バージョン情報(&A)"), true);
}

void Form_FilerMain::Build_ToolBar() {
    frmToolBar = addToolBar(QLatin1String(FormName::frmToolBar));
    frmToolBar->setObjectName(QLatin1String(FormName::frmToolBar));
    frmToolBar->setMovable(false);
    frmToolBar->setFloatable(false);
    frmToolBar->setIconSize(QSize(16, 16));
    frmToolBar->setToolButtonStyle(Qt::ToolButtonIconOnly);

    NewItem(frmToolBar, FormName::frmToolBar_File_New, QStringLiteral("新規作成"), true);
    NewItem(frmToolBar, FormName::frmToolBar_File_Open, QStringLiteral("開く"), true);
    NewItem(frmToolBar, FormName::frmToolBar_File_Save, QStringLiteral("上書き保存"), false, false);
    NewSeparator(frmToolBar, FormName::MainToolBar_Separator0);
    NewItem(frmToolBar, FormName::frmToolBar_Edit_Arc_Thaw, QStringLiteral("書庫を解凍"), false);
    NewItem(frmToolBar, FormName::frmToolBar_Edit_Arc_Add, QStringLiteral("書庫にファイルを追加"),
            false, false);
    NewSeparator(frmToolBar, FormName::MainToolBar_Separator1);
    NewItem(frmToolBar, FormName::frmToolBar_Edit_Select_Thow, QStringLiteral("選択ファイルを解凍"),
            false);

    // A split button: the main part opens with the first viewer, the arrow lists them all.
    auto* pOpenMenu = new QMenu(this);
    pOpenMenu->setObjectName(QLatin1String(FormName::frmToolBar_Edit_Select_Open));
    auto* pOpen = new QAction(QStringLiteral("選択ファイルを開く"), frmToolBar);
    pOpen->setObjectName(QLatin1String(FormName::frmToolBar_Edit_Select_Open));
    pOpen->setEnabled(false);
    pOpen->setMenu(pOpenMenu);
    frmToolBar->addAction(pOpen);
    if (auto* pButton = qobject_cast<QToolButton*>(frmToolBar->widgetForAction(pOpen))) {
        pButton->setObjectName(QLatin1String(FormName::frmToolBar_Edit_Select_Open));
        pButton->setPopupMode(QToolButton::MenuButtonPopup);
    }

    NewItem(frmToolBar, FormName::frmToolBar_Edit_Select_Rename,
            QStringLiteral("選択ファイルを名前変更"), false, false);
    NewItem(frmToolBar, FormName::frmToolBar_Edit_Select_Delete,
            QStringLiteral("選択ファイルを削除"), false, false);
    NewSeparator(frmToolBar, FormName::MainToolBar_Separator2);
    NewItem(frmToolBar, FormName::frmToolBar_Edit_Arc_Check, QStringLiteral("書庫を検査"), false);
    NewSeparator(frmToolBar, FormName::MainToolBar_Separator3);
    NewItem(frmToolBar, FormName::frmToolBar_Option_Option, QStringLiteral("設定"), true);

    // The search field, at the right end.
    auto* pSpacer = new QWidget(frmToolBar);
    pSpacer->setObjectName(QLatin1String(FormName::MainToolBar_Spacer0));
    pSpacer->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    frmToolBar->addWidget(pSpacer);
    frmToolBar_Edit_Find = new QLineEdit(frmToolBar);
    frmToolBar_Edit_Find->setObjectName(QLatin1String(FormName::frmToolBar_Edit_Find));
    frmToolBar_Edit_Find->setPlaceholderText(QStringLiteral("ファイル名で検索 (Ctrl+F)"));
    frmToolBar_Edit_Find->setToolTip(QStringLiteral("ファイル名で一覧を絞り込みます (Esc で解除)"));
    frmToolBar_Edit_Find->setClearButtonEnabled(true);
    frmToolBar_Edit_Find->setFixedWidth(240);
    frmToolBar_Edit_Find->setEnabled(false);
    frmToolBar->addWidget(frmToolBar_Edit_Find);
}

void Form_FilerMain::Build_Views() {
    MainSplitContainer = new QSplitter(Qt::Horizontal, this);
    MainSplitContainer->setObjectName(QLatin1String(FormName::MainSplitContainer));
    MainSplitContainer->setChildrenCollapsible(false);

    auto* pLeft = new QWidget(MainSplitContainer);
    auto* pLeftLayout = new QVBoxLayout(pLeft);
    pLeftLayout->setContentsMargins(0, 0, 0, 0);
    pLeftLayout->setSpacing(0);
    TreeLabel = NewCaption(pLeft, FormName::TreeLabel, QStringLiteral("フォルダ一覧"));
    frmTreeView = new CFolderTreeView(pLeft);
    frmTreeView->setObjectName(QLatin1String(FormName::frmTreeView));
    frmTreeView->setContextMenuPolicy(Qt::CustomContextMenu);
    pLeftLayout->addWidget(TreeLabel);
    pLeftLayout->addWidget(frmTreeView);

    auto* pRight = new QWidget(MainSplitContainer);
    auto* pRightLayout = new QVBoxLayout(pRight);
    pRightLayout->setContentsMargins(0, 0, 0, 0);
    pRightLayout->setSpacing(0);
    frmLabel_CurrentDirectory =
        NewCaption(pRight, FormName::frmLabel_CurrentDirectory, QStringLiteral("選択フォルダ"));
    frmListView = new CFileListView(pRight);
    frmListView->setObjectName(QLatin1String(FormName::frmListView));
    frmListView->setContextMenuPolicy(Qt::CustomContextMenu);
    frmListView->setFont(Get_UIFont());
    frmListView->viewport()->installEventFilter(this);
    pRightLayout->addWidget(frmLabel_CurrentDirectory);
    pRightLayout->addWidget(frmListView);

    // Column widths fit typical contents of the list's font.
    const QFontMetrics fm(frmListView->font());
    auto fit = [&fm](std::initializer_list<const char16_t*> lstSamples) {
        int nWidth = 0;
        for (const char16_t* pszSample : lstSamples) {
            nWidth = std::max(nWidth, fm.horizontalAdvance(QString::fromUtf16(pszSample)));
        }
        return nWidth + 20;
    };
    QHeaderView* pHeader = frmListView->header();
    pHeader->resizeSection(Column_FileName, fit({u"ファイル名ファイル名ファイル名"}) + 30);
    pHeader->resizeSection(Column_FileType, fit({u"ファイルの種類ファイル"}));
    pHeader->resizeSection(Column_OrgSize, fit({u"9,999,999,999", u"サイズ"}));
    pHeader->resizeSection(Column_CmpSize, fit({u"9,999,999,999", u"圧縮サイズ"}));
    pHeader->resizeSection(Column_Ratio, fit({u"100.0%", u"圧縮率"}));
    pHeader->resizeSection(Column_Update, fit({u"0000/00/00 00:00:00", u"更新日時"}));
    pHeader->resizeSection(Column_Directory, fit({u"/フォルダ/フォルダ/"}));

    MainSplitContainer->addWidget(pLeft);
    MainSplitContainer->addWidget(pRight);
    MainSplitContainer->setStretchFactor(0, 0);
    MainSplitContainer->setStretchFactor(1, 1);
    MainSplitContainer->setSizes({220, 900});
    setCentralWidget(MainSplitContainer);
    Set_ListViewAcceptDrops(true);
}

void Form_FilerMain::Build_StatusBar() {
    frmStatusBar = statusBar();
    frmStatusBar->setObjectName(QLatin1String(FormName::frmStatusBar));
    frmStatus_Select = NewStatusLabel(frmStatusBar, FormName::frmStatus_Select,
                                      QStringLiteral("選択ファイル情報"));
    frmStatus_Directory = NewStatusLabel(frmStatusBar, FormName::frmStatus_Directory,
                                         QStringLiteral("選択フォルダ情報"));
    frmStatus_Archive =
        NewStatusLabel(frmStatusBar, FormName::frmStatus_Archive, QStringLiteral("書庫情報"));
    frmStatus_ProgressBar = new QProgressBar(frmStatusBar);
    frmStatus_ProgressBar->setObjectName(QLatin1String(FormName::frmStatus_ProgressBar));
    frmStatus_ProgressBar->setRange(0, 1000);
    frmStatus_ProgressBar->setValue(0);
    frmStatus_ProgressBar->setTextVisible(false);
    frmStatus_ProgressBar->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    // The stretch factors share out space in the proportions the driver's widths follow.
    frmStatusBar->addWidget(frmStatus_Select, 26);
    frmStatusBar->addWidget(frmStatus_Directory, 28);
    frmStatusBar->addWidget(frmStatus_Archive, 46);
    frmStatusBar->addWidget(frmStatus_ProgressBar, 100);
    // Outside an open the labels show and the bar does not.
    frmStatus_ProgressBar->hide();
}

void Form_FilerMain::Build_ContextMenus() {
    frmListView_ContextMenuStrip = new QMenu(this);
    frmListView_ContextMenuStrip->setObjectName(
        QLatin1String(FormName::frmListView_ContextMenuStrip));
    NewItem(frmListView_ContextMenuStrip, FormName::frmListView_Menu_Select_Thaw,
            QStringLiteral("解凍(&T)"), false);
    NewSubMenu(frmListView_ContextMenuStrip, FormName::frmListView_Menu_Select_Open,
               QStringLiteral("開く(&O)"), false);
    NewItem(frmListView_ContextMenuStrip, FormName::frmListView_Menu_Select_Rename,
            QStringLiteral("名前変更(&R)"), false, false);
    NewItem(frmListView_ContextMenuStrip, FormName::frmListView_Menu_Select_Delete,
            QStringLiteral("削除(&D)"), false, false);

    frmTreeView_ContextMenuStrip = new QMenu(this);
    frmTreeView_ContextMenuStrip->setObjectName(
        QLatin1String(FormName::frmTreeView_ContextMenuStrip));
    NewItem(frmTreeView_ContextMenuStrip, FormName::frmTreeView_Menu_Select_Thaw_Include_SubFolder,
            QStringLiteral("解凍(サブフォルダ含む)(&T)"), false);
    NewItem(frmTreeView_ContextMenuStrip, FormName::frmTreeView_Menu_Select_Thaw_Only_CurrentFolder,
            QStringLiteral("解凍(このフォルダのみ)(&F)"), false);
    NewItem(frmTreeView_ContextMenuStrip, FormName::frmTreeView_Menu_Select_Rename,
            QStringLiteral("名前変更(&R)"), false, false);
    NewItem(frmTreeView_ContextMenuStrip, FormName::frmTreeView_Menu_Select_Delete,
            QStringLiteral("削除(&D)"), false, false);
}

void Form_FilerMain::Load_Images(const QString& c_strImageFolder) {
    for (const FormName::IMAGE_ITEMS& c_images : FormName::c_aImageItems) {
        const QString strFile = QString::fromLatin1(c_images.pszFile);
        for (const char* pszItem : c_images.lstItems) {
            if (QAction* pItem = Item(pszItem)) SetImage(pItem, c_strImageFolder, strFile);
        }
    }
    SetImage(frmTreeView_ImageList, c_strImageFolder, QStringLiteral("Tree_Close.png"));
    SetImage(frmTreeView_ImageList, c_strImageFolder, QStringLiteral("Tree_Open.png"));
    CTreeImageDelegate* pImages = frmTreeView->ImageDelegate();
    pImages->SetImageList(&frmTreeView_ImageList);
    pImages->SetImageKey(QStringLiteral("Tree_Close.png"));
    pImages->SetSelectedImageKey(QStringLiteral("Tree_Open.png"));
}

QAction* Form_FilerMain::Item(const char* pszName) const {
    return findChild<QAction*>(QString::fromLatin1(pszName));
}

void Form_FilerMain::OnMenu(QAction* pItem, std::function<void()> fnCommand) {
    connect(pItem, &QAction::triggered, this, [this, fnCommand = std::move(fnCommand)] {
        if (frmMenu->isEnabled()) fnCommand();
    });
}

void Form_FilerMain::OnToolBar(QAction* pItem, std::function<void()> fnCommand) {
    connect(pItem, &QAction::triggered, this, [this, fnCommand = std::move(fnCommand)] {
        if (frmToolBar->isEnabled()) fnCommand();
    });
}

void Form_FilerMain::Connect_Commands() {
    // The driver is made after the controls; commands reach it only once it exists.
    auto fnNew = [this] { m_pForm->File_Open_NewWindow(QString(), false); };
    auto fnOpen = [this] { m_pForm->File_Open_OpenDialog(); };
    auto fnExtract = [this] { m_pForm->Edit_Extract_ListView(); };
    auto fnExtractAll = [this] { m_pForm->Edit_Extract_Archive(); };
    auto fnConfig = [this] { m_pForm->ShowDialog_Config(); };

    OnMenu(Item(FormName::frmMenu_File_New), fnNew);
    OnMenu(Item(FormName::frmMenu_File_Open), fnOpen);
    OnMenu(Item(FormName::frmMenu_File_Exit), [this] { close(); });
    OnMenu(Item(FormName::frmMenu_Edit_Arc_Thaw), fnExtractAll);
    OnMenu(Item(FormName::frmMenu_Edit_SelectAll), [this] { frmMenu_Edit_SelectAll_Click(); });
    OnMenu(Item(FormName::frmMenu_Edit_Find), [this] { frmMenu_Edit_Find_Click(); });
    OnMenu(Item(FormName::frmMenu_Edit_Select_Thaw), fnExtract);
    OnMenu(Item(FormName::frmMenu_Option_Option), fnConfig);
    OnMenu(Item(FormName::frmMenu_Edit_Arc_Check), [this] { m_pForm->Edit_Check_Archive(); });
    OnMenu(Item(FormName::frmMenu_Help_About), [this] { m_pForm->ShowDialog_About(); });

    OnToolBar(Item(FormName::frmToolBar_File_New), fnNew);
    OnToolBar(Item(FormName::frmToolBar_File_Open), fnOpen);
    OnToolBar(Item(FormName::frmToolBar_Edit_Arc_Thaw), fnExtractAll);
    OnToolBar(Item(FormName::frmToolBar_Edit_Select_Thow), fnExtract);
    OnToolBar(Item(FormName::frmToolBar_Edit_Select_Open), [this] {
        QWidget* pButton = frmToolBar->widgetForAction(Item(FormName::frmToolBar_Edit_Select_Open));
        m_pForm->Edit_Open_Click_EventHandler(pButton);
    });
    OnToolBar(Item(FormName::frmToolBar_Option_Option), fnConfig);
    OnToolBar(Item(FormName::frmToolBar_Edit_Arc_Check), [this] { m_pForm->Edit_Check_Archive(); });

    connect(Item(FormName::frmListView_Menu_Select_Thaw), &QAction::triggered, this, fnExtract);
    connect(Item(FormName::frmTreeView_Menu_Select_Thaw_Include_SubFolder), &QAction::triggered,
            this, [this] { m_pForm->Edit_Extract_TreeView(true); });
    connect(Item(FormName::frmTreeView_Menu_Select_Thaw_Only_CurrentFolder), &QAction::triggered,
            this, [this] { m_pForm->Edit_Extract_TreeView(false); });

    connect(frmListView->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &Form_FilerMain::frmListView_ItemSelectionChanged);
    connect(frmListView, &QAbstractItemView::doubleClicked, this,
            [this] { m_pForm->Edit_Open_Click_EventHandler(frmListView); });
    connect(frmListView, &CFileListView::ItemDrag, this, &Form_FilerMain::frmListView_ItemDrag);
    connect(frmListView, &CFileListView::ItemActivate, this, [this] {
        if (frmListView->selectionModel()->hasSelection())
            m_pForm->Edit_Open_Click_EventHandler(frmListView);
    });
    connect(frmListView, &CFileListView::ParentFolder, this,
            [this] { m_pForm->UI_Select_ParentFolder(); });
    connect(frmListView, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& c_pt) { frmListView_ContextMenuStrip_Opening(c_pt); });

    connect(frmTreeView, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* pCurrent) {
        // Emptying the tree leaves no node selected; that is no selection to show.
        if (pCurrent) m_pForm->UI_Update_FolderList(pCurrent);
    });
    connect(frmTreeView, &CFolderTreeView::ItemDrag, this, &Form_FilerMain::frmTreeView_ItemDrag);
    connect(frmTreeView, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& c_pt) { frmTreeView_ContextMenuStrip_Opening(c_pt); });

    // Typed text arrives once an input method has committed it. Esc clears it.
    frmToolBar_Edit_Find->installEventFilter(this);
    connect(frmToolBar_Edit_Find, &QLineEdit::textChanged, this,
            [this](const QString& c_strText) { m_pForm->UI_Update_Filter(c_strText); });
    connect(frmToolBar_Edit_Find, &QLineEdit::returnPressed, this,
            [this] { frmListView->FocusFirstRow(); });
    QMenu* pRecent = findChild<QMenu*>(QLatin1String(FormName::frmMenu_File_Recent));
    connect(pRecent, &QMenu::aboutToShow, this, [this] { m_pForm->UI_Update_RecentFiles(); });

    // Without a mouse: the tree, the list, then the search field.
    setTabOrder(frmTreeView, frmListView);
    setTabOrder(frmListView, frmToolBar_Edit_Find);
}

void Form_FilerMain::Set_ListViewAcceptDrops(bool bAccept) {
    m_bListViewAcceptDrops = bAccept;
    frmListView->setAcceptDrops(bAccept);
    frmListView->viewport()->setAcceptDrops(bAccept);
}

QStringList Form_FilerMain::DroppedFiles(const QMimeData* pData) {
    QStringList lstFiles;
    if (!pData || !pData->hasUrls()) return lstFiles;
    for (const QUrl& c_url : pData->urls()) {
        if (c_url.isLocalFile() && !c_url.toLocalFile().isEmpty()) {
            lstFiles.append(c_url.toLocalFile());
        }
    }
    return lstFiles;
}

// ---- window life ----

void Form_FilerMain::setVisible(bool bVisible) {
    if (bVisible && !m_bLoaded) {
        m_bLoaded = true;
        Form_FilerMain_Load();
    }
    QMainWindow::setVisible(bVisible);
}

void Form_FilerMain::Form_FilerMain_Load() {
    m_pForm->RestoreWindow();
    m_pForm->UI_Update_StatusBar_ItemWidth();
}

void Form_FilerMain::showEvent(QShowEvent* pEvent) {
    QMainWindow::showEvent(pEvent);
    if (!m_bShown) {
        m_bShown = true;
        // After the window is on screen, as its first shown event.
        QMetaObject::invokeMethod(
            this, [this] { frmMain_Shown(); }, Qt::QueuedConnection);
    }
}

void Form_FilerMain::frmMain_Shown() {
    m_pForm->File_Open_CommandArgs();
}

void Form_FilerMain::resizeEvent(QResizeEvent* pEvent) {
    QMainWindow::resizeEvent(pEvent);
    if (m_pForm) m_pForm->UI_Update_StatusBar_ItemWidth();
}

void Form_FilerMain::closeEvent(QCloseEvent* pEvent) {
    pEvent->accept();
    m_pForm->File_Close();
}

QMenu* Form_FilerMain::createPopupMenu() {
    // The tool bar cannot be hidden, so there is nothing to offer.
    return nullptr;
}

// ---- selection and context menus ----

void Form_FilerMain::frmMenu_Edit_SelectAll_Click() {
    frmListView->setFocus(Qt::ShortcutFocusReason);
    frmListView->SelectAllRows();
}

void Form_FilerMain::frmMenu_Edit_Find_Click() {
    frmToolBar_Edit_Find->setFocus(Qt::ShortcutFocusReason);
    frmToolBar_Edit_Find->selectAll();
}

void Form_FilerMain::frmListView_ItemSelectionChanged(const QItemSelection& c_selected,
                                                      const QItemSelection& c_deselected) {
    // Rows are whole-row selections; each row counts once, through its first column.
    auto forward = [this](const QItemSelection& c_ranges, bool bIsSelected) {
        for (const QItemSelectionRange& c_range : c_ranges) {
            if (c_range.left() != 0) continue;
            for (int nRow = c_range.top(); nRow <= c_range.bottom(); ++nRow) {
                m_pForm->UI_Update_SelectItemStatus(nRow, bIsSelected);
            }
        }
    };
    forward(c_deselected, false);
    forward(c_selected, true);
}

bool Form_FilerMain::frmTreeView_ContextMenuStrip_Opening(const QPoint& c_ptViewport) {
    QTreeWidgetItem* pNode = frmTreeView->itemAt(c_ptViewport);
    // No node, or the node of all files: there is no folder to act on.
    if (!pNode || !CFolderTreeView::NodeName(pNode).startsWith(u'/')) return false;
    frmTreeView->setCurrentItem(pNode);
    frmTreeView_ContextMenuStrip->popup(frmTreeView->viewport()->mapToGlobal(c_ptViewport));
    return true;
}

bool Form_FilerMain::frmListView_ContextMenuStrip_Opening(const QPoint& c_ptViewport) {
    if (!frmListView->selectionModel()->hasSelection()) return false;
    frmListView_ContextMenuStrip->popup(frmListView->viewport()->mapToGlobal(c_ptViewport));
    return true;
}

// ---- drags out ----

void Form_FilerMain::frmListView_ItemDrag() {
    m_bListViewDrag = true;
    const auto reset = qScopeGuard([this] { m_bListViewDrag = false; });
    m_pForm->DoDragDrop_ListView(frmListView);
}

void Form_FilerMain::frmTreeView_ItemDrag(QTreeWidgetItem* pNode) {
    m_bTreeViewDrag = true;
    const auto reset = qScopeGuard([this] { m_bTreeViewDrag = false; });
    m_pForm->DoDragDrop_TreeView(frmTreeView, pNode);
}

// ---- drops in ----

Form_FilerMain::DropEffect Form_FilerMain::frmMain_DragOver(QDropEvent* pEvent) {
    if (m_bListViewDrag || m_bTreeViewDrag) return DropEffect::None;
    return DroppedFiles(pEvent->mimeData()).isEmpty() ? DropEffect::None : DropEffect::Move;
}

void Form_FilerMain::frmMain_DragDrop(QDropEvent* pEvent) {
    if (frmMain_DragOver(pEvent) != DropEffect::Move || !AcceptAsCopy(pEvent)) {
        pEvent->ignore();
        return;
    }
    m_pForm->File_Open_NewWindows(DroppedFiles(pEvent->mimeData()));
}

Form_FilerMain::DropEffect Form_FilerMain::frmListView_DragOver(QDropEvent* pEvent) {
    const DropEffect eEffect = frmMain_DragOver(pEvent);
    if (eEffect == DropEffect::Move && (pEvent->modifiers() & Qt::ControlModifier)) {
        return DropEffect::Copy;
    }
    return eEffect;
}

void Form_FilerMain::frmListView_DragDrop(QDropEvent* pEvent) {
    // Ctrl over the list asks to copy files into the archive, which this program never does.
    if (frmListView_DragOver(pEvent) != DropEffect::Move || !AcceptAsCopy(pEvent)) {
        pEvent->ignore();
        return;
    }
    m_pForm->File_Open_NewWindows(DroppedFiles(pEvent->mimeData()));
}

void Form_FilerMain::dragEnterEvent(QDragEnterEvent* pEvent) {
    dragMoveEvent(pEvent);
}

void Form_FilerMain::dragMoveEvent(QDragMoveEvent* pEvent) {
    if (frmMain_DragOver(pEvent) == DropEffect::None) {
        pEvent->ignore();
        return;
    }
    AcceptAsCopy(pEvent);
}

void Form_FilerMain::dropEvent(QDropEvent* pEvent) {
    frmMain_DragDrop(pEvent);
}

bool Form_FilerMain::eventFilter(QObject* pWatched, QEvent* pEvent) {
    // Names are folded for the search as the field takes the keyboard, not at the first key.
    if (pWatched == frmToolBar_Edit_Find && pEvent->type() == QEvent::FocusIn)
        m_pForm->UI_Prepare_Filter();
    if (pWatched == frmToolBar_Edit_Find && pEvent->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(pEvent)->key() == Qt::Key_Escape &&
        !frmToolBar_Edit_Find->text().isEmpty()) {
        frmToolBar_Edit_Find->clear();
        return true;
    }
    if (pWatched != frmListView->viewport()) return QMainWindow::eventFilter(pWatched, pEvent);
    switch (pEvent->type()) {
        case QEvent::DragEnter:
        case QEvent::DragMove: {
            auto* pDrag = static_cast<QDragMoveEvent*>(pEvent);
            if (!m_bListViewAcceptDrops || frmListView_DragOver(pDrag) == DropEffect::None) {
                pDrag->ignore();
            } else {
                AcceptAsCopy(pDrag);
            }
            return true;
        }
        case QEvent::Drop:
            if (m_bListViewAcceptDrops) {
                frmListView_DragDrop(static_cast<QDropEvent*>(pEvent));
            } else {
                pEvent->ignore();
            }
            return true;
        default:
            return QMainWindow::eventFilter(pWatched, pEvent);
    }
}

}  // namespace kestrel
