#include "app/CKorvalent.h"

#include "analysis/CAnalysisView.h"
#include "app/CScreenFit.h"
#include "device/CDeviceSelectorDialog.h"
#include "report/CReportPreviewWindow.h"
#include "tools/CAboutDialog.h"
#include "tools/CDeviceScreenshotDialog.h"
#include "tools/CMaterialsEditorDialog.h"
#include "tools/CPEPListDialog.h"
#include "tools/CPEPParamsEditorDialog.h"

#include "ui_CKorvalent.h"
#include "ui_CReportPage.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QScrollArea>
#include <QSet>
#include <QScreen>
#include <QShortcut>
#include <QStatusBar>
#include <QStyle>
#include <QToolButton>
#include <QTableView>

namespace
{
// Every key of the main window, in one place: the menus show them, the
// manual lists them and a test presses each one.
struct KeyRow
{
    const char* action;
    QKeySequence::StandardKey standard; // UnknownKey: use the fixed key below
    const char* fixed;
};

const KeyRow s_keys[] = {
    {"action_file_download_database_from_device", QKeySequence::UnknownKey, "Ctrl+D"},
    {"action_file_load_database_from_file", QKeySequence::Open, nullptr},
    {"action_file_save_database_to_file", QKeySequence::Save, nullptr},
    {"action_file_save_result_file", QKeySequence::SaveAs, "Ctrl+Shift+S"},
    {"action_file_delete", QKeySequence::Delete, nullptr},
    {"action_file_exit", QKeySequence::Quit, "Ctrl+Q"},
    {"action_report_print", QKeySequence::Print, nullptr},
    {"action_refresh", QKeySequence::Refresh, nullptr},
    {"action_show_help", QKeySequence::HelpContents, nullptr},
    {"action_open_menu", QKeySequence::UnknownKey, "F10"},
};

QString WithMnemonic(const QString& text, QSet<QChar>* taken)
{
    if (text.contains(QLatin1Char('&')))
    {
        const int at = int(text.indexOf(QLatin1Char('&')));
        if (at + 1 < text.size())
            taken->insert(text.at(at + 1).toLower());
        return text;
    }
    // The first letter of a word that no other entry of the menu uses, else
    // any free letter.
    for (int pass = 0; pass < 2; ++pass)
        for (int i = 0; i < text.size(); ++i)
        {
            const QChar c = text.at(i);
            const bool wordStart = i == 0 || !text.at(i - 1).isLetterOrNumber();
            if (!c.isLetter() || (pass == 0 && !wordStart) || taken->contains(c.toLower()))
                continue;
            taken->insert(c.toLower());
            return text.left(i) + QLatin1Char('&') + text.mid(i);
        }
    return text;
}

// The tool buttons are reached by Tab, not by a click alone.
void TabFocusToolButtons(QWidget* root)
{
    for (QToolButton* button : root->findChildren<QToolButton*>())
        if (button->focusPolicy() == Qt::NoFocus && button->parentWidget() &&
            button->parentWidget()->objectName().endsWith(QLatin1String("ToolBarFrame")))
            button->setFocusPolicy(Qt::TabFocus);
}

void AssignMnemonics(const QList<QAction*>& actions)
{
    QSet<QChar> taken;
    // Entries that carry one already keep theirs; the others avoid it.
    for (QAction* a : actions)
        if (!a->isSeparator() && a->text().contains(QLatin1Char('&')))
            WithMnemonic(a->text(), &taken);
    for (QAction* a : actions)
    {
        if (a->isSeparator())
            continue;
        a->setText(WithMnemonic(a->text(), &taken));
        if (QMenu* menu = a->menu())
            AssignMnemonics(menu->actions());
    }
}
} // namespace

QList<CKorvalent::KeyBinding> CKorvalent::KeyBindings()
{
    QList<KeyBinding> out;
    for (const KeyRow& row : s_keys)
    {
        KeyBinding binding;
        binding.action = QString::fromLatin1(row.action);
        if (row.standard != QKeySequence::UnknownKey)
            binding.keys = QKeySequence::keyBindings(row.standard);
        if (binding.keys.isEmpty() && row.fixed)
            binding.keys << QKeySequence(QString::fromLatin1(row.fixed));
        out << binding;
    }
    return out;
}

void CKorvalent::KeysSetup()
{
    // F5 has no menu entry of its own: it refreshes whatever tab is shown.
    auto* refresh = new QAction(tr("Обновить"), this);
    refresh->setObjectName(QStringLiteral("action_refresh"));
    addAction(refresh);
    connect(refresh, &QAction::triggered, this, &CKorvalent::RefreshCurrentTab);

    // F10 opens the menu bar's first menu, the arrows go on from there.
    auto* openMenu = new QAction(tr("Меню"), this);
    openMenu->setObjectName(QStringLiteral("action_open_menu"));
    addAction(openMenu);
    connect(openMenu, &QAction::triggered, this,
            [this]
            {
                if (!m_ui->menuBar->actions().isEmpty())
                    m_ui->menuBar->setActiveAction(m_ui->menuBar->actions().constFirst());
            });

    for (const KeyBinding& binding : KeyBindings())
        if (QAction* action = findChild<QAction*>(binding.action))
            action->setShortcuts(binding.keys);

    // Delete removes a data file only while the list of files has the focus:
    // in a text field it deletes a character, in another table nothing.
    QAction* remove = m_ui->action_file_delete;
    remove->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    m_ui->ResultFilesTable->addAction(remove);

    AssignMnemonics(m_ui->menuBar->actions());

    // Tab leaves a table; the arrows move inside it.
    for (QTableView* table :
         {m_ui->ResultFilesTable, m_ui->ResultFileContentTable, m_ui->StatisticsTable})
        table->setTabKeyNavigation(false);

    // Enter on X(min) / X(max) finds the cell as a click does (a style that
    // activates on one click has sent the click already).
    connect(m_ui->StatisticsTable, &QAbstractItemView::activated, this,
            [this](const QModelIndex& index)
            {
                if (!style()->styleHint(QStyle::SH_ItemView_ActivateItemOnSingleClick, nullptr,
                                        m_ui->StatisticsTable))
                    OnStatisticsTableClick(index);
            });

    // The data tab: the tool buttons left to right, then the tables top down.
    Ui::CKorvalent* ui = m_ui;
    const QList<QWidget*> dataChain{ui->toolbutton_results_show_help,
                                    ui->toolbutton_results_download_database,
                                    ui->toolbutton_results_load_database_from_file,
                                    ui->toolbutton_results_load_file,
                                    ui->toolbutton_results_delete_file,
                                    ui->toolbutton_results_save_file,
                                    ui->toolbutton_results_save_database_to_file,
                                    ui->ResultFilesTable,
                                    ui->ResultFileContentTable,
                                    ui->StatisticsTable};
    for (int i = 1; i < dataChain.size(); ++i)
        setTabOrder(dataChain.at(i - 1), dataChain.at(i));
    TabFocusToolButtons(this);

    // On a screen smaller than the tabs need (a small one, or a large scale
    // factor) the window still fits: its content scrolls.
    auto* scroll = new QScrollArea(this);
    scroll->setObjectName(QStringLiteral("centralScrollArea"));
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setFocusPolicy(Qt::NoFocus);
    scroll->setWidgetResizable(true);
    QWidget* content = takeCentralWidget();
    scroll->setWidget(content);
    setCentralWidget(scroll);
    FitContentMinimum();
    // The owned windows are fitted to their screen as they are built (Owned).
}

void CKorvalent::FitContentMinimum()
{
    // Where the screen has room the window keeps the minimum its content
    // needs, and nothing scrolls.
    auto* scroll = qobject_cast<QScrollArea*>(centralWidget());
    if (!scroll || scroll->objectName() != QLatin1String("centralScrollArea"))
        return;
    if (QScreen* screen = this->screen())
    {
        const QMargins frame = CScreenFit::FrameOf(this);
        QSize room = screen->availableGeometry().marginsRemoved(frame).size();
        room.rheight() -= menuBar()->sizeHint().height() + statusBar()->sizeHint().height();
        scroll->setMinimumSize(scroll->widget()->minimumSizeHint().boundedTo(room));
    }
}

void CKorvalent::ReportPageKeys()
{
    Ui::CReportPage* ui = m_ui;
    for (QTableView* table : {ui->ReportResultsTable, ui->ReportStatsTable})
        table->setTabKeyNavigation(false);
    // The report tab: its tool buttons, then the pages (their fields follow
    // the form's order).
    const QList<QWidget*> reportChain{ui->toolbutton_report_refresh,
                                      ui->toolbutton_report_print_preview,
                                      ui->toolbutton_report_new,
                                      ui->toolbutton_report_open_from_file,
                                      ui->toolbutton_report_print,
                                      ui->toolbutton_report_save_to_file,
                                      ui->toolbutton_report_save_pdf,
                                      ui->toolbutton_report_show_help,
                                      ui->reportTabWidget,
                                      ui->ConclutionNumberEdit};
    for (int i = 1; i < reportChain.size(); ++i)
        setTabOrder(reportChain.at(i - 1), reportChain.at(i));
    TabFocusToolButtons(m_ui->tab_2);
    // A page built after the window asks for room of its own.
    FitContentMinimum();
}

void CKorvalent::RefreshCurrentTab()
{
    QWidget* page = m_ui->mainTabWidget->currentWidget();
    if (page == m_ui->tab)
        OnResultsTablesRefresh();
    else if (page == m_ui->tab_2)
        OnReportRefresh();
    else if (m_analysisView && page && page->isAncestorOf(m_analysisView))
        m_analysisView->Refresh();
}
