#include "core/CAppGlobals.h"
#include "core/CAppSettings.h"
#include "core/CClock.h"
#include "app/CDeferredIcons.h"
#include "app/CKorvalent.h"
#include "core/CUserPrompts.h"
#include "tests/common/TestSupport.h"
#include "tools/CAboutDialog.h"

#include <QAction>
#include <QDateEdit>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFrame>
#include <QIcon>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextBrowser>
#include <QSettings>
#include <QStandardItemModel>
#include <QStatusBar>
#include <QTabWidget>
#include <QTableView>
#include <QToolButton>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace
{
const QString kDevicePattern = QStringLiteral("Устройство: %1, порт '%2'");

// A menu text as drawn: "&Файл" shows "Файл", "&&" one ampersand.
QString ShownText(const QString& text)
{
    QString out;
    for (int i = 0; i < text.size(); ++i)
    {
        if (text.at(i) == QLatin1Char('&') && i + 1 < text.size())
            ++i;
        out += text.at(i);
    }
    return out;
}

QString ActionTexts(const QMenu* menu)
{
    QStringList out;
    for (QAction* a : menu->actions())
    {
        if (a->isSeparator())
            out << QStringLiteral("-");
        else if (a->menu())
            out << QStringLiteral("[") + a->menu()->objectName() + QStringLiteral("]");
        else
            out << a->objectName();
    }
    return out.join(QLatin1Char(','));
}

bool HasInk(const QPixmap& pixmap)
{
    const QImage image = pixmap.toImage().convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (qAlpha(image.pixel(x, y)) > 0)
                return true;
    return false;
}
} // namespace

class TestApp : public QObject
{
    Q_OBJECT

public Q_SLOTS:
    // Desktop handler for "file" URLs while a test replaces the real one.
    void OpenFileUrl(const QUrl& url) { m_openedUrls.append(url); }

private:
    std::unique_ptr<CTestEnvironment> m_env;
    std::unique_ptr<QSettings> m_settings;
    CScriptedPrompts m_prompts;
    QList<QUrl> m_openedUrls;

    std::unique_ptr<CKorvalent> NewWindow()
    {
        auto window = std::make_unique<CKorvalent>();
        g_App.pMainWindow = window.get();
        return window;
    }

    template <typename T> static T* Child(QObject* parent, const char* name)
    {
        T* child = parent->findChild<T*>(QString::fromLatin1(name));
        if (!child)
            qWarning("missing child %s", name);
        return child;
    }

private Q_SLOTS:
    void initTestCase() { BeginWindowTests(&m_env, &m_settings, &m_prompts); }

    void init()
    {
        m_settings->clear();
        m_settings->sync();
        g_App.extras = 0;
        m_prompts.Clear();
        m_prompts.answers.clear();
        m_prompts.fileNames.clear();
        m_openedUrls.clear();
        CClock::Unpin();
    }

    void cleanupTestCase()
    {
        SetUserPrompts(nullptr);
        g_App.pSettings = nullptr;
        g_App.pMainWindow = nullptr;
    }

    void extrasSwitch_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<bool>("expected");
        QTest::newRow("none") << QStringList{"korvalent"} << false;
        QTest::newRow("alone") << QStringList{"korvalent", "-extras"} << true;
        QTest::newRow("among others") << QStringList{"korvalent", "-demo", "-extras", "x"} << true;
        QTest::newRow("last of several") << QStringList{"korvalent", "a", "b", "-extras"} << true;
        QTest::newRow("capitals") << QStringList{"korvalent", "-EXTRAS"} << false;
        QTest::newRow("prefix only") << QStringList{"korvalent", "-extrasX"} << false;
        QTest::newRow("shorter") << QStringList{"korvalent", "-extra"} << false;
        QTest::newRow("double dash") << QStringList{"korvalent", "--extras"} << false;
        QTest::newRow("program name is not an argument") << QStringList{"-extras"} << false;
    }
    void extrasSwitch()
    {
        QFETCH(QStringList, arguments);
        QFETCH(bool, expected);
        QCOMPARE(HasExtrasSwitch(arguments), expected);
        QList<QByteArray> bytes;
        QList<const char*> argv;
        for (const QString& a : arguments)
            bytes.append(a.toUtf8());
        for (const QByteArray& b : bytes)
            argv.append(b.constData());
        QCOMPARE(HasExtrasSwitch(int(argv.size()), argv.data()), expected);
    }

    void firstStartUsesDefaults()
    {
        const QString docs = QDir::homePath() + QStringLiteral("/Korvalent");
        QDir(docs).removeRecursively();
        QVERIFY(!QFileInfo::exists(docs));

        auto window = NewWindow();
        QCOMPARE(window->size(), QSize(400, 400));
        QCOMPARE(window->pos(), QPoint(200, 200));
        QCOMPARE(window->windowTitle(), QStringLiteral("Korvalent v1.1.2"));
        QCOMPARE(window->DocumentsDir(), QDir::toNativeSeparators(docs));
        QVERIFY(QFileInfo(docs).isDir());
        QCOMPARE(window->SelectedFileIndex(), -1);
        // Nothing is written before the window closes.
        m_settings->sync();
        QVERIFY(m_settings->allKeys().isEmpty());

        QCOMPARE(Child<QTabWidget>(window.get(), "mainTabWidget")->currentIndex(), 0);
        QCOMPARE(Child<QTabWidget>(window.get(), "reportTabWidget")->currentIndex(), 0);

        // The layouts must not force the small default window any wider or taller.
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        QCOMPARE(window->size(), QSize(400, 400));
    }

    void documentsDirFromSettings_data()
    {
        QTest::addColumn<bool>("byHand");
        QTest::newRow("through the settings object") << false;
        QTest::newRow("settings file edited by hand") << true;
    }
    void documentsDirFromSettings()
    {
        QFETCH(bool, byHand);
        const QString chosen = m_env->Root() + QStringLiteral("/elsewhere");
        if (byHand)
        {
            // What a user writes into the file to move the documents directory.
            QFile file(m_settings->fileName());
            QDir().mkpath(QFileInfo(file).absolutePath());
            QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
            file.write("[.]\nDocumentsDir=" + chosen.toUtf8() + "\n");
            file.close();
            m_settings->sync();
        }
        else
        {
            m_settings->beginGroup(QStringLiteral("."));
            m_settings->setValue(QStringLiteral("DocumentsDir"), chosen);
            m_settings->endGroup();
        }
        auto window = NewWindow();
        QCOMPARE(window->DocumentsDir(), chosen);
        // The default directory is still made, the override is not.
        QVERIFY(!QFileInfo::exists(chosen));
    }

    void geometryRestoredAfterRestart()
    {
        {
            auto window = NewWindow();
            window->resize(640, 480);
            window->move(123, 77);
            QVERIFY(window->close());
        }
        m_settings->sync();
        QCOMPARE(m_settings->value(QStringLiteral("MainWindow/size")).toSize(), QSize(640, 480));
        QCOMPARE(m_settings->value(QStringLiteral("MainWindow/pos")).toPoint(), QPoint(123, 77));
        auto again = NewWindow();
        QCOMPARE(again->size(), QSize(640, 480));
        QCOMPARE(again->pos(), QPoint(123, 77));
    }

    void changeDocumentsDir_data()
    {
        QTest::addColumn<int>("answer");
        QTest::addColumn<QString>("picked");
        QTest::addColumn<bool>("changed");
        QTest::newRow("continue and pick")
            << int(CUserPrompts::Yes) << QStringLiteral("/tmp/picked") << true;
        QTest::newRow("continue, chooser cancelled")
            << int(CUserPrompts::Yes) << QString() << false;
        QTest::newRow("cancel") << int(CUserPrompts::Cancel) << QStringLiteral("/tmp/never")
                                << false;
    }
    void changeDocumentsDir()
    {
        QFETCH(int, answer);
        QFETCH(QString, picked);
        QFETCH(bool, changed);

        QString before;
        {
            auto window = NewWindow();
            before = window->DocumentsDir();
            m_prompts.answers.enqueue(CUserPrompts::Button(answer));
            m_prompts.fileNames.enqueue(picked);
            window->OnChangeDocumentsDir();

            QVERIFY(!m_prompts.records.isEmpty());
            const CScriptedPrompts::Record ask = m_prompts.records.at(0);
            QCOMPARE(ask.kind, QStringLiteral("ask"));
            QCOMPARE(ask.icon, CUserPrompts::IconQuestion);
            QCOMPARE(ask.title, QStringLiteral("Korvalent™"));
            QCOMPARE(ask.text, QStringLiteral("Текущий рабочий каталог: <%1>").arg(before));
            QCOMPARE(ask.informativeText,
                     QStringLiteral("Если хотите его изменить, нажмите 'Продолжить', если нет, "
                                    "нажмите 'Отмена'"));

            if (answer == CUserPrompts::Cancel)
            {
                QCOMPARE(m_prompts.records.size(), 1);
            }
            else
            {
                const CScriptedPrompts::Record dir = m_prompts.records.at(1);
                QCOMPARE(dir.kind, QStringLiteral("dir"));
                QCOMPARE(dir.title, QStringLiteral("Выбор рабочего каталога Korvalent"));
                QCOMPARE(dir.dir, before);
                QCOMPARE(m_prompts.records.size(), changed ? 3 : 2);
            }
            if (changed)
            {
                const CScriptedPrompts::Record info = m_prompts.records.at(2);
                QCOMPARE(info.icon, CUserPrompts::IconInformation);
                QCOMPARE(info.title, QStringLiteral("Korvalent™"));
                QCOMPARE(info.text,
                         QStringLiteral("Текущий рабочий каталог изменён на: '%1'").arg(picked));
                QCOMPARE(info.parent, window.get());
                QCOMPARE(window->DocumentsDir(), picked);
            }
            else
            {
                QCOMPARE(window->DocumentsDir(), before);
            }
            window->close();
        }
        // The choice holds for the running program only.
        m_settings->sync();
        QVERIFY(!m_settings->contains(QStringLiteral("./DocumentsDir")));
        auto again = NewWindow();
        QCOMPARE(again->DocumentsDir(), before);
    }

    void settingsMenuFollowsExtras_data()
    {
        QTest::addColumn<int>("extras");
        QTest::addColumn<QStringList>("visible");
        QTest::newRow("without -extras") << 0 << QStringList{"Редактор базы материалов"};
        QTest::newRow("with -extras")
            << 1 << QStringList{"Редактор параметров Д-ПЭП", "Редактор базы материалов"};
    }
    void settingsMenuFollowsExtras()
    {
        QFETCH(int, extras);
        QFETCH(QStringList, visible);
        g_App.extras = quint8(extras);
        auto window = NewWindow();
        QMenu* menu = Child<QMenu>(window.get(), "menu_Settings");
        QVERIFY(menu);
        QStringList shown;
        for (QAction* a : menu->actions())
            if (a->isVisible())
                shown << ShownText(a->text());
        QCOMPARE(shown, visible);
    }

    void clockLabelsShowNow()
    {
        CClock::Pin(QDateTime(QDate(2025, 3, 5), QTime(14, 7, 9)));
        auto window = NewWindow();
        QLabel* date = Child<QLabel>(window.get(), "CurrentDateLabel");
        QLabel* time = Child<QLabel>(window.get(), "CurrentTimeLabel");
        QVERIFY(date && time);
        QCOMPARE(date->text(), QStringLiteral("05.03.2025"));
        QCOMPARE(time->text(), QStringLiteral("14:07:09"));
        // The labels follow the clock once a second.
        CClock::Pin(QDateTime(QDate(2031, 12, 31), QTime(23, 59, 58)));
        QTRY_COMPARE_WITH_TIMEOUT(time->text(), QStringLiteral("23:59:58"), 2500);
        QCOMPARE(date->text(), QStringLiteral("31.12.2031"));
        CClock::Unpin();
    }

    // Once the window is painted, the clock's ticks re-lay out nothing: a
    // layout request each second re-laid out and repainted the whole data
    // tab while the window stood idle. The time keeps its room.
    void clockTickLaysOutNothing()
    {
        struct LayoutRequests : QObject
        {
            int count = 0;
            bool eventFilter(QObject* o, QEvent* e) override
            {
                count += e->type() == QEvent::LayoutRequest && o->isWidgetType();
                return false;
            }
        } requests;
        CClock::Pin(QDateTime(QDate(2025, 3, 5), QTime(11, 11, 11)));
        auto window = NewWindow();
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        QLabel* time = Child<QLabel>(window.get(), "CurrentTimeLabel");
        QTest::qWait(200); // the first paint and what follows it
        qApp->installEventFilter(&requests);
        for (const QTime& t : {QTime(23, 58, 58), QTime(0, 0, 0), QTime(8, 48, 48)})
        {
            CClock::Pin(QDateTime(QDate(2025, 3, 5), t));
            QTRY_COMPARE_WITH_TIMEOUT(time->text(), t.toString(QStringLiteral("hh:mm:ss")), 2500);
            QCoreApplication::processEvents();
            QVERIFY(time->width() >= time->sizeHint().width());
        }
        qApp->removeEventFilter(&requests);
        QCOMPARE(requests.count, 0);
        CClock::Unpin();
    }

    void clockLabelsNeverShowPlaceholders()
    {
        auto window = NewWindow();
        QVERIFY(Child<QFrame>(window.get(), "TimeDateFrame"));
        QCOMPARE(Child<QLabel>(window.get(), "CurrentDateLabel")->text(),
                 QDate::currentDate().toString(QStringLiteral("dd.MM.yyyy")));
        QVERIFY(Child<QLabel>(window.get(), "CurrentTimeLabel")->text() !=
                    QStringLiteral("00:00:00") ||
                QTime::currentTime().hour() == 0);
    }

    void helpMissingGivesWarning()
    {
        QFile::remove(CKorvalent::HelpFilePath());
        QDesktopServices::setUrlHandler(QStringLiteral("file"), this, "OpenFileUrl");
        auto window = NewWindow();
        window->ShowHelpDialog();
        QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
        QCOMPARE(m_prompts.records.size(), 1);
        QCOMPARE(m_prompts.records.at(0).icon, CUserPrompts::IconWarning);
        QCOMPARE(m_prompts.records.at(0).title, QStringLiteral("Korvalent"));
        QCOMPARE(m_prompts.records.at(0).text,
                 QStringLiteral("Справочная информация не доступна!"));
        QVERIFY(m_openedUrls.isEmpty());
    }

    void helpPresentOpensManual()
    {
        const QString path = CKorvalent::HelpFilePath();
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("<html><body>manual</body></html>");
        file.close();
        QDesktopServices::setUrlHandler(QStringLiteral("file"), this, "OpenFileUrl");
        auto window = NewWindow();
        Child<QToolButton>(window.get(), "toolbutton_results_show_help")->click();
        QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
        QFile::remove(path);
        QVERIFY(m_prompts.records.isEmpty());
        QCOMPARE(m_openedUrls, QList<QUrl>{QUrl::fromLocalFile(path)});
    }

    // Beside the executable in the build tree; in the documentation folder
    // of the installed layout (bin/ and share/doc/korvalent/ under one prefix).
    void helpPathResolution_data()
    {
        QTest::addColumn<bool>("beside");
        QTest::addColumn<bool>("installed");
        QTest::addColumn<QString>("expected");
        QTest::newRow("build tree") << true << false << "bin/Korvalent.html";
        QTest::newRow("installed") << false << true << "share/doc/korvalent/Korvalent.html";
        QTest::newRow("both: the one beside wins") << true << true << "bin/Korvalent.html";
        QTest::newRow("neither: beside, for the warning") << false << false << "bin/Korvalent.html";
    }
    void helpPathResolution()
    {
        QFETCH(bool, beside);
        QFETCH(bool, installed);
        QTemporaryDir prefix;
        QVERIFY(QDir(prefix.path()).mkpath(QStringLiteral("bin")));
        QVERIFY(QDir(prefix.path()).mkpath(QStringLiteral("share/doc/korvalent")));
        for (const auto& [wanted, path] :
             {std::pair{beside, QStringLiteral("bin/Korvalent.html")},
              std::pair{installed, QStringLiteral("share/doc/korvalent/Korvalent.html")}})
        {
            QFile file(prefix.filePath(path));
            QVERIFY(!wanted || file.open(QIODevice::WriteOnly));
        }
        QTEST(QDir(prefix.path())
                  .relativeFilePath(
                      CKorvalent::HelpFilePathIn(prefix.filePath(QStringLiteral("bin")))),
              "expected");
    }

    void manualInstalledBesideProgram()
    {
        QFile manual(QStringLiteral(KORVALENT_BIN_DIR "/Korvalent.html"));
        QVERIFY2(manual.open(QIODevice::ReadOnly), qPrintable(manual.fileName()));
        const QString html = QString::fromUtf8(manual.readAll());
        QVERIFY(html.contains(QStringLiteral("lang=\"ru\"")));
        for (const char* topic :
             {"Выбрать устройство для подключения", "Получить из прибора базу",
              "Отправить в прибор базу", "Сохранить базу на ПК", "Редактор базы материалов",
              "Синхронизировать часы", "korvalent-cli", "-extras", "korvalent-cli analyse",
              "остаточный ресурс = (текущая толщина − допустимая толщина) / скорость коррозии"})
            QVERIFY2(html.contains(QString::fromUtf8(topic)), topic);
    }

    void statisticsRows_data()
    {
        QTest::addColumn<int>("row");
        QTest::addColumn<QString>("description");
        QTest::addColumn<QString>("symbol");
        const QString sigma(QChar(0x03ED));
        const QStringList d{"Общее число данных (замеров толщины)",
                            "Число действительных данных (замеров толщины)",
                            "Число LOS данных (замеров толщины)",
                            "Минимальное значение толщины",
                            "Максимальное значение толщины",
                            "Среднее значение толщины",
                            "Медиана",
                            "Ранг (размах)",
                            "Стандартное отклонение",
                            "Среднеквадратичное отклонение",
                            "Дисперсия"};
        const QStringList s{"N",
                            "N(v)",
                            "N(los)",
                            "X(min)",
                            "X(max)",
                            "X(avg)",
                            "---",
                            "W(n)",
                            "S",
                            sigma,
                            sigma + QStringLiteral("^2")};
        for (int i = 0; i < 11; ++i)
            QTest::addRow("row %d", i) << i << d.at(i) << s.at(i);
    }
    void statisticsRows()
    {
        QFETCH(int, row);
        QFETCH(QString, description);
        QFETCH(QString, symbol);
        auto window = NewWindow();
        for (QStandardItemModel* model : {window->StatisticsModel(), window->ReportStatsModel()})
        {
            QCOMPARE(model->rowCount(), 11);
            QCOMPARE(model->columnCount(), 3);
            QCOMPARE(model->horizontalHeaderItem(0)->text(),
                     QStringLiteral("Статистические показатели"));
            QCOMPARE(model->horizontalHeaderItem(1)->text(), QStringLiteral("Обозначение"));
            QCOMPARE(model->horizontalHeaderItem(2)->text(), QStringLiteral("Значение"));
            QCOMPARE(model->item(row, 0)->text(), description);
            QCOMPARE(model->item(row, 1)->text(), symbol);
            QCOMPARE(model->item(row, 2)->text(), QStringLiteral("н/д"));
            for (int col : {1, 2})
                QCOMPARE(model->item(row, col)->textAlignment(),
                         Qt::AlignHCenter | Qt::AlignVCenter);
        }
    }

    void tableModels()
    {
        auto window = NewWindow();
        QStandardItemModel* files = window->FilesModel();
        QCOMPARE(files->columnCount(), 2);
        QCOMPARE(files->rowCount(), 0);
        QCOMPARE(files->horizontalHeaderItem(0)->text(), QStringLiteral("Файл данных"));
        QCOMPARE(files->horizontalHeaderItem(1)->text(), QStringLiteral("Исп. ячейки"));
        QCOMPARE(Child<QTableView>(window.get(), "ResultFilesTable")->model(), files);
        QCOMPARE(window->ResultsModel()->columnCount(), 9);
        QCOMPARE(window->ResultsModel()->rowCount(), 0);

        QStandardItemModel* report = window->ReportResultsModel();
        QCOMPARE(report->rowCount(), 0);
        QStringList headers;
        for (int c = 0; c < report->columnCount(); ++c)
            headers << report->horizontalHeaderItem(c)->text();
        QCOMPARE(headers,
                 (QStringList{"Файл данных", "Ячейка", "Результат", "Единицы", "Материал",
                              "Скорость УЗ-волн", "Настройка", "Температура", "Время", "Дата"}));
        QCOMPARE(Child<QTableView>(window.get(), "ReportResultsTable")->model(), report);
        QCOMPARE(Child<QTableView>(window.get(), "ReportStatsTable")->model(),
                 window->ReportStatsModel());

        for (const char* name : {"ResultFilesTable", "ResultFileContentTable", "StatisticsTable"})
        {
            QTableView* view = Child<QTableView>(window.get(), name);
            QCOMPARE(view->font().family(), QStringLiteral("Arial"));
            QCOMPARE(view->editTriggers(), QAbstractItemView::NoEditTriggers);
        }
        for (const char* name : {"ResultFilesTable", "ResultFileContentTable"})
            QCOMPARE(Child<QTableView>(window.get(), name)->styleSheet(),
                     QStringLiteral("selection-background-color: rgb(0, 170, 255);\n"
                                    "selection-color: rgb(255, 255, 255);"));
    }

    void deviceLabelFromSettings_data()
    {
        QTest::addColumn<bool>("saved");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("port");
        QTest::addColumn<QString>("serial");
        QTest::addColumn<QString>("shownName");
        QTest::addColumn<QString>("shownSerial");
        QTest::newRow("nothing saved")
            << false << QString() << QString() << QString() << QString() << QString();
        QTest::newRow("saved gauge")
            << true << QStringLiteral("QM-3RX") << QStringLiteral("ttyACM0 (QM-3RX)")
            << QStringLiteral("10234") << QStringLiteral("QM-3RX") << QStringLiteral("10234");
        QTest::newRow("texts longer than the fields")
            << true << QStringLiteral("QM-3RX very long name") << QStringLiteral("p")
            << QStringLiteral("123456789012") << QStringLiteral("QM-3RX very long")
            << QStringLiteral("1234567890");
    }
    void deviceLabelFromSettings()
    {
        QFETCH(bool, saved);
        QFETCH(QString, name);
        QFETCH(QString, port);
        QFETCH(QString, serial);
        QFETCH(QString, shownName);
        QFETCH(QString, shownSerial);
        if (saved)
        {
            m_settings->beginGroup(QStringLiteral("Device"));
            m_settings->setValue(QStringLiteral("Name"), name);
            m_settings->setValue(QStringLiteral("PortName"), port);
            m_settings->setValue(QStringLiteral("SerialNumber"), serial);
            m_settings->setValue(QStringLiteral("PortPath"), QStringLiteral("/dev/null"));
            m_settings->endGroup();
        }
        auto window = NewWindow();
        QCOMPARE(window->DeviceStatusLabel()->text(), kDevicePattern.arg(name, port));
        QCOMPARE(Child<QLineEdit>(window.get(), "DeviceDescriptionEdit")->text(), shownName);
        QCOMPARE(Child<QLineEdit>(window.get(), "DeviceSerialNumberEdit")->text(), shownSerial);
        QCOMPARE(Child<QLineEdit>(window.get(), "PEPDescriptionEdit")->text(),
                 QStringLiteral("Н/Д"));
        QCOMPARE(Child<QLineEdit>(window.get(), "PEPSerialNumberEdit")->text(),
                 QStringLiteral("Н/Д"));

        // A later selection is picked up by the same routine.
        m_settings->setValue(QStringLiteral("Device/Name"), QStringLiteral("QM-3RX/2"));
        m_settings->setValue(QStringLiteral("Device/PortName"), QStringLiteral("ttyACM1"));
        window->UpdateDeviceLabel();
        QCOMPARE(window->DeviceStatusLabel()->text(),
                 QStringLiteral("Устройство: QM-3RX/2, порт 'ttyACM1'"));
    }

    void statusBarLabels()
    {
        auto window = NewWindow();
        QCOMPARE(window->DataStatusLabel()->text(),
                 QStringLiteral("Данные: не загружены") + QString(20, QLatin1Char(' ')));
        QStatusBar* bar = window->statusBar();
        QCOMPARE(bar->objectName(), QStringLiteral("statusBar"));
        QCOMPARE(window->DataStatusLabel()->parentWidget(), bar);
        QCOMPARE(window->DeviceStatusLabel()->parentWidget(), bar);
        // Data first, device on the right of it.
        window->resize(900, 500);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        QVERIFY(window->DataStatusLabel()->x() < window->DeviceStatusLabel()->x());
    }

    void toolTips_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("tip");
        const QList<QPair<const char*, const char*>> rows{
            {"toolbutton_results_download_database",
             "Получение из прибора базы данных результатов измерений (всех файлов данных)"},
            {"toolbutton_results_load_database_from_file", "Загрузка базы данных с накопителя  ПК"},
            {"toolbutton_results_save_database_to_file", "Сохранение базы данных на накопитель ПК"},
            {"toolbutton_results_load_file",
             "Открыть и загрузить в QM-3RX ранее сохранённый на ПК файл с замерами"},
            {"toolbutton_results_save_file",
             "Сохранение копии файла с другим именем на накопителе ПК"},
            {"toolbutton_results_delete_file",
             "Удаление выделенного файла данных из программы/базы данных"},
            {"toolbutton_results_show_help", "Вызов справки"},
            {"toolbutton_report_refresh", "Обновить данные"},
            {"toolbutton_report_print_preview",
             "Предварительный просмотр заполненной формы заключения перед отправкой на печать"},
            {"toolbutton_report_new", "Создание нового заключения"},
            {"toolbutton_report_open_from_file",
             "Открытие сохраненного файла заключения для редактирования"},
            {"toolbutton_report_print",
             "Отправка на принтер готовой формы заключения для распечатки"},
            {"toolbutton_report_save_to_file",
             "Сохранение копии отредактированного файла заключения"},
            {"toolbutton_report_show_help", "Вызов справки"},
        };
        for (const auto& r : rows)
            QTest::newRow(r.first) << QString::fromLatin1(r.first) << QString::fromUtf8(r.second);
    }
    void toolTips()
    {
        QFETCH(QString, button);
        QFETCH(QString, tip);
        auto window = NewWindow();
        auto* b = window->findChild<QToolButton*>(button);
        QVERIFY(b);
        QCOMPARE(b->toolTip(), tip);
        QVERIFY(!b->icon().isNull());
    }

    void menusInOrder()
    {
        auto window = NewWindow();
        QStringList bar;
        for (QAction* a : window->menuBar()->actions())
            bar << a->menu()->objectName() + QLatin1Char('=') + ShownText(a->text());
        QCOMPARE(bar, (QStringList{"menu_Korvalent=Файл", "menu_Report=Отчёт", "menu_Archive=Архив",
                                   "menu_Settings=Настройки", "menu_Service=Сервис",
                                   "menu_Information=Информация"}));

        QCOMPARE(
            ActionTexts(Child<QMenu>(window.get(), "menu_Korvalent")),
            QStringLiteral("action_file_download_database_from_device,"
                           "action_file_upload_database_to_device,"
                           "action_file_load_database_from_file,action_file_save_database_to_file,"
                           "action_file_load_result_file,action_file_save_result_file,"
                           "action_file_delete,-,[menu_Export],-,action_file_exit"));
        QMenu* exportMenu = Child<QMenu>(window.get(), "menu_Export");
        QCOMPARE(ShownText(exportMenu->title()), QStringLiteral("Экспорт таблицы результатов"));
        QCOMPARE(exportMenu->statusTip(),
                 QStringLiteral("Преобразование выбранного файла данных в форматы XLS и CSV"));
        QCOMPARE(exportMenu->menuAction()->statusTip(),
                 QStringLiteral("Преобразование выбранного файла данных в форматы XLS и CSV"));
        QCOMPARE(ActionTexts(exportMenu),
                 QStringLiteral("action_file_export_to_xls,action_file_export_to_csv"));
        QCOMPARE(
            ActionTexts(Child<QMenu>(window.get(), "menu_Report")),
            QStringLiteral(
                "action_report_new,action_report_open,action_report_save,action_report_save_pdf,-,"
                "action_report_preview,action_report_print"));
        QCOMPARE(ActionTexts(Child<QMenu>(window.get(), "menu_Settings")),
                 QStringLiteral("action_show_pep_params_editor_dialog,"
                                "action_show_materials_editor_dialog"));
        QCOMPARE(
            ActionTexts(Child<QMenu>(window.get(), "menu_Service")),
            QStringLiteral("action_show_device_selector_dialog,action_get_device_firmware_version,"
                           "action_show_screenshot_maker_dialog,action_show_pep_list_dialog,"
                           "action_service_time_sync,action_select_documents_dir"));
        QCOMPARE(ActionTexts(Child<QMenu>(window.get(), "menu_Information")),
                 QStringLiteral("action_show_info,action_show_help"));
    }

    void actionTexts_data()
    {
        QTest::addColumn<QString>("action");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("tip");
        const QList<std::tuple<const char*, const char*, const char*>> rows{
            {"action_file_download_database_from_device", "Получить из прибора базу …",
             "Получение из прибора базы данных результатов измерений (всех файлов данных)"},
            {"action_file_upload_database_to_device", "Отправить в прибор базу …",
             "Запись в память прибора базы данных результатов измерений (одного или всех файлов "
             "данных)"},
            {"action_file_load_database_from_file", "Получить из ПК базу …",
             "Получение из накопителя ПК базы данных результатов измерений (всех файлы данных)"},
            {"action_file_save_database_to_file", "Сохранить базу на ПК ...",
             "Сохранение базы с данными результатов измере-ний, представленных на панелях главного "
             "окна, на накопитель ПК"},
            {"action_file_exit", "&Выход ...", "Выход из программы"},
            {"action_file_export_to_xls", "В формате XLS ...", ""},
            {"action_service_time_sync", "Синхронизировать часы (ПК - > устройство)",
             "Синхронизация часов, даты между прибором и ПК при подключении их друг к другу"},
            {"action_select_documents_dir", "Выбор рабочего каталога",
             "Выбор рабочего каталога программы, для результатов замеров, отчётов, и других файлов "
             "программы Korvalent"},
            {"action_show_info", "О программе",
             "Получение информации о текущей версии программы, данных о разработчике."},
            {"action_show_help", "Помощь",
             "Справочная информация о программе, содержащая руководство пользователя"},
        };
        for (const auto& r : rows)
            QTest::newRow(std::get<0>(r))
                << QString::fromLatin1(std::get<0>(r)) << QString::fromUtf8(std::get<1>(r))
                << QString::fromUtf8(std::get<2>(r));
    }
    void actionTexts()
    {
        QFETCH(QString, action);
        QFETCH(QString, text);
        QFETCH(QString, tip);
        auto window = NewWindow();
        auto* a = window->findChild<QAction*>(action);
        QVERIFY(a);
        QCOMPARE(ShownText(a->text()), ShownText(text));
        QCOMPARE(a->statusTip(), tip);
        QVERIFY(!a->icon().isNull());
    }

    void tabTitles()
    {
        auto window = NewWindow();
        QTabWidget* main = Child<QTabWidget>(window.get(), "mainTabWidget");
        QCOMPARE(main->count(), 3);
        QCOMPARE(main->widget(0)->objectName(), QStringLiteral("tab"));
        QCOMPARE(main->tabText(0), QStringLiteral("     Данные     "));
        QCOMPARE(main->widget(1)->objectName(), QStringLiteral("tab_2"));
        QCOMPARE(main->tabText(1), QStringLiteral("     Отчёт     "));
        QCOMPARE(main->widget(2)->objectName(), QStringLiteral("tab_analysis"));
        QCOMPARE(main->tabText(2), QStringLiteral("     Анализ     "));
        QTabWidget* report = Child<QTabWidget>(window.get(), "reportTabWidget");
        QStringList pages;
        for (int i = 0; i < report->count(); ++i)
            pages << report->widget(i)->objectName() + QLatin1Char('=') + report->tabText(i);
        QCOMPARE(pages,
                 (QStringList{"tab_information=Заголовок", "tab_3=Таблица результатов",
                              "tab_conclusion=Заключение", "tab_preview=Предпросмотр отчёта"}));
    }

    void reportFields_data()
    {
        QTest::addColumn<QString>("widget");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("maxLength");
        QTest::addColumn<bool>("readOnly");
        const QList<std::tuple<const char*, const char*, int, bool>> rows{
            {"ConclutionNumberEdit", "", 128, false},
            {"ObjectOfControlEdit",
             "наименование объекта, заводской № _______, регистрационный № ______________", 128,
             false},
            {"ObjectDescriptionEdit",
             "геометрические размеры, марка материала, номинал толщины стенки и др.", 128, false},
            {"ReasonOfTestingEdit", "НК плановый, после ремонта и др.", 128, false},
            {"ObjectOwnerEdit", "название организации", 128, false},
            {"OperatorOrganizationEdit", "название организации", 128, false},
            {"StandardDocumentsEdit", "тип и № документа: ОСТ..., СТО..., РД..., ПНАЭ... др.", 128,
             false},
            {"DeviceDescriptionEdit", "", 16, true},
            {"DeviceSerialNumberEdit", "", 10, true},
            {"PEPDescriptionEdit", "Н/Д", 128, true},
            {"PEPSerialNumberEdit", "Н/Д", 10, true},
            {"MeasurementMethodEdit",
             "ультразвуковой эхо-импульсный, режим - ..., указать методический документ", 128,
             false},
            {"ReferenceDescEdit", "тип и № образцов: ГСО, СОП, ОС-... для настройки", 128, false},
            {"ContactLiquidDescEdit", "глицерин ГОСТ 6823, технический гель и др.", 128, false},
            {"AccessCardEdit", "указать шифр, № технологической карты", 128, false},
            {"AreaManagerNameEdit", "", 64, false},
            {"ExecutionPersonNameEdit", "", 64, false},
            {"ConclutionProviderNameEdit", "", 64, false},
            {"AreaManagerLevelEdit", "", 1, false},
            {"ExecutionPersonLevelEdit", "", 1, false},
            {"ConclutionProviderLevelEdit", "", 1, false},
            {"ManagerAccessCardNumberEdit", "", 32767, false},
            {"ExecutionPersonAccessCardNumberEdit", "", 32767, false},
            {"ConclutionProviderAccessCardNumberEdit", "", 32767, false},
        };
        for (const auto& r : rows)
            QTest::newRow(std::get<0>(r))
                << QString::fromLatin1(std::get<0>(r)) << QString::fromUtf8(std::get<1>(r))
                << std::get<2>(r) << std::get<3>(r);
    }
    void reportFields()
    {
        QFETCH(QString, widget);
        QFETCH(QString, text);
        QFETCH(int, maxLength);
        QFETCH(bool, readOnly);
        auto window = NewWindow();
        auto* edit = window->findChild<QLineEdit*>(widget);
        QVERIFY(edit);
        QCOMPARE(edit->text(), text);
        QCOMPARE(edit->maxLength(), maxLength);
        QCOMPARE(edit->isReadOnly(), readOnly);
    }

    void reportTextAndDateFields()
    {
        auto window = NewWindow();
        auto* org = Child<QPlainTextEdit>(window.get(), "OrganizationEdit");
        QCOMPARE(org->toPlainText(),
                 QStringLiteral("Название организации-оператора неразрушающего контроля (НК)"));
        QVERIFY(org->tabChangesFocus());
        auto* conclusion = Child<QPlainTextEdit>(window.get(), "ConclutionEdit");
        QVERIFY(conclusion->toPlainText().isEmpty());
        QVERIFY(conclusion->tabChangesFocus());
        QVERIFY(Child<QTextBrowser>(window.get(), "ReportBrowser"));
        for (const char* name :
             {"ConclutionDate", "ManagerAccessCardDateEdit", "ExecutionPersonAccessCardDateEdit",
              "ConclutionProviderAccessCardDateEdit"})
        {
            auto* date = Child<QDateEdit>(window.get(), name);
            QVERIFY(date);
            // The conclusion is dated today until changed; the cards start at 2016.
            const QDate start =
                QByteArray(name) == "ConclutionDate" ? CClock::Today() : QDate(2016, 1, 1);
            QCOMPARE(date->date(), start);
            QCOMPARE(date->text(), start.toString(QStringLiteral("dd.MM.yyyy")));
            QCOMPARE(date->minimumDate(), QDate(2000, 1, 1));
            QVERIFY(date->calendarPopup());
            QCOMPARE(date->buttonSymbols(), QAbstractSpinBox::NoButtons);
        }
        const QList<QPair<const char*, const char*>> buttons{
            {"ReportGoToResultsButton", "Результаты"},
            {"ReportClearInfoFieldsButton", "Очистить форму"},
            {"ReportGoToConclutionButton", "Заключение"},
            {"ReportGoToPreviewButton", "Предпросмотр"},
            {"ReportClearConclutionFieldsButton", "Очистить форму"}};
        for (const auto& b : buttons)
            QCOMPARE(Child<QPushButton>(window.get(), b.first)->text(),
                     QString::fromUtf8(b.second));
    }

    void dataTabArrangementFollowsResize()
    {
        auto window = NewWindow();
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        for (const QSize& size : {QSize(1000, 700), QSize(1400, 950), QSize(760, 520)})
        {
            window->resize(size);
            QTest::qWait(20);
            QCoreApplication::processEvents();
            QWidget* tab = Child<QWidget>(window.get(), "tab");
            auto rect = [&](const char* name)
            {
                QWidget* w = Child<QWidget>(window.get(), name);
                return QRect(w->mapTo(tab, QPoint(0, 0)), w->size());
            };
            const QRect tools = rect("resultsToolBarFrame");
            const QRect files = rect("ResultFilesTable");
            const QRect results = rect("ResultFileContentTable");
            const QRect stats = rect("StatisticsTable");
            const QRect clock = rect("TimeDateFrame");
            // Tool frame across the top.
            QVERIFY(tools.bottom() < files.top() && tools.bottom() < results.top());
            QVERIFY(tools.width() > tab->width() - 20);
            // Files on the left at full height, results to their right, statistics below.
            QVERIFY(files.right() < results.left());
            QCOMPARE(files.top(), results.top());
            QCOMPARE(files.bottom(), stats.bottom());
            QVERIFY(results.bottom() < stats.top());
            QCOMPARE(stats.left(), results.left());
            QVERIFY(results.right() > tab->width() - 12);
            QVERIFY(stats.right() > tab->width() - 12);
            // Clock at the right end of the tool frame.
            QVERIFY(clock.right() <= tools.right());
            QVERIFY(clock.right() > tools.right() - 12);
            QVERIFY(clock.top() >= tools.top() && clock.bottom() <= tools.bottom());
        }
    }

    void resourceIcons_data()
    {
        QTest::addColumn<QString>("path");
        const char* const icons[] = {
            "exit",           "to do list",  "notes",    "genealogy", "report",        "text",
            "monitor",        "Tag",         "list",     "info",      "help",          "save as",
            "open file",      "from_device", "print",    "create",    "print preview", "to_device",
            "up_hdd",         "delete",      "clock",    "down_hdd",  "documents",     "refresh",
            "right",          "trash",       "calendar", "alarm",     "Export",        "brindholm",
            "brindholm_logo", "save",        "chip",     "up",        "down",          "tick"};
        for (const char* folder : {"icons", "ico_2"})
            for (const char* icon : icons)
                QTest::addRow("%s/%s", folder, icon)
                    << QStringLiteral(":/Korvalent/Resources/%1/%2.ico")
                           .arg(QString::fromLatin1(folder), QString::fromLatin1(icon));
    }
    void resourceIcons()
    {
        QFETCH(QString, path);
        QVERIFY(QFile::exists(path));
        const QIcon icon(path);
        QVERIFY(!icon.isNull());
        const QPixmap pixmap = icon.pixmap(32, 32);
        QVERIFY(!pixmap.isNull());
        QVERIFY(HasInk(pixmap));
    }

    // The program's icons are read when first needed, and are then what Qt's
    // own engine makes of the same picture: sizes, pixmaps in every mode,
    // painting.
    void deferredIconsAsQtsOwn_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<int>("size");
        for (const char* icon : {"icons/from_device", "icons/brindholm", "ico_2/tick"})
            for (const int size : {16, 22, 32, 64, 100})
                QTest::addRow("%s %d", icon, size)
                    << QStringLiteral(":/Korvalent/Resources/%1.ico").arg(QLatin1String(icon))
                    << size;
    }
    void deferredIconsAsQtsOwn()
    {
        QFETCH(QString, path);
        QFETCH(int, size);
        CDeferredIcons::Install();
        const QIcon deferred(path);
        QByteArray engine;
        {
            QDataStream out(&engine, QIODevice::WriteOnly);
            out << deferred;
        }
        QDataStream in(engine);
        QString key;
        in >> key;
        QCOMPARE(key, QStringLiteral("CDeferredIconEngine"));

        const QIcon reference(QPixmap::fromImage(QImage(path)));
        QVERIFY(!reference.isNull());
        QVERIFY(!deferred.isNull());
        const QSize asked(size, size);
        QCOMPARE(deferred.availableSizes(), reference.availableSizes());
        for (const QIcon::Mode mode :
             {QIcon::Normal, QIcon::Disabled, QIcon::Active, QIcon::Selected})
        {
            QCOMPARE(deferred.actualSize(asked, mode), reference.actualSize(asked, mode));
            QCOMPARE(deferred.pixmap(asked, mode).toImage(),
                     reference.pixmap(asked, mode).toImage());
            QImage painted[2];
            for (int i = 0; i < 2; ++i)
            {
                painted[i] = QImage(size + 8, size + 4, QImage::Format_ARGB32_Premultiplied);
                painted[i].fill(Qt::transparent);
                QPainter painter(&painted[i]);
                (i == 0 ? deferred : reference)
                    .paint(&painter, QRect(3, 1, size + 2, size), Qt::AlignCenter, mode);
            }
            QCOMPARE(painted[0], painted[1]);
        }
        QVERIFY(QIcon(QStringLiteral(":/Korvalent/Resources/icons/none.ico")).isNull());
    }

    void reportTemplateResource()
    {
        QFile file(QStringLiteral(":/Korvalent/Resources/ReportTemplate.html"));
        QVERIFY(file.open(QIODevice::ReadOnly | QIODevice::Text));
        const QString html = QString::fromUtf8(file.readAll());
        QVERIFY(
            html.startsWith(QStringLiteral("<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.01//RU\"")));
        QVERIFY(html.contains(QStringLiteral("<title>#DOCUMENT_TITLE</title>")));
        for (const char* key : {"#ORGANIZATION_NAME",
                                "#CONCLUTION_NUMBER",
                                "#CONCLUTION_DATE",
                                "#OBJECT_OF_CONTROL",
                                "#OBJECT_DESCRIPTION",
                                "#REASON_OF_TESTING",
                                "#OBJECT_OWNER",
                                "#ORGANIZATION_OPERATOR",
                                "#STANDARD_DOCUMENTS",
                                "#DEVICE_DESCRIPTION",
                                "#DEVICE_SERIAL_NUMBER",
                                "#PEP_DESCRIPTION",
                                "#PEP_SERIAL_NUMBER",
                                "#MEASUREMENT_METHOD",
                                "#REFERENCE_DESCRIPTION",
                                "#CONTACT_LIQUID_DESCRIPTION",
                                "#ACCESS_CARD_NUMBER",
                                "#COUNT_OF_VALUES",
                                "#COUNT_OF_ACTUAL_VALUES",
                                "#COUNT_OF_LOS_VALUES",
                                "#MIN_VALUE",
                                "#MAX_VALUE",
                                "#AVG_VALUE",
                                "#MEDIANA_VALUE",
                                "#RANG_AMPLITUDE_VALUE",
                                "#STD_DEV_VALUE",
                                "#STD_SQUARE_DEV_VALUE",
                                "#DISPERSION_VALUE",
                                "#CONCLUSION",
                                "#NAME1",
                                "#NAME2",
                                "#NAME3",
                                "#CARD1",
                                "#CARD2",
                                "#CARD3",
                                "#CARD_DATE1",
                                "#CARD_DATE2",
                                "#CARD_DATE3",
                                "#LEVEL1",
                                "#LEVEL2",
                                "#LEVEL3",
                                "#DATA_TABLE_ROWS"})
            QVERIFY2(html.count(QString::fromLatin1(key)) == 1, key);
        // All three signature rows are dated by the same placeholder.
        QCOMPARE(html.count(QStringLiteral("#DATE1")), 3);
        QVERIFY(!html.contains(QStringLiteral("#DATE2")));
        QVERIFY(!html.contains(QStringLiteral("#DATE3")));
    }

    void aboutBox()
    {
        CAboutDialog about;
        QCOMPARE(about.windowTitle(), QStringLiteral("Информация о программе"));
        QCOMPARE(about.minimumSize(), QSize(330, 190));
        QCOMPARE(about.maximumSize(), QSize(330, 190));
        QCOMPARE(Child<QLabel>(&about, "label_version")->text(),
                 QStringLiteral("Korvalent™ 1.1.2"));
        QCOMPARE(Child<QLabel>(&about, "label_3")->text(),
                 QStringLiteral("Для толщиномеров серии QM-3RX"));
        QCOMPARE(Child<QLabel>(&about, "label_7")->text(), QStringLiteral("Телефон/факс:"));
        QVERIFY(!Child<QLabel>(&about, "label")->pixmap().isNull());
        QVERIFY(Child<QLabel>(&about, "label_www")->openExternalLinks());
        about.show();
        QVERIFY(about.isVisible());
        Child<QPushButton>(&about, "OkButton")->click();
        QVERIFY(!about.isVisible());
    }

    void aboutBoxShownWithoutModality()
    {
        auto window = NewWindow();
        Child<QAction>(window.get(), "action_show_info")->trigger();
        CAboutDialog* about = window->AboutDialog();
        QVERIFY(about->isVisible());
        QCOMPARE(about->windowModality(), Qt::NonModal);
        QVERIFY(!about->parent());
        about->close();
    }
};

QTEST_MAIN(TestApp)
#include "tst_app.moc"
