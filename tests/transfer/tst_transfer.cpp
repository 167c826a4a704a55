#include "core/CAppGlobals.h"
#include "core/CClock.h"
#include "app/CKorvalent.h"
#include "app/CStillProgressBar.h"
#include "core/CUserPrompts.h"
#include "data/CResultsModels.h"
#include "device/CDeviceManager.h"
#include "sim/CVirtualGauge.h"
#include "tests/common/GaugeSupport.h"
#include "tests/common/TestSupport.h"
#include "tools/CDatabaseTransfer.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QAbstractAnimation>
#include <QProgressBar>
#include <QRegularExpression>
#include <QSettings>
#include <QStandardItemModel>
#include <QSignalSpy>
#include <QStatusBar>
#include <QToolButton>
#include <QTimer>
#include <QtTest>
#include <memory>

namespace
{
CellRecord MakeCell(int file, int index)
{
    CellRecord c;
    std::memset(&c, 0, sizeof(c));
    c.flags = 0x02;
    c.intPart = quint16(10 + file);
    c.fracPart = quint8(index % 10);
    c.velocity = 5920;
    std::memcpy(c.pepIdent, "P112", 4);
    c.pepSerial = quint32(1000 + index);
    c.time = quint16((9 << 8) | (index % 60));
    c.date = quint16((26 << 9) | (3 << 5) | 1);
    c.temperature = qint8(-5 + index % 10);
    return c;
}

// True while the style runs an animation of the widget.
bool Animating(const QWidget* widget)
{
    for (const QAbstractAnimation* a : widget->findChildren<QAbstractAnimation*>())
        if (a->state() == QAbstractAnimation::Running)
            return true;
    return false;
}

DataFileRecord MakeFile(const QByteArray& name, int cells, int file = 0, int records = -1)
{
    DataFileRecord f;
    std::memcpy(f.header.name, name.constData(), size_t(std::min<qsizetype>(name.size(), 16)));
    f.header.records = quint8(records < 0 ? cells : records);
    f.header.serialNumber = 0x01020304u + quint32(file);
    f.header.fwVersion = 0x02050000u;
    f.header.audioIndex = 0;
    for (int i = 0; i < cells; ++i)
        f.cells.append(MakeCell(file, i));
    return f;
}

QByteArray HeaderBytes(const DataFileRecord& f)
{
    return QByteArray(reinterpret_cast<const char*>(&f.header), sizeof(f.header));
}
QByteArray CellBytes(const QList<CellRecord>& cells)
{
    QByteArray b;
    for (const CellRecord& c : cells)
        b.append(reinterpret_cast<const char*>(&c), sizeof(c));
    return b;
}
} // namespace

// Receives the completion of a task some other window started.
class CTaskSink : public QObject
{
    Q_OBJECT
public:
    int completions = 0;
public Q_SLOTS:
    void DeviceTaskCompleted(int, const void*, int) { ++completions; }
};

class TestTransfer : public QObject
{
    Q_OBJECT

    std::unique_ptr<CTestEnvironment> m_env;
    std::unique_ptr<QSettings> m_settings;
    std::unique_ptr<CVirtualGauge> m_gauge;
    std::unique_ptr<CDeviceManager> m_manager;
    std::unique_ptr<CKorvalent> m_window;
    std::unique_ptr<QSignalSpy> m_completions;
    CScriptedPrompts m_prompts;
    QStringList m_statuses;

    QString Label() const { return m_window->DataStatusLabel()->text(); }

    // Starts the upload, answering its question with "Продолжить"; the
    // question is taken off the record so that tests see the chain's boxes.
    void UploadConfirmed()
    {
        const qsizetype before = m_prompts.records.size();
        m_prompts.answers.enqueue(CUserPrompts::Yes);
        m_window->OnResultsUploadDatabaseToDevice();
        QVERIFY(m_prompts.records.size() > before);
        QCOMPARE(m_prompts.records.at(before).kind, QStringLiteral("ask"));
        m_prompts.records.removeAt(before);
    }

    // TaskID and nDataLength of every completion the manager delivered.
    QList<QPair<int, int>> Tasks() const
    {
        QList<QPair<int, int>> tasks;
        for (const QList<QVariant>& args : *m_completions)
            tasks.append({args.at(0).toInt(), args.at(2).toInt()});
        return tasks;
    }

    void NothingStarted()
    {
        QVERIFY(!m_window->IsDeviceChainRunning());
        QVERIFY(!m_manager->IsBusy());
        QTest::qWait(100);
        QVERIFY(m_completions->isEmpty());
    }

    bool WaitIdle(int ms = 20000)
    {
        return QTest::qWaitFor(
                   [&] { return !m_window->IsDeviceChainRunning() && !m_manager->IsBusy(); }, ms) &&
               // the last completion is queued after the manager turns idle
               (QTest::qWait(50), true);
    }

private Q_SLOTS:
    void initTestCase()
    {
        m_env.reset(new CTestEnvironment);
        QCoreApplication::setApplicationName(QStringLiteral("Korvalent"));
        SetUserPrompts(&m_prompts);
    }

    void init()
    {
        m_settings = UseFreshSettings();
        m_gauge = StartGauge(false);
        SelectDevicePort(*m_settings, m_gauge->PortPath(), QStringLiteral("pty"));
        m_window.reset(new CKorvalent);
        g_App.pMainWindow = m_window.get();
        m_manager = UseDeviceManager(400);
        connect(m_manager.get(), &CDeviceManager::ShowStatusMessage, m_window->statusBar(),
                &QStatusBar::showMessage);
        m_statuses.clear();
        connect(m_manager.get(), &CDeviceManager::ShowStatusMessage, this,
                [this](const QString& text, int) { m_statuses.append(text); });
        m_completions.reset(new QSignalSpy(m_manager.get(), &CDeviceManager::DeviceTaskCompleted));
        m_prompts.Clear();
    }

    void cleanup()
    {
        WaitIdle();
        m_completions.reset();
        m_manager.reset();
        g_App.pDeviceManager = nullptr;
        m_window.reset();
        g_App.pMainWindow = nullptr;
        m_gauge.reset();
        m_settings.reset();
        g_App.pSettings = nullptr;
        CClock::Unpin();
    }

    void downloadThreeFiles()
    {
        const DataFileList files{MakeFile("Tank A", 4, 0), MakeFile("Труба 2", 1, 1),
                                 MakeFile("Lid", 6, 2)};
        m_gauge->SetFiles(files);
        const MaterialList materials = CVirtualGauge::DemoMaterials();
        m_gauge->SetMaterials(materials);

        m_window->OnResultsDownloadDatabaseFromDevice();
        QCOMPARE(Label(), QStringLiteral("Данные: не загружены          "));
        QVERIFY(m_window->IsDeviceChainRunning());
        QVERIFY(WaitIdle());

        const QList<QPair<int, int>> expected{{11, 0}, {12, 0}, {12, 1}, {12, 2}, {5, 0}};
        QCOMPARE(Tasks(), expected);
        QCOMPARE(Label(),
                 QStringLiteral("Данные: загружены из устройства, 3 файл(a)(ов)         "));
        QCOMPARE(m_window->SelectedFileIndex(), 0);
        QCOMPARE(m_window->DataFiles().size(), files.size());
        for (int i = 0; i < files.size(); ++i)
        {
            QCOMPARE(HeaderBytes(m_window->DataFiles()[i]), HeaderBytes(files[i]));
            QCOMPARE(CellBytes(m_window->DataFiles()[i].cells), CellBytes(files[i].cells));
        }
        QCOMPARE(m_window->Materials().size(), materials.size());
        QCOMPARE(m_window->FilesModel()->rowCount(), 3);
        for (int i = 0; i < files.size(); ++i)
            QCOMPARE(m_window->FilesModel()->item(i, 1)->text(),
                     CResultsModels::FileRowTexts(files[i]).at(1));
        QVERIFY(m_prompts.Messages().isEmpty());
        // The progress bar is gone with the chain.
        auto* bar = m_window->findChild<QProgressBar*>(QStringLiteral("DeviceChainProgress"));
        QVERIFY(bar);
        QVERIFY(bar->isHidden());

        // A second download does not double the cells.
        m_completions->clear();
        m_window->OnResultsDownloadDatabaseFromDevice();
        QVERIFY(WaitIdle());
        QCOMPARE(CellBytes(m_window->DataFiles()[2].cells), CellBytes(files[2].cells));
    }

    // The status bar's texts never widen the window: at the default 400 × 400
    // the labels and the progress elide, and keep their full texts.
    void windowKeepsItsSize()
    {
        QList<DataFileRecord> files;
        for (int i = 0; i < 40; ++i)
            files << MakeFile(QByteArray("File-with-a-long-name-") + QByteArray::number(i), 30, i);
        m_gauge->SetFiles(files);
        m_window->resize(400, 400);
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
        int widest = m_window->width();
        QStringList progressTexts;
        QTimer probe;
        connect(&probe, &QTimer::timeout, this,
                [&]
                {
                    widest = std::max(widest, m_window->width());
                    if (auto* text =
                            m_window->findChild<QLabel*>(QStringLiteral("DeviceChainProgressText"));
                        text && text->isVisible())
                        progressTexts << text->text();
                });
        probe.start(5);
        m_window->OnResultsDownloadDatabaseFromDevice();
        QVERIFY(WaitIdle(60000));
        probe.stop();
        QCOMPARE(widest, 400);
        QCOMPARE(m_window->width(), 400);
        QCOMPARE(Label(),
                 QStringLiteral("Данные: загружены из устройства, 40 файл(a)(ов)         "));
        QVERIFY(m_window->DataStatusLabel()->width() < 400);
        QVERIFY(!progressTexts.isEmpty());
        QVERIFY2(progressTexts.last().startsWith(QStringLiteral("Файлы: ")),
                 qPrintable(progressTexts.last()));
        m_window->hide();
    }

    // The window shows the device's texts a few at a time; the last one of a
    // task is on screen when the task's completion has been handled, and a
    // message put up by someone else is not overwritten by a text held back.
    void deviceTextsThroughTheWindow()
    {
        disconnect(m_manager.get(), &CDeviceManager::ShowStatusMessage, m_window->statusBar(),
                   nullptr);
        connect(m_manager.get(), &CDeviceManager::ShowStatusMessage, m_window.get(),
                &CKorvalent::ShowDeviceMessage);
        QStringList shown;
        connect(m_window->statusBar(), &QStatusBar::messageChanged, this,
                [&](const QString& text) { shown << text; });
        m_gauge->SetFiles({MakeFile("Tank A", 40, 0), MakeFile("Lid", 30, 1)});

        m_window->OnResultsDownloadDatabaseFromDevice();
        QVERIFY(WaitIdle());
        QVERIFY(!m_statuses.isEmpty());
        // The last device text was shown, then the archive's summary.
        QTRY_VERIFY_WITH_TIMEOUT(
            m_window->statusBar()->currentMessage().startsWith(QStringLiteral("Архив: ")), 20000);
        QVERIFY2(shown.size() >= 2, qPrintable(shown.join(u'|')));
        QCOMPARE(shown.at(shown.size() - 2), m_statuses.last());
        int deviceTexts = 0;
        for (const QString& text : shown)
            deviceTexts += m_statuses.contains(text) ? 1 : 0;
        QVERIFY(deviceTexts <= m_statuses.size());

        m_window->ShowDeviceMessage(QStringLiteral("first"), 0);
        m_window->ShowDeviceMessage(QStringLiteral("second"), 0);
        m_window->statusBar()->showMessage(QStringLiteral("other"));
        QTest::qWait(400);
        QCOMPARE(m_window->statusBar()->currentMessage(), QStringLiteral("other"));

        // Texts handed over together (the worker's batch) make one tick, with
        // the last of them, at once: not the first now and the last a third
        // of a second later, a second wake-up of the window for it.
        shown.clear();
        QTest::qWait(400);
        m_window->ShowDeviceMessage(QStringLiteral("one"), 0);
        m_window->ShowDeviceMessage(QStringLiteral("two"), 0);
        m_window->ShowDeviceMessage(QStringLiteral("three"), 0);
        QTest::qWait(100);
        QCOMPARE(shown, QStringList{QStringLiteral("three")});
    }

    // The counts beside the bar follow the records of a file while it is
    // read, with the status bar's ticks, not only when a file is done; the
    // last tick's counts are the task's own. The bar itself does not
    // animate meanwhile (the style's moving stripes kept a 60 Hz timer
    // running in the window thread for the whole download).
    void countsFollowTheRecords()
    {
        m_gauge->SetFiles({MakeFile("Slow", 120, 0)});
        m_gauge->InjectFault(CVirtualGauge::FaultDelay, 0x0D, -1, 8, -1);
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
        QStringList counts;
        int samples = 0;
        int animating = 0;
        QTimer probe;
        connect(&probe, &QTimer::timeout, this,
                [&]
                {
                    auto* text =
                        m_window->findChild<QLabel*>(QStringLiteral("DeviceChainProgressText"));
                    if (text && text->isVisible() &&
                        (counts.isEmpty() || counts.last() != text->text()))
                        counts << text->text();
                    auto* bar =
                        m_window->findChild<QProgressBar*>(QStringLiteral("DeviceChainProgress"));
                    if (!bar || !bar->isVisible())
                        return;
                    ++samples;
                    animating += Animating(bar) ? 1 : 0;
                });
        probe.start(5);
        m_window->OnResultsDownloadDatabaseFromDevice();
        QVERIFY(WaitIdle(60000));
        probe.stop();
        m_gauge->ClearFaults();
        m_window->hide();
        const QRegularExpression midway(
            QStringLiteral("^Файлы: 0 из 1, ячейки: ([1-9][0-9]*) из 120$"));
        int midwayTexts = 0;
        for (const QString& text : counts)
        {
            const QRegularExpressionMatch match = midway.match(text);
            if (match.hasMatch() && match.captured(1).toInt() < 120)
                ++midwayTexts;
        }
        QVERIFY2(midwayTexts >= 2, qPrintable(counts.join(u'|')));
        QCOMPARE(m_window->DataFiles().at(0).cells.size(), 120);
        // Only the busy bar, before the totals are known, animates.
        QVERIFY(samples >= 20);
        QVERIFY2(
            animating * 4 < samples,
            qPrintable(QStringLiteral("%1 of %2 samples animating").arg(animating).arg(samples)));
    }

    // A busy bar (no total yet) keeps the style's animation: it is the one
    // sign then that the work goes on.
    void busyBarAnimates()
    {
        CStillProgressBar bar;
        bar.setRange(0, 0);
        bar.resize(100, 20);
        bar.show();
        QVERIFY(QTest::qWaitForWindowExposed(&bar));
        int samples = 0;
        int animating = 0;
        QElapsedTimer timer;
        timer.start();
        while (timer.elapsed() < 300)
        {
            QTest::qWait(5);
            ++samples;
            animating += Animating(&bar) ? 1 : 0;
        }
        QVERIFY2(animating * 4 > samples * 3,
                 qPrintable(QStringLiteral("%1 of %2").arg(animating).arg(samples)));
    }

    // With a total the bar is drawn plainly: its chunk covers the inside of
    // the frame in proportion to the value, from the reading direction's
    // start, and drawing it starts no animation of the style.
    void barChunkFollowsValue_data()
    {
        QTest::addColumn<int>("minimum");
        QTest::addColumn<int>("maximum");
        QTest::addColumn<int>("value");
        QTest::addColumn<bool>("inverted");
        QTest::addColumn<int>("chunk");
        // 100 pixels wide: 98 inside the frame.
        QTest::newRow("empty") << 0 << 254 << 0 << false << 0;
        QTest::newRow("half") << 0 << 200 << 100 << false << 49;
        QTest::newRow("full") << 0 << 38100 << 38100 << false << 98;
        QTest::newRow("inverted") << 0 << 4 << 1 << true << 24;
        QTest::newRow("offset range") << 100 << 300 << 250 << false << 73;
        QTest::newRow("widest range") << INT_MIN << INT_MAX << 0 << false << 49;
    }
    void barChunkFollowsValue()
    {
        QFETCH(int, minimum);
        QFETCH(int, maximum);
        QFETCH(int, value);
        QFETCH(bool, inverted);
        QFETCH(int, chunk);
        QCOMPARE(CStillProgressBar::ChunkWidth(100, minimum, maximum, value), chunk);
        CStillProgressBar bar;
        bar.setTextVisible(false);
        bar.setInvertedAppearance(inverted);
        bar.setRange(minimum, maximum);
        bar.setValue(value);
        bar.resize(100, 22);
        bar.show();
        QVERIFY(QTest::qWaitForWindowExposed(&bar));
        const QImage image = bar.grab().toImage();
        const QRgb base = bar.palette().color(QPalette::Base).rgb();
        int first = -1;
        int filled = 0;
        for (int x = 1; x < 99; ++x)
            if (image.pixel(x, 11) != base)
            {
                first = first < 0 ? x : first;
                ++filled;
            }
        QCOMPARE(filled, chunk);
        if (chunk > 0)
            QCOMPARE(first, inverted ? 99 - chunk : 1);
        bar.repaint();
        QVERIFY(bar.findChildren<QAbstractAnimation*>().isEmpty());
    }

    // Out of the range the value cannot be set; the width stays within the
    // frame whatever it is given.
    void barChunkWithinFrame_data()
    {
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("value");
        QTest::addColumn<int>("chunk");
        QTest::newRow("below") << 100 << -5 << 0;
        QTest::newRow("above") << 100 << 15 << 98;
        QTest::newRow("no inside") << 2 << 10 << 0;
        QTest::newRow("no width") << 0 << 10 << 0;
    }
    void barChunkWithinFrame()
    {
        QFETCH(int, width);
        QFETCH(int, value);
        QFETCH(int, chunk);
        QCOMPARE(CStillProgressBar::ChunkWidth(width, 0, 10, value), chunk);
        QCOMPARE(CStillProgressBar::ChunkWidth(width, 5, 5, value), 0);
    }

    void downloadNoFiles()
    {
        m_gauge->SetFiles({});
        m_window->OnResultsDownloadDatabaseFromDevice();
        QVERIFY(WaitIdle());
        const QList<QPair<int, int>> expected{{11, 0}};
        QCOMPARE(Tasks(), expected);
        QCOMPARE(Label(), QStringLiteral("Данные отсутсвуют в устройстве         "));
        QCOMPARE(m_window->SelectedFileIndex(), -1);
        QVERIFY(!m_window->IsDeviceChainRunning());
    }

    void downloadFailsInTheMiddle()
    {
        m_gauge->SetFiles({MakeFile("A", 2, 0), MakeFile("B", 2, 1), MakeFile("C", 2, 2)});
        // Exchanges: task 11 = identify + 3 descriptors; file A = identify + 2
        // cells; file B = identify, cell 0, cell 1 <- spoiled.
        m_gauge->InjectFault(CVirtualGauge::FaultStatus, 0x0D, m_gauge->ExchangeCount() + 9, 0x42);
        m_window->OnResultsDownloadDatabaseFromDevice();
        QVERIFY(WaitIdle());
        const QList<QPair<int, int>> expected{{11, 0}, {12, 0}, {12, -1}};
        QCOMPARE(Tasks(), expected);
        QCOMPARE(Label(), QStringLiteral("Данные: не загружены          "));
        QCOMPARE(m_window->DataFiles().size(), 3);
        QCOMPARE(m_window->DataFiles()[0].cells.size(), 2);
        QCOMPARE(m_window->DataFiles()[1].cells.size(), 1);
        QCOMPARE(m_window->DataFiles()[2].cells.size(), 0);
        QCOMPARE(m_window->SelectedFileIndex(), 1);
        QVERIFY(m_statuses.contains(QStringLiteral("ОШИБКА: получен не ожидаемый ответ.")));
    }

    void cancelDuringDownload()
    {
        DataFileList files;
        for (int i = 0; i < 6; ++i)
            files.append(MakeFile("F" + QByteArray::number(i), 20, i));
        m_gauge->SetFiles(files);
        m_gauge->InjectFault(CVirtualGauge::FaultDelay, 0x0D, -1, 5, -1);
        m_window->OnResultsDownloadDatabaseFromDevice();
        auto* cancel = m_window->findChild<QToolButton*>(QStringLiteral("DeviceChainCancelButton"));
        QVERIFY(cancel);
        QVERIFY(cancel->isVisible() || !m_window->isVisible());
        // Cancel while the second file's cells arrive.
        QVERIFY(QTest::qWaitFor([&] { return m_completions->size() >= 2; }, 20000));
        cancel->click();
        QVERIFY(WaitIdle());
        QVERIFY(m_manager->LastTaskCancelled() || Tasks().last().second >= 0);
        QVERIFY2(
            Label().startsWith(QStringLiteral("Данные: получение прервано, прочитано файлов ")),
            qPrintable(Label()));
        QVERIFY(Label().contains(QStringLiteral(" из 6")));
        QCOMPARE(m_window->DataFiles().size(), 6);
        QCOMPARE(CellBytes(m_window->DataFiles()[0].cells), CellBytes(files[0].cells));
        int held = 0;
        int firstShort = -1;
        int incomplete = 0;
        for (int i = 0; i < 6; ++i)
        {
            const int cells = int(m_window->DataFiles()[i].cells.size());
            held += cells;
            if (cells < 20)
            {
                ++incomplete;
                if (firstShort < 0)
                    firstShort = i;
            }
            // Every file cut short is marked in the files table.
            const QString count = m_window->FilesModel()->item(i, 1)->text();
            if (cells == 20)
                QCOMPARE(count, QStringLiteral("1 - 20"));
            else if (cells == 0)
                QCOMPARE(count, QStringLiteral("0 из 20"));
            else
                QCOMPARE(count, QStringLiteral("1 - %1 из 20").arg(cells));
            QCOMPARE(m_window->FilesModel()->item(i, 1)->toolTip().isEmpty(), cells == 20);
        }
        QVERIFY(held < 6 * 20);
        // The label names the first file cut short.
        QVERIFY(firstShort >= 1);
        const QString note = QStringLiteral("; неполный файл «F%1»: %2 из 20 ячеек (неполных "
                                            "файлов: %3)         ")
                                 .arg(firstShort)
                                 .arg(m_window->DataFiles()[firstShort].cells.size())
                                 .arg(incomplete);
        QVERIFY2(Label().endsWith(note), qPrintable(Label()));

        // Saving them says which files are incomplete.
        m_prompts.Clear();
        const QString path = m_env->Root() + QStringLiteral("/cancelled.kdb");
        m_prompts.fileNames.enqueue(path);
        m_window->OnResultsSaveDatabaseToFile();
        const QStringList saved = m_prompts.Messages();
        QCOMPARE(saved.size(), 1);
        QVERIFY2(saved.first().startsWith(
                     QStringLiteral("База данных Korvalent успешно сохранёна.\n\nВ базе данных "
                                    "сохранены неполные файлы (%1), в них меньше ячеек, чем "
                                    "указано в заголовке: «F%2» (")
                         .arg(incomplete)
                         .arg(firstShort)),
                 qPrintable(saved.first()));
        for (const QPair<int, int>& t : Tasks())
            QVERIFY(t.first != 5);
        QVERIFY(!m_window->IsDeviceChainRunning());
    }

    // A gauge that ends a file before the cells its descriptor announces:
    // every task goes through, but the file is short, and the label says so.
    void downloadWithLostCells()
    {
        m_gauge->SetFiles({MakeFile("A", 2, 0), MakeFile("B", 2, 1, 3), MakeFile("C", 2, 2)});
        m_window->OnResultsDownloadDatabaseFromDevice();
        QVERIFY(WaitIdle());
        const QList<QPair<int, int>> expected{{11, 0}, {12, 0}, {12, 1}, {12, 2}, {5, 0}};
        QCOMPARE(Tasks(), expected);
        QCOMPARE(m_window->DataFiles()[1].cells.size(), 2);
        QCOMPARE(m_window->FilesModel()->item(1, 1)->text(), QStringLiteral("1 - 2 из 3"));
        QCOMPARE(Label(), QStringLiteral("Данные: загружены из устройства, 3 файл(a)(ов); "
                                         "неполный файл «B»: 2 из 3 ячеек         "));
    }

    void secondDownloadWhileRunningKeepsData()
    {
        m_gauge->SetFiles({MakeFile("A", 3, 0), MakeFile("B", 3, 1)});
        m_gauge->InjectFault(CVirtualGauge::FaultDelay, 0x0D, -1, 10, -1);
        m_window->OnResultsDownloadDatabaseFromDevice();
        QVERIFY(QTest::qWaitFor([&] { return m_completions->size() >= 1; }, 20000));
        m_prompts.Clear();
        m_window->OnResultsDownloadDatabaseFromDevice(); // refused: the chain runs
        m_window->GetDeviceFirmwareVersion();
        m_window->OnUpdateTimeOnDevice();
        const QString busy = QStringLiteral(
            "Идёт обмен данными с прибором. Дождитесь его завершения и повторите операцию.");
        QCOMPARE(m_prompts.Messages(), (QStringList{busy, busy, busy}));
        QVERIFY(WaitIdle());
        QCOMPARE(Label(),
                 QStringLiteral("Данные: загружены из устройства, 2 файл(a)(ов)         "));
        QCOMPARE(m_window->DataFiles()[1].cells.size(), 3);
    }

    void busyDeviceKeepsData()
    {
        // Another window's task holds the device: the download neither
        // empties the data nor runs.
        m_gauge->InjectFault(CVirtualGauge::FaultDelay, 0x08, -1, 300, 1);
        MaterialList list;
        CTaskSink other;
        m_manager->StartTask(5, &list, 0, &other);
        m_window->DataFiles() = DataFileList{MakeFile("Keep", 2, 0)};
        m_window->OnResultsDownloadDatabaseFromDevice();
        QCOMPARE(m_window->DataFiles().size(), 1);
        QVERIFY(!m_window->IsDeviceChainRunning());
        QVERIFY(WaitIdle());
        QCOMPARE(m_window->DataFiles().size(), 1);
        QCOMPARE(Label(), QStringLiteral("Данные: не загружены                    "));
        QVERIFY(m_statuses.contains(QStringLiteral(
            "ОШИБКА: устройство занято выполнением другой операции, повторите попытку позже.")));
        QCOMPARE(Tasks(), (QList<QPair<int, int>>{{5, 0}}));
        QCOMPARE(other.completions, 1);
    }

    void uploadTwoFiles()
    {
        m_gauge->SetFiles({MakeFile("Old", 2, 9)});
        DataFileList files{MakeFile("One", 3, 0), MakeFile("Two", 5, 1)};
        files[1].header.audioIndex = 7;
        m_window->DataFiles() = files;
        UploadConfirmed();
        QVERIFY(WaitIdle());
        const QList<QPair<int, int>> expected{{15, 0}, {13, 0}, {13, 1}};
        QCOMPARE(Tasks(), expected);
        QCOMPARE(m_prompts.Messages(),
                 QStringList{QStringLiteral("Данные успешно загружены в устройство.")});
        QCOMPARE(m_prompts.records.last().icon, CUserPrompts::IconInformation);
        QCOMPARE(m_prompts.records.last().title, QStringLiteral("Korvalent"));
        QCOMPARE(Label(), QStringLiteral("Данные отправлены в устройство, 2 файл(a)(ов)         "));
        QCOMPARE(m_window->SelectedFileIndex(), 1);
        const DataFileList onGauge = m_gauge->Files();
        QCOMPARE(onGauge.size(), 2); // the old file was erased first
        for (int i = 0; i < 2; ++i)
        {
            QCOMPARE(HeaderBytes(onGauge[i]), HeaderBytes(files[i]));
            QCOMPARE(CellBytes(onGauge[i].cells), CellBytes(files[i].cells));
        }
    }

    void uploadSameNameTwice()
    {
        m_window->DataFiles() =
            DataFileList{MakeFile("Same", 2, 0), MakeFile("Same", 3, 1), MakeFile("Other", 1, 2)};
        // The question warns before anything is sent.
        m_prompts.answers.enqueue(CUserPrompts::Yes);
        m_window->OnResultsUploadDatabaseToDevice();
        QCOMPARE(m_prompts.records.size(), qsizetype(1));
        QCOMPARE(m_prompts.records.first().text,
                 QStringLiteral("Все данные в памяти устройства будут стёрты и заменены данными "
                                "ПК: 3 файл(a)(ов).\n\nВнимание: несколько файлов носят одно имя "
                                "('Same'). Устройство примет только первый файл с каждым именем, "
                                "остальные будут отклонены."));
        m_prompts.Clear();
        QVERIFY(WaitIdle());
        const QList<QPair<int, int>> expected{{15, 0}, {13, 0}, {13, 1}, {13, 2}};
        QCOMPARE(Tasks(), expected);
        QVERIFY(m_statuses.contains(
            QStringLiteral("ОШИБКА записи, файл с таким именем на устройстве уже существует.")));
        // The final box says which file the gauge refused.
        QCOMPARE(m_prompts.Messages(),
                 QStringList{QStringLiteral(
                     "Устройство отклонило 1 из 3 файл(a)(ов): файл с таким именем на "
                     "устройстве уже существует ('Same'). Остальные данные загружены в "
                     "устройство.")});
        QCOMPARE(m_prompts.records.last().icon, CUserPrompts::IconWarning);
        QCOMPARE(Label(), QStringLiteral("Данные отправлены в устройство, 2 файл(a)(ов)         "));
        QCOMPARE(m_gauge->Files().size(), 2);
    }

    void uploadFlashFullStops()
    {
        m_gauge->SetFlashCapacity(5);
        m_window->DataFiles() =
            DataFileList{MakeFile("A", 3, 0), MakeFile("B", 3, 1), MakeFile("C", 1, 2)};
        UploadConfirmed();
        QVERIFY(WaitIdle());
        const QList<QPair<int, int>> expected{{15, 0}, {13, 0}, {13, -1}};
        QCOMPARE(Tasks(), expected);
        QVERIFY(m_statuses.contains(
            QStringLiteral("ОШИБКА записи, на устройтве нет свободной флеш-памяти.")));
        QVERIFY(m_prompts.Messages().isEmpty());
        QCOMPARE(m_gauge->Files().size(), 1);
    }

    // The upload erases the gauge: nothing starts unless the user agrees.
    void uploadAsksFirst_data()
    {
        QTest::addColumn<bool>("agree");
        QTest::addColumn<bool>("incomplete");
        QTest::newRow("cancel") << false << false;
        QTest::newRow("continue") << true << false;
        QTest::newRow("cancel, incomplete files") << false << true;
        QTest::newRow("continue, incomplete files") << true << true;
    }
    void uploadAsksFirst()
    {
        QFETCH(bool, agree);
        QFETCH(bool, incomplete);
        m_gauge->SetFiles({MakeFile("Old", 2, 9)});
        // Announcing more cells than held is what a cancelled download leaves.
        DataFileList files{MakeFile("One", 3, 0, incomplete ? 5 : 3), MakeFile("Two", 2, 1),
                           MakeFile("Three", 1, 2, incomplete ? 4 : 1)};
        m_window->DataFiles() = files;
        m_prompts.answers.enqueue(agree ? CUserPrompts::Yes : CUserPrompts::Cancel);
        m_window->OnResultsUploadDatabaseToDevice();

        QCOMPARE(m_prompts.records.size(), qsizetype(1));
        const CScriptedPrompts::Record ask = m_prompts.records.first();
        QCOMPARE(ask.kind, QStringLiteral("ask"));
        QCOMPARE(ask.icon, CUserPrompts::IconQuestion);
        QCOMPARE(ask.title, QStringLiteral("Korvalent"));
        QCOMPARE(ask.parent, m_window.get());
        QCOMPARE(ask.defaultButton, CUserPrompts::Cancel);
        QCOMPARE(ask.labels.value(CUserPrompts::Yes), QStringLiteral("Продолжить"));
        QCOMPARE(ask.labels.value(CUserPrompts::Cancel), QStringLiteral("Отмена"));
        QString expected = QStringLiteral("Все данные в памяти устройства будут стёрты и заменены "
                                          "данными ПК: 3 файл(a)(ов).");
        if (incomplete)
            expected += QStringLiteral("\n\nВнимание: 2 файл(a)(ов) содержат меньше ячеек, чем "
                                       "указано в заголовке (не хватает 5 ячеек). Такие файлы "
                                       "будут отправлены неполными.");
        QCOMPARE(ask.text, expected);

        if (!agree)
        {
            // Nothing queued, nothing running. (The gauge's own request log is
            // not asked: under a parallel test run another process's link may
            // reopen this pseudo-terminal's recycled name and talk to it.)
            NothingStarted();
            QCOMPARE(m_gauge->Files().size(), 1);
            QCOMPARE(QByteArray(m_gauge->Files().first().header.name), QByteArray("Old"));
            return;
        }
        QVERIFY(WaitIdle());
        const QList<QPair<int, int>> tasks{{15, 0}, {13, 0}, {13, 1}, {13, 2}};
        QCOMPARE(Tasks(), tasks);
        QCOMPARE(m_gauge->Files().size(), 3);
        QCOMPARE(m_prompts.Messages().last(),
                 QStringLiteral("Данные успешно загружены в устройство."));
    }

    void uploadNothing()
    {
        m_window->OnResultsUploadDatabaseToDevice();
        QCOMPARE(m_prompts.Messages(),
                 QStringList{QStringLiteral("Нет загруженых данных для отправки в устройство.")});
        QCOMPARE(m_prompts.records.last().icon, CUserPrompts::IconWarning);
        NothingStarted();
    }

    void chainWithoutDeviceManager_data()
    {
        QTest::addColumn<bool>("upload");
        QTest::newRow("download") << false;
        QTest::newRow("upload") << true;
    }
    void chainWithoutDeviceManager()
    {
        // No completion can come: the chain must not stay open and keep
        // refusing every later command.
        QFETCH(bool, upload);
        g_App.pDeviceManager = nullptr;
        if (upload)
        {
            m_window->DataFiles() = DataFileList{MakeFile("One", 2)};
            UploadConfirmed();
        }
        else
            m_window->OnResultsDownloadDatabaseFromDevice();
        g_App.pDeviceManager = m_manager.get();
        QVERIFY(!m_window->IsDeviceChainRunning());
        QVERIFY(m_prompts.Messages().isEmpty());
        m_window->DataFiles().clear();
        m_window->OnResultsUploadDatabaseToDevice();
        QCOMPARE(m_prompts.Messages(),
                 QStringList{QStringLiteral("Нет загруженых данных для отправки в устройство.")});
    }

    void uploadFewerCellsThanAnnounced()
    {
        DataFileRecord f = MakeFile("Short", 3, 0, 5);
        m_window->DataFiles() = DataFileList{f};
        UploadConfirmed();
        QVERIFY(WaitIdle());
        const DataFileList onGauge = m_gauge->Files();
        QCOMPARE(onGauge.size(), 1);
        QCOMPARE(int(onGauge[0].header.records), 3);
        QCOMPARE(CellBytes(onGauge[0].cells), CellBytes(f.cells));
        // The window's own data is left as it was.
        QCOMPARE(int(m_window->DataFiles()[0].header.records), 5);
    }

    void firmware()
    {
        m_gauge->SetFirmware(0x02051234u, 0x0BAF);
        m_window->GetDeviceFirmwareVersion();
        QVERIFY(WaitIdle());
        QCOMPARE(m_prompts.Messages(),
                 QStringList{QStringLiteral(
                     "Версия прошивки ПО устройства QM-3RX:\n\nНаименование встроенного ПО: VMR\n"
                     "Номер версии ПО: v.2.5.\nСборка: 4660\nИдентификатор ПО: 0x0BAF")});
        QCOMPARE(m_prompts.records.last().icon, CUserPrompts::IconInformation);
    }

    void firmwareText_data()
    {
        QTest::addColumn<QByteArray>("payload");
        QTest::addColumn<QString>("tail");
        QTest::newRow("example") << QByteArray::fromHex("341205 02AF0B")
                                 << "v.2.5.\nСборка: 4660\nИдентификатор ПО: 0x0BAF";
        QTest::newRow("padding and case") << QByteArray::fromHex("FFFF0A0C0a00")
                                          << "v.12.10.\nСборка: 65535\nИдентификатор ПО: 0x000A";
        QTest::newRow("all ones") << QByteArray::fromHex("FFFFFFFFFFFF")
                                  << "v.255.255.\nСборка: 65535\nИдентификатор ПО: 0xFFFF";
    }
    void firmwareText()
    {
        QFETCH(QByteArray, payload);
        QFETCH(QString, tail);
        QVERIFY(CDatabaseTransfer::FirmwareText(payload.constData())
                    .endsWith(QStringLiteral("Номер версии ПО: ") + tail));
    }

    void clock()
    {
        CClock::Pin(QDateTime(QDate(2026, 3, 1), QTime(9, 5, 7)));
        m_window->OnUpdateTimeOnDevice();
        // The record belongs to the moment of the command, whatever the clock
        // says by the time the frame goes out.
        CClock::Pin(QDateTime(QDate(2030, 12, 31), QTime(23, 59, 58)));
        QVERIFY(WaitIdle());
        QCOMPARE(m_gauge->LastClockRecord(), QByteArray::fromHex("090507 01031A"));
        QCOMPARE(m_prompts.Messages(),
                 QStringList{QStringLiteral("Время устройства успешно синхронизировано с ПК.")});
    }

    void clockRecord_data()
    {
        QTest::addColumn<QDateTime>("moment");
        QTest::addColumn<QByteArray>("record");
        QTest::newRow("1 March 2026")
            << QDateTime(QDate(2026, 3, 1), QTime(9, 5, 7)) << QByteArray::fromHex("0905070103 1A");
        QTest::newRow("new year's eve") << QDateTime(QDate(2026, 12, 31), QTime(23, 59, 58))
                                        << QByteArray::fromHex("173B3A1F0C1A");
        QTest::newRow("1999 wraps")
            << QDateTime(QDate(1999, 1, 2), QTime(0, 0, 0)) << QByteArray::fromHex("0000000201FF");
        QTest::newRow("2207") << QDateTime(QDate(2207, 1, 2), QTime(0, 0, 0))
                              << QByteArray::fromHex("0000000201CF");
    }
    void clockRecord()
    {
        QFETCH(QDateTime, moment);
        QFETCH(QByteArray, record);
        const auto r = CDatabaseTransfer::ClockRecord(moment);
        QCOMPARE(QByteArray(reinterpret_cast<const char*>(r.data()), 6), record);
    }

    // The core alone, playing the worker's part by hand.
    void coreProgressAndSequence()
    {
        DataFileList files{MakeFile("Old", 1, 0)};
        MaterialList materials;
        int selected = 5;
        CDatabaseTransfer t(&files, &materials, &selected);
        CDatabaseTransfer::Action a = t.StartDownload();
        QVERIFY(files.isEmpty());
        QCOMPARE(a.task, 11);
        auto* work = static_cast<DataFileList*>(a.buffer);
        QVERIFY(work != &files); // the worker never writes the caller's list
        const DataFileList gauge{MakeFile("A", 4, 0), MakeFile("B", 1, 1), MakeFile("C", 6, 2)};
        for (const DataFileRecord& f : gauge)
        {
            DataFileRecord d = f;
            d.cells.clear();
            work->append(d);
        }
        a = t.TaskCompleted(11, nullptr, 0);
        QVERIFY(a.refreshFilesTable);
        QCOMPARE(files.size(), 3);
        QCOMPARE(a.task, 12);
        QCOMPARE(a.value, 0);
        QCOMPARE(selected, 0);
        CDatabaseTransfer::Progress p = t.CurrentProgress();
        QCOMPARE(p.filesTotal, 3);
        QCOMPARE(p.cellsTotal, 11);
        QCOMPARE(p.cellsDone, 0);
        for (int i = 0; i < 3; ++i)
        {
            QCOMPARE(a.task, 12);
            QCOMPARE(a.value, i);
            for (int c = 0; c < gauge[i].cells.size(); ++c)
            {
                (*static_cast<DataFileList*>(a.buffer))[i].cells.append(gauge[i].cells[c]);
                t.TaskProgress(c + 1, gauge[i].header.records);
            }
            p = t.CurrentProgress();
            QCOMPARE(p.filesDone, i);
            a = t.TaskCompleted(12, nullptr, i);
            QCOMPARE(files[i].cells.size(), gauge[i].cells.size());
            // Only this file's count in the table moved.
            QVERIFY(a.refreshFileCounts);
            QCOMPARE(a.countsFile, i);
        }
        p = t.CurrentProgress();
        QCOMPARE(p.cellsDone, 11);
        QCOMPARE(p.filesDone, 3);
        QCOMPARE(p.text, QStringLiteral("Файлы: 3 из 3, ячейки: 11 из 11"));
        QCOMPARE(a.task, 5);
        QCOMPARE(selected, 0);
        static_cast<MaterialList*>(a.buffer)->append(CVirtualGauge::DemoMaterials().first());
        a = t.TaskCompleted(5, nullptr, 0);
        QVERIFY(a.chainEnded && a.succeeded && a.refreshResultsTables);
        QCOMPARE(materials.size(), 1);
        QCOMPARE(a.label,
                 QStringLiteral("Данные: загружены из устройства, 3 файл(a)(ов)         "));
        QVERIFY(!t.IsRunning());
    }

    void coreDirectCompletions()
    {
        // Completions that arrive without this object's own start (a caller
        // driving the chain itself) work on the caller's lists as they stand.
        DataFileList files{MakeFile("A", 0, 0, 2), MakeFile("B", 0, 1, 2)};
        MaterialList materials;
        int selected = 0;
        CDatabaseTransfer t(&files, &materials, &selected);
        CDatabaseTransfer::Action a = t.TaskCompleted(12, nullptr, 0);
        QCOMPARE(a.task, 12);
        QCOMPARE(a.value, 1);
        // The caller's lists were taken whole: any count may have moved.
        QVERIFY(a.refreshFileCounts);
        QCOMPARE(a.countsFile, -1);
        QCOMPARE(selected, 1);
        a = t.TaskCompleted(12, nullptr, 1);
        QCOMPARE(a.task, 5);
        QCOMPARE(selected, 0);
        QCOMPARE(
            t.TaskCompleted(9, QByteArray::fromHex("341205 02AF0B").constData(), 0).information,
            CDatabaseTransfer::FirmwareText(QByteArray::fromHex("34120502AF0B").constData()));
        // A failure outside a chain changes nothing.
        DataFileList other{MakeFile("X", 1, 0)};
        CDatabaseTransfer idle(&other, &materials, &selected);
        const CDatabaseTransfer::Action none = idle.TaskCompleted(12, nullptr, -1);
        QCOMPARE(none.task, -1);
        QVERIFY(!none.setLabel);
    }

    void failureLeavesWindowAlone()
    {
        m_settings->setValue(QStringLiteral("Device/PortPath"), QStringLiteral("/nonexistent/tty"));
        m_window->DataFiles() = DataFileList{MakeFile("Keep", 1, 0)};
        UploadConfirmed();
        QVERIFY(WaitIdle());
        const QList<QPair<int, int>> expected{{15, -1}};
        QCOMPARE(Tasks(), expected);
        QCOMPARE(m_prompts.Messages(),
                 QStringList{
                     QStringLiteral("ОШИБКА: не удалось открыть или настроить порт устройства!")});
        QCOMPARE(m_window->DataFiles().size(), 1);
    }
};

QTEST_MAIN(TestTransfer)
#include "tst_transfer.moc"
