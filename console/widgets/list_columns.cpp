#include "console/widgets/list_columns.h"

#include "console/widgets/gui_text.h"

#include <QHeaderView>

void InsertColumns(QTableWidget *list, const ListColumn *columns, int count)
{
    list->setColumnCount(count);
    for (int i = 0; i < count; ++i) {
        auto *header = new QTableWidgetItem(GuiText(columns[i].title));
        header->setTextAlignment(Qt::AlignCenter);
        list->setHorizontalHeaderItem(i, header);
        list->setColumnWidth(i, columns[i].width);
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
}
