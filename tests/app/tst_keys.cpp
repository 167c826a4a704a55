#include "analysis/CAnalysisView.h"
#include "app/CGuiPrompts.h"
#include "app/CKorvalent.h"
#include "app/CScreenFit.h"
#include "core/CAppGlobals.h"
#include "core/CUserPrompts.h"
#include "data/CDataStorage.h"
#include "report/CReportPreviewWindow.h"
#include "tests/analysis/AnalysisTestSupport.h"
#include "tests/common/TestSupport.h"
#include "tools/CAboutDialog.h"

#include "ui_CKorvalent.h"

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QShortcut>
#include <QStandardItemModel>
#include <QTableView>
#include <QtTest>

#include <memory>

using AnalysisTest::File;

class TestKeys : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<CTestEnvironment> m_env;
    std::unique_ptr<QSettings> m_settings;
    CScriptedPrompts m_prompts;

    std::unique_ptr<CKorvalent> ShownWindow(const QSize& size = QSize(1024, 768))
    {
        auto window = std::make_unique<CKorvalent>();
        g_App.pMainWindow = window.get();
        window->resize(size);
        window->show();
        window->activateWindow();
        if (!QTest::qWaitForWindowActive(window.get()))
            qWarning("window not active");
        return window;
    }

    void Load(CKorvalent* window, const DataFileList& files)
    {
        const QString path = m_env->Root() + QStringLiteral("/keys.kdb");
        CDataStorage::SaveDatabaseFile(path, files);
        m_prompts.fileNames.enqueue(path);
        window->OnResultsLoadDatabaseFromFile();
        m_prompts.Clear();
    }

    static QString FocusName()
    {
        return QApplication::focusWidget() ? QApplication::focusWidget()->objectName() : QString();
    }

private Q_SLOTS:
    void initTestCase() { BeginWindowTests(&m_env, &m_settings, &m_prompts); }
    void cleanupTestCase() { EndWindowTests(); }

    void init()
    {
        m_settings->clear();
        m_prompts.Clear();
        m_prompts.answers.clear();
        m_prompts.fileNames.clear();
        m_prompts.choices.clear();
    }

    void keyTriggersItsAction_data()
    {
        QTest::addColumn<QString>("action");
        QTest::addColumn<QKeySequence>("key");
        for (const CKorvalent::KeyBinding& binding : CKorvalent::KeyBindings())
            for (const QKeySequence& key : binding.keys)
                QTest::newRow(qPrintable(binding.action + QLatin1Char(' ') + key.toString()))
                    << binding.action << key;
    }
    void keyTriggersItsAction()
    {
        QFETCH(QString, action);
        QFETCH(QKeySequence, key);
        auto window = ShownWindow();
        QAction* a = window->findChild<QAction*>(action);
        QVERIFY2(a, qPrintable(action));
        // The key shown beside the entry is the key that works.
        QVERIFY(a->shortcuts().contains(key));
        // Only the binding is under test here: the slot stays out of it.
        QObject::disconnect(a, &QAction::triggered, nullptr, nullptr);
        QSignalSpy triggered(a, &QAction::triggered);
        window->ui()->ResultFilesTable->setFocus();
        QTest::keySequence(window.get(), key);
        QCOMPARE(triggered.count(), 1);
    }

    void everyKeyBoundOnce()
    {
        auto window = ShownWindow();
        QMap<QKeySequence, QStringList> owners;
        for (QAction* a : window->findChildren<QAction*>())
            for (const QKeySequence& key : a->shortcuts())
                owners[key] << a->objectName();
        for (QShortcut* s : window->findChildren<QShortcut*>())
            owners[s->key()] << s->objectName();
        for (auto it = owners.cbegin(); it != owners.cend(); ++it)
            QVERIFY2(it.value().size() == 1,
                     qPrintable(it.key().toString() + QStringLiteral(": ") + it.value().join(',')));
        // Every listed key is bound, and the menu entries show them.
        for (const CKorvalent::KeyBinding& binding : CKorvalent::KeyBindings())
        {
            QVERIFY2(!binding.keys.isEmpty(), qPrintable(binding.action));
            for (const QKeySequence& key : binding.keys)
                QCOMPARE(owners.value(key), QStringList{binding.action});
        }
    }

    // The manual's table of keys names every key the window binds.
    void manualListsEveryKey()
    {
        QFile file(QStringLiteral(KORVALENT_MANUAL));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QString manual = QString::fromUtf8(file.readAll());
        const qsizetype start = manual.indexOf(QStringLiteral("<h2 id=\"keys\">"));
        QVERIFY(start >= 0);
        const QString section =
            manual.mid(start, manual.indexOf(QStringLiteral("</table>"), start) - start);
        for (const CKorvalent::KeyBinding& binding : CKorvalent::KeyBindings())
        {
            const QString key = binding.keys.constFirst().toString(QKeySequence::PortableText);
            QVERIFY2(section.contains(QStringLiteral("<kbd>%1</kbd>").arg(key)),
                     qPrintable(binding.action + QLatin1Char(' ') + key));
        }
    }

    // Delete removes a data file from the files table only; elsewhere the
    // key does its usual work.
    void deleteKeyStaysWithTheFilesTable()
    {
        auto window = ShownWindow();
        Load(window.get(),
             {File(QStringLiteral("A-1"), {"5.0"}), File(QStringLiteral("B-2"), {"6.0"})});
        QCOMPARE(window->DataFiles().size(), 2);

        window->ui()->mainTabWidget->setCurrentWidget(window->ui()->tab_2);
        QLineEdit* edit = window->ui()->ConclutionNumberEdit;
        edit->setText(QStringLiteral("12"));
        edit->setFocus();
        edit->setCursorPosition(0);
        QTest::keyClick(edit, Qt::Key_Delete);
        QCOMPARE(edit->text(), QStringLiteral("2"));
        QCOMPARE(window->DataFiles().size(), 2);

        window->ui()->mainTabWidget->setCurrentWidget(window->ui()->tab);
        window->ui()->ResultFileContentTable->setFocus();
        QTest::keyClick(window->ui()->ResultFileContentTable, Qt::Key_Delete);
        QCOMPARE(window->DataFiles().size(), 2);

        QTableView* files = window->ui()->ResultFilesTable;
        files->setFocus();
        files->setCurrentIndex(window->FilesModel()->index(1, 0));
        QTest::keyClick(files, Qt::Key_Delete);
        QCOMPARE(window->DataFiles().size(), 1);
        QCOMPARE(CDataStorage::FileName(window->DataFiles().first()), QStringLiteral("A-1"));
    }

    void menusCarryMnemonics()
    {
        auto window = ShownWindow();
        QList<QList<QAction*>> containers{window->menuBar()->actions()};
        for (QMenu* menu : window->findChildren<QMenu*>())
            containers << menu->actions();
        for (const QList<QAction*>& actions : containers)
        {
            QSet<QChar> used;
            for (QAction* a : actions)
            {
                if (a->isSeparator() || !a->isVisible())
                    continue;
                const int at = int(a->text().indexOf(QLatin1Char('&')));
                QVERIFY2(at >= 0 && at + 1 < a->text().size(), qPrintable(a->text()));
                const QChar letter = a->text().at(at + 1).toLower();
                QVERIFY2(!used.contains(letter), qPrintable(a->text()));
                used.insert(letter);
            }
        }
        // The first letters where they are free.
        QCOMPARE(window->ui()->menu_Korvalent->title(), QStringLiteral("&Файл"));
        QCOMPARE(window->ui()->menu_Report->title(), QStringLiteral("&Отчёт"));
        QCOMPARE(window->ui()->action_file_download_database_from_device->text(),
                 QStringLiteral("&Получить из прибора базу …"));
        QCOMPARE(window->ui()->action_file_upload_database_to_device->text(),
                 QStringLiteral("&Отправить в прибор базу …"));
        QCOMPARE(window->ui()->action_file_exit->text(), QStringLiteral("&Выход ..."));
        // F10 opens the first menu.
        QTest::keyClick(window.get(), Qt::Key_F10);
        QTRY_VERIFY(window->ui()->menu_Korvalent->isVisible());
        QTest::keyClick(window->ui()->menu_Korvalent, Qt::Key_Escape);
    }

    // Tab walks the data tab's controls in the order they are laid out and
    // leaves a table at once; the arrows move inside.
    void dataTabFocusChain()
    {
        auto window = ShownWindow();
        Load(window.get(), {File(QStringLiteral("A-1"), {"5.0", "5.1"}),
                            File(QStringLiteral("B-2"), {"6.0", "6.4", "6.1"})});
        Ui::CKorvalent* ui = window->ui();
        QTableView* files = ui->ResultFilesTable;
        files->setFocus();
        files->setCurrentIndex(window->FilesModel()->index(0, 0));
        QTest::keyClick(files, Qt::Key_Down);
        QCOMPARE(files->currentIndex().row(), 1);
        QCOMPARE(window->SelectedFileIndex(), 1);

        ui->toolbutton_results_show_help->setFocus();
        QStringList visited{FocusName()};
        for (int i = 0; i < 9; ++i)
        {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            visited << FocusName();
        }
        QCOMPARE(
            visited,
            (QStringList{"toolbutton_results_show_help", "toolbutton_results_download_database",
                         "toolbutton_results_load_database_from_file",
                         "toolbutton_results_load_file", "toolbutton_results_delete_file",
                         "toolbutton_results_save_file", "toolbutton_results_save_database_to_file",
                         "ResultFilesTable", "ResultFileContentTable", "StatisticsTable"}));
        // Enter on X(max) selects the thickest reading's cell, as a click does.
        QTableView* statistics = ui->StatisticsTable;
        statistics->setCurrentIndex(statistics->model()->index(4, 0));
        QVERIFY(ui->ResultFileContentTable->currentIndex().row() != 1);
        QTest::keyClick(statistics, Qt::Key_Return);
        QCOMPARE(ui->ResultFileContentTable->currentIndex().row(), 1);
        // Walking through the files table changed nothing.
        QCOMPARE(files->currentIndex().row(), 1);
        QCOMPARE(window->SelectedFileIndex(), 1);
    }

    void escClosesPreviewAndDialogs()
    {
        auto window = ShownWindow();
        QWidget* preview = window->ReportPreview();
        QWidget* about = window->AboutDialog();
        for (QWidget* w : {preview, about})
        {
            w->show();
            w->activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(w));
            QTest::keyClick(w, Qt::Key_Escape);
            QVERIFY2(!w->isVisible(), qPrintable(w->metaObject()->className()));
        }
    }

    // Enter on a question answers the safe way unless the caller says otherwise.
    void enterPressesTheDefaultButton_data()
    {
        QTest::addColumn<int>("buttons");
        QTest::addColumn<int>("defaultButton");
        QTest::addColumn<int>("expected");
        QTest::newRow("yes/cancel, none chosen")
            << int(CUserPrompts::Yes | CUserPrompts::Cancel) << int(CUserPrompts::NoButton)
            << int(CUserPrompts::Cancel);
        QTest::newRow("yes/cancel, cancel chosen")
            << int(CUserPrompts::Yes | CUserPrompts::Cancel) << int(CUserPrompts::Cancel)
            << int(CUserPrompts::Cancel);
        QTest::newRow("yes/cancel, yes chosen") << int(CUserPrompts::Yes | CUserPrompts::Cancel)
                                                << int(CUserPrompts::Yes) << int(CUserPrompts::Yes);
        QTest::newRow("ok alone") << int(CUserPrompts::Ok) << int(CUserPrompts::NoButton)
                                  << int(CUserPrompts::Ok);
    }
    void enterPressesTheDefaultButton()
    {
        QFETCH(int, buttons);
        QFETCH(int, defaultButton);
        QFETCH(int, expected);
        QTimer::singleShot(0, this,
                           []
                           {
                               QWidget* box = QApplication::activeModalWidget();
                               if (box)
                                   QTest::keyClick(box, Qt::Key_Return);
                           });
        CGuiPrompts prompts;
        const CUserPrompts::Button answer = prompts.Ask(
            nullptr, CUserPrompts::IconQuestion, QStringLiteral("Korvalent"), QStringLiteral("?"),
            QString(), buttons, {{CUserPrompts::Cancel, QStringLiteral("Отмена")}},
            CUserPrompts::Button(defaultButton));
        QCOMPARE(int(answer), expected);
    }

    void placement_data()
    {
        QTest::addColumn<QRect>("saved");
        QTest::addColumn<QList<QRect>>("screens");
        QTest::addColumn<QRect>("expected");
        QTest::addColumn<bool>("maximize");
        const QRect small(0, 0, 1024, 740); // 1024×768 less a 28-pixel panel
        QTest::newRow("large screen's size")
            << QRect(0, 0, 1920, 1181) << QList<QRect>{small} << QRect(0, 30, 1024, 710) << true;
        QTest::newRow("fits") << QRect(200, 200, 400, 400) << QList<QRect>{small}
                              << QRect(200, 200, 400, 400) << false;
        QTest::newRow("hangs over the corner") << QRect(900, 600, 800, 500) << QList<QRect>{small}
                                               << QRect(224, 240, 800, 500) << false;
        QTest::newRow("off every screen") << QRect(3000, 2000, 400, 300) << QList<QRect>{small}
                                          << QRect(312, 235, 400, 300) << false;
        QTest::newRow("on the second screen")
            << QRect(1200, 100, 600, 400) << QList<QRect>{small, QRect(1024, 0, 1280, 1024)}
            << QRect(1200, 100, 600, 400) << false;
        QTest::newRow("second screen gone") << QRect(1200, 100, 600, 400) << QList<QRect>{small}
                                            << QRect(212, 185, 600, 400) << false;
    }
    void placement()
    {
        QFETCH(QRect, saved);
        QFETCH(QList<QRect>, screens);
        QFETCH(QRect, expected);
        QFETCH(bool, maximize);
        const QMargins frame(0, 30, 0, 0);
        const CScreenFit::Placement placed = CScreenFit::Place(saved, screens, frame);
        QCOMPARE(placed.geometry, expected);
        QCOMPARE(placed.maximize, maximize);
        bool inside = false;
        for (const QRect& screen : screens)
            inside = inside || screen.contains(placed.geometry.marginsAdded(frame));
        QVERIFY(inside);
    }

    void restoredWindowFitsTheScreen()
    {
        m_settings->setValue(QStringLiteral("MainWindow/size"), QSize(4000, 3000));
        m_settings->setValue(QStringLiteral("MainWindow/pos"), QPoint(-5000, 9000));
        CKorvalent window;
        const QRect available = window.screen()->availableGeometry();
        QVERIFY2(available.contains(window.frameGeometry()),
                 qPrintable(QStringLiteral("%1,%2 %3x%4 in %5x%6")
                                .arg(window.frameGeometry().x())
                                .arg(window.frameGeometry().y())
                                .arg(window.frameGeometry().width())
                                .arg(window.frameGeometry().height())
                                .arg(available.width())
                                .arg(available.height())));
        QVERIFY(window.windowState() & Qt::WindowMaximized);
    }

    void previewMinimumFitsTheScreen()
    {
        auto window = ShownWindow();
        QWidget* preview = window->ReportPreview();
        preview->show();
        QVERIFY(QTest::qWaitForWindowExposed(preview));
        const QSize available = preview->screen()->availableGeometry().size();
        QVERIFY(preview->minimumWidth() <= available.width());
        QVERIFY(preview->minimumHeight() <= available.height());
        QVERIFY(preview->screen()->availableGeometry().contains(preview->frameGeometry()));
        preview->close();
        QCOMPARE(CScreenFit::FitMinimum(QSize(860, 768), QSize(1024, 740)), QSize(860, 740));
    }

    // Every column of the comparison table is seen at 1024×768.
    void analysisColumnsFit()
    {
        auto window = ShownWindow(QSize(1024, 768));
        Load(window.get(), {File(QStringLiteral("Линия-7 2024"), {"9.6", "9.0", "5.6", "4.4"},
                                 QDate(2024, 5, 14)),
                            File(QStringLiteral("Линия-7 2020"), {"10.0", "9.0", "8.0", "6.0"},
                                 QDate(2020, 5, 14))});
        window->ui()->mainTabWidget->setCurrentIndex(2);
        CAnalysisView* view = window->AnalysisView();
        view->findChild<QLineEdit*>(QStringLiteral("RequiredThicknessEdit"))->setText("5");
        m_prompts.choices.enqueue(0);
        view->OnComparePickLoaded();
        QVERIFY(view->HasPrevious());
        auto* table = view->findChild<QTableView*>(QStringLiteral("ComparisonTable"));
        QVERIFY(table->model()->columnCount() >= 5);
        QApplication::processEvents();
        int sum = 0;
        for (int c = 0; c < table->model()->columnCount(); ++c)
            if (!table->isColumnHidden(c))
                sum += table->columnWidth(c);
        QVERIFY2(sum <= table->viewport()->width(),
                 qPrintable(QStringLiteral("%1 > %2").arg(sum).arg(table->viewport()->width())));
        QVERIFY(!table->horizontalHeader()->stretchLastSection());

        // The default export names tell the object and the survey.
        m_prompts.fileNames.enqueue(QString());
        view->OnExportCsv();
        QCOMPARE(m_prompts.records.last().kind, QStringLiteral("save"));
        QVERIFY2(
            m_prompts.records.last().dir.endsWith(QStringLiteral("Анализ Линия-7 2024-05-14.csv")),
            qPrintable(m_prompts.records.last().dir));
    }

    void exportNames_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QDate>("date");
        QTest::addColumn<QString>("expected");
        QTest::newRow("dated name")
            << "Линия-7 2026" << QDate(2026, 3, 2) << "Анализ Линия-7 2026-03-02.csv";
        QTest::newRow("plain name")
            << "TANK-7" << QDate(2024, 1, 1) << "Анализ TANK-7 2024-01-01.csv";
        QTest::newRow("slash in the name")
            << "ТРУБА/1" << QDate(2024, 1, 1) << "Анализ ТРУБА_1 2024-01-01.csv";
        QTest::newRow("no dates") << "TANK-7" << QDate() << "Анализ TANK-7.csv";
    }
    void exportNames()
    {
        QFETCH(QString, name);
        QFETCH(QDate, date);
        QFETCH(QString, expected);
        const DataFileRecord file = File(name, {date.isValid() ? "5.0" : "5.0@-"}, date);
        QCOMPARE(CAnalysisView::ExportName(QStringLiteral("Анализ"), file, QStringLiteral("csv")),
                 expected);
    }
};

QTEST_MAIN(TestKeys)
#include "tst_keys.moc"
