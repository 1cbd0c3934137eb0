#include "framework/ListView.h"

#include "framework/ByteString.h"

#include <QHeaderView>
#include <QTableWidget>

namespace ListView {

void AddGridAndFullRowSelect(QTableWidget* list)
{
    list->setShowGrid(true);
    list->setSelectionBehavior(QAbstractItemView::SelectRows);
}

void InsertColumns(QTableWidget* list, const std::vector<Column>& columns)
{
    list->setColumnCount(static_cast<int>(columns.size()));
    for (int i = 0; i < static_cast<int>(columns.size()); ++i) {
        auto* header = new QTableWidgetItem(columns[i].heading);
        header->setTextAlignment(columns[i].alignment | Qt::AlignVCenter);
        list->setHorizontalHeaderItem(i, header);
        list->setColumnWidth(i, columns[i].width);
    }
}

int SelectedRow(const QTableWidget* list)
{
    int last = -1;
    const auto* selection = list->selectionModel();
    if (selection == nullptr)
        return -1;
    for (const QModelIndex& index : selection->selectedRows())
        last = std::max(last, index.row());
    return last;
}

std::string CellBytes(const QTableWidget* list, int row, int column)
{
    const QTableWidgetItem* item = list->item(row, column);
    return item ? ToBytes(item->text()) : std::string();
}

void SetCellBytes(QTableWidget* list, int row, int column, const std::string& bytes)
{
    QTableWidgetItem* item = list->item(row, column);
    if (item == nullptr) {
        list->setItem(row, column, new QTableWidgetItem(FromBytes(bytes)));
        return;
    }
    item->setText(FromBytes(bytes));
}

} // namespace ListView
