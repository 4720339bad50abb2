#pragma once
// Report-style lists of the dialogs: fixed columns, all centred, rows that
// are only shown (the dialogs edit them in place themselves, if at all).
#include <QTableWidget>

struct ListColumn {
    const char *title; // GBK
    int width;         // pixels, at least: a column widens to show its title and texts whole
};

// Grid lines, full-row selection, no sorting and no built-in editing.
void InsertColumns(QTableWidget *list, const ListColumn *columns, int count);
// A centred, read-only cell.
void SetCell(QTableWidget *list, int row, int column, const QString &text);
// Wide enough to show every column without scrolling sideways.
void FitWidthToColumns(QTableWidget *list);
