// windows/ResultsPane.h: the dock that lists the numbers of the last command.
#pragma once
#include "ResultsTable.h"

#include <QDockWidget>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QSpinBox>
#include <QStandardItemModel>
#include <QTableView>
#include <memory>

// One table a command: sorted by clicking a header, the selected cells copied
// as tab-separated lines with Ctrl+C. The two minimums filter what the table
// shows (Detect's areas, Match Pattern's scores), never the tool's panel.
class ResultsPane : public QDockWidget {
    Q_OBJECT
public:
    explicit ResultsPane(QWidget* parent = nullptr);

    QLabel* Label1 = nullptr;             // the command and its totals
    QLabel* Label2 = nullptr;             // "Show objects of at least"
    QSpinBox* SpinEdit1 = nullptr;        // minimum object area in pixels (Detect)
    QLabel* Label3 = nullptr;             // "Minimum score"
    QDoubleSpinBox* SpinEdit2 = nullptr;  // minimum score (Match Pattern)
    QTableView* Grid1 = nullptr;
    QStandardItemModel* Model = nullptr;

    // A command's outcome; the table starts in the command's own order.
    void ShowResults(const CommandSettings& settings, const CommandResult& result,
                     const CommandMeasures& measures);
    // What the pane lists (nullptr: nothing), and the pane listing it again.
    std::shared_ptr<const ShownResults> Current() const { return last_; }
    // Lists shown; with none, says none (why, when given).
    void Restore(std::shared_ptr<const ShownResults> shown,
                 const QString& none = QStringLiteral("No results yet"));
    // Makes the table again in the new scale.
    void SetCalibration(const Calibration& calibration);
    bool HasResults() const { return last_ != nullptr; }
    // What the table shows: filtered, in the command's order.
    ResultsTable Shown() const;
    // The selected cells as the view orders them: a tab between cells, a line a row.
    QString SelectedText() const;

private:
    void Remake();  // the table from last_ and the calibration, in the command's order
    void Refill();  // the view from the table and the minimums, keeping its sort
    void CopySelection();

    std::shared_ptr<const ShownResults> last_;
    Calibration calibration_;
    ResultsTable table_;
};
