// workspace/Unit1Help.cpp: the "Help" menu and F1, which open the user's guide.
#include "Unit1.h"

#include "Dialogs.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QMenuBar>
#include <QUrl>
#include <utility>

namespace {

// Where the guide is, first found first: the pages rendered to HTML beside a
// build's program, the installed package's (beside the program, then at its
// usual place), then the source tree's Markdown, found as the samples are.
QStringList GuideFolders()
{
    const QString program = QCoreApplication::applicationDirPath();
    return {program + QStringLiteral("/guide"),
            program + QStringLiteral("/../share/doc/graybench/guide"),
            QStringLiteral("/usr/share/doc/graybench/guide"),
            QStringLiteral(GRAYBENCH_SAMPLES_DIR "/../docs/guide")};
}

// The page's file, HTML where it was rendered, else its Markdown; empty when
// no guide is found.
QString GuidePage(const QString& page)
{
    for (const QString& folder : GuideFolders())
        for (const char* extension : {".html", ".md"}) {
            const QFileInfo file(folder + QLatin1Char('/') + page + QLatin1String(extension));
            if (file.isFile())
                return QDir::cleanPath(file.absoluteFilePath());
        }
    return {};
}

// The guide's page of the tool panel on show; "index" when none is.
QString PageOfOpenPanel(const TForm1& form)
{
    if (!form.Panel4->isHidden())  // shared: the run button on show tells the tool
        return form.Button8->isHidden() ? QStringLiteral("threshold-and-histogram")
                                        : QStringLiteral("detection");
    const std::pair<const QFrame*, const char*> pages[] = {
        {form.Panel1, "filters"},        {form.Panel2, "morphology"}, {form.Panel3, "brightness"},
        {form.Panel5, "pattern-search"}, {form.Panel6, "gauges"},     {form.Panel7, "gauges"},
        {form.Panel8, "gauges"}};
    for (const auto& [panel, page] : pages)
        if (!panel->isHidden())
            return QString::fromLatin1(page);
    return QStringLiteral("index");
}

void OpenGuidePage(TForm1& form, const QString& page)
{
    const QString path = GuidePage(page);
    if (path.isEmpty()) {
        Dialogs().ShowMessage(&form, QStringLiteral("The user's guide is not installed: "
                                                    "no %1 page was found in %2.")
                                         .arg(page, GuideFolders().join(QStringLiteral(", "))));
        return;
    }
    if (!OpenDocument(QUrl::fromLocalFile(path)))
        Dialogs().ShowMessage(&form, QStringLiteral("No program opened the user's guide (%1).")
                                         .arg(path));
}

}  // namespace

void TForm1::BuildHelpMenu()
{
    QMenu* help = menuBar()->addMenu(QStringLiteral("Help"));
    help->setObjectName(QStringLiteral("Help1"));
    QAction* guide = help->addAction(QStringLiteral("User's Guide"));
    guide->setObjectName(QStringLiteral("UsersGuide1"));
    connect(guide, &QAction::triggered, this,
            [this] { RunGuarded([this] { OpenGuidePage(*this, QStringLiteral("index")); }); });
    // F1 belongs to the window, not to the menu item: it opens the open panel's page.
    auto* panelHelp = new QAction(this);
    panelHelp->setObjectName(QStringLiteral("PanelHelp1"));
    panelHelp->setShortcut(QKeySequence::HelpContents);
    addAction(panelHelp);
    connect(panelHelp, &QAction::triggered, this,
            [this] { RunGuarded([this] { OpenGuidePage(*this, PageOfOpenPanel(*this)); }); });
}
