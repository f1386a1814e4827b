// The file list: a table model over rows made by CArchive_Driver::Get_FileListViewItems, all of
// them or the ones a search found. Rows point into the driver's archive file tree, so the model
// must be cleared before the driver closes or reopens an archive. Texts are formed only when a
// view asks for them; control characters in names are shown written out (\xHH), the keys keep
// them.
#pragma once

#include <QAbstractTableModel>
#include <vector>

#include "CArchive_Driver.h"

Q_DECLARE_METATYPE(shelf_cli::NArchive::ARCHIVE_FILE)

namespace kestrel {

// The columns of the file list, in order.
enum ListViewColumn : int {
    Column_FileName,
    Column_FileType,
    Column_OrgSize,
    Column_CmpSize,
    Column_Ratio,
    Column_Update,
    Column_Directory,
    Column_Count
};

// Header text and alignment of a column.
QString ListViewColumn_Text(int nColumn);
Qt::Alignment ListViewColumn_Alignment(int nColumn);

class CFileListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum ROLE {
        NameRole = CArchive_Driver::NameRole,  // the entry's archive path (the row's key)
        TagRole,                               // shelf_cli::NArchive::ARCHIVE_FILE
        ImageIndexRole,
    };

    explicit CFileListModel(const CArchive_Driver* pcDriver, QObject* pParent = nullptr);

    // The rows of a view, every one shown.
    void SetItems(std::vector<ListViewItem>&& vItems, const CIconList* pcImageList);
    void Clear();
    // Shows only the rows at these positions of AllItems (ascending), striped by their new
    // positions when bStriped.
    void Show_Rows(std::vector<int32_t>&& vnRows, bool bStriped);
    void Show_AllRows();
    bool bFiltered() const { return m_bFiltered; }
    const std::vector<ListViewItem>& AllItems() const { return m_vItems; }

    // A shown row.
    const ListViewItem& Item(int nRow) const {
        return m_vItems.at(m_bFiltered
                               ? static_cast<size_t>(m_vnShown.at(static_cast<size_t>(nRow)))
                               : static_cast<size_t>(nRow));
    }
    QString Name(int nRow) const;
    shelf_cli::NArchive::ARCHIVE_FILE Tag(int nRow) const;
    QString Text(int nRow, int nColumn) const;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    const CArchive_Driver* m_pcDriver;
    bool bAzure(int nRow) const;

    const CIconList* m_pcImageList = nullptr;
    std::vector<ListViewItem> m_vItems;
    std::vector<int32_t> m_vnShown;  // with m_bFiltered: the rows shown
    bool m_bFiltered = false;
    bool m_bShownStriped = false;
};

}  // namespace kestrel
