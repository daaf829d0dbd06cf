// SPDX-License-Identifier: MIT
#pragma once

// The input list: the ordered work queue of the conversion run. It is the
// one store of the rows; the window's list is a view over it, and the run,
// like anything else that needs the rows, reads them here.

#include <QAbstractListModel>
#include <QString>

#include <string>
#include <vector>

namespace tollamere {

// What the last run made of a row.
enum class RowOutcome { None, Written, Skipped, Failed, Refused, NotConverted };

struct InputRow {
    // The file's path as bytes, exactly as found or given: a name that is not
    // valid UTF-8 still names its own file, not a look-alike.
    std::string path;
    // The folder the row was found under (chosen in Add All or dropped);
    // empty for a file added by itself.
    std::string root;
    RowOutcome outcome = RowOutcome::None;
    // Why the row failed or was refused, in full.
    std::string reason;
    // The file the last run wrote for the row.
    std::string output;
};

// The list's columns: the file, and what the last run made of it.
enum InputListColumn { PathColumn = 0, ResultColumn = 1 };

class InputListModel final : public QAbstractListModel {
    Q_OBJECT

public:
    explicit InputListModel(QObject* parent = nullptr);

    // Rows are appended after the existing ones; nothing is sorted, checked
    // or merged, so the same path added twice gives two rows.
    void Append(std::string path);
    // Rows a scan found; each takes as its root the longest of the scanned
    // folders it lies under.
    void Append(std::vector<std::string> paths, const std::vector<std::string>& scannedFolders = {});
    // Puts a row back at that place, or last when the list is shorter.
    void Insert(int row, InputRow restored);
    // Does nothing for a row that does not exist.
    void Remove(int row);
    void Clear();

    int RowCount() const { return static_cast<int>(rows_.size()); }
    // The row must exist.
    const InputRow& Row(int row) const;
    // Every path, first row first: what a conversion run is given.
    std::vector<std::string> Paths() const;
    // Every row's root, in the same order.
    std::vector<std::string> Roots() const;

    // The outcome of the last run for a row that exists; None clears it.
    void SetOutcome(int row, RowOutcome outcome, std::string reason = {});
    // The row was written, to that file.
    void SetWritten(int row, std::string output);
    // Every row back to None, before a run.
    void ClearOutcomes();
    // The rows that failed or were refused, one line each: the path and why.
    QString FailedRowsText() const;
    // Removes the rows whose output was written; answers how many went.
    int RemoveWrittenRows();

    // The title of the file column, shown by a view's header.
    void SetColumnTitle(const QString& title);

    // The result column's text for a row: "written: name", "failed: reason", ...
    static QString OutcomeText(const InputRow& row);

    // How a path is shown: its bytes as UTF-8 text; a path that is not valid
    // UTF-8 is shown with the odd bytes escaped, since decoding would turn
    // them into replacement characters that hide which file it is.
    static QString DisplayText(const std::string& path);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    bool removeRows(int row, int count, const QModelIndex& parent = QModelIndex()) override;

private:
    std::vector<InputRow> rows_;
    QString columnTitle_;
};

} // namespace tollamere
