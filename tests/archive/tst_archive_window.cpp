#include "app/CKorvalent.h"
#include "archive/CArchiveBrowserDialog.h"
#include "archive/CArchiveLocationDialog.h"
#include "archive/CDemoArchive.h"
#include "archive/CSurveyArchive.h"
#include "core/CAppGlobals.h"
#include "core/CUserPrompts.h"
#include "device/CDeviceManager.h"
#include "sim/CVirtualGauge.h"
#include "tests/archive/ArchiveTestSupport.h"
#include "tests/common/GaugeSupport.h"
#include "tests/common/TestSupport.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QStatusBar>
#include <QTableWidget>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

using namespace ArchiveTest;

// The window's archive: downloads archived (or not, and never lost), the
// archive browser's changes and opening, the location's connection test.
class TestArchiveWindow : public QObject
{
    Q_OBJECT

    std::unique_ptr<CTestEnvironment> m_env;
    CGaugeRig m_rig;
    std::unique_ptr<CKorvalent> m_window;
    CScriptedPrompts m_prompts;
    QTemporaryDir m_dir;

    // The device chain over and the archiving after it told.
    bool WaitIdle()
    {
        return QTest::qWaitFor(
                   [&]
                   {
                       return !m_window->IsDeviceChainRunning() && !m_rig.manager->IsBusy() &&
                              !m_window->IsArchiving();
                   },
                   20000) &&
               (QTest::qWait(50), true);
    }

    // Pictures of the dialogs for a person to look at, when asked for.
    static void Shot(QWidget* w, const QString& name)
    {
        const QString dir = qEnvironmentVariable("KORVALENT_SHOTS");
        if (!dir.isEmpty())
            w->grab().save(dir + QLatin1Char('/') + name + QStringLiteral(".png"));
    }

    void Download()
    {
        m_window->OnResultsDownloadDatabaseFromDevice();
        QVERIFY(WaitIdle());
    }

private Q_SLOTS:
    void initTestCase() { m_env = BeginGaugeTests(&m_prompts); }

    void init()
    {
        m_rig.Start(false, false, QStringLiteral("pty"));
        m_rig.gauge->SetFiles({File(QStringLiteral("Tank A"), 4, 1),
                               File(QStringLiteral("Труба 2"), 6, 2),
                               File(QStringLiteral("Lid"), 2, 3)});
        m_window.reset(new CKorvalent);
        g_App.pMainWindow = m_window.get();
        m_rig.UseManager();
        m_prompts.Clear();
    }

    void cleanup()
    {
        WaitIdle();
        m_rig.manager.reset();
        g_App.pDeviceManager = nullptr;
        m_window.reset();
        g_App.pMainWindow = nullptr;
        m_rig.Stop();
    }

    void downloadArchived_data() { EngineRows(); }
    void downloadArchived()
    {
        KV_ENGINE_LOCATION(m_dir, location);
        m_rig.settings->setValue(QStringLiteral("Archive/Location"), location);
        QVERIFY(m_window->ArchiveDownloadsAction()->isChecked());

        Download();
        QCOMPARE(m_window->DataFiles().size(), 3);
        QCOMPARE(m_window->statusBar()->currentMessage(),
                 QStringLiteral("Архив: добавлено обследований: 3, уже были в архиве: 0."));
        QVERIFY(m_prompts.Messages().isEmpty());
        Download();
        QCOMPARE(m_window->statusBar()->currentMessage(),
                 QStringLiteral("Архив: добавлено обследований: 0, уже были в архиве: 3."));

        CSurveyArchive archive;
        QVERIFY(archive.Open(location));
        CSurveyArchive::ObjectInfo tank;
        QVERIFY(archive.FindObject(QStringLiteral("tank a"), &tank));
        const QList<CSurveyArchive::SurveyInfo> surveys = archive.Surveys(tank.id);
        QCOMPARE(surveys.size(), 1);
        QCOMPARE(surveys.first().sourceKind, QStringLiteral("download"));
        QCOMPARE(surveys.first().gaugeName,
                 m_rig.settings->value(QStringLiteral("Device/Name")).toString());
        QCOMPARE(surveys.first().cells, 4);
    }

    void downloadNotArchived_data()
    {
        QTest::addColumn<QString>("location");
        QTest::addColumn<bool>("on");
        QTest::addColumn<QString>("box");
        QTest::newRow("unreachable server")
            << "postgresql://inspector:pw@%2Fnonexistent%2Fsocket/archive" << true
            << "Данные загружены, но не заархивированы.\n\nНе удалось подключиться к архиву "
               "Korvalent 'postgresql://inspector@/nonexistent/socket/archive': ";
        QTest::newRow("not an archive") << "NOTANARCHIVE" << true
                                        << "Данные загружены, но не заархивированы.\n\nФайл '%1' "
                                           "не является архивом Korvalent.";
        QTest::newRow("turned off") << "off.sqlite" << false << "";
    }
    void downloadNotArchived()
    {
        QFETCH(QString, location);
        QFETCH(bool, on);
        QFETCH(QString, box);
        if (location == QLatin1String("NOTANARCHIVE"))
        {
            location = m_dir.filePath(QStringLiteral("notes.txt"));
            QFile f(location);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("not an archive\n");
            box = box.arg(location);
        }
        else if (!location.contains(QLatin1String("://")))
            location = m_dir.filePath(location);
        m_rig.settings->setValue(QStringLiteral("Archive/Location"), location);
        m_window->ArchiveDownloadsAction()->setChecked(on);
        QCOMPARE(m_rig.settings->value(QStringLiteral("Archive/ArchiveDownloads"), true).toBool(),
                 on);

        Download();
        // The download itself is whole whatever happened to the archive.
        QCOMPARE(m_window->DataFiles().size(), 3);
        QCOMPARE(m_window->DataStatusLabel()->text(),
                 QStringLiteral("Данные: загружены из устройства, 3 файл(a)(ов)         "));
        if (!on)
        {
            QVERIFY(m_prompts.records.isEmpty());
            QVERIFY(!QFileInfo::exists(location));
            return;
        }
        QCOMPARE(m_prompts.records.size(), 1);
        QCOMPARE(m_prompts.records.first().icon, CUserPrompts::IconWarning);
        QVERIFY2(m_prompts.records.first().text.startsWith(box),
                 qPrintable(m_prompts.records.first().text));
        QVERIFY(!m_prompts.records.first().text.contains(QStringLiteral(":pw")));
        QCOMPARE(m_window->statusBar()->currentMessage(),
                 QStringLiteral("Архив: загрузка не заархивирована."));
    }

    void archiveLoadedData()
    {
        const QString location = m_dir.filePath(QStringLiteral("loaded.sqlite"));
        m_rig.settings->setValue(QStringLiteral("Archive/Location"), location);
        m_window->OnArchiveLoadedData();
        QCOMPARE(m_prompts.Messages(),
                 QStringList{QStringLiteral("Нет загруженых данных для архивирования.")});
        m_prompts.Clear();
        m_window->DataFiles() = {File(QStringLiteral("Линия-7 2025"), 3, 1),
                                 File(QStringLiteral("Линия-7 2026"), 3, 2)};
        m_window->OnArchiveLoadedData();
        QVERIFY(WaitIdle());
        QCOMPARE(m_prompts.Messages(),
                 QStringList{QStringLiteral("Архив: добавлено обследований: 2, уже были в "
                                            "архиве: 0. 'Линия-7 2026' похоже на объект "
                                            "'Линия-7 2025' (Архив → Обзор архива).")});
    }

    // A server that takes the connection and never answers: the window goes
    // on meanwhile, and the outcome arrives once the attempt ends.
    void silentServer_data()
    {
        QTest::addColumn<bool>("download");
        QTest::addColumn<int>("icon");
        QTest::addColumn<QString>("box");
        QTest::addColumn<QString>("status");
        QTest::newRow("archive the loaded data")
            << false << int(CUserPrompts::IconCritical)
            << "Не удалось подключиться к архиву Korvalent 'postgresql://inspector@127.0.0.1:%1/"
               "archive': "
            << "";
        QTest::newRow("after a download")
            << true << int(CUserPrompts::IconWarning)
            << "Данные загружены, но не заархивированы.\n\nНе удалось подключиться к архиву "
               "Korvalent 'postgresql://inspector@127.0.0.1:%1/archive': "
            << "Архив: загрузка не заархивирована.";
    }
    void silentServer()
    {
        QFETCH(bool, download);
        QFETCH(int, icon);
        QFETCH(QString, box);
        QFETCH(QString, status);
        QTcpServer silent;
        QVERIFY(silent.listen(QHostAddress::LocalHost));
        m_rig.settings->setValue(
            QStringLiteral("Archive/Location"),
            QStringLiteral("postgresql://inspector@127.0.0.1:%1/archive").arg(silent.serverPort()));
        int ticks = 0;
        QTimer timer;
        connect(&timer, &QTimer::timeout, this, [&] { ++ticks; });
        timer.start(5);
        if (download)
        {
            m_window->OnResultsDownloadDatabaseFromDevice();
            QVERIFY(QTest::qWaitFor(
                [&] { return !m_window->IsDeviceChainRunning() && !m_rig.manager->IsBusy(); },
                20000));
            QCOMPARE(m_window->DataFiles().size(), 3);
        }
        else
        {
            m_window->DataFiles() = {File(QStringLiteral("Tank A"), 4, 1)};
            m_window->OnArchiveLoadedData();
        }
        QVERIFY(m_window->IsArchiving());
        const int before = ticks;
        QVERIFY(QTest::qWaitFor([&] { return silent.hasPendingConnections(); }, 10000));
        QVERIFY(QTest::qWaitFor([&] { return ticks >= before + 5; }, 10000));
        QVERIFY(m_window->IsArchiving());
        QVERIFY(m_prompts.records.isEmpty());
        // Hung up on: the attempt ends now rather than at its time limit.
        silent.nextPendingConnection()->abort();
        QVERIFY(QTest::qWaitFor([&] { return !m_window->IsArchiving(); }, 20000));
        QCOMPARE(m_prompts.records.size(), 1);
        QCOMPARE(int(m_prompts.records.first().icon), icon);
        QVERIFY2(m_prompts.records.first().text.startsWith(box.arg(silent.serverPort())),
                 qPrintable(m_prompts.records.first().text));
        if (!status.isEmpty())
            QCOMPARE(m_window->statusBar()->currentMessage(), status);
        QCOMPARE(m_window->DataFiles().size(), download ? 3 : 1);
    }

    // The window closed while it archives: the archiving is finished first,
    // and nothing is told to the window that is gone.
    void closedWhileArchiving()
    {
        const QString location = m_dir.filePath(QStringLiteral("closing.sqlite"));
        m_rig.settings->setValue(QStringLiteral("Archive/Location"), location);
        DataFileList files;
        for (int i = 0; i < 150; ++i)
            files.append(File(QStringLiteral("F%1").arg(i), 254, i));
        m_window->DataFiles() = files;
        m_window->OnArchiveLoadedData();
        m_window->DataFiles() = {File(QStringLiteral("Second"), 3, 1)};
        m_window->OnArchiveLoadedData(); // waits for its turn
        QVERIFY(m_window->IsArchiving());
        m_window.reset();
        g_App.pMainWindow = nullptr;
        QCoreApplication::processEvents();
        QVERIFY(m_prompts.records.isEmpty());
        CSurveyArchive archive;
        QVERIFY2(archive.Open(location), qPrintable(archive.ErrorText()));
        QCOMPARE(archive.Objects().size(), 151);
        archive.Close();
        m_window.reset(new CKorvalent);
        g_App.pMainWindow = m_window.get();
    }

    void browser()
    {
        const QString location = m_dir.filePath(QStringLiteral("browse.sqlite"));
        {
            CSurveyArchive archive;
            QVERIFY(archive.Open(location));
            QString error;
            QVERIFY(CDemoArchive::Fill(archive, &error));
            QVERIFY(archive
                        .AddSurveys({File(QStringLiteral("Линия-7 2025"), 3, 1, 2025),
                                     File(QStringLiteral("Линия-7 2026"), 3, 2, 2026)},
                                    {}, {})
                        .ok);
        }
        CArchiveBrowserDialog dialog(location);
        QVERIFY(dialog.Refresh());
        QTableWidget* objects = dialog.ObjectsTable();
        QCOMPARE(objects->rowCount(), 3);
        QCOMPARE(objects->item(2, 0)->text(), CDemoArchive::ObjectName());
        QCOMPARE(objects->item(2, 1)->text(), QStringLiteral("5"));
        QCOMPARE(objects->item(2, 2)->text(), QStringLiteral("14.05.2022"));
        QCOMPARE(objects->item(2, 3)->text(), QStringLiteral("14.05.2026"));
        objects->selectRow(2);
        QCOMPARE(dialog.SurveysTable()->rowCount(), 5);
        QCOMPARE(dialog.SurveysTable()->item(0, 0)->text(), QStringLiteral("14.05.2022"));
        QCOMPARE(dialog.SurveysTable()->item(0, 2)->text(), QStringLiteral("QM-3RX"));
        QCOMPARE(dialog.SurveysTable()->item(0, 4)->text(), QStringLiteral("24"));
        Shot(&dialog, QStringLiteral("archive-browser"));

        // Merge the two years into one object.
        objects->selectRow(0);
        dialog.ObjectNameEdit()->setText(QStringLiteral("Линия-7"));
        dialog.OnMergeObject();
        objects->selectRow(1);
        dialog.ObjectNameEdit()->setText(QStringLiteral("линия-7"));
        dialog.OnMergeObject();
        QVERIFY(m_prompts.Messages().isEmpty());
        QCOMPARE(objects->rowCount(), 2);
        QCOMPARE(objects->item(0, 0)->text(), QStringLiteral("Линия-7"));
        QCOMPARE(objects->item(0, 1)->text(), QStringLiteral("2"));
        QVERIFY(objects->item(0, 0)->isSelected());
        Shot(&dialog, QStringLiteral("archive-browser-merged"));

        // Delete asks first; No keeps the survey.
        dialog.SurveysTable()->selectRow(0);
        m_prompts.answers.enqueue(CUserPrompts::No);
        dialog.OnDeleteSurvey();
        QCOMPARE(m_prompts.records.size(), 1);
        QCOMPARE(m_prompts.records.first().kind, QStringLiteral("ask"));
        QCOMPARE(m_prompts.records.first().text,
                 QStringLiteral("Удалить из архива обследование 'Линия-7 2025' от 01.04.2025 "
                                "(объект 'Линия-7')?"));
        QCOMPARE(dialog.SurveysTable()->rowCount(), 2);
        m_prompts.answers.enqueue(CUserPrompts::Yes);
        dialog.OnDeleteSurvey();
        QCOMPARE(objects->item(0, 1)->text(), QStringLiteral("1"));

        // Open the demo object's oldest survey: the data as archived.
        objects->selectRow(1);
        dialog.SurveysTable()->selectRow(0);
        dialog.OnOpenSurveys();
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(dialog.ChosenFiles().size(), 1);
        QCOMPARE(Bytes(dialog.ChosenFiles().first()), Bytes(CDemoArchive::Surveys().first()));
    }

    void locationTest()
    {
        const QString file = m_dir.filePath(QStringLiteral("chosen.sqlite"));
        CArchiveLocationDialog dialog(file, file);
        QVERIFY(dialog.FileButton()->isChecked());
        QVERIFY(dialog.OnTestConnection());
        QCOMPARE(
            dialog.TestResult()->text(),
            QStringLiteral("Подключение установлено: %1. Объектов: 0, обследований: 0.").arg(file));
        dialog.ServerButton()->setChecked(true);
        dialog.UrlEdit()->setText(QStringLiteral("postgresql://u:secret@%2Fnonexistent/db"));
        QVERIFY(!dialog.OnTestConnection());
        QVERIFY(dialog.TestResult()->text().startsWith(QStringLiteral(
            "Не удалось подключиться к архиву Korvalent 'postgresql://u@/nonexistent/db': ")));
        QCOMPARE(dialog.Location(), QStringLiteral("postgresql://u:secret@%2Fnonexistent/db"));
        Shot(&dialog, QStringLiteral("archive-location"));
    }
};

QTEST_MAIN(TestArchiveWindow)
#include "tst_archive_window.moc"
