#include "core/CAppGlobals.h"
#include "core/CInputLimits.h"
#include "core/CUserPrompts.h"
#include "device/CDeviceManager.h"
#include "sim/CVirtualGauge.h"
#include "tests/common/GaugeSupport.h"
#include "tests/common/TestSupport.h"
#include "tools/CMaterialsEditorDialog.h"

#include "ui_CMaterialsEditorDialog.h"

#include <QFile>
#include <QSettings>
#include <QStandardItemModel>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

namespace
{
QByteArray RecordBytes(const MaterialList& list)
{
    QByteArray b;
    for (const MaterialRecord& r : list)
        b.append(reinterpret_cast<const char*>(&r), sizeof(r));
    return b;
}
} // namespace

class TestMaterialsEditor : public QObject
{
    Q_OBJECT

    std::unique_ptr<CTestEnvironment> m_env;
    CGaugeRig m_rig;
    std::unique_ptr<CMaterialsEditorDialog> m_dialog;
    CScriptedPrompts m_prompts;
    QTemporaryDir m_dir;

    QStandardItemModel* Model() const { return m_dialog->Model(); }
    Ui::CMaterialsEditorDialog* Ui() const { return m_dialog->ui(); }
    QString Cell(int row, int column) const { return Model()->item(row, column)->text(); }
    QStringList RowTexts(int row) const { return {Cell(row, 0), Cell(row, 1), Cell(row, 2)}; }

    void SelectRow(int row) { Ui()->MaterialsTable->setCurrentIndex(Model()->index(row, 0)); }
    bool WaitMessages(int count)
    {
        return QTest::qWaitFor([&] { return m_prompts.Messages().size() >= count; }, 20000);
    }
    void FillRows(const QList<QStringList>& rows)
    {
        m_dialog->ClearTable();
        for (const QStringList& r : rows)
        {
            m_dialog->AddMaterial();
            const int row = Model()->rowCount() - 1;
            for (int c = 0; c < 3; ++c)
                Model()->item(row, c)->setText(r.at(c));
        }
    }

private Q_SLOTS:
    void initTestCase() { m_env = BeginGaugeTests(&m_prompts); }

    void init()
    {
        m_rig.Start(false);
        m_dialog.reset(new CMaterialsEditorDialog);
        m_prompts.Clear();
    }

    void cleanup()
    {
        const bool idle = QTest::qWaitFor(
            [&] { return !m_rig.manager->IsBusy() && !m_dialog->IsTransferRunning(); }, 20000);
        m_dialog.reset();
        m_rig.Stop();
        QVERIFY2(idle, "a transfer was still running at the end of the test");
    }

    void form()
    {
        QCOMPARE(m_dialog->windowTitle(), QStringLiteral("Редактор базы материалов"));
        QCOMPARE(m_dialog->size(), QSize(550, 492));
        QCOMPARE(m_dialog->windowModality(), Qt::ApplicationModal);
        QCOMPARE(Model()->columnCount(), 3);
        QCOMPARE(Model()->headerData(0, Qt::Horizontal).toString(), QStringLiteral("Материал"));
        QCOMPARE(Model()->headerData(1, Qt::Horizontal).toString(), QStringLiteral("м/c"));
        QCOMPARE(Model()->headerData(2, Qt::Horizontal).toString(), QStringLiteral("К-т м/c*С°"));
        QCOMPARE(Ui()->DownloadButton->text(), QStringLiteral("Получить"));
        QCOMPARE(Ui()->UploadButton->toolTip(),
                 QStringLiteral("Загрузить данные материалов в прибор или сохранить в файл."));
        QCOMPARE(Ui()->AddMaterialButton->statusTip(),
                 QStringLiteral("Добавить довый материал в список."));
        QVERIFY(!Ui()->WorkWithFileCheck->isChecked());
        Ui()->WorkWithFileCheck->setChecked(true);
        QCOMPARE(Ui()->DownloadButton->text(), QStringLiteral("Открыть"));
        QCOMPARE(Ui()->UploadButton->text(), QStringLiteral("Сохранить"));
        Ui()->WorkWithFileCheck->setChecked(false);
        QCOMPARE(Ui()->DownloadButton->text(), QStringLiteral("Получить"));
        QCOMPARE(Ui()->UploadButton->text(), QStringLiteral("Загрузить"));
    }

    void seventyRows()
    {
        for (int i = 0; i < 70; ++i)
            m_dialog->AddMaterial();
        QCOMPARE(Model()->rowCount(), 70);
        QVERIFY(m_prompts.Messages().isEmpty());
        QCOMPARE(RowTexts(69), (QStringList{"Новый", "1000", "0"}));
        QCOMPARE(Model()->item(69, 1)->textAlignment(), Qt::AlignRight | Qt::AlignVCenter);
        m_dialog->AddMaterial();
        QCOMPARE(Model()->rowCount(), 70);
        QCOMPARE(
            m_prompts.Messages(),
            QStringList{
                "Не удалось добавить новый материал: максимальное количество материалов - 70"});
        QCOMPARE(m_prompts.records.last().icon, CUserPrompts::IconWarning);
    }

    void editsFollowTheRules()
    {
        m_dialog->AddMaterial();
        Model()->item(0, 0)->setText(QStringLiteral("Двадцать символов ровно"));
        Model()->item(0, 1)->setText(QStringLiteral("999"));
        Model()->item(0, 2)->setText(QStringLiteral("-1500"));
        QCOMPARE(RowTexts(0), (QStringList{"Двадцать симв", "1000", "-999"}));
        Model()->item(0, 1)->setText(QStringLiteral("20000"));
        Model()->item(0, 2)->setText(QStringLiteral("12.5"));
        QCOMPARE(RowTexts(0), (QStringList{"Двадцать симв", "19999", "12.5"}));
    }

    void moveAndDelete()
    {
        FillRows({{"A", "1000", "0"}, {"B", "2000", "0"}, {"C", "3000", "0"}});
        m_dialog->MoveUP();
        m_dialog->DeleteMaterial();
        QCOMPARE(m_prompts.Messages(),
                 (QStringList{"Для того, что бы переместить материал, его необходимо выбрать.",
                              "Для того, что бы удалить материал, его необходимо выбрать."}));
        m_prompts.Clear();
        SelectRow(0);
        m_dialog->MoveUP(); // at the edge: nothing, no message
        SelectRow(2);
        m_dialog->MoveDown();
        QCOMPARE(Cell(0, 0), QStringLiteral("A"));
        QCOMPARE(Cell(2, 0), QStringLiteral("C"));
        QVERIFY(m_prompts.Messages().isEmpty());
        SelectRow(0);
        m_dialog->MoveDown();
        QCOMPARE(Cell(0, 0), QStringLiteral("B"));
        QCOMPARE(Cell(1, 0), QStringLiteral("A"));
        QCOMPARE(Ui()->MaterialsTable->currentIndex().row(), 1);
        QVERIFY(Ui()->MaterialsTable->selectionModel()->isRowSelected(1, QModelIndex()));
        m_dialog->MoveUP();
        QCOMPARE(Cell(0, 0), QStringLiteral("A"));
        SelectRow(1);
        m_dialog->DeleteMaterial();
        QCOMPARE(Model()->rowCount(), 2);
        QCOMPARE(Cell(1, 0), QStringLiteral("C"));
        m_dialog->ClearTable();
        QCOMPARE(Model()->rowCount(), 0);
        QCOMPARE(Model()->headerData(2, Qt::Horizontal).toString(), QStringLiteral("К-т м/c*С°"));
    }

    void emptyGridUpload_data()
    {
        QTest::addColumn<bool>("file");
        QTest::addColumn<QString>("text");
        QTest::newRow("gauge") << false << "Нет данных для загрузки!";
        QTest::newRow("file") << true << "Нет данных для сохранения в файл!";
    }
    void emptyGridUpload()
    {
        QFETCH(bool, file);
        QFETCH(QString, text);
        Ui()->WorkWithFileCheck->setChecked(file);
        m_dialog->UploadMaterials();
        QCOMPARE(m_prompts.Messages(), QStringList{text});
        QCOMPARE(m_prompts.records.last().title, QStringLiteral("Korvalent™"));
        QCOMPARE(m_prompts.records.last().icon, CUserPrompts::IconCritical);
    }

    void csvSaveAndOpen()
    {
        FillRows({{"Сталь", "5920", "-0.5"}, {"Typed", "2000", "0,5"}});
        Ui()->WorkWithFileCheck->setChecked(true);
        const QString path = m_dir.filePath(QStringLiteral("m.csv"));
        m_prompts.fileNames.enqueue(path);
        m_dialog->UploadMaterials();
        QCOMPARE(m_prompts.Messages(), QStringList{"База мaтериалов успешно сохранена в файл."});
        QCOMPARE(m_prompts.records.at(0).kind, QStringLiteral("save"));
        QVERIFY(m_prompts.records.at(0).dir.endsWith(QStringLiteral("Материалы.csv")));
        QCOMPARE(m_prompts.records.at(0).filter,
                 QStringLiteral("Значения разделённые запятой (*.csv)"));
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), QByteArray("\xEF\xBB\xBF") + "Сталь,5920,-0.5\nTyped,2000,0,5\n");

        // Opening it again stops at the decimal comma, keeps the row before.
        m_prompts.Clear();
        m_dialog->ClearTable();
        m_prompts.fileNames.enqueue(path);
        m_dialog->DownloadMaterials();
        QCOMPARE(m_prompts.Messages(),
                 (QStringList{"Не удалось прочитать из файла список материалов: не верный формат!",
                              "База мaтериалов успешно загружена из файла."}));
        QCOMPARE(m_prompts.records.at(1).icon, CUserPrompts::IconCritical);
        QCOMPARE(Model()->rowCount(), 1);
        QCOMPARE(RowTexts(0), (QStringList{"Сталь", "5920", "-0.5"}));
        QCOMPARE(Model()->item(0, 2)->textAlignment(), Qt::AlignRight | Qt::AlignVCenter);
    }

    // A save that fails at its final flush is said, naming the file; the
    // previous file stays.
    void csvSaveOverLimitKeepsOldFile()
    {
        QList<QStringList> rows;
        for (int i = 0; i < 60; ++i)
            rows.append({QStringLiteral("Сталь%1").arg(i), "5920", "0.5"});
        FillRows(rows);
        Ui()->WorkWithFileCheck->setChecked(true);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("prev.csv"));
        {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("old,1000,0\n");
        }
        m_prompts.Clear();
        m_prompts.fileNames.enqueue(path);
        {
            CFileSizeLimit guard(1000);
            m_dialog->UploadMaterials();
        }
        QCOMPARE(m_prompts.Messages().size(), 1);
        QCOMPARE(m_prompts.records.last().icon, CUserPrompts::IconCritical);
        QVERIFY(m_prompts.Messages().first().contains(path));
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), QByteArray("old,1000,0\n"));
        QCOMPARE(FolderEntries(dir.path()), QStringList{"prev.csv"});

        // A device node as the target is refused the same way.
        m_prompts.Clear();
        m_prompts.fileNames.enqueue(QStringLiteral("/dev/full"));
        m_dialog->UploadMaterials();
        QCOMPARE(m_prompts.Messages().size(), 1);
        QVERIFY(m_prompts.Messages().first().contains(QStringLiteral("/dev/full")));
    }

    // A CSV over 1 MB is refused before reading: a critical naming the file
    // and the limit, the grid unchanged.
    void csvOpenHugeRefused()
    {
        Ui()->WorkWithFileCheck->setChecked(true);
        m_dialog->AddMaterial();
        const QString path = m_dir.filePath(QStringLiteral("huge.csv"));
        {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
        }
        QVERIFY(QFile::resize(path, CInputLimits::kMaterialsCsvBytes + 1));
        m_prompts.Clear();
        m_prompts.fileNames.enqueue(path);
        m_dialog->DownloadMaterials();
        QCOMPARE(m_prompts.Messages().size(), 1);
        QCOMPARE(m_prompts.records.last().icon, CUserPrompts::IconCritical);
        QVERIFY(m_prompts.Messages().first().contains(path));
        QVERIFY(m_prompts.Messages().first().contains(QStringLiteral("1 МБ")));
        QCOMPARE(Model()->rowCount(), 1);
    }

    void csvOpenClampsWithWarning()
    {
        // 999 is what the grid allows; the record cannot hold it.
        FillRows({{"Резина", "1500", "999"}});
        Ui()->WorkWithFileCheck->setChecked(true);
        const QString path = m_dir.filePath(QStringLiteral("wide.csv"));
        m_prompts.fileNames.enqueue(path);
        m_dialog->UploadMaterials();
        m_prompts.Clear();
        m_prompts.fileNames.enqueue(path);
        m_dialog->DownloadMaterials();
        QCOMPARE(m_prompts.Messages().size(), 2);
        QCOMPARE(m_prompts.records.at(1).icon, CUserPrompts::IconWarning);
        QVERIFY(m_prompts.Messages().at(0).contains(QStringLiteral("-327.68 ... 327.67")));
        QCOMPARE(m_prompts.Messages().at(1),
                 QStringLiteral("База мaтериалов успешно загружена из файла."));
        QCOMPARE(RowTexts(0), (QStringList{"Резина", "1500", "327.67"}));
    }

    void csvOpenCancelledOrMissing()
    {
        Ui()->WorkWithFileCheck->setChecked(true);
        m_dialog->AddMaterial();
        m_dialog->DownloadMaterials(); // dialog cancelled
        m_prompts.fileNames.enqueue(m_dir.filePath(QStringLiteral("missing.csv")));
        m_dialog->DownloadMaterials();
        QCOMPARE(m_prompts.Messages(), QStringList());
        QCOMPARE(Model()->rowCount(), 1);
    }

    void gaugeDownloadAndUpload()
    {
        const MaterialList materials = CVirtualGauge::DemoMaterials();
        m_rig.gauge->SetMaterials(materials);
        m_dialog->DownloadMaterials();
        QVERIFY(WaitMessages(1));
        QCOMPARE(m_prompts.Messages(),
                 QStringList{"База мaтериалов успешно загружена из устройства."});
        QCOMPARE(Model()->rowCount(), materials.size());
        QCOMPARE(Cell(0, 0), CMaterialsCsv::DecodeName(materials[0].name));

        // Edited and written back: the gauge holds what the grid shows.
        Model()->item(0, 1)->setText(QStringLiteral("6000"));
        Model()->item(1, 2)->setText(QStringLiteral("0.29"));
        m_prompts.Clear();
        m_prompts.answers.enqueue(CUserPrompts::Yes);
        m_dialog->UploadMaterials();
        QVERIFY(WaitMessages(2));
        QCOMPARE(m_prompts.Messages(),
                 (QStringList{"Таблица материалов в устройстве будет заменена таблицей из " +
                                  QString::number(materials.size()) + " материал(а)(ов).",
                              "База материалов успешно сохранена в устройстве."}));
        QCOMPARE(m_prompts.records.first().defaultButton, CUserPrompts::Cancel);
        QCOMPARE(m_prompts.records.first().informativeText,
                 QStringLiteral("Продолжить запись в устройство?"));
        const MaterialList onGauge = m_rig.gauge->Materials();
        QCOMPARE(onGauge.size(), materials.size());
        QCOMPARE(int(onGauge[0].velocity), 6000);
        QCOMPARE(int(onGauge[1].tempCoefficient), 29);
        QCOMPARE(Cell(1, 2), QStringLiteral("0.29"));
        QCOMPARE(RecordBytes(onGauge.mid(2)), RecordBytes(materials.mid(2)));
    }

    // Writing replaces the gauge's whole table: "Отмена" sends nothing.
    void gaugeWriteCancelled()
    {
        const MaterialList before = m_rig.gauge->Materials();
        FillRows({{"Сталь", "5920", "-0.5"}, {"Медь", "4700", "0.1"}});
        m_prompts.Clear();
        m_rig.gauge->ClearRequestLog();
        m_prompts.answers.enqueue(CUserPrompts::Cancel);
        m_dialog->UploadMaterials();
        QCOMPARE(m_prompts.Messages(),
                 QStringList{"Таблица материалов в устройстве будет заменена таблицей из 2 "
                             "материал(а)(ов)."});
        QCOMPARE(m_prompts.records.first().kind, QStringLiteral("ask"));
        QCOMPARE(m_prompts.records.first().labels.value(CUserPrompts::Cancel),
                 QStringLiteral("Отмена"));
        QTest::qWait(100);
        QVERIFY(!m_rig.manager->IsBusy());
        QVERIFY(m_rig.gauge->RequestLog().isEmpty());
        QCOMPARE(RecordBytes(m_rig.gauge->Materials()), RecordBytes(before));
    }

    void gaugeWithOneMaterial()
    {
        // The gauge answers the first request with status 0: one record.
        m_rig.gauge->SetMaterials(
            {CVirtualGauge::MakeMaterial(QStringLiteral("Сталь"), 5920, -50)});
        m_dialog->DownloadMaterials();
        QVERIFY(WaitMessages(1));
        QCOMPARE(Model()->rowCount(), 1);
        QCOMPARE(RowTexts(0), (QStringList{"Сталь", "5920", "-0.5"}));
        int reads = 0;
        for (quint8 code : m_rig.gauge->RequestCodes())
            reads += code == 0x08;
        QCOMPARE(reads, 1);
    }

    void gaugeFailures_data()
    {
        QTest::addColumn<bool>("upload");
        QTest::addColumn<bool>("file");
        QTest::addColumn<QString>("text");
        QTest::newRow("download") << false << false
                                  << "Не удалось получить из устройства список материалов.";
        QTest::newRow("upload") << true << false
                                << "Не удалось сохранить в устройство список материалов.";
        QTest::newRow("box checked by then")
            << false << true << "Не удалось загрузить базу материалов из файла.";
    }
    void gaugeFailures()
    {
        QFETCH(bool, upload);
        QFETCH(bool, file);
        QFETCH(QString, text);
        m_rig.settings->setValue(QStringLiteral("Device/PortPath"),
                                 QStringLiteral("/nonexistent/tty"));
        FillRows({{"Keep", "1500", "1"}});
        m_prompts.Clear();
        if (upload)
        {
            m_prompts.answers.enqueue(CUserPrompts::Yes);
            m_dialog->UploadMaterials();
            m_prompts.records.removeFirst(); // the question before writing
        }
        else
            m_dialog->DownloadMaterials();
        // The message follows the check box as it is when the task ends.
        Ui()->WorkWithFileCheck->setChecked(file);
        QVERIFY(WaitMessages(2));
        QCOMPARE(m_prompts.Messages().last(), text);
        QCOMPARE(m_prompts.records.last().icon, CUserPrompts::IconCritical);
        QCOMPARE(Model()->rowCount(), 1);
        QCOMPARE(Cell(0, 0), QStringLiteral("Keep"));
    }

    void outOfRangeRefused_data()
    {
        QTest::addColumn<int>("rows");
        QTest::addColumn<QString>("coefficient");
        QTest::newRow("999 does not fit") << 2 << "999";
        QTest::newRow("fraction beyond the field") << 2 << "-400.5";
        QTest::newRow("255 materials") << 255 << "1";
    }
    void outOfRangeRefused()
    {
        QFETCH(int, rows);
        QFETCH(QString, coefficient);
        // Long lists only come from a file.
        QByteArray csv;
        for (int i = 0; i < rows; ++i)
            csv += "M" + QByteArray::number(i) + ",5000,1\n";
        const QString path = m_dir.filePath(QStringLiteral("long.csv"));
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(csv);
        f.close();
        Ui()->WorkWithFileCheck->setChecked(true);
        m_prompts.fileNames.enqueue(path);
        m_dialog->DownloadMaterials();
        QCOMPARE(Model()->rowCount(), rows);
        Model()->item(1, 2)->setText(coefficient);
        Ui()->WorkWithFileCheck->setChecked(false);
        m_prompts.Clear();
        m_rig.gauge->ClearRequestLog();
        m_dialog->UploadMaterials();
        QCOMPARE(m_prompts.Messages().size(), 1);
        QVERIFY(m_prompts.Messages().first().startsWith(
            QStringLiteral("Не удалось сохранить в устройство список материалов: ")));
        QCOMPARE(m_prompts.records.last().icon, CUserPrompts::IconWarning);
        QTest::qWait(100);
        QVERIFY(!m_rig.manager->IsBusy());
        QVERIFY(m_rig.gauge->RequestLog().isEmpty());
    }
};

QTEST_MAIN(TestMaterialsEditor)
#include "tst_materials_editor.moc"
