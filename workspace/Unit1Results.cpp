// workspace/Unit1Results.cpp: the Results pane, the calibration and export.
#include "Unit1.h"

#include "Dialogs.h"
#include "ScreenFit.h"
#include "ResultsPane.h"
#include "TextFiles.h"

#include <QMenuBar>
#include <QStyle>
#include <QTimer>

void TForm1::BuildResultsPane()
{
    ResultsPane1 = new ResultsPane(this);
    addDockWidget(Qt::RightDockWidgetArea, ResultsPane1);

    View1 = menuBar()->addMenu(QStringLiteral("View"));
    View1->setObjectName(QStringLiteral("View1"));
    Results1 = ResultsPane1->toggleViewAction();
    Results1->setObjectName(QStringLiteral("Results1"));
    View1->addAction(Results1);
    Calibration1 = View1->addAction(QStringLiteral("Calibration..."));
    Calibration1->setObjectName(QStringLiteral("Calibration1"));
    Bind(Calibration1, &QAction::triggered, &TForm1::Calibration1Click);

    ExportResults1 = new QAction(QStringLiteral("Export Results..."), EXIT1);
    ExportResults1->setObjectName(QStringLiteral("ExportResults1"));
    // After Run Recipe, before the separator above Exit.
    const QList<QAction*> file = EXIT1->actions();
    const qsizetype exit = file.indexOf(Exit2);
    EXIT1->insertAction(exit > 0 ? file[exit - 1] : Exit2, ExportResults1);
    Bind(ExportResults1, &QAction::triggered, &TForm1::ExportResults1Click);

    // The views keep their size: the window grows by the pane when it docks
    // and shrinks by it when it goes (hidden or floating), as far as the
    // screen allows.
    const auto fit = [this] {
        QTimer::singleShot(0, this, [this] {
            if (isMaximized() || isFullScreen())
                return;
            const bool docked = !ResultsPane1->isHidden() && !ResultsPane1->isFloating();
            const int pane = ResultsPane1->width() +
                             style()->pixelMetric(QStyle::PM_DockWidgetSeparatorExtent, nullptr, this);
            if (docked == PaneDocked)
                return;
            PaneDocked = docked;
            FitOnScreen(this, QSize(width() + (docked ? pane : -pane), height()));
        });
    };
    connect(Results1, &QAction::toggled, this, fit);
    connect(ResultsPane1, &QDockWidget::topLevelChanged, this, fit);
}

void TForm1::SetCalibration(const Calibration& calibration)
{
    SessionCalibration = calibration;
    ResultsPane1->SetCalibration(calibration);
}

void TForm1::Calibration1Click()
{
    if (const std::optional<Calibration> chosen = Dialogs().AskCalibration(this, SessionCalibration))
        SetCalibration(*chosen);
}

// The table as the pane shows it: filtered, in the command's order.
void TForm1::ExportResults1Click()
{
    if (!ResultsPane1->HasResults()) {
        Dialogs().ShowMessage(this, QStringLiteral("There are no results to export: run a "
                                                   "command first."));
        return;
    }
    const std::optional<QString> path = Dialogs().SaveResultsFile(this);
    if (!path)
        return;
    const ResultsTable table = ResultsPane1->Shown();
    const bool json = path->endsWith(QStringLiteral(".json"), Qt::CaseInsensitive);
    WriteTextFile(*path, json ? WriteResultsJson(table) : WriteResultsCsv(table));
}
