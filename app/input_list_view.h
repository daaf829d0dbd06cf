// SPDX-License-Identifier: MIT
#pragma once

#include <QTreeView>

#include <string>
#include <vector>

class QMimeData;

namespace tollamere {

// The input list on the window: the input list model's file and result
// columns, one row per input path. It asks the window to remove the selected
// rows and reports drops; the window decides.
class InputListView final : public QTreeView {
    Q_OBJECT

public:
    explicit InputListView(QWidget* parent = nullptr);

    void SetDropsAccepted(bool accepted) { dropsAccepted_ = accepted; }
    // The width a column's rows in sight ask for.
    int ColumnWidthHint(int column) const { return sizeHintForColumn(column); }

signals:
    void RemoveSelectedRowRequested();
    void PathsDropped(const std::vector<std::string>& paths);

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
