#include "console/widgets/list_columns.h"

#include "console/widgets/gui_text.h"

#include <QAbstractItemDelegate>
#include <QHeaderView>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionViewItem>
#include <algorithm>

namespace {

// The width the cell's text needs: the delegate's own measure (the one
// resizing to contents uses), taken only when the text comes near the
// column's width, as the address table fills thousands of rows.
int CellWidthFor(QTableWidget *list, QTableWidgetItem *item)
{
    const int margin = list->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, list) + 1;
    const int roughly = list->fontMetrics().horizontalAdvance(item->text()) + 2 * margin;
    if (roughly + 4 < list->columnWidth(item->column()))
        return roughly;
    QStyleOptionViewItem option;
    option.initFrom(list);
    option.font = list->font();
    return list->itemDelegate()->sizeHint(option, list->indexFromItem(item)).width();
}

} // namespace

void InsertColumns(QTableWidget *list, const ListColumn *columns, int count)
{
    list->setColumnCount(count);
    for (int i = 0; i < count; ++i) {
        auto *header = new QTableWidgetItem(GuiText(columns[i].title));
        header->setTextAlignment(Qt::AlignCenter);
        list->setHorizontalHeaderItem(i, header);
        list->setColumnWidth(i, std::max(columns[i].width, list->horizontalHeader()->sectionSizeHint(i)));
    }
    list->verticalHeader()->hide();
    list->setShowGrid(false);
    list->setSelectionBehavior(QAbstractItemView::SelectRows);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list->setWordWrap(false);
}

void SetCell(QTableWidget *list, int row, int column, const QString &text)
{
    QTableWidgetItem *item = list->item(row, column);
    if (!item) {
        item = new QTableWidgetItem;
        item->setTextAlignment(Qt::AlignCenter);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
        list->setItem(row, column, item);
    }
    item->setText(text);
    if (const int needed = CellWidthFor(list, item); needed > list->columnWidth(column))
        list->setColumnWidth(column, needed);
}

void FitWidthToColumns(QTableWidget *list)
{
    const int width = list->horizontalHeader()->length() + 2 * list->frameWidth() +
                      list->verticalScrollBar()->sizeHint().width();
    list->setMinimumWidth(std::max(list->minimumWidth(), width));
}
