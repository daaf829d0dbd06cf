#include "input_list_model.h"

#include "runtime_error.h"

#include <QStringDecoder>

#include <iterator>

namespace tollamere {

InputListModel::InputListModel(QObject* parent) : QAbstractListModel(parent) {}

void InputListModel::Append(std::string path)
{
    const int row = RowCount();
    beginInsertRows(QModelIndex(), row, row);
    rows_.push_back(InputRow{std::move(path)});
    endInsertRows();
}

void InputListModel::Append(std::vector<std::string> paths)
{
    // A scan hands over its rows in batches; one insertion per batch keeps a
    // large tree from updating the view once per file.
    if (paths.empty())
        return;
    const int first = RowCount();
    beginInsertRows(QModelIndex(), first, first + static_cast<int>(paths.size()) - 1);
    rows_.reserve(rows_.size() + paths.size());
    for (std::string& path : paths)
        rows_.push_back(InputRow{std::move(path)});
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

void InputListModel::SetColumnTitle(const QString& title)
{
    columnTitle_ = title;
    emit headerDataChanged(Qt::Horizontal, 0, 0);
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

QVariant InputListModel::data(const QModelIndex& index, int role) const
{
    if (role != Qt::DisplayRole || index.model() != this || index.column() != 0 || index.row() >= RowCount())
        return {};
    return DisplayText(Row(index.row()).path);
}

QVariant InputListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (section == 0 && orientation == Qt::Horizontal && role == Qt::DisplayRole && !columnTitle_.isEmpty())
        return columnTitle_;
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
