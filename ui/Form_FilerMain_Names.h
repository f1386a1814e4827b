// The object names of the main window's controls: the contract between the window, which gives
// them, its driver, which finds its items by them, and the tests. Each name is written here once
// and used through these constants, so a rename that misses a user fails to compile instead of
// leaving a lookup that finds nothing.
#pragma once

#include <algorithm>
#include <array>
#include <initializer_list>

namespace kestrel::FormName {

// A constant whose value is its own name.
#define KESTREL_FORM_NAME(name) inline constexpr char name[] = #name

// Menu bar
KESTREL_FORM_NAME(frmMenu);
KESTREL_FORM_NAME(frmMenu_File);
KESTREL_FORM_NAME(frmMenu_File_New);
KESTREL_FORM_NAME(frmMenu_File_Open);
KESTREL_FORM_NAME(frmMenu_File_Recent);
KESTREL_FORM_NAME(frmMenu_File_Recent_None);
KESTREL_FORM_NAME(frmMenu_File_Save);
KESTREL_FORM_NAME(frmMenu_File_SaveAs);
KESTREL_FORM_NAME(frmMenu_File_Separator0);
KESTREL_FORM_NAME(frmMenu_File_Exit);
KESTREL_FORM_NAME(frmMenu_Edit);
KESTREL_FORM_NAME(frmMenu_Edit_Arc_Thaw);
KESTREL_FORM_NAME(frmMenu_Edit_Arc_Add);
KESTREL_FORM_NAME(MainMenu_Edit_Separator0);
KESTREL_FORM_NAME(frmMenu_Edit_SelectAll);
KESTREL_FORM_NAME(frmMenu_Edit_Find);
KESTREL_FORM_NAME(toolStripSeparator1);
KESTREL_FORM_NAME(frmMenu_Edit_Select_Thaw);
KESTREL_FORM_NAME(frmMenu_Edit_Select_Open);
KESTREL_FORM_NAME(frmMenu_Edit_Select_Rename);
KESTREL_FORM_NAME(frmMenu_Edit_Select_Delete);
KESTREL_FORM_NAME(MainMenu_Edit_Separator1);
KESTREL_FORM_NAME(frmMenu_Edit_Arc_Check);
KESTREL_FORM_NAME(MainMenu_Option);
KESTREL_FORM_NAME(frmMenu_Option_Option);
KESTREL_FORM_NAME(MainMenu_Help);
KESTREL_FORM_NAME(frmMenu_Help_About);

// Tool bar
KESTREL_FORM_NAME(frmToolBar);
KESTREL_FORM_NAME(frmToolBar_File_New);
KESTREL_FORM_NAME(frmToolBar_File_Open);
KESTREL_FORM_NAME(frmToolBar_File_Save);
KESTREL_FORM_NAME(MainToolBar_Separator0);
KESTREL_FORM_NAME(frmToolBar_Edit_Arc_Thaw);
KESTREL_FORM_NAME(frmToolBar_Edit_Arc_Add);
KESTREL_FORM_NAME(MainToolBar_Separator1);
KESTREL_FORM_NAME(frmToolBar_Edit_Select_Thow);
KESTREL_FORM_NAME(frmToolBar_Edit_Select_Open);
KESTREL_FORM_NAME(frmToolBar_Edit_Select_Rename);
KESTREL_FORM_NAME(frmToolBar_Edit_Select_Delete);
KESTREL_FORM_NAME(MainToolBar_Separator2);
KESTREL_FORM_NAME(frmToolBar_Edit_Arc_Check);
KESTREL_FORM_NAME(MainToolBar_Separator3);
KESTREL_FORM_NAME(frmToolBar_Option_Option);
KESTREL_FORM_NAME(MainToolBar_Spacer0);
KESTREL_FORM_NAME(frmToolBar_Edit_Find);

// Views, captions and the status bar
KESTREL_FORM_NAME(MainSplitContainer);
KESTREL_FORM_NAME(TreeLabel);
KESTREL_FORM_NAME(frmTreeView);
KESTREL_FORM_NAME(frmLabel_CurrentDirectory);
KESTREL_FORM_NAME(frmListView);
KESTREL_FORM_NAME(frmStatusBar);
KESTREL_FORM_NAME(frmStatus_Select);
KESTREL_FORM_NAME(frmStatus_Directory);
KESTREL_FORM_NAME(frmStatus_Archive);
KESTREL_FORM_NAME(frmStatus_ProgressBar);

// Context menus
KESTREL_FORM_NAME(frmListView_ContextMenuStrip);
KESTREL_FORM_NAME(frmListView_Menu_Select_Thaw);
KESTREL_FORM_NAME(frmListView_Menu_Select_Open);
KESTREL_FORM_NAME(frmListView_Menu_Select_Rename);
KESTREL_FORM_NAME(frmListView_Menu_Select_Delete);
KESTREL_FORM_NAME(frmTreeView_ContextMenuStrip);
KESTREL_FORM_NAME(frmTreeView_Menu_Select_Thaw_Include_SubFolder);
KESTREL_FORM_NAME(frmTreeView_Menu_Select_Thaw_Only_CurrentFolder);
KESTREL_FORM_NAME(frmTreeView_Menu_Select_Rename);
KESTREL_FORM_NAME(frmTreeView_Menu_Select_Delete);

// The dialogs of an extraction or a test: progress, and the password question
KESTREL_FORM_NAME(frmProgressDialog);
KESTREL_FORM_NAME(frmProgress_Name);
KESTREL_FORM_NAME(frmProgress_Bar);
KESTREL_FORM_NAME(frmProgress_Count);
KESTREL_FORM_NAME(frmProgress_Time);
KESTREL_FORM_NAME(frmProgress_Cancel);
KESTREL_FORM_NAME(frmPasswordDialog);
KESTREL_FORM_NAME(frmPassword_Text);
KESTREL_FORM_NAME(frmPassword_Show);

#undef KESTREL_FORM_NAME

// The commands the driver enables after an open when the format can extract.
inline constexpr std::array c_apszExtractItems = {
    frmToolBar_Edit_Arc_Thaw,
    frmMenu_Edit_Arc_Thaw,
    frmToolBar_Edit_Select_Thow,
    frmMenu_Edit_Select_Thaw,
    frmTreeView_Menu_Select_Thaw_Include_SubFolder,
    frmTreeView_Menu_Select_Thaw_Only_CurrentFolder,
    frmListView_Menu_Select_Thaw,
    frmToolBar_Edit_Select_Open,
    frmMenu_Edit_Select_Open,
    frmListView_Menu_Select_Open,
};

// The items the driver disables while an archive is being read: the extract commands among
// the others that need an open archive.
inline constexpr auto c_apszOpenModeItems = [] {
    constexpr std::array c_apszBefore = {frmToolBar_Edit_Arc_Add, frmMenu_Edit_Arc_Add,
                                         frmMenu_Edit_SelectAll, frmMenu_Edit_Find};
    constexpr std::array c_apszAfter = {
        frmToolBar_Edit_Select_Rename,  frmMenu_Edit_Select_Rename,
        frmTreeView_Menu_Select_Rename, frmListView_Menu_Select_Rename,
        frmToolBar_Edit_Select_Delete,  frmMenu_Edit_Select_Delete,
        frmTreeView_Menu_Select_Delete, frmListView_Menu_Select_Delete,
        frmToolBar_Edit_Arc_Check,      frmMenu_Edit_Arc_Check};
    std::array<const char*, c_apszBefore.size() + c_apszExtractItems.size() + c_apszAfter.size()>
        apszAll{};
    auto it = std::copy(c_apszBefore.begin(), c_apszBefore.end(), apszAll.begin());
    it = std::copy(c_apszExtractItems.begin(), c_apszExtractItems.end(), it);
    std::copy(c_apszAfter.begin(), c_apszAfter.end(), it);
    return apszAll;
}();

// The items the driver enables after any successful open.
inline constexpr const char* c_apszOpenedItems[] = {frmMenu_Edit_SelectAll, frmMenu_Edit_Find};

// The save items, which follow whether the archive has been changed.
inline constexpr const char* c_apszSaveItems[] = {frmToolBar_File_Save, frmMenu_File_Save};

// The viewer sub-menus, in the order the driver fills them; each viewer item is named after its
// menu, "_" and the viewer's index.
inline constexpr const char* c_apszViewerMenus[] = {
    frmMenu_Edit_Select_Open,
    frmToolBar_Edit_Select_Open,
    frmListView_Menu_Select_Open,
};

// Which items show which image of the window.
struct IMAGE_ITEMS {
    const char* pszFile;
    std::initializer_list<const char*> lstItems;
};
inline constexpr IMAGE_ITEMS c_aImageItems[] = {
    {"File_New.png", {frmMenu_File_New, frmToolBar_File_New}},
    {"File_Open.png", {frmMenu_File_Open, frmToolBar_File_Open}},
    {"File_Save.png", {frmMenu_File_Save, frmToolBar_File_Save}},
    {"Edit_Arc_Thaw.png", {frmMenu_Edit_Arc_Thaw, frmToolBar_Edit_Arc_Thaw}},
    {"Edit_Arc_Add.png", {frmMenu_Edit_Arc_Add, frmToolBar_Edit_Arc_Add}},
    {"Edit_Select_Thaw.png",
     {frmMenu_Edit_Select_Thaw, frmToolBar_Edit_Select_Thow,
      frmTreeView_Menu_Select_Thaw_Include_SubFolder,
      frmTreeView_Menu_Select_Thaw_Only_CurrentFolder, frmListView_Menu_Select_Thaw}},
    {"Edit_Select_Open.png",
     {frmMenu_Edit_Select_Open, frmToolBar_Edit_Select_Open, frmListView_Menu_Select_Open}},
    {"Edit_Select_Rename.png",
     {frmMenu_Edit_Select_Rename, frmToolBar_Edit_Select_Rename, frmTreeView_Menu_Select_Rename,
      frmListView_Menu_Select_Rename}},
    {"Edit_Select_Delete.png",
     {frmMenu_Edit_Select_Delete, frmToolBar_Edit_Select_Delete, frmTreeView_Menu_Select_Delete,
      frmListView_Menu_Select_Delete}},
    {"Edit_Arc_Check.png", {frmMenu_Edit_Arc_Check, frmToolBar_Edit_Arc_Check}},
    {"Option_Option.png", {frmMenu_Option_Option, frmToolBar_Option_Option}},
};

}  // namespace kestrel::FormName
