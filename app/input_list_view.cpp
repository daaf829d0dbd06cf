#include "input_list_view.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QUrl>

namespace tollamere {

QStringList DroppedLocalPaths(const QMimeData* data)
{
    QStringList paths;
    if (data == nullptr || !data->hasUrls())
        return paths;
    for (const QUrl& url : data->urls()) {
        if (url.isLocalFile())
            paths.push_back(url.toLocalFile());
    }
    return paths;
}

InputListView::InputListView(QWidget* parent) : QTreeWidget(parent)
{
    setRootIsDecorated(false);
    setUniformRowHeights(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    // The column keeps its own width; the user drags its divider to see long paths.
    header()->setStretchLastSection(false);
    setAcceptDrops(true);
    viewport()->setAcceptDrops(true);
    setDropIndicatorShown(false);
}

bool InputListView::Accepts(const QMimeData* data) const
{
    return dropsAccepted_ && !DroppedLocalPaths(data).isEmpty();
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
    QTreeWidget::mousePressEvent(event);
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
    QTreeWidget::keyPressEvent(event);
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
