// SPDX-License-Identifier: MIT
#include "input_list_model.h"

#include "runtime_error.h"

#include <QStringDecoder>

#include <algorithm>
#include <iterator>

namespace tollamere {

InputListModel::InputListModel(QObject* parent) : QAbstractListModel(parent) {}

void InputListModel::Append(std::string path)
{
    const int row = RowCount();
    beginInsertRows(QModelIndex(), row, row);
    rows_.push_back(InputRow{std::move(path), {}, RowOutcome::None, {}, {}});
    endInsertRows();
}

namespace {

std::string RootOf(const std::string& path, const std::vector<std::string>& folders)
{
    std::string root;
    for (std::string folder : folders) {
        while (folder.size() > 1 && folder.back() == '/')
            folder.pop_back();
        if (folder.size() > root.size() && path.size() > folder.size() && path.starts_with(folder)
            && (path[folder.size()] == '/' || folder == "/"))
            root = folder;
    }
    return root;
}

} // namespace

void InputListModel::Append(std::vector<std::string> paths, const std::vector<std::string>& scannedFolders)
{
    // A scan hands over its rows in batches; one insertion per batch keeps a
    // large tree from updating the view once per file.
    if (paths.empty())
        return;
    const int first = RowCount();
    beginInsertRows(QModelIndex(), first, first + static_cast<int>(paths.size()) - 1);
    rows_.reserve(rows_.size() + paths.size());
    for (std::string& path : paths) {
        std::string root = RootOf(path, scannedFolders);
        rows_.push_back(InputRow{std::move(path), std::move(root), RowOutcome::None, {}, {}});
    }
    endInsertRows();
}

void InputListModel::Insert(int row, InputRow restored)
{
    row = std::clamp(row, 0, RowCount());
    beginInsertRows(QModelIndex(), row, row);
    rows_.insert(std::next(rows_.begin(), row), std::move(restored));
    endInsertRows();
}

void InputListModel::Remove(int row)
{
    removeRows(row, 1);
}

void InputListModel::Clear()
{
    if (rows_.empty())
        return;
    beginResetModel();
    rows_.clear();
    endResetModel();
}

const InputRow& InputListModel::Row(int row) const
{
    return rows_.at(static_cast<std::size_t>(row));
}

std::vector<std::string> InputListModel::Paths() const
{
    std::vector<std::string> paths;
    paths.reserve(rows_.size());
    for (const InputRow& row : rows_)
        paths.push_back(row.path);
    return paths;
}

std::vector<std::string> InputListModel::Roots() const
{
    std::vector<std::string> roots;
    roots.reserve(rows_.size());
    for (const InputRow& row : rows_)
        roots.push_back(row.root);
    return roots;
}

void InputListModel::SetOutcome(int row, RowOutcome outcome, std::string reason)
{
    if (row < 0 || row >= RowCount())
        return;
    InputRow& changed = rows_[static_cast<std::size_t>(row)];
    changed.outcome = outcome;
    changed.reason = std::move(reason);
    changed.output.clear();
    emit dataChanged(index(row, ResultColumn), index(row, ResultColumn));
}

void InputListModel::SetWritten(int row, std::string output)
{
    SetOutcome(row, RowOutcome::Written);
    if (row >= 0 && row < RowCount())
        rows_[static_cast<std::size_t>(row)].output = std::move(output);
}

void InputListModel::ClearOutcomes()
{
    for (InputRow& row : rows_) {
        row.outcome = RowOutcome::None;
        row.reason.clear();
        row.output.clear();
    }
    if (!rows_.empty())
        emit dataChanged(index(0, ResultColumn), index(RowCount() - 1, ResultColumn));
}

QString InputListModel::FailedRowsText() const
{
    QString text;
    for (const InputRow& row : rows_)
        if (row.outcome == RowOutcome::Failed || row.outcome == RowOutcome::Refused)
            text += DisplayText(row.path) + QStringLiteral(": ") + QString::fromStdString(row.reason) + QLatin1Char('\n');
    return text;
}

int InputListModel::RemoveWrittenRows()
{
    int removed = 0;
    // From the end, so that the rows still to look at keep their numbers.
    for (int row = RowCount() - 1; row >= 0; --row) {
        if (Row(row).outcome == RowOutcome::Written) {
            removeRows(row, 1);
            ++removed;
        }
    }
    return removed;
}

void InputListModel::SetColumnTitle(const QString& title)
{
    columnTitle_ = title;
    emit headerDataChanged(Qt::Horizontal, PathColumn, PathColumn);
}

QString InputListModel::OutcomeText(const InputRow& row)
{
    const QString reason = QString::fromStdString(row.reason);
    switch (row.outcome) {
    case RowOutcome::None: return {};
    case RowOutcome::Written:
        if (row.output.empty())
            return QStringLiteral("written");
        return QStringLiteral("written: ") + DisplayText(row.output.substr(row.output.find_last_of('/') + 1));
    case RowOutcome::Skipped: return QStringLiteral("skipped: ") + reason;
    case RowOutcome::Failed: return QStringLiteral("failed: ") + reason;
    case RowOutcome::Refused: return QStringLiteral("refused: ") + reason;
    case RowOutcome::NotConverted: return QStringLiteral("not converted");
    }
    return {};
}

QString InputListModel::DisplayText(const std::string& path)
{
    // Stateless, so that a sequence cut off at the end counts as invalid; a
    // leading byte-order mark is a character of the name and stays.
    QStringDecoder decoder(QStringDecoder::Utf8,
                           QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
    const QString text = decoder(QByteArrayView(path.data(), static_cast<qsizetype>(path.size())));
    if (!decoder.hasError())
        return text;
    return QString::fromStdString(Printable(path));
}

int InputListModel::rowCount(const QModelIndex& parent) const
{
    // A list: only the invisible root has rows.
    return parent.isValid() ? 0 : RowCount();
}

int InputListModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : 2;
}

QVariant InputListModel::data(const QModelIndex& index, int role) const
{
    if (index.model() != this || index.row() < 0 || index.row() >= RowCount())
        return {};
    const InputRow& row = Row(index.row());
    if (index.column() == PathColumn && role == Qt::DisplayRole)
        return DisplayText(row.path);
    if (index.column() == ResultColumn && role == Qt::DisplayRole)
        return OutcomeText(row);
    // The reason in full, or the whole path written, since the column cuts it short.
    if (index.column() == ResultColumn && role == Qt::ToolTipRole)
        return row.outcome == RowOutcome::Written && !row.output.empty() ? DisplayText(row.output) : OutcomeText(row);
    return {};
}

QVariant InputListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (section == PathColumn && orientation == Qt::Horizontal && role == Qt::DisplayRole && !columnTitle_.isEmpty())
        return columnTitle_;
    if (section == ResultColumn && orientation == Qt::Horizontal && role == Qt::DisplayRole)
        return QStringLiteral("Result");
    return QAbstractListModel::headerData(section, orientation, role);
}

bool InputListModel::removeRows(int row, int count, const QModelIndex& parent)
{
    if (parent.isValid() || row < 0 || count <= 0 || count > RowCount() - row)
        return false;
    beginRemoveRows(QModelIndex(), row, row + count - 1);
    const auto first = std::next(rows_.begin(), row);
    rows_.erase(first, std::next(first, count));
    endRemoveRows();
    return true;
}

} // namespace tollamere
