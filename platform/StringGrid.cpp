// platform/StringGrid.cpp
#include "StringGrid.h"

#include <QHeaderView>
#include <algorithm>

int StringGridModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : std::max(rows_ - fixedRows_, 0);
}

int StringGridModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : std::max(columns_ - fixedColumns_, 0);
}

QVariant StringGridModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || role != Qt::DisplayRole)
        return {};
    return Cell(index.column() + fixedColumns_, index.row() + fixedRows_);
}

QVariant StringGridModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole)
        return {};
    if (orientation == Qt::Horizontal)
        return fixedRows_ > 0 ? Cell(section + fixedColumns_, 0) : QString();
    return fixedColumns_ > 0 ? Cell(0, section + fixedRows_) : QString();
}

void StringGridModel::Resize(int columns, int rows)
{
    columns = std::max(columns, 0);
    rows = std::max(rows, 0);
    if (columns == columns_ && rows == rows_)
        return;
    if (batch_ == 0)
        beginResetModel();
    columns_ = columns;
    rows_ = rows;
    if (batch_ == 0)
        endResetModel();
}

void StringGridModel::SetFixed(int columns, int rows)
{
    if (batch_ == 0)
        beginResetModel();
    fixedColumns_ = std::clamp(columns, 0, 1);
    fixedRows_ = std::clamp(rows, 0, 1);
    if (batch_ == 0)
        endResetModel();
}

QString StringGridModel::Cell(int column, int row) const
{
    if (row < 0 || column < 0 || row >= static_cast<int>(cells_.size()))
        return {};
    const auto& line = cells_[static_cast<std::size_t>(row)];
    if (column >= static_cast<int>(line.size()))
        return {};
    return line[static_cast<std::size_t>(column)];
}

void StringGridModel::SetCell(int column, int row, const QString& text)
{
    if (row < 0 || column < 0)
        return;
    if (row >= static_cast<int>(cells_.size()))
        cells_.resize(static_cast<std::size_t>(row) + 1);
    auto& line = cells_[static_cast<std::size_t>(row)];
    if (column >= static_cast<int>(line.size()))
        line.resize(static_cast<std::size_t>(column) + 1);
    line[static_cast<std::size_t>(column)] = text;
    if (batch_ > 0 || row >= rows_ || column >= columns_)
        return;
    if (row < fixedRows_) {
        if (column >= fixedColumns_)
            emit headerDataChanged(Qt::Horizontal, column - fixedColumns_, column - fixedColumns_);
    } else if (column < fixedColumns_) {
        emit headerDataChanged(Qt::Vertical, row - fixedRows_, row - fixedRows_);
    } else {
        const QModelIndex cell = index(row - fixedRows_, column - fixedColumns_);
        emit dataChanged(cell, cell, {Qt::DisplayRole});
    }
}

void StringGridModel::BeginBatch()
{
    if (batch_++ == 0)
        beginResetModel();
}

void StringGridModel::EndBatch()
{
    if (batch_ > 0 && --batch_ == 0)
        endResetModel();
}

StringGrid::StringGrid(QWidget* parent) : QTableView(parent), model_(this)
{
    setModel(&model_);
    horizontalHeader()->setMinimumSectionSize(4);
    verticalHeader()->setMinimumSectionSize(4);
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    verticalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setWordWrap(false);
    model_.SetFixed(fixedColumns_, fixedRows_);
    ShowHeadings();
    SetDefaultColWidth(64);
    SetDefaultRowHeight(24);
}

void StringGrid::ShowHeadings()
{
    horizontalHeader()->setVisible(fixedRows_ > 0);
    verticalHeader()->setVisible(fixedColumns_ > 0);
}

void StringGrid::SetColCount(int columns) { model_.Resize(columns, model_.Rows()); }
void StringGrid::SetRowCount(int rows) { model_.Resize(model_.Columns(), rows); }

void StringGrid::SetFixedCols(int columns)
{
    fixedColumns_ = std::clamp(columns, 0, 1);
    model_.SetFixed(fixedColumns_, fixedRows_);
    ShowHeadings();
}

void StringGrid::SetFixedRows(int rows)
{
    fixedRows_ = std::clamp(rows, 0, 1);
    model_.SetFixed(fixedColumns_, fixedRows_);
    ShowHeadings();
}

void StringGrid::SetDefaultColWidth(int pixels)
{
    horizontalHeader()->setDefaultSectionSize(pixels);
    verticalHeader()->setFixedWidth(std::max(pixels, 24));
}

void StringGrid::SetDefaultRowHeight(int pixels)
{
    verticalHeader()->setDefaultSectionSize(pixels);
    horizontalHeader()->setFixedHeight(pixels + 2);
}

void StringGrid::SetColWidth(int column, int pixels)
{
    if (column < fixedColumns_)
        verticalHeader()->setFixedWidth(pixels);
    else
        horizontalHeader()->resizeSection(column - fixedColumns_, pixels);
}
