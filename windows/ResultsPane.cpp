// windows/ResultsPane.cpp
#include "ResultsPane.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QFormLayout>
#include <QHeaderView>
#include <QVBoxLayout>
#include <algorithm>
#include <map>

namespace {

// Sorting goes by this role: numbers as numbers, texts as texts.
constexpr int kSortRole = Qt::UserRole;

QStandardItem* ItemOf(const ResultCell& cell)
{
    auto* item = new QStandardItem(QString::fromStdString(CellText(cell)));
    item->setEditable(false);
    if (cell.IsNumber()) {
        item->setData(cell.Number(), kSortRole);
        item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
    } else if (const auto* text = std::get_if<std::string>(&cell.value)) {
        item->setData(QString::fromStdString(*text), kSortRole);
    }
    return item;
}

}  // namespace

ResultsPane::ResultsPane(QWidget* parent) : QDockWidget(QStringLiteral("Results"), parent)
{
    setObjectName(QStringLiteral("ResultsPane1"));
    auto* body = new QWidget(this);
    auto* layout = new QVBoxLayout(body);
    layout->setContentsMargins(4, 4, 4, 4);
    Label1 = new QLabel(QStringLiteral("No results yet"), body);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setWordWrap(true);
    layout->addWidget(Label1);

    auto* filters = new QFormLayout;
    Label2 = new QLabel(QStringLiteral("Show objects of at least"), body);
    Label2->setObjectName(QStringLiteral("Label2"));
    SpinEdit1 = new QSpinBox(body);
    SpinEdit1->setObjectName(QStringLiteral("SpinEdit1"));
    SpinEdit1->setRange(0, 1000000000);
    SpinEdit1->setSuffix(QStringLiteral(" px"));
    Label3 = new QLabel(QStringLiteral("Minimum score"), body);
    Label3->setObjectName(QStringLiteral("Label3"));
    SpinEdit2 = new QDoubleSpinBox(body);
    SpinEdit2->setObjectName(QStringLiteral("SpinEdit2"));
    SpinEdit2->setRange(-1.0, 1.0);
    SpinEdit2->setDecimals(4);
    SpinEdit2->setSingleStep(0.01);
    SpinEdit2->setValue(-1.0);  // every candidate until the user asks for fewer
    filters->addRow(Label2, SpinEdit1);
    filters->addRow(Label3, SpinEdit2);
    layout->addLayout(filters);

    Model = new QStandardItemModel(this);
    Model->setObjectName(QStringLiteral("Model"));
    Model->setSortRole(kSortRole);
    Grid1 = new QTableView(body);
    Grid1->setObjectName(QStringLiteral("Grid1"));
    Grid1->setModel(Model);
    Grid1->verticalHeader()->hide();
    Grid1->verticalHeader()->setDefaultSectionSize(18);
    Grid1->setSelectionMode(QAbstractItemView::ExtendedSelection);
    // No sort until a header is clicked: the table keeps the command's order.
    Grid1->horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
    Grid1->setSortingEnabled(true);
    layout->addWidget(Grid1, 1);
    auto* copy = new QAction(QStringLiteral("Copy"), Grid1);
    copy->setObjectName(QStringLiteral("Copy1"));
    copy->setShortcut(QKeySequence::Copy);
    copy->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    connect(copy, &QAction::triggered, this, &ResultsPane::CopySelection);
    Grid1->addAction(copy);
    Grid1->setContextMenuPolicy(Qt::ActionsContextMenu);

    for (QWidget* w : {static_cast<QWidget*>(Label2), static_cast<QWidget*>(SpinEdit1),
                       static_cast<QWidget*>(Label3), static_cast<QWidget*>(SpinEdit2)})
        w->hide();
    connect(SpinEdit1, &QSpinBox::valueChanged, this, &ResultsPane::Refill);
    connect(SpinEdit2, &QDoubleSpinBox::valueChanged, this, &ResultsPane::Refill);
    body->setMinimumWidth(200);
    setWidget(body);
}

void ResultsPane::ShowResults(const CommandSettings& settings, const CommandResult& result,
                              const CommandMeasures& measures)
{
    Restore(std::make_shared<const ShownResults>(ShownResults{settings, result, measures}));
}

void ResultsPane::Restore(std::shared_ptr<const ShownResults> shown, const QString& none)
{
    last_ = std::move(shown);
    Grid1->horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
    if (last_) {
        Remake();
        return;
    }
    table_ = {};
    Model->clear();
    Label1->setText(none);
    for (QWidget* w : {static_cast<QWidget*>(Label2), static_cast<QWidget*>(SpinEdit1),
                       static_cast<QWidget*>(Label3), static_cast<QWidget*>(SpinEdit2)})
        w->hide();
}

void ResultsPane::SetCalibration(const Calibration& calibration)
{
    calibration_ = calibration;
    if (last_)
        Remake();
}

void ResultsPane::Remake()
{
    table_ = MakeResultsTable(last_->settings, last_->result, last_->measures, calibration_);
    const bool detect = table_.command == "detect", pattern = table_.command == "pattern";
    Label2->setVisible(detect);
    SpinEdit1->setVisible(detect);
    Label3->setVisible(pattern);
    SpinEdit2->setVisible(pattern);
    Refill();
}

ResultsTable ResultsPane::Shown() const
{
    return FilterResults(table_, SpinEdit1->value(), SpinEdit2->value());
}

void ResultsPane::Refill()
{
    if (!last_)
        return;
    const ResultsTable shown = Shown();
    // Read before clearing: the header forgets its sort when its sections go.
    QHeaderView* header = Grid1->horizontalHeader();
    const int section = header->sortIndicatorSection();
    const Qt::SortOrder order = header->sortIndicatorOrder();
    Model->clear();
    QStringList headers;
    for (const std::string& column : shown.columns)
        headers << QString::fromStdString(column);
    Model->setHorizontalHeaderLabels(headers);
    for (const std::vector<ResultCell>& row : shown.rows) {
        QList<QStandardItem*> items;
        for (const ResultCell& cell : row)
            items << ItemOf(cell);
        Model->appendRow(items);
    }
    if (section >= 0 && section < Model->columnCount()) {
        header->setSortIndicator(section, order);
        Model->sort(section, order);  // whether or not the indicator changed
    }
    Grid1->resizeColumnsToContents();

    QStringList totals;
    for (const ResultField& field : shown.summary)
        totals << QStringLiteral("%1 %2").arg(QString::fromStdString(field.name),
                                              QString::fromStdString(CellText(field.cell)));
    QString text = QString::fromStdString(shown.title);
    if (!ReportOf(last_->result).Ran())
        text += QStringLiteral(": nothing measured");
    else if (!totals.isEmpty())
        text += QStringLiteral(": ") + totals.join(QStringLiteral(", "));
    if (shown.rows.size() != table_.rows.size())
        text += QStringLiteral(" (%1 of %2 rows shown)").arg(shown.rows.size()).arg(table_.rows.size());
    Label1->setText(text);
}

QString ResultsPane::SelectedText() const
{
    std::map<int, std::map<int, QString>> cells;  // row, then column: the view's order
    for (const QModelIndex& index : Grid1->selectionModel()->selectedIndexes())
        cells[index.row()][index.column()] = index.data(Qt::DisplayRole).toString();
    QStringList lines;
    for (const auto& [row, columns] : cells) {
        QStringList line;
        for (const auto& [column, text] : columns)
            line << text;
        lines << line.join(u'\t');
    }
    return lines.join(u'\n');
}

void ResultsPane::CopySelection()
{
    const QString text = SelectedText();
    if (!text.isEmpty())
        QApplication::clipboard()->setText(text);
}
