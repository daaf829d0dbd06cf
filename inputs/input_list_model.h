#pragma once

// The input list: the ordered work queue of the conversion run. It is the
// one store of the rows; the window's list is a view over it, and the run,
// like anything else that needs the rows, reads them here.

#include <QAbstractListModel>
#include <QString>

#include <string>
#include <vector>

namespace tollamere {

struct InputRow {
    // The file's path as bytes, exactly as found or given: a name that is not
    // valid UTF-8 still names its own file, not a look-alike.
    std::string path;
};

class InputListModel final : public QAbstractListModel {
    Q_OBJECT

public:
    explicit InputListModel(QObject* parent = nullptr);

    // Rows are appended after the existing ones; nothing is sorted, checked
    // or merged, so the same path added twice gives two rows.
    void Append(std::string path);
    void Append(std::vector<std::string> paths);
    // Does nothing for a row that does not exist.
    void Remove(int row);
    void Clear();

    int RowCount() const { return static_cast<int>(rows_.size()); }
    // The row must exist.
    const InputRow& Row(int row) const;
    // Every path, first row first: what a conversion run is given.
    std::vector<std::string> Paths() const;

    // The title of the list's one column, shown by a view's header.
    void SetColumnTitle(const QString& title);

    // How a path is shown: its bytes as UTF-8 text; a path that is not valid
    // UTF-8 is shown with the odd bytes escaped, since decoding would turn
    // them into replacement characters that hide which file it is.
    static QString DisplayText(const std::string& path);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    bool removeRows(int row, int count, const QModelIndex& parent = QModelIndex()) override;

private:
    std::vector<InputRow> rows_;
    QString columnTitle_;
};

} // namespace tollamere
