#pragma once
// Helpers for the pages' movie lists (QTableWidget standing in for a report-style list view).
#include <QStringList>

#include <functional>
#include <string>
#include <vector>

class QMenu;
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

// Every selected row, in list order.
std::vector<int> SelectedRows(const QTableWidget* list);

// A context menu on the list's rows with one command, `text`, run through RunCommand. A right click on a row that
// is not selected selects it alone first, as file managers do; a click beside the rows shows nothing. The menu
// is the list's child named "rowMenu", so that tests can find it.
QMenu* AddRowMenu(QTableWidget* list, const QString& text, std::function<void()> command);

// Cell text as the exact bytes it was listed with (see ByteString.h), and back.
std::string CellBytes(const QTableWidget* list, int row, int column);
void SetCellBytes(QTableWidget* list, int row, int column, const std::string& bytes);

} // namespace ListView
