#pragma once

#include <QStringList>
#include <QTreeWidget>

class QMimeData;

namespace tollamere {

// The local files and folders that dropped data names, in drop order.
QStringList DroppedLocalPaths(const QMimeData* data);

// The input list: one row per input path, nothing else. It asks the window
// to remove the selected row and reports drops; the window decides.
class InputListView final : public QTreeWidget {
    Q_OBJECT

public:
    explicit InputListView(QWidget* parent = nullptr);

    void SetDropsAccepted(bool accepted) { dropsAccepted_ = accepted; }

signals:
    void RemoveSelectedRowRequested();
    void PathsDropped(const QStringList& paths);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    bool Accepts(const QMimeData* data) const;

    bool dropsAccepted_ = true;
};

} // namespace tollamere
