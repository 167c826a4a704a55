#include "tests/device/DeviceTestHarness.h"

#include "app/CKorvalent.h"
#include "device/CDeviceSelectorDialog.h"
#include "device/CPortEnumerator.h"

#include "ui_CDeviceSelectorDialog.h"

#include <QLabel>
#include <QStandardItemModel>
#include <QtTest>

namespace
{
QStringList Row(QStandardItemModel* model, int row)
{
    QStringList texts;
    for (int c = 0; c < model->columnCount(); ++c)
        texts << (model->item(row, c) ? model->item(row, c)->text() : QString());
    return texts;
}
} // namespace

class TestDeviceSelector : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        m_env.reset(new CTestEnvironment);
        CPortEnumerator::SetSystemPortsEnabled(false);
    }
    void init() { CPortEnumerator::ClearExtraPorts(); }

    void initialState()
    {
        CDeviceHarness h;
        CDeviceSelectorDialog dialog;
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Выбор активного QM-3RX устройства"));
        QCOMPARE(dialog.size(), QSize(360, 240));
        QCOMPARE(dialog.ui()->StatusTextLabel->text(),
                 QStringLiteral("Нажмите \"Обновить\" для получения списка устройств"));
        QCOMPARE(dialog.Model()->columnCount(), 3);
        QCOMPARE(dialog.Model()->headerData(0, Qt::Horizontal).toString(),
                 QStringLiteral("Устройство"));
        QCOMPARE(dialog.Model()->headerData(1, Qt::Horizontal).toString(),
                 QStringLiteral("Серийный №"));
        QCOMPARE(dialog.Model()->headerData(2, Qt::Horizontal).toString(), QStringLiteral("Порт"));
        QCOMPARE(dialog.windowModality(), Qt::ApplicationModal);
        QCOMPARE(dialog.minimumSize(), dialog.maximumSize());
        QVERIFY(!dialog.windowIcon().pixmap(16).isNull());

        const auto* ui = dialog.ui();
        QCOMPARE(ui->RefreshButton->text(), QStringLiteral("Обновить"));
        QCOMPARE(ui->RefreshButton->toolTip(), QStringLiteral("Обновить список устройств"));
        QVERIFY(!ui->RefreshButton->icon().pixmap(16).isNull());
        QCOMPARE(ui->ExitButton->text(), QStringLiteral("Выход"));
        QVERIFY(!ui->ExitButton->icon().pixmap(16).isNull());
        QVERIFY(ui->StatusTextLabel->wordWrap());
        QCOMPARE(ui->StatusTextLabel->alignment(), Qt::AlignHCenter | Qt::AlignTop);
        QCOMPARE(ui->DeviceListTable->editTriggers(), QAbstractItemView::NoEditTriggers);
        QVERIFY(ui->DeviceListTable->alternatingRowColors());
        QCOMPARE(ui->DeviceListTable->selectionBehavior(), QAbstractItemView::SelectRows);
        QCOMPARE(ui->DeviceListTable->model(), dialog.Model());

        // Exit only hides the dialog, which keeps its state.
        dialog.show();
        ui->ExitButton->click();
        QVERIFY(dialog.isHidden());
    }

    void noPortsWarns()
    {
        CDeviceHarness h;
        CDeviceSelectorDialog dialog;
        dialog.RefreshDevicesList();
        QCOMPARE(h.prompts.records.size(), 1);
        QCOMPARE(h.prompts.records.first().icon, CUserPrompts::IconWarning);
        QCOMPARE(h.prompts.records.first().parent, &dialog);
        QCOMPARE(h.prompts.records.first().text,
                 QStringLiteral("Не найдены устройства QM-3RX!\nПроверьте правильность "
                                "подключения устройств(а) к порту USB и повторите попытку."));
        QCOMPARE(dialog.Model()->rowCount(), 0);
    }

    void chainOverTwoGaugesThenAccept()
    {
        auto first = StartGauge();
        first->SetSerialNumber(4711);
        auto second = StartGauge();
        second->SetName(QStringLiteral("QM-3RL"));
        second->SetSerialNumber(26031742);
        CPortEnumerator::AddExtraPort(QStringLiteral("gauge A"), first->PortPath());
        CPortEnumerator::AddExtraPort(QStringLiteral("gauge B"), second->PortPath());

        CDeviceHarness h;
        CKorvalent window;
        g_App.pMainWindow = &window;
        struct Reset
        {
            ~Reset() { g_App.pMainWindow = nullptr; }
        } reset;
        CDeviceSelectorDialog dialog;
        dialog.RefreshDevicesList();
        QVERIFY(dialog.IsRefreshing());
        QTRY_COMPARE_WITH_TIMEOUT(dialog.Model()->rowCount(), 2, 10000);
        QVERIFY(!dialog.IsRefreshing());
        QCOMPARE(Row(dialog.Model(), 0),
                 QStringList({QStringLiteral("QM-3RX"), QStringLiteral("00004711"),
                              QStringLiteral("gauge A")}));
        QCOMPARE(Row(dialog.Model(), 1),
                 QStringList({QStringLiteral("QM-3RL"), QStringLiteral("26031742"),
                              QStringLiteral("gauge B")}));
        QCOMPARE(dialog.ui()->StatusTextLabel->text(),
                 QStringLiteral("Выберите нужное устройство из списка."));
        QCOMPARE(first->RequestCodes(), QList<quint8>{0xAA});
        QCOMPARE(second->RequestCodes(), QList<quint8>{0xAA});

        // A click on the second column accepts exactly like one on the first.
        dialog.AcceptDevice(dialog.Model()->index(1, 1));
        QCOMPARE(dialog.ui()->StatusTextLabel->text(),
                 QStringLiteral("Выбрано устройство: QM-3RL (26031742) gauge B"));
        QCOMPARE(h.settings->value(QStringLiteral("Device/Name")).toString(),
                 QStringLiteral("QM-3RL"));
        QCOMPARE(h.settings->value(QStringLiteral("Device/SerialNumber")).toString(),
                 QStringLiteral("26031742"));
        QCOMPARE(h.settings->value(QStringLiteral("Device/PortName")).toString(),
                 QStringLiteral("gauge B"));
        QCOMPARE(h.settings->value(QStringLiteral("Device/PortPath")).toString(),
                 second->PortPath());
        QCOMPARE(window.DeviceStatusLabel()->text(),
                 QStringLiteral("Устройство: QM-3RL, порт 'gauge B'"));

        // Every later task opens the accepted port.
        second->ClearRequestLog();
        QCOMPARE(h.Run(9, nullptr, 0), 0);
        QCOMPARE(second->RequestCodes(), QList<quint8>({0xAA, 0x01}));
        QVERIFY(h.statuses.contains(QStringLiteral("Устройство 'QM-3RL' обнаружено.")));
    }

    void silentPortStopsTheChain()
    {
        auto silent = StartGauge();
        silent->InjectFault(CVirtualGauge::FaultSilence, -1, -1, -1, -1);
        auto first = StartGauge();
        auto second = StartGauge();
        CPortEnumerator::AddExtraPort(QStringLiteral("gauge A"), first->PortPath());
        CPortEnumerator::AddExtraPort(QStringLiteral("adapter"), silent->PortPath());
        CPortEnumerator::AddExtraPort(QStringLiteral("gauge B"), second->PortPath());

        CDeviceHarness h;
        CDeviceSelectorDialog dialog;
        dialog.RefreshDevicesList();
        // While the chain runs a new refresh is refused and the list stays.
        dialog.RefreshDevicesList();
        QCOMPARE(h.statuses.last(),
                 QStringLiteral("Идёт поиск устройств, дождитесь его завершения."));
        QCOMPARE(h.manager->DeviceList().size(), 3);
        QTRY_VERIFY_WITH_TIMEOUT(!dialog.IsRefreshing(), 10000);
        QCOMPARE(dialog.Model()->rowCount(), 0);
        QCOMPARE(h.Boxes(), QStringList{QStringLiteral("ОШИБКА: устройство не отвечает.")});
        QCOMPARE(first->RequestCodes(), QList<quint8>{0xAA});
        QCOMPARE(second->ExchangeCount(), 0);
        QCOMPARE(h.manager->DeviceList().at(0)->SerialNumber,
                 QString::number(first->SerialNumber()));
        QCOMPARE(dialog.ui()->StatusTextLabel->text(),
                 QStringLiteral("Нажмите \"Обновить\" для получения списка устройств"));
    }

    // Another window's task owns the port: the search waits for it and
    // keeps the list the worker may be reading.
    void refreshRefusedWhileAnotherTaskRuns()
    {
        auto gauge = StartGauge();
        gauge->InjectFault(CVirtualGauge::FaultDelay, 0x01, -1, 400);
        CPortEnumerator::AddExtraPort(QStringLiteral("gauge A"), gauge->PortPath());
        CDeviceHarness h;
        h.manager->SetReadTimeout(2000);
        h.SelectPort(gauge->PortPath());
        auto* kept = new DeviceInfo;
        kept->Name = QStringLiteral("kept");
        h.manager->DeviceList().append(kept);
        CDeviceSelectorDialog dialog;
        h.manager->StartTask(9, nullptr, 0, &h.recorder);
        dialog.RefreshDevicesList();
        QVERIFY(!dialog.IsRefreshing());
        QCOMPARE(h.statuses.last(), QStringLiteral("ОШИБКА: устройство занято выполнением другой "
                                                   "операции, повторите попытку позже."));
        QCOMPARE(h.manager->DeviceList().size(), 1);
        QCOMPARE(h.manager->DeviceList().first()->Name, QStringLiteral("kept"));
        QTRY_COMPARE(h.recorder.completions.size(), 1);
        QCOMPARE(h.recorder.completions.first().length, 0);
        QVERIFY(h.Boxes().isEmpty());
    }

private:
    std::unique_ptr<CTestEnvironment> m_env;
};

QTEST_MAIN(TestDeviceSelector)
#include "tst_deviceselector.moc"
