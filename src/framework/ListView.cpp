#include "framework/ListView.h"

#include "framework/ByteString.h"
#include "framework/Commands.h"

#include <QHeaderView>
#include <QMenu>
#include <QTableWidget>

#include <algorithm>

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

std::vector<int> SelectedRows(const QTableWidget* list)
{
    std::vector<int> rows;
    if (const auto* selection = list->selectionModel()) {
        for (const QModelIndex& index : selection->selectedRows())
            rows.push_back(index.row());
    }
    std::sort(rows.begin(), rows.end());
    return rows;
}

QMenu* AddRowMenu(QTableWidget* list, const QString& text, std::function<void()> command)
{
    auto* menu = new QMenu(list);
    menu->setObjectName(QStringLiteral("rowMenu"));
    QObject::connect(menu->addAction(text), &QAction::triggered, list,
                     [command = std::move(command)] { RunCommand(command); });
    list->setContextMenuPolicy(Qt::CustomContextMenu);
    QObject::connect(list, &QWidget::customContextMenuRequested, menu, [list, menu](const QPoint& position) {
        const QModelIndex index = list->indexAt(position);
        if (!index.isValid())
            return;
        if (!list->selectionModel()->isRowSelected(index.row(), QModelIndex()))
            list->selectRow(index.row());
        menu->popup(list->viewport()->mapToGlobal(position));
    });
    return menu;
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
