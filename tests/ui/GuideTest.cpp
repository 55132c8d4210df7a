// tests/ui/GuideTest.cpp: the user's guide against the window. Each page's
// table of controls, between <!-- controls:NAME --> and <!-- /controls -->,
// lists every control of its panel by the text the window shows for it, and a
// control with a tooltip exactly with its tooltip. With GRAYBENCH_UPDATE_GUIDE=1
// the tables are rewritten from the tooltips instead; rows of controls with no
// tooltip stay as written. Also: Help > User's Guide and F1.
#include "Dialogs.h"
#include "FakeDialogs.h"
#include "ResultsPane.h"
#include "Unit1.h"
#include "Unit3.h"
#include "Unit4.h"

#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QAbstractSpinBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMenuBar>
#include <QUrl>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <map>
#include <set>

namespace {

const QString kGuide = QStringLiteral(GRAYBENCH_SOURCE_DIR "/docs/guide");

// ---- The tables' text ----------------------------------------------------------

struct Row {
    QString control, text;
};

QString Escape(QString cell)
{
    return cell.replace(QLatin1Char('|'), QLatin1String("\\|"))
        .replace(QLatin1Char('\n'), QLatin1String("<br>"));
}

QString Unescape(QString cell)
{
    return cell.replace(QLatin1String("<br>"), QLatin1String("\n"))
        .replace(QLatin1String("\\|"), QLatin1String("|"));
}

// "| a | b |" split at the pipes no backslash escapes.
std::vector<QString> Cells(const QString& line)
{
    std::vector<QString> cells;
    QString cell;
    for (qsizetype i = 1; i < line.size(); ++i) {
        if (line[i] == QLatin1Char('\\') && i + 1 < line.size() && line[i + 1] == QLatin1Char('|')) {
            cell += QLatin1String("\\|");
            ++i;
        } else if (line[i] == QLatin1Char('|')) {
            cells.push_back(Unescape(cell.trimmed()));
            cell.clear();
        } else {
            cell += line[i];
        }
    }
    return cells;
}

const QString kHeader = QStringLiteral("| Control | What it does, range, default |\n|---|---|\n");

QString TableText(const std::vector<Row>& rows)
{
    QString text = kHeader;
    for (const Row& row : rows)
        text += QStringLiteral("| %1 | %2 |\n").arg(Escape(row.control), Escape(row.text));
    return text;
}

// A table of a page: its name and where its rows are in the page's text.
struct Block {
    QString name;
    qsizetype begin = 0, end = 0;  // the text between the two markers
    std::vector<Row> rows;
};

std::vector<Block> BlocksOf(const QString& page)
{
    std::vector<Block> blocks;
    const QString open = QStringLiteral("<!-- controls:"), close = QStringLiteral("<!-- /controls -->");
    for (qsizetype at = page.indexOf(open); at >= 0; at = page.indexOf(open, at + 1)) {
        Block block;
        const qsizetype nameEnd = page.indexOf(QLatin1String(" -->"), at);
        block.name = page.mid(at + open.size(), nameEnd - at - open.size());
        block.begin = page.indexOf(QLatin1Char('\n'), nameEnd) + 1;
        block.end = page.indexOf(close, block.begin);
        if (block.end < 0)
            throw std::runtime_error("no end marker for " + block.name.toStdString());
        const QStringList lines = page.mid(block.begin, block.end - block.begin)
                                      .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        for (int i = 2; i < lines.size(); ++i) {  // past the heading and the rule
            const std::vector<QString> cells = Cells(lines[i].trimmed());
            if (cells.size() == 2)
                block.rows.push_back({cells[0], cells[1]});
        }
        blocks.push_back(block);
    }
    return blocks;
}

// ---- The window's controls -----------------------------------------------------

struct Control {
    QString key;      // the text the window shows for it
    QString tooltip;  // empty when it has none
    QString name;
};

// A table's controls: the named widgets under root that the filter keeps.
struct Table {
    const char* name;
    std::function<QWidget*()> root;
    std::set<QString> left;                 // names left out, with what lies under them
    std::map<QString, QString> texts;       // the text of a control that shows none itself
};

bool IsControl(const QWidget* w)
{
    return qobject_cast<const QAbstractButton*>(w) || qobject_cast<const QComboBox*>(w) ||
           qobject_cast<const QAbstractSlider*>(w) || qobject_cast<const QLineEdit*>(w) ||
           qobject_cast<const QAbstractSpinBox*>(w) || qobject_cast<const QAbstractItemView*>(w);
}

QString KeyOf(const QWidget* w, const Table& table)
{
    const QString name = w->objectName();
    if (const auto it = table.texts.find(name); it != table.texts.end())
        return it->second;
    if (const auto* button = qobject_cast<const QAbstractButton*>(w); button && !button->text().isEmpty())
        return button->text().remove(QLatin1Char('&'));
    if (const auto* group = qobject_cast<const QGroupBox*>(w))
        return group->title();
    if (const auto* label = qobject_cast<const QLabel*>(w))
        return label->text();
    QWidget* parent = w->parentWidget();
    if (const auto* caption = parent->findChild<QLabel*>(name + QStringLiteral("Caption"),
                                                         Qt::FindDirectChildrenOnly))
        return caption->text();
    if (qobject_cast<const QLineEdit*>(w))  // the echo box beside a scroll bar
        for (const QScrollBar* bar : parent->findChildren<QScrollBar*>(Qt::FindDirectChildrenOnly))
            if (!bar->objectName().isEmpty() && std::abs(bar->y() - w->y()) <= 4)
                return KeyOf(bar, table) + QStringLiteral(" (box)");
    return name;
}

// Every named widget under the root, in creation order, with its key; controls
// sharing a key and differing in tooltip are told apart by their names.
std::vector<Control> ControlsOf(const Table& table, bool all)
{
    std::vector<Control> controls;
    QWidget* root = table.root();
    std::function<void(QWidget*)> walk = [&](QWidget* parent) {
        for (QObject* child : parent->children()) {
            auto* w = qobject_cast<QWidget*>(child);
            if (w == nullptr || w->isWindow() || table.left.count(w->objectName()) > 0)
                continue;
            const QString name = w->objectName();
            const bool named = !name.isEmpty() && !name.startsWith(QLatin1String("qt_"));
            if (named && (all || IsControl(w) || !w->toolTip().isEmpty()))
                controls.push_back({KeyOf(w, table), w->toolTip(), name});
            // A control's and a view's own parts (scroll bars, headers) are not the
            // window's; a scrolling client area's viewport holds the window's controls.
            const bool own = !name.startsWith(QLatin1String("qt_")) ||
                             name == QLatin1String("qt_scrollarea_viewport");
            if (own && !IsControl(w) &&
                qobject_cast<PictureView*>(w) == nullptr)
                walk(w);
        }
    };
    walk(root);
    for (Control& c : controls)
        for (const Control& other : controls)
            if (&other != &c && other.key == c.key && !other.tooltip.isEmpty() &&
                !c.tooltip.isEmpty() && other.tooltip != c.tooltip) {
                c.key += QStringLiteral(" (%1)").arg(c.name);
                break;
            }
    return controls;
}

// The rows as the tooltips make them: each control with a tooltip gets its row
// (after the row of the control before it); rows of controls with none stay.
std::vector<Row> Merge(std::vector<Row> rows, const std::vector<Control>& controls)
{
    std::ptrdiff_t last = -1;
    for (const Control& c : controls) {
        auto it = std::find_if(rows.begin(), rows.end(), [&](const Row& r) { return r.control == c.key; });
        if (it != rows.end()) {
            if (!c.tooltip.isEmpty())
                it->text = c.tooltip;
            last = std::max(last, it - rows.begin());
        } else if (!c.tooltip.isEmpty()) {
            rows.insert(rows.begin() + (last + 1), {c.key, c.tooltip});
            ++last;
        }
    }
    return rows;
}

QString ReadText(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

// The window with every table's root.
struct Windows {
    FakeDialogs dialogs;  // the video window says there is no camera
    TForm1 form;
    TForm3 tool;
    TForm4 video{form};

    std::vector<Table> Tables()
    {
        const std::set<QString> region = {
            QStringLiteral("Label7"),  QStringLiteral("Label8"),  QStringLiteral("Label9"),
            QStringLiteral("Label10"), QStringLiteral("Label11"), QStringLiteral("Label12"),
            QStringLiteral("Label13"), QStringLiteral("Label14"), QStringLiteral("Image1"),
            QStringLiteral("Image2"),  QStringLiteral("Shape3"),  QStringLiteral("Label4"),
            QStringLiteral("Label5"),  QStringLiteral("Label15"), QStringLiteral("Label16")};
        std::set<QString> panels;
        for (int k = 1; k <= 8; ++k)
            panels.insert(QStringLiteral("Panel%1").arg(k));
        std::set<QString> workspaceLeft = panels;
        workspaceLeft.insert(region.begin(), region.end());
        std::set<QString> regionLeft;  // everything of the client but the region's widgets
        for (QObject* child : form.Client->children())
            if (region.count(child->objectName()) == 0)
                regionLeft.insert(child->objectName());
        const std::map<QString, QString> threshold = {
            {QStringLiteral("ComboBox1"), QStringLiteral("Look For")},
            {QStringLiteral("ScrollBar4"), QStringLiteral("Lower")},
            {QStringLiteral("ScrollBar5"), QStringLiteral("Upper")},
            {QStringLiteral("Label27"), QStringLiteral("Threshold :")},
            {QStringLiteral("Image4"), QStringLiteral("Histogram")},
            {QStringLiteral("StringGrid1"), QStringLiteral("Detect Result")},
            {QStringLiteral("Label32"), QStringLiteral("Number of Object Found:")}};
        const auto panel = [this](QFrame* TForm1::*member, void (TForm1::*open)()) {
            return [this, member, open] {
                (form.*open)();
                return static_cast<QWidget*>(form.*member);
            };
        };
        std::map<QString, QString> element;
        for (int k = 1; k <= 49; ++k)
            element[QStringLiteral("CheckBox%1").arg(k)] = QStringLiteral("Element");
        element[QStringLiteral("Edit1")] = QStringLiteral("# of Iterations");
        return {
            {"Workspace", [this] { return form.Client; }, workspaceLeft, {}},
            {"Region", [this] { return form.Client; }, regionLeft,
             {{QStringLiteral("Label11"), QStringLiteral("X1")},
              {QStringLiteral("Label12"), QStringLiteral("Y1")},
              {QStringLiteral("Label13"), QStringLiteral("X2")},
              {QStringLiteral("Label14"), QStringLiteral("Y2")},
              {QStringLiteral("Image2"), QStringLiteral("Before")},
              {QStringLiteral("Image1"), QStringLiteral("After")},
              {QStringLiteral("Shape3"), QStringLiteral("Region frame")}}},
            {"Panel1", panel(&TForm1::Panel1, &TForm1::Fiter1Click), {}, {}},
            {"Panel2", panel(&TForm1::Panel2, &TForm1::Mophology1Click), {}, element},
            {"Panel3", panel(&TForm1::Panel3, &TForm1::Brightness1Click), {},
             {{QStringLiteral("ScrollBar1"), QStringLiteral("Brightness")},
              {QStringLiteral("ScrollBar2"), QStringLiteral("Contrast")},
              {QStringLiteral("ScrollBar3"), QStringLiteral("Gamma")},
              {QStringLiteral("Image3"), QStringLiteral("Lookup Table")}}},
            {"Panel4-threshold", panel(&TForm1::Panel4, &TForm1::Threshold1Click),
             {QStringLiteral("GroupBox3"), QStringLiteral("Button8")}, threshold},
            {"Panel4-detect", panel(&TForm1::Panel4, &TForm1::DetectObject1Click),
             {QStringLiteral("Button5")}, threshold},
            {"Panel5", panel(&TForm1::Panel5, &TForm1::MatchPattern1Click), {},
             {{QStringLiteral("ScrollBar6"), QStringLiteral("Angle")},
              {QStringLiteral("Label33"), QStringLiteral("Angle (box)")},
              {QStringLiteral("StringGrid2"), QStringLiteral("Find Result")}}},
            {"Panel6", panel(&TForm1::Panel6, &TForm1::FindEdge1Click), {},
             {{QStringLiteral("Edit5"), QStringLiteral("Total Edge")}}},
            {"Panel7", panel(&TForm1::Panel7, &TForm1::FindStraight1Click), {}, {}},
            {"Panel8", panel(&TForm1::Panel8, &TForm1::FindCircular1Click), {},
             {{QStringLiteral("Label51"), QStringLiteral("Result")}}},
            {"Form3", [this] { return static_cast<QWidget*>(&tool); }, {},
             {{QStringLiteral("ToolButton1"), QStringLiteral("Table button")},
              {QStringLiteral("ToolButton2"), QStringLiteral("Magnifier button")},
              {QStringLiteral("ToolButton3"), QStringLiteral("Page button")},
              {QStringLiteral("StringGrid1"), QStringLiteral("Gray values")},
              {QStringLiteral("Image1"), QStringLiteral("Tool picture")}}},
            {"Form4", [this] { return static_cast<QWidget*>(&video); }, {},
             {{QStringLiteral("Panel1"), QStringLiteral("Live picture")}}},
            {"ResultsPane", [this] { return static_cast<QWidget*>(form.ResultsPane1); }, {},
             {{QStringLiteral("Label1"), QStringLiteral("Title line")},
              {QStringLiteral("SpinEdit1"), QStringLiteral("Show objects of at least")},
              {QStringLiteral("SpinEdit2"), QStringLiteral("Minimum score")},
              {QStringLiteral("Grid1"), QStringLiteral("Results table")}}},
        };
    }
};

QStringList Pages()
{
    return QDir(kGuide).entryList({QStringLiteral("*.md")}, QDir::Files, QDir::Name);
}

}  // namespace

TEST(GuideControls, EveryTableListsItsPanelsControlsWithTheirTooltips)
{
    Windows windows;
    const bool update = qEnvironmentVariable("GRAYBENCH_UPDATE_GUIDE") == QLatin1String("1");
    std::map<QString, int> seen;
    for (const QString& page : Pages()) {
        const QString path = kGuide + QLatin1Char('/') + page;
        QString text = ReadText(path);
        std::vector<Block> blocks = BlocksOf(text);
        for (auto block = blocks.rbegin(); block != blocks.rend(); ++block) {  // last first: offsets hold
            const std::string where = page.toStdString() + " controls:" + block->name.toStdString();
            ++seen[block->name];
            std::vector<Table> tables = windows.Tables();
            const auto table = std::find_if(tables.begin(), tables.end(), [&](const Table& t) {
                return block->name == QLatin1String(t.name);
            });
            ASSERT_NE(table, tables.end()) << where << ": no such panel";
            const std::vector<Control> controls = ControlsOf(*table, false);
            if (update) {
                text.replace(block->begin, block->end - block->begin,
                             TableText(Merge(block->rows, controls)));
                continue;
            }
            std::set<QString> keys;
            for (const Control& c : ControlsOf(*table, true))
                keys.insert(c.key);
            for (const Row& row : block->rows)
                EXPECT_TRUE(keys.count(row.control) > 0)
                    << where << ": the window shows no control \"" << row.control.toStdString() << '"';
            for (const Control& c : controls) {
                const auto row = std::find_if(block->rows.begin(), block->rows.end(),
                                              [&](const Row& r) { return r.control == c.key; });
                if (row == block->rows.end()) {
                    ADD_FAILURE() << where << ": no row for " << c.name.toStdString() << " \""
                                  << c.key.toStdString() << '"';
                } else if (!c.tooltip.isEmpty()) {
                    EXPECT_EQ(row->text.toStdString(), c.tooltip.toStdString())
                        << where << ": " << c.key.toStdString()
                        << " (GRAYBENCH_UPDATE_GUIDE=1 rewrites the tables from the tooltips)";
                }
            }
        }
        if (update) {
            QFile file(path);
            ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
            file.write(text.toUtf8());
        }
    }
    for (const Table& table : windows.Tables())
        EXPECT_EQ(seen[QLatin1String(table.name)], 1) << "pages with controls:" << table.name;
}

// The rewrite with tooltips in place: each control's row takes its tooltip,
// a new one goes after the row of the control before it, hand-written rows of
// controls without a tooltip stay, and the result passes the comparison.
TEST(GuideControls, TheRewriteTakesTooltipsAndKeepsHandWrittenRows)
{
    Windows windows;
    // Only two of the panel's controls have tooltips here.
    for (QWidget* w : windows.form.Panel7->findChildren<QWidget*>())
        w->setToolTip(QString());
    windows.form.ScrollBar8->setToolTip(QStringLiteral("Pixels between scan lines | 1 to 100\nDefault 1"));
    windows.form.Edit6->setToolTip(QStringLiteral("Gap as a number"));
    const std::vector<Table> tables = windows.Tables();
    const Table& panel7 = *std::find_if(tables.begin(), tables.end(), [](const Table& t) {
        return QLatin1String(t.name) == QLatin1String("Panel7");
    });
    const std::vector<Row> written = {{QStringLiteral("Direction"), QStringLiteral("by hand")},
                                      {QStringLiteral("Gap"), QStringLiteral("old")},
                                      {QStringLiteral("Find Straight"), QStringLiteral("runs")}};
    const std::vector<Row> merged = Merge(written, ControlsOf(panel7, false));
    ASSERT_EQ(merged.size(), 4u);
    EXPECT_EQ(merged[0].text, QStringLiteral("by hand"));
    EXPECT_EQ(merged[1].text, QStringLiteral("Pixels between scan lines | 1 to 100\nDefault 1"));
    EXPECT_EQ(merged[2].control, QStringLiteral("Gap (box)"));
    EXPECT_EQ(merged[2].text, QStringLiteral("Gap as a number"));
    EXPECT_EQ(merged[3].control, QStringLiteral("Find Straight"));

    // Written out and read back: the pipe and the line break survive.
    const QString page = QStringLiteral("x\n<!-- controls:Panel7 -->\n") + TableText(merged) +
                         QStringLiteral("<!-- /controls -->\n");
    const std::vector<Block> blocks = BlocksOf(page);
    ASSERT_EQ(blocks.size(), 1u);
    ASSERT_EQ(blocks[0].rows.size(), 4u);
    EXPECT_EQ(blocks[0].rows[1].text, merged[1].text);
    // Rewriting again changes nothing.
    EXPECT_EQ(TableText(Merge(blocks[0].rows, ControlsOf(panel7, false))), TableText(merged));
}

TEST(GuideHelp, UsersGuideOpensTheIndexAndF1ThePageOfTheOpenPanel)
{
    Windows windows;
    TForm1& form = windows.form;
    QStringList opened;
    SetDocumentOpener([&](const QUrl& url) {
        opened << url.toLocalFile();
        return true;
    });
    const QList<QAction*> menus = form.menuBar()->actions();
    ASSERT_FALSE(menus.isEmpty());
    EXPECT_EQ(menus.back()->text(), QStringLiteral("&Help"));  // the last menu of the bar
    auto* guide = form.findChild<QAction*>(QStringLiteral("UsersGuide1"));
    ASSERT_NE(guide, nullptr);
    EXPECT_EQ(guide->text(), QStringLiteral("User's &Guide"));
    auto* f1 = form.findChild<QAction*>(QStringLiteral("PanelHelp1"));
    ASSERT_NE(f1, nullptr);
    EXPECT_EQ(f1->shortcut(), QKeySequence(QKeySequence::HelpContents));

    const struct {
        void (TForm1::*open)();
        const char* page;
    } cases[] = {
        {nullptr, "index"},
        {&TForm1::Fiter1Click, "filters"},
        {&TForm1::Mophology1Click, "morphology"},
        {&TForm1::Brightness1Click, "brightness"},
        {&TForm1::Threshold1Click, "threshold-and-histogram"},
        {&TForm1::DetectObject1Click, "detection"},
        {&TForm1::MatchPattern1Click, "pattern-search"},
        {&TForm1::FindEdge1Click, "gauges"},
        {&TForm1::FindStraight1Click, "gauges"},
        {&TForm1::FindCircular1Click, "gauges"},
        {&TForm1::EXIT1Click, "index"},  // opening File hides every panel
    };
    for (const auto& c : cases) {
        if (c.open != nullptr)
            (form.*c.open)();
        opened.clear();
        f1->trigger();
        ASSERT_EQ(opened.size(), 1) << c.page;
        const QFileInfo file(opened.front());
        EXPECT_EQ(file.completeBaseName(), QLatin1String(c.page));
        EXPECT_TRUE(file.isFile()) << opened.front().toStdString();
    }
    opened.clear();
    guide->trigger();  // the menu item always opens the index
    ASSERT_EQ(opened.size(), 1);
    EXPECT_EQ(QFileInfo(opened.front()).completeBaseName(), QStringLiteral("index"));

    // No program takes the page: the user is told, nothing is thrown.
    SetDocumentOpener([](const QUrl&) { return false; });
    guide->trigger();
    ASSERT_FALSE(windows.dialogs.Messages.isEmpty());
    EXPECT_TRUE(windows.dialogs.Messages.back().startsWith(QStringLiteral("No program opened the user's guide")));
    SetDocumentOpener({});
}
