// SPDX-License-Identifier: MIT
#include "input_list_view.h"

#include "dropped_paths.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>

namespace tollamere {

InputListView::InputListView(QWidget* parent) : QTreeView(parent)
{
    setRootIsDecorated(false);
    setUniformRowHeights(true);
    // Several rows at once, for Delete and Ctrl+A.
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    // The result column takes what the file column leaves, so no sideways
    // scrolling is needed to read why a row failed.
    header()->setStretchLastSection(true);
    header()->setMinimumSectionSize(40);
    setAcceptDrops(true);
    viewport()->setAcceptDrops(true);
    setDropIndicatorShown(false);
}

bool InputListView::Accepts(const QMimeData* data) const
{
    return dropsAccepted_ && !DroppedLocalPaths(data).empty();
}

void InputListView::mousePressEvent(QMouseEvent* event)
{
    // A click below the rows keeps the selection, so that a double-click
    // anywhere in the list removes the selected row.
    if (!indexAt(event->position().toPoint()).isValid()) {
        setFocus(Qt::MouseFocusReason);
        event->accept();
        return;
    }
    QTreeView::mousePressEvent(event);
}

void InputListView::mouseDoubleClickEvent(QMouseEvent* event)
{
    event->accept();
    emit RemoveSelectedRowRequested();
}

void InputListView::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Delete) {
        event->accept();
        emit RemoveSelectedRowRequested();
        return;
    }
    // The menu by the keyboard, beside the current row.
    if (event->key() == Qt::Key_Menu || (event->key() == Qt::Key_F10 && event->modifiers() == Qt::ShiftModifier)) {
        event->accept();
        const QRect row = visualRect(currentIndex());
        emit customContextMenuRequested(row.isValid() ? row.center() : QPoint(4, 4));
        return;
    }
    QTreeView::keyPressEvent(event);
}

void InputListView::dragEnterEvent(QDragEnterEvent* event)
{
    if (Accepts(event->mimeData()))
        event->acceptProposedAction();
    else
        event->ignore();
}

void InputListView::dragMoveEvent(QDragMoveEvent* event)
{
    if (Accepts(event->mimeData()))
        event->acceptProposedAction();
    else
        event->ignore();
}

void InputListView::dropEvent(QDropEvent* event)
{
    if (!Accepts(event->mimeData())) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    emit PathsDropped(DroppedLocalPaths(event->mimeData()));
}

} // namespace tollamere
