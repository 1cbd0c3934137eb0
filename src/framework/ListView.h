#pragma once
// Helpers for the pages' movie lists (QTableWidget standing in for a report-style list view).
#include <QStringList>

#include <string>
#include <vector>

class QTableWidget;

namespace ListView {

// Grid lines and whole-row selection.
void AddGridAndFullRowSelect(QTableWidget* list);

struct Column {
    QString heading;
    int width;
    Qt::Alignment alignment = Qt::AlignLeft;
};
void InsertColumns(QTableWidget* list, const std::vector<Column>& columns);

// The selected row the handlers act on: the last selected row in list order, or -1.
int SelectedRow(const QTableWidget* list);

// Cell text as the exact bytes it was listed with (see ByteString.h), and back.
std::string CellBytes(const QTableWidget* list, int row, int column);
void SetCellBytes(QTableWidget* list, int row, int column, const std::string& bytes);

} // namespace ListView
