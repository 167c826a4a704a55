#include "app/CKorvalent.h"
#include "core/CAppGlobals.h"
#include "core/CClock.h"
#include "core/CUserPrompts.h"
#include "device/CDeviceManager.h"
#include "sim/CVirtualGauge.h"
#include "tests/common/GaugeSupport.h"
#include "tests/common/TestSupport.h"
#include "tests/tools/PepTestSupport.h"
#include "tools/CDeviceScreenshotDialog.h"
#include "tools/CPEPListDialog.h"
#include "tools/CPEPParamsEditorDialog.h"

#include "ui_CDeviceScreenshotDialog.h"
#include "ui_CKorvalent.h"
#include "ui_CPEPListDialog.h"
#include "ui_CPEPParamsEditorDialog.h"

#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QSettings>
#include <QStandardItemModel>
#include <QTemporaryDir>
#include <QtTest>
#include <cstring>
#include <memory>

// The transducer memory editor, the transducer list and the screenshot
// dialog, driven through their slots against the virtual gauge on a pty.
namespace
{
const QString kCrcWarning =
    QStringLiteral("ВНИМАНИЕ: Полученые данные не являются данными параметров ПЭП.\r\n"
                   "Возможные причины этого сообщения:\r\n"
                   "    - Возможно в подключеном ПЭП нет информации;\r\n"
                   "    - Возможно данные были повреждены из-за ошибки записи;\r\n"
                   "    - Возможно подключенный ПЭП не исправен.");
const QString kCrcDamaged =
    QStringLiteral("ОШИБКА: данные повреждены, не верная контрольная сумма.");

quint16 Word(const QByteArray& b, int offset)
{
    return quint16(quint8(b[offset]) | (quint8(b[offset + 1]) << 8));
}

PEPListRecord ListRecord(const char* name, quint8 type, quint16 frequency, quint32 delay,
                         quint8 from, quint16 to, quint32 serial, int filledEntries)
{
    PEPListRecord r;
    std::memset(&r, 0, sizeof(r));
    std::memcpy(r.name, name, qMin(std::strlen(name), sizeof(r.name)));
    r.type = type;
    r.frequency = frequency;
    r.delay = delay;
    r.rangeFrom = from;
    r.rangeTo = to;
    r.serialNumber = serial;
    for (int k = 0; k < filledEntries; ++k)
    {
        const VPathEntry e{quint16(10 * (k + 1)), float(k + 1), 0.01f};
        std::memcpy(r.vpath + 10 * k, &e, sizeof(e));
    }
    return r;
}

} // namespace

class TestPepDialogs : public QObject
{
    Q_OBJECT

    std::unique_ptr<CTestEnvironment> m_env;
    CGaugeRig m_rig;
    std::unique_ptr<CPEPParamsEditorDialog> m_editor;
    std::unique_ptr<CPEPListDialog> m_list;
    std::unique_ptr<CDeviceScreenshotDialog> m_shot;
    CScriptedPrompts m_prompts;
    QStringList m_statuses;
    std::unique_ptr<QTemporaryDir> m_dir;

    Ui::CPEPParamsEditorDialog* E() const { return m_editor->ui(); }

    bool WaitIdle()
    {
        return QTest::qWaitFor(
            [&]
            {
                return !m_rig.manager->IsBusy() && !m_editor->IsTransferRunning() &&
                       !m_list->IsTransferRunning() && !m_shot->IsTransferRunning();
            },
            20000);
    }
    QString Cell(int row, int column) const
    {
        const QStandardItem* item = m_editor->VPathModel()->item(row, column);
        return item ? item->text() : QString();
    }
    void SetCell(int row, int column, const QString& text)
    {
        m_editor->VPathModel()->setItem(row, column, new QStandardItem(text));
    }
    QList<quint8> Codes() const { return m_rig.gauge->RequestCodes(); }
    QString ListCell(int row, int column) const
    {
        return m_list->Model()->item(row, column)->text();
    }
    QStringList ListRow(int row) const
    {
        QStringList texts;
        for (int c = 0; c < 7; ++c)
            texts << ListCell(row, c);
        return texts;
    }
    int DarkPixels(const QImage& image) const
    {
        int n = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                n += image.pixel(x, y) == qRgb(0, 0, 0);
        return n;
    }
    QStringList FilesInDir() const
    {
        return QDir(m_dir->path()).entryList(QDir::Files | QDir::Hidden, QDir::Name);
    }
    // Fills the editor's form with the worked values.
    void FillWorkedForm()
    {
        E()->PEPName->setText(QStringLiteral("ABCDEFGH"));
        E()->PEPType->setCurrentIndex(1);
        E()->PEPFrequency->setText(QStringLiteral("5.0"));
        E()->PEPDelay->setText(QStringLiteral("1200"));
        E()->PEPLengthOfProbeImpulse->setText(QStringLiteral("250"));
        E()->PEPRangeFrom->setValue(0.5);
        E()->PEPRangeTo->setValue(100.0);
        E()->PEPSerialNumber->setText(QStringLiteral("770412"));
        E()->PEPMeasurementMode->setCurrentText(QStringLiteral("Тип 3/Э1-Э2"));
        E()->PEPMaterialType->setCurrentText(QStringLiteral("П (пластик/полимер)"));
        E()->PEPManufactoryDate->setDate(QDate(2024, 5, 17));
        E()->PEPRevisionDate->setDate(QDate(2026, 2, 3));
    }

private Q_SLOTS:
    void initTestCase()
    {
        m_env = BeginGaugeTests(&m_prompts);
        CClock::Pin(QDateTime(QDate(2026, 12, 7), QTime(10, 0)));
    }

    void init()
    {
        m_dir.reset(new QTemporaryDir);
        m_rig.Start(true);
        m_statuses.clear();
        connect(m_rig.manager.get(), &CDeviceManager::ShowStatusMessage, this,
                [this](const QString& text, int) { m_statuses.append(text); });
        m_editor.reset(new CPEPParamsEditorDialog);
        m_list.reset(new CPEPListDialog);
        m_shot.reset(new CDeviceScreenshotDialog);
        m_prompts.Clear();
        m_prompts.fileNames.clear();
        m_rig.gauge->ClearRequestLog();
    }

    void cleanup()
    {
        WaitIdle();
        m_editor.reset();
        m_list.reset();
        m_shot.reset();
        m_rig.Stop();
    }

    // --- transducer memory editor ---

    void editorForm()
    {
        QCOMPARE(m_editor->windowTitle(), QStringLiteral("Редактор параметров Д-ПЭП"));
        QCOMPARE(m_editor->size(), QSize(632, 420));
        QCOMPARE(m_editor->minimumSize(), QSize(550, 400));
        QCOMPARE(m_editor->maximumSize(), QSize(1000, 1000));
        QCOMPARE(m_editor->windowModality(), Qt::ApplicationModal);
        QCOMPARE(E()->PEPType->currentText(), QStringLiteral("Н/Д"));
        QCOMPARE(E()->PEPMeasurementMode->count(), 4);
        QCOMPARE(E()->PEPMeasurementMode->itemText(0), QStringLiteral("Тип 1/П-Э1"));
        QCOMPARE(E()->PEPMaterialType->itemText(1), QStringLiteral("П (пластик/полимер)"));
        QCOMPARE(E()->PEPName->maxLength(), 8);
        QCOMPARE(E()->PEPSerialNumber->maxLength(), 10);
        QCOMPARE(E()->PEPRangeFrom->maximum(), 100.0);
        QCOMPARE(E()->PEPRangeTo->maximum(), 300.0);
        QCOMPARE(E()->PEPManufactoryDate->date(), QDate(2026, 12, 7));
        QCOMPARE(E()->PEPRevisionDate->minimumDate(), QDate(2015, 1, 1));
        QCOMPARE(E()->ReadDataFromPEPButton->toolTip(),
                 QStringLiteral("Получить данные из Д-ПЭП / Файла"));
        QCOMPARE(E()->WriteDataToPEPButton->text(), QStringLiteral("Сохранить"));
        QVERIFY(!E()->WorkWithFileCheck->isChecked());
        QVERIFY(!E()->AllowWriteToEEPROMCheck->isChecked());
        QStandardItemModel* model = m_editor->VPathModel();
        QCOMPARE(model->rowCount(), 3);
        QCOMPARE(model->columnCount(), 10);
        QCOMPARE(model->headerData(9, Qt::Horizontal).toString(), QStringLiteral("10"));
        QCOMPARE(E()->VPathTable->columnWidth(0), 37);
        QCOMPARE(E()->VPathTable->rowHeight(2), 30);
        QCOMPARE(E()->VPathRow3Label->text(),
                 QStringLiteral("Погрешность (обхода) V-образного пути, мм"));
    }

    void readFromTransducer()
    {
        m_editor->ReadDataFromEEPROM();
        QVERIFY(WaitIdle());
        QCOMPARE(m_prompts.Messages(), QStringList());
        QCOMPARE(Codes(), (QList<quint8>{0xAA, 0x02}));
        QCOMPARE(E()->PEPName->text(), QStringLiteral("D1771"));
        QCOMPARE(E()->PEPType->currentText(), QStringLiteral("ПС"));
        QCOMPARE(E()->PEPFrequency->text(), QStringLiteral("5.0"));
        QCOMPARE(E()->PEPDelay->text(), QStringLiteral("735"));
        QCOMPARE(E()->PEPLengthOfProbeImpulse->text(), QStringLiteral("120"));
        QCOMPARE(E()->PEPRangeFrom->value(), 0.8);
        QCOMPARE(E()->PEPRangeTo->value(), 300.0);
        QCOMPARE(E()->PEPSerialNumber->text(), QStringLiteral("770412"));
        QCOMPARE(E()->PEPMeasurementMode->currentText(), QStringLiteral("Тип 2/Э0-Э1"));
        QCOMPARE(E()->PEPMaterialType->currentText(), QStringLiteral("М (металл)"));
        QCOMPARE(E()->PEPManufactoryDate->date(), QDate(2024, 5, 17));
        QCOMPARE(E()->PEPRevisionDate->date(), QDate(2026, 2, 3));
        QCOMPARE(Cell(0, 0), QStringLiteral("1.0"));
        QCOMPARE(Cell(1, 0), QStringLiteral("1.4"));
        QCOMPARE(Cell(2, 9), QStringLiteral("0.04"));
        QCOMPARE(m_editor->Image().crc,
                 quint16(BitwiseCrc(m_rig.gauge->Eeprom().left(126) + QByteArray(2, 0))));
    }

    void readFailures_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<int>("value");
        QTest::addColumn<QStringList>("boxes");
        QTest::addColumn<QString>("status");
        const QString failed = QStringLiteral("Не удалось прочитать данные из EEPROM ПЭП.");
        QTest::newRow("erased transducer") << -1 << 0 << QStringList{kCrcWarning} << QString();
        QTest::newRow("damaged reply") << int(CVirtualGauge::FaultBadCrc) << -1
                                       << QStringList{kCrcDamaged, failed} << QString();
        QTest::newRow("status 0x80")
            << int(CVirtualGauge::FaultStatus) << 0x80 << QStringList{failed}
            << QStringLiteral("ОШИБКА: получен не ожидаемый ответ.\r\n");
        QTest::newRow("declared length 100")
            << int(CVirtualGauge::FaultDeclaredLength) << 100 << QStringList{failed}
            << QStringLiteral("ОШИБКА: получен не ожидаемый ответ.\r\n");
    }
    void readFailures()
    {
        QFETCH(int, kind);
        QFETCH(int, value);
        if (kind < 0)
            m_rig.gauge->SetEeprom(QByteArray(128, char(0xFF)));
        else
            m_rig.gauge->InjectFault(CVirtualGauge::FaultKind(kind), 0x02, -1, value);
        E()->PEPName->setText(QStringLiteral("KEEP"));
        m_editor->ReadDataFromEEPROM();
        QVERIFY(WaitIdle());
        QTEST(m_prompts.Messages(), "boxes");
        QCOMPARE(m_prompts.records.last().icon, CUserPrompts::IconCritical);
        QFETCH(QString, status);
        if (!status.isEmpty())
            QVERIFY(m_statuses.contains(status));
        // The form keeps its content.
        QCOMPARE(E()->PEPName->text(), QStringLiteral("KEEP"));
        QCOMPARE(E()->PEPType->currentText(), QStringLiteral("Н/Д"));
    }

    void workedImageWrittenAndReadBack()
    {
        FillWorkedForm();
        E()->AllowWriteToEEPROMCheck->setChecked(true);
        m_editor->WriteDataToEEPROM();
        QVERIFY(WaitIdle());
        QCOMPARE(m_prompts.Messages(), QStringList{"Данные успешно записаны в EEPROM ПЭП."});
        QCOMPARE(m_prompts.records.last().icon, CUserPrompts::IconInformation);
        // The tick allowed one write: a second one is gated again.
        QVERIFY(!E()->AllowWriteToEEPROMCheck->isChecked());
        const qsizetype exchanges = m_rig.gauge->RequestLog().size();
        m_prompts.Clear();
        m_editor->WriteDataToEEPROM();
        QVERIFY(WaitIdle());
        QCOMPARE(m_prompts.Messages(),
                 QStringList{"Запись в EEPROM ПЭП не разрешена: установите флажок \"Запись в "
                             "EEPROM\" и повторите попытку."});
        QCOMPARE(m_rig.gauge->RequestLog().size(), exchanges);

        // Identification, then sixteen blocks of eight bytes at offsets 0..120.
        const QList<CVirtualGauge::Request> log = m_rig.gauge->RequestLog();
        QCOMPARE(log.size(), 17);
        const QByteArray image = m_rig.gauge->Eeprom();
        for (int i = 0; i < 16; ++i)
        {
            QCOMPARE(int(log.at(i + 1).code), 0x03);
            QCOMPARE(log.at(i + 1).payload, QByteArray(1, char(8 * i)) + image.mid(8 * i, 8));
        }
        QCOMPARE(image.left(8), QByteArray("ABCDEFGH"));
        QCOMPARE(int(Word(image, 8)), (1 << 14) | (2 << 7) | 1);
        QCOMPARE(int(quint8(image[10])), 50);
        QCOMPARE(int(Word(image, 11)), 1200);
        QCOMPARE(int(Word(image, 13)), 250);
        QCOMPARE(int(quint8(image[15])), 5);
        QCOMPARE(int(Word(image, 16)), 1000);
        QCOMPARE(image.mid(18, 4), QByteArray("\x6C\xC1\x0B\x00", 4));
        QCOMPARE(int(Word(image, 122)), (17 << 11) | (5 << 7) | 24);
        QCOMPARE(int(Word(image, 124)), (3 << 11) | (2 << 7) | 26);
        QCOMPARE(image, WithCrc(image));
        // V-path entries of empty columns keep the FF bytes of the fresh buffer.
        QCOMPARE(image.mid(22, 100), QByteArray(100, char(0xFF)));

        m_editor->ClearForm();
        QVERIFY(!E()->AllowWriteToEEPROMCheck->isChecked());
        QCOMPARE(E()->PEPMaterialType->currentText(), QStringLiteral("Н/Д"));
        m_editor->ReadDataFromEEPROM();
        QVERIFY(WaitIdle());
        QCOMPARE(E()->PEPName->text(), QStringLiteral("ABCDEFGH"));
        QCOMPARE(E()->PEPType->currentText(), QStringLiteral("ПС"));
        QCOMPARE(E()->PEPMeasurementMode->currentText(), QStringLiteral("Тип 3/Э1-Э2"));
        QCOMPARE(E()->PEPMaterialType->currentText(), QStringLiteral("П (пластик/полимер)"));
        QCOMPARE(E()->PEPFrequency->text(), QStringLiteral("5.0"));
        QCOMPARE(E()->PEPDelay->text(), QStringLiteral("1200"));
        QCOMPARE(E()->PEPRangeFrom->value(), 0.5);
        QCOMPARE(E()->PEPRangeTo->value(), 100.0);
        QCOMPARE(E()->PEPRevisionDate->date(), QDate(2026, 2, 3));
    }

    void clearedFormWritesNotGiven()
    {
        m_editor->ClearForm();
        E()->AllowWriteToEEPROMCheck->setChecked(true);
        m_editor->WriteDataToEEPROM();
        QVERIFY(WaitIdle());
        QCOMPARE(int(Word(m_rig.gauge->Eeprom(), 8)), 0xBFFF);
    }

    void writeAfterStartWithOneVPathColumn()
    {
        SetCell(0, 0, QStringLiteral("5.0"));
        SetCell(1, 0, QStringLiteral("5.05"));
        SetCell(2, 0, QStringLiteral("0.05"));
        SetCell(0, 1, QStringLiteral("7.0")); // incomplete column: not written
        SetCell(1, 1, QStringLiteral("7.1"));
        SetCell(2, 1, QString());
        E()->AllowWriteToEEPROMCheck->setChecked(true);
        m_editor->WriteDataToEEPROM();
        QVERIFY(WaitIdle());
        const QByteArray image = m_rig.gauge->Eeprom();
        float measured, error;
        std::memcpy(&measured, image.constData() + 24, 4);
        std::memcpy(&error, image.constData() + 28, 4);
        QCOMPARE(int(Word(image, 22)), 50);
        QCOMPARE(measured, 5.05f);
        QCOMPARE(error, 0.05f);
        QCOMPARE(image.mid(32, 90), QByteArray(90, char(0xFF)));

        m_editor->ReadDataFromEEPROM();
        QVERIFY(WaitIdle());
        QCOMPARE(m_prompts.Messages().size(), 1);
        QCOMPARE(Cell(0, 0), QStringLiteral("5.0"));
        QCOMPARE(Cell(1, 0), QStringLiteral("5.05"));
        for (int k = 1; k < 10; ++k)
        {
            QCOMPARE(Cell(0, k), QStringLiteral("6553.5"));
            QCOMPARE(Cell(1, k), QStringLiteral("nan"));
            QCOMPARE(Cell(2, k), QStringLiteral("nan"));
        }
    }

    void byteOverflowRefused_data()
    {
        QTest::addColumn<bool>("file");
        QTest::addColumn<QString>("frequency");
        QTest::addColumn<double>("from");
        QTest::addColumn<QString>("message");
        const QString freq =
            QStringLiteral("Значение поля \"Частота, МГц\" не может быть записано в "
                           "ПЭП: допустимы значения от 0.0 до 25.4.");
        const QString range = QStringLiteral("Нижняя граница поля \"Диапазон, мм\" не может быть "
                                             "записана в ПЭП: допустимы значения от 0.0 до 25.4.");
        QTest::newRow("frequency 25.5, transducer") << false << "25.5" << 1.0 << freq;
        QTest::newRow("frequency 25.5, file") << true << "25.5" << 1.0 << freq;
        QTest::newRow("range from 25.5, transducer") << false << "5.0" << 25.5 << range;
        QTest::newRow("range from 100.0, file") << true << "5.0" << 100.0 << range;
    }
    void byteOverflowRefused()
    {
        QFETCH(bool, file);
        QFETCH(QString, frequency);
        QFETCH(double, from);
        E()->WorkWithFileCheck->setChecked(file);
        E()->AllowWriteToEEPROMCheck->setChecked(true);
        E()->PEPFrequency->setText(frequency);
        E()->PEPRangeFrom->setValue(from);
        E()->PEPRangeTo->setValue(200.0);
        const QByteArray before = m_rig.gauge->Eeprom();
        m_editor->WriteDataToEEPROM();
        QVERIFY(WaitIdle());
        QFETCH(QString, message);
        QCOMPARE(m_prompts.Messages(), QStringList{message});
        QCOMPARE(m_prompts.records.size(), 1); // no file dialog either
        QCOMPARE(m_prompts.records.last().icon, CUserPrompts::IconWarning);
        QVERIFY(Codes().isEmpty());
        QCOMPARE(m_rig.gauge->Eeprom(), before);
        QCOMPARE(CPEPImage::ToBytes(m_editor->Image()), QByteArray(128, char(0xFF)));
    }

    void writeGate()
    {
        const QString gate = QStringLiteral("Запись в EEPROM ПЭП не разрешена: установите флажок "
                                            "\"Запись в EEPROM\" и повторите попытку.");
        m_editor->WriteDataToEEPROM();
        QVERIFY(WaitIdle());
        QCOMPARE(m_prompts.Messages(), QStringList{gate});
        QCOMPARE(m_prompts.records.last().icon, CUserPrompts::IconWarning);
        QVERIFY(Codes().isEmpty());

        // Writing to a file is not gated.
        const QString path = m_dir->filePath(QStringLiteral("gate.pep"));
        m_prompts.Clear();
        m_prompts.fileNames.enqueue(path);
        E()->WorkWithFileCheck->setChecked(true);
        E()->PEPName->setText(QStringLiteral("FILE"));
        m_editor->WriteDataToEEPROM();
        QCOMPARE(m_prompts.Messages(), QStringList{"Данные успешно сохранены в файл."});
        const CScriptedPrompts::Record& save = m_prompts.records.first();
        QCOMPARE(save.kind, QStringLiteral("save"));
        QCOMPARE(save.title, QStringLiteral("Сохранить файл"));
        QCOMPARE(save.dir, QDir::toNativeSeparators(QDir::homePath() +
                                                    QStringLiteral("/Файл-образ EEPROM.pep")));
        QCOMPARE(save.filter, QStringLiteral("Файл-образ содержимого EEPROM ПЭП (*.pep)"));
        const QByteArray bytes = ReadAll(path);
        QCOMPARE(bytes.size(), 128);
        QCOMPARE(bytes.left(8), QByteArray("FILE\0\0\0\0", 8));
        QCOMPARE(bytes, WithCrc(bytes));
        QVERIFY(Codes().isEmpty());
    }

    void failedWriteToTransducer()
    {
        // The fourth block is refused: the write stops there.
        m_rig.gauge->InjectFault(CVirtualGauge::FaultStatus, 0x03, m_rig.gauge->ExchangeCount() + 4,
                                 0x01);
        E()->AllowWriteToEEPROMCheck->setChecked(true);
        m_editor->WriteDataToEEPROM();
        QVERIFY(WaitIdle());
        QCOMPARE(m_prompts.Messages(), QStringList{"Не удалось записать данные в EEPROM ПЭП."});
        QCOMPARE(m_prompts.records.last().icon, CUserPrompts::IconCritical);
        QVERIFY(m_statuses.contains(
            QStringLiteral("ОШИБКА записи, от устройства не получено подтверждение.")));
        QCOMPARE(Codes(), (QList<quint8>{0xAA, 0x03, 0x03, 0x03, 0x03}));
        // A failed write keeps the tick for the next attempt.
        QVERIFY(E()->AllowWriteToEEPROMCheck->isChecked());
    }

    void bufferIsTheWorkersWhileATaskRuns()
    {
        m_rig.gauge->InjectFault(CVirtualGauge::FaultDelay, 0x02, -1, 300);
        E()->AllowWriteToEEPROMCheck->setChecked(true);
        m_editor->ReadDataFromEEPROM();
        m_editor->WriteDataToEEPROM();
        E()->WorkWithFileCheck->setChecked(true);
        m_editor->ReadDataFromEEPROM();
        E()->WorkWithFileCheck->setChecked(false);
        const QString busy = QStringLiteral(
            "Идёт обмен данными с прибором. Дождитесь его завершения и повторите операцию.");
        QCOMPARE(m_prompts.Messages(), (QStringList{busy, busy}));
        QCOMPARE(m_prompts.records.size(), 2); // no file dialog
        QVERIFY(WaitIdle());
        QCOMPARE(m_prompts.Messages().size(), 2);
        QCOMPARE(E()->PEPName->text(), QStringLiteral("D1771"));
        QCOMPARE(Codes(), (QList<quint8>{0xAA, 0x02}));
        QCOMPARE(CPEPImage::ToBytes(m_editor->Image()), m_rig.gauge->Eeprom());
    }

    void pepFiles_data()
    {
        QTest::addColumn<bool>("readDeviceFirst");
        QTest::addColumn<int>("length");
        QTest::addColumn<bool>("shown");
        QTest::newRow("whole image") << false << 128 << true;
        QTest::newRow("short file over the fresh buffer") << false << 100 << false;
        QTest::newRow("short file over the same image") << true << 20 << true;
        QTest::newRow("longer file: its first 128 bytes") << false << 300 << true;
    }
    void pepFiles()
    {
        QFETCH(bool, readDeviceFirst);
        QFETCH(int, length);
        QFETCH(bool, shown);
        if (readDeviceFirst)
        {
            m_editor->ReadDataFromEEPROM();
            QVERIFY(WaitIdle());
            E()->PEPName->setText(QStringLiteral("EDITED"));
            m_rig.gauge->ClearRequestLog();
        }
        const QByteArray image = m_rig.gauge->Eeprom();
        const QString path = m_dir->filePath(QStringLiteral("in.pep"));
        QVERIFY(WriteFile(path, (image + QByteArray(200, 'x')).left(length)));
        E()->WorkWithFileCheck->setChecked(true);
        m_prompts.fileNames.enqueue(path);
        m_editor->ReadDataFromEEPROM();
        const CScriptedPrompts::Record& open = m_prompts.records.first();
        QCOMPARE(open.kind, QStringLiteral("open"));
        QCOMPARE(open.title, QStringLiteral("Открыть файл"));
        QCOMPARE(open.filter, QStringLiteral("Файл-образ содержимого EEPROM ПЭП (*.pep)"));
        if (shown)
        {
            QCOMPARE(m_prompts.Messages(), QStringList());
            QCOMPARE(E()->PEPName->text(), QStringLiteral("D1771"));
        }
        else
        {
            QCOMPARE(m_prompts.Messages(), QStringList{kCrcWarning});
            QCOMPARE(E()->PEPName->text(), QString());
        }
        QVERIFY(Codes().isEmpty());
    }

    void pepFileNotReadable_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("missing") << "missing.pep";
        QTest::newRow("a directory") << ".";
    }
    void pepFileNotReadable()
    {
        QFETCH(QString, name);
        E()->WorkWithFileCheck->setChecked(true);
        m_prompts.fileNames.enqueue(m_dir->filePath(name));
        m_editor->ReadDataFromEEPROM();
        QCOMPARE(m_prompts.Messages(), QStringList{"Не удалось прочитать данные из файла."});
        QCOMPARE(m_prompts.records.last().icon, CUserPrompts::IconCritical);
    }

    void dateWordZeroKeepsTheDate()
    {
        QByteArray image = m_rig.gauge->Eeprom();
        image[122] = 0;
        image[123] = 0;
        image[124] = char(0xFF);
        image[125] = char(0xFF);
        const QString path = m_dir->filePath(QStringLiteral("dates.pep"));
        QVERIFY(WriteFile(path, WithCrc(image)));
        E()->PEPManufactoryDate->setDate(QDate(2020, 3, 4));
        E()->PEPRevisionDate->setDate(QDate(2021, 5, 6));
        E()->WorkWithFileCheck->setChecked(true);
        m_prompts.fileNames.enqueue(path);
        m_editor->ReadDataFromEEPROM();
        QCOMPARE(m_prompts.Messages(), QStringList());
        QCOMPARE(E()->PEPName->text(), QStringLiteral("D1771"));
        QCOMPARE(E()->PEPManufactoryDate->date(), QDate(2020, 3, 4));
        QCOMPARE(E()->PEPRevisionDate->date(), QDate(2021, 5, 6));
    }

    void pepSaveFailureKeepsTheOldFile()
    {
        const QString path = m_dir->filePath(QStringLiteral("old.pep"));
        QVERIFY(WriteFile(path, "previous"));
        E()->WorkWithFileCheck->setChecked(true);
        m_prompts.fileNames.enqueue(path);
        {
            CFileSizeLimit limit(64);
            m_editor->WriteDataToEEPROM();
        }
        QCOMPARE(m_prompts.Messages(), QStringList{"Не удалось записать данные в файл."});
        QCOMPARE(m_prompts.records.last().icon, CUserPrompts::IconCritical);
        QCOMPARE(ReadAll(path), QByteArray("previous"));
        QCOMPARE(FilesInDir(), QStringList{"old.pep"});
    }

    // --- transducer list ---

    void listForm()
    {
        QCOMPARE(m_list->windowTitle(), QStringLiteral("База ПЭП"));
        QCOMPARE(m_list->width(), 520);
        QCOMPARE(m_list->minimumWidth(), 520);
        QCOMPARE(m_list->maximumWidth(), 520);
        QCOMPARE(m_list->height(), 419);
        QCOMPARE(m_list->minimumHeight(), 292);
        QCOMPARE(m_list->maximumHeight(), 790);
        QCOMPARE(m_list->windowModality(), Qt::ApplicationModal);
        QCOMPARE(m_list->ui()->label->text(),
                 QStringLiteral("Для получения базы ПЭП нажмите \"Обновить\""));
        QCOMPARE(m_list->ui()->DownloadButton->text(), QStringLiteral("Обновить"));
        QCOMPARE(m_list->ui()->DownloadButton->iconSize(), QSize(24, 24));
        QCOMPARE(m_list->Model()->rowCount(), 0);
        QCOMPARE(m_list->Model()->headerData(5, Qt::Horizontal).toString(),
                 QStringLiteral("Серийный №"));
        QVERIFY(m_list->ui()->PEPListTable->verticalHeader()->isHidden());
        QCOMPARE(m_list->ui()->PEPListTable->editTriggers(), QAbstractItemView::NoEditTriggers);
    }

    void listRows()
    {
        PEPListRecord nan = ListRecord("NAN", 2, 50, 125, 5, 3000, 7, 0);
        for (int k = 0; k < 10; ++k)
            std::memset(nan.vpath + 10 * k + 2, 0xFF, 8);
        // Third entry empty, later ones filled; a windows-1251 name.
        PEPListRecord third =
            ListRecord("\xCF\xDD\xCF-1", 1, 65535, 4294967295u, 254, 65534, 4000000000u, 10);
        std::memset(third.vpath + 20, 0, 10);
        m_rig.gauge->SetTransducers({ListRecord("P112-5", 0, 50, 125, 5, 3000, 123456, 10),
                                     ListRecord("NOTGIVEN", 9, 25, 0, 0xFF, 0xFFFF, 0, 9), third,
                                     nan});
        m_list->DownloadPEPList();
        QVERIFY(WaitIdle());
        QCOMPARE(m_prompts.Messages(), QStringList());
        QCOMPARE(m_list->Model()->rowCount(), 4);
        QCOMPARE(ListRow(0), (QStringList{"P112-5", "РС", "5.0 МГц", "12.5 нс", "0.5 - 300.0 мм",
                                          "123456", "Да"}));
        QCOMPARE(ListRow(1),
                 (QStringList{"NOTGIVEN", "Н/Д", "2.5 МГц", "0.0 нс", "0.0 - — мм", "0", "Нет"}));
        QCOMPARE(ListRow(2), (QStringList{"ПЭП-1", "ПС", "6553.5 МГц", "429496729.5 нс",
                                          "25.4 - 6553.4 мм", "4000000000", "Нет"}));
        QCOMPARE(ListRow(3),
                 (QStringList{"NAN", "Н/Д", "5.0 МГц", "12.5 нс", "0.5 - 300.0 мм", "7", "Да"}));
        QCOMPARE(m_list->Model()->item(0, 5)->textAlignment(), Qt::AlignRight | Qt::AlignVCenter);
        QCOMPARE(m_list->Model()->item(0, 6)->textAlignment(), Qt::AlignRight | Qt::AlignVCenter);
        QCOMPARE(m_statuses.last(), QStringLiteral("Операция успешно выполнена."));
        QVERIFY(m_statuses.contains(QStringLiteral("Чтение списка ПЭП ... 4")));
    }

    void listStopsAfterSixteen()
    {
        QList<PEPListRecord> many;
        for (int i = 0; i < 20; ++i)
            many.append(
                ListRecord(qPrintable(QString("T%1").arg(i)), 0, 50, 10, 1, 2, quint32(i), 0));
        m_rig.gauge->SetTransducers(many);
        m_list->DownloadPEPList();
        QVERIFY(WaitIdle());
        QCOMPARE(m_list->Model()->rowCount(), 16);
        QCOMPARE(ListCell(15, 0), QStringLiteral("T15"));
        QCOMPARE(Codes().count(0x06), 16);
    }

    void emptyListAndFailure()
    {
        m_list->DownloadPEPList();
        QVERIFY(WaitIdle());
        QCOMPARE(m_list->Model()->rowCount(), 5);

        // A failed fetch keeps the rows.
        m_rig.gauge->InjectFault(CVirtualGauge::FaultBadCrc, 0x06, -1, -1, 1);
        m_list->DownloadPEPList();
        QVERIFY(WaitIdle());
        QCOMPARE(m_prompts.Messages(),
                 (QStringList{kCrcDamaged, "Не удалось получить список ПЭП из устройства."}));
        QCOMPARE(m_prompts.records.last().icon, CUserPrompts::IconCritical);
        QCOMPARE(m_list->Model()->rowCount(), 5);

        // A successful fetch of no records empties the table; the headers stay.
        m_prompts.Clear();
        m_rig.gauge->SetTransducers({});
        m_list->DownloadPEPList();
        QVERIFY(WaitIdle());
        QCOMPARE(m_prompts.Messages(), QStringList());
        QCOMPARE(m_list->Model()->rowCount(), 0);
        QCOMPARE(m_list->Model()->columnCount(), 7);
        QCOMPARE(m_list->Model()->headerData(6, Qt::Horizontal).toString(),
                 QStringLiteral("V-Path"));
    }

    // --- screenshot ---

    void screenshotForm()
    {
        QCOMPARE(m_shot->windowTitle(), QStringLiteral("Получние снимка экрана устройства"));
        QCOMPARE(m_shot->size(), QSize(420, 180));
        QCOMPARE(m_shot->minimumSize(), QSize(420, 180));
        QCOMPARE(m_shot->maximumSize(), QSize(420, 180));
        QCOMPARE(m_shot->ui()->TakeScreenshotButton->geometry(), QRect(280, 10, 131, 41));
        QCOMPARE(m_shot->ui()->SaveToFileButton->geometry(), QRect(280, 60, 131, 41));
        QCOMPARE(m_shot->ui()->ExitButton->geometry(), QRect(280, 130, 131, 41));
        QCOMPARE(m_shot->ui()->label->geometry(), QRect(10, 135, 261, 41));
        QCOMPARE(m_shot->ui()->label->text(),
                 QStringLiteral("Для получения снимка нажмите \"Получить\""));
        // An empty green display until the first read.
        const QImage picture = m_shot->RenderPicture();
        QCOMPARE(picture.size(), QSize(256, 128));
        QCOMPARE(DarkPixels(picture), 0);
        QCOMPARE(picture.pixel(0, 0), qRgb(147, 215, 19));
        QCOMPARE(picture.pixel(255, 127), qRgb(147, 215, 19));
    }

    void screenFromDevice_data()
    {
        QTest::addColumn<QByteArray>("screen");
        QTest::addColumn<int>("dark");
        QTest::addColumn<QPoint>("pixel"); // top-left of a dark 2 x 2 block
        QTest::newRow("all zero") << QByteArray(1024, 0) << 0 << QPoint();
        QTest::newRow("all FF") << QByteArray(1024, char(0xFF)) << 256 * 128 << QPoint(254, 126);
        QTest::newRow("byte 0 = 01")
            << QByteArray(1024, 0).replace(0, 1, "\x01") << 4 << QPoint(0, 0);
        QTest::newRow("byte 128 = 80")
            << QByteArray(1024, 0).replace(128, 1, "\x80") << 4 << QPoint(0, 30);
    }
    void screenFromDevice()
    {
        QFETCH(QByteArray, screen);
        QFETCH(int, dark);
        QFETCH(QPoint, pixel);
        m_rig.gauge->SetScreen(screen);
        m_shot->TakeScreenshotFromDevice();
        QVERIFY(WaitIdle());
        QCOMPARE(m_prompts.Messages(), QStringList());
        const QImage picture = m_shot->RenderPicture();
        QCOMPARE(DarkPixels(picture), dark);
        if (dark > 0)
            for (const QPoint d : {QPoint(0, 0), QPoint(1, 0), QPoint(0, 1), QPoint(1, 1)})
                QCOMPARE(picture.pixel(pixel + d), qRgb(0, 0, 0));
        // Offsets asked for, big-endian.
        QList<QByteArray> offsets;
        for (const CVirtualGauge::Request& r : m_rig.gauge->RequestLog())
            if (r.code == 0x0A)
                offsets.append(r.payload);
        QCOMPARE(offsets.size(), 8);
        QCOMPARE(offsets.at(2), QByteArray("\x01\x00", 2));
        QCOMPARE(offsets.at(7), QByteArray("\x03\x80", 2));
    }

    void screenFailureInTheMiddle()
    {
        m_rig.gauge->SetScreen(QByteArray(1024, char(0xFF)));
        // The identification comes first; block 3 is the fourth exchange after it.
        m_rig.gauge->InjectFault(CVirtualGauge::FaultBadCrc, 0x0A,
                                 m_rig.gauge->ExchangeCount() + 4);
        m_shot->TakeScreenshotFromDevice();
        QVERIFY(WaitIdle());
        QCOMPARE(m_prompts.Messages(),
                 (QStringList{kCrcDamaged, "Не удалось получить снимок экрана."}));
        QCOMPARE(m_prompts.records.last().icon, CUserPrompts::IconCritical);
        QCOMPARE(Codes().count(0x0A), 8);                 // the blocks after the failed one too
        QCOMPARE(DarkPixels(m_shot->RenderPicture()), 0); // the previous picture
        QCOMPARE(m_shot->ui()->label->text(),
                 QStringLiteral("Снимок не обновлён: экран прибора получен не полностью."));

        m_prompts.Clear();
        m_shot->TakeScreenshotFromDevice();
        QVERIFY(WaitIdle());
        QCOMPARE(m_prompts.Messages(), QStringList());
        QCOMPARE(DarkPixels(m_shot->RenderPicture()), 256 * 128);
        QCOMPARE(m_shot->ui()->label->text(),
                 QStringLiteral("Для получения снимка нажмите \"Получить\""));
    }

    void saveScreenshot_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("magic");
        QTest::newRow("bmp") << "shot.bmp" << QByteArray("BM");
        QTest::newRow("any other extension: BMP") << "shot.jpg" << QByteArray("BM");
        QTest::newRow("png") << "shot.png" << QByteArray("\x89PNG\r\n\x1A\n");
    }
    void saveScreenshot()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, magic);
        m_rig.gauge->SetScreen(QByteArray(1024, 0).replace(0, 1, "\x01").replace(1023, 1, "\x80"));
        m_shot->TakeScreenshotFromDevice();
        QVERIFY(WaitIdle());
        const QString path = m_dir->filePath(name);
        m_prompts.fileNames.enqueue(path);
        m_shot->SaveScreenshotToFile();
        QCOMPARE(m_prompts.Messages(), QStringList{"Снимок экрана успешно сохранён."});
        const CScriptedPrompts::Record& save = m_prompts.records.first();
        QCOMPARE(save.title, QStringLiteral("Сохранить файл"));
        QCOMPARE(save.dir,
                 QDir::toNativeSeparators(QDir::homePath() + QStringLiteral("/untitled.bmp")));
        QVERIFY(save.filter.startsWith(QStringLiteral("Точечные рисунки (*.bmp)")));

        const QByteArray bytes = ReadAll(path);
        QVERIFY(bytes.startsWith(magic));
        if (magic == "BM")
        {
            // Uncompressed 24-bit, bottom row first.
            QVERIFY(IsPlainBmp256x128(bytes));
            const int top = 54 + 127 * 768;
            QCOMPARE(bytes.mid(top, 6), QByteArray(6, 0));                  // 2 dark pixels
            QCOMPARE(bytes.mid(top + 6, 3), QByteArray("\x13\xD7\x93", 3)); // B, G, R of green
            QCOMPARE(bytes.mid(54 + 254 * 3, 6), QByteArray(6, 0));         // bottom right
        }
        const QImage image(path, magic == "BM" ? "bmp" : "png");
        QCOMPARE(image.size(), QSize(256, 128));
        QCOMPARE(DarkPixels(image), 8);
        QCOMPARE(image.pixel(1, 1), qRgb(0, 0, 0));
        QCOMPARE(image.pixel(2, 0), qRgb(147, 215, 19));
        QCOMPARE(image.pixel(255, 127), qRgb(0, 0, 0));
    }

    void saveScreenshotFailures()
    {
        const QString path = m_dir->filePath(QStringLiteral("old.bmp"));
        QVERIFY(WriteFile(path, "previous picture"));
        m_prompts.fileNames.enqueue(path);
        {
            CFileSizeLimit limit(4096);
            m_shot->SaveScreenshotToFile();
        }
        QCOMPARE(m_prompts.Messages().size(), 1);
        QVERIFY(m_prompts.Messages().first().contains(path));
        QCOMPARE(m_prompts.records.last().icon, CUserPrompts::IconCritical);
        QCOMPARE(ReadAll(path), QByteArray("previous picture"));
        QCOMPARE(FilesInDir(), QStringList{"old.bmp"});

        // A directory in the way is refused; a cancelled dialog does nothing.
        m_prompts.Clear();
        m_prompts.fileNames.enqueue(m_dir->path());
        m_shot->SaveScreenshotToFile();
        QCOMPARE(m_prompts.Messages().size(), 1);
        m_prompts.Clear();
        m_shot->SaveScreenshotToFile();
        QCOMPARE(m_prompts.Messages(), QStringList());
    }

    // --- the main window's entries ---

    void mainWindowShowsTheDialogs()
    {
        g_App.extras = 1;
        CKorvalent window;
        g_App.pMainWindow = &window;
        window.ui()->action_show_pep_list_dialog->trigger();
        window.ui()->action_show_screenshot_maker_dialog->trigger();
        window.ui()->action_show_pep_params_editor_dialog->trigger();
        QVERIFY(window.PEPList()->isVisible());
        QVERIFY(window.ScreenshotDialog()->isVisible());
        QVERIFY(window.PEPEditor()->isVisible());
        // Its documents folder is where the files go by default.
        window.SetDocumentsDir(m_dir->path());
        window.PEPEditor()->ui()->WorkWithFileCheck->setChecked(true);
        window.PEPEditor()->ReadDataFromEEPROM();
        QCOMPARE(
            m_prompts.records.last().dir,
            QDir::toNativeSeparators(m_dir->path() + QStringLiteral("/Файл-образ EEPROM.pep")));
        window.PEPList()->close();
        window.ScreenshotDialog()->close();
        window.PEPEditor()->close();
        g_App.pMainWindow = nullptr;
        g_App.extras = 0;
    }
};

QTEST_MAIN(TestPepDialogs)
#include "tst_pep_dialogs.moc"
