// platform/StringGrid.h
#pragma once
#include <QAbstractTableModel>
#include <QString>
#include <QTableView>
#include <vector>

// Cells of a string grid by column and row, including the fixed (heading) row
// and column. Texts survive a smaller row or column count and show again when
// the count grows back. The view sees the fixed row and column as its headers.
class StringGridModel : public QAbstractTableModel {
public:
    using QAbstractTableModel::QAbstractTableModel;
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    int Columns() const { return columns_; }
    int Rows() const { return rows_; }
    void Resize(int columns, int rows);
    void SetFixed(int columns, int rows);
    QString Cell(int column, int row) const;
    void SetCell(int column, int row, const QString& text);
    void BeginBatch();
    void EndBatch();

private:
    int columns_ = 0, rows_ = 0, fixedColumns_ = 0, fixedRows_ = 0;
    int batch_ = 0;
    std::vector<std::vector<QString>> cells_;  // [row][column], never shrinks
};

// A grid of texts over a model, so hundreds of thousands of cells stay fast. At
// most one fixed row and one fixed column; they stay in view as the headings.
class StringGrid : public QTableView {
    Q_OBJECT
public:
    explicit StringGrid(QWidget* parent = nullptr);

    int ColCount() const { return model_.Columns(); }
    int RowCount() const { return model_.Rows(); }
    void SetColCount(int columns);
    void SetRowCount(int rows);
    void SetFixedCols(int columns);  // 0 or 1
    void SetFixedRows(int rows);     // 0 or 1
    void SetDefaultColWidth(int pixels);
    void SetDefaultRowHeight(int pixels);
    // Width of one column, counted as the cells are (the fixed column is 0).
    void SetColWidth(int column, int pixels);

    QString Cell(int column, int row) const { return model_.Cell(column, row); }
    void SetCell(int column, int row, const QString& text) { model_.SetCell(column, row, text); }

    // Any number of SetCell calls between these two repaint once.
    void BeginUpdate() { model_.BeginBatch(); }
    void EndUpdate() { model_.EndBatch(); }

private:
    void ShowHeadings();
    StringGridModel model_;
    int fixedColumns_ = 1, fixedRows_ = 1;
};
