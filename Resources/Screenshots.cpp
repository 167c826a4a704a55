// Makes the manual's pictures: runs the window on the demo gauge, opens each
// tab and dialog in turn and saves what it shows, window content only.
// Usage: korvalent-screenshots OUTDIR DATABASE.kdb (scripts/screenshots runs
// it under a virtual display with the demo database).

#include "analysis/CAnalysisView.h"
#include "analysis/CHistoryView.h"
#include "analysis/CObjectHistory.h"
#include "archive/CDemoArchive.h"
#include "app/CKorvalent.h"
#include "app/KorvalentMain.h"
#include "core/CUserPrompts.h"
#include "device/CDeviceSelectorDialog.h"
#include "report/CReportPreviewWindow.h"
#include "tools/CAboutDialog.h"
#include "tools/CDeviceScreenshotDialog.h"
#include "tools/CMaterialsEditorDialog.h"
#include "tools/CPEPListDialog.h"
#include "tools/CPEPParamsEditorDialog.h"
#include "ui_CKorvalent.h"

#include <QApplication>
#include <QDialog>
#include <QImageWriter>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QStandardItemModel>
#include <QTabWidget>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <functional>

namespace
{
QString g_outDir;

// Answers the one choice the pictures need (the earlier survey offered
// first) and passes everything else on.
class CPickFirstPrompts : public CUserPrompts
{
public:
    explicit CPickFirstPrompts(CUserPrompts& next) : m_next(next) {}
    Button Ask(QObject* p, Icon i, const QString& t, const QString& x, const QString& inf, int b,
               const QMap<Button, QString>& l = {}, Button d = NoButton) override
    {
        return m_next.Ask(p, i, t, x, inf, b, l, d);
    }
    QString OpenFileName(QObject* p, const QString& c, const QString& d, const QString& f) override
    {
        return m_next.OpenFileName(p, c, d, f);
    }
    QString SaveFileName(QObject* p, const QString& c, const QString& d, const QString& f) override
    {
        return m_next.SaveFileName(p, c, d, f);
    }
    QString ExistingDirectory(QObject* p, const QString& c, const QString& d) override
    {
        return m_next.ExistingDirectory(p, c, d);
    }
    // Messages would stop the run; they go to stderr.
    void Message(QObject*, Icon, const QString&, const QString& x) override
    {
        qWarning("%s", qPrintable(x));
    }
    int ChooseItem(QObject*, const QString&, const QString&, const QStringList&,
                   int current) override
    {
        return current;
    }

private:
    CUserPrompts& m_next;
};

void Save(QWidget* widget, const QString& name)
{
    QImageWriter writer(g_outDir + QLatin1Char('/') + name + QStringLiteral(".png"), "png");
    writer.setQuality(0); // smallest file
    if (!writer.write(widget->grab().toImage()))
        qWarning("%s: %s", qPrintable(name), qPrintable(writer.errorString()));
}

// Runs the steps one after another, each a second after the one before, so
// that the device link and the layout have settled.
void RunSteps(QList<std::function<void()>> steps)
{
    if (steps.isEmpty())
    {
        QTimer::singleShot(3000, &QApplication::quit);
        return;
    }
    QTimer::singleShot(3000,
                       [steps]() mutable
                       {
                           steps.takeFirst()();
                           RunSteps(steps);
                       });
}

// One dialog: opened by its slot, filled from the gauge by its button named
// `press` (when given), saved, closed.
std::function<void()> Dialog(CKorvalent* w, void (CKorvalent::*show)(),
                             QWidget* (*find)(CKorvalent*), const QString& name,
                             const QString& press = QString())
{
    return [=]
    {
        (w->*show)();
        QWidget* d = find(w);
        if (!press.isEmpty())
            for (QPushButton* button : d->findChildren<QPushButton*>())
                if (button->text().trimmed() == press)
                    button->click();
        QTimer::singleShot(2500,
                           [=]
                           {
                               Save(d, name);
                               d->close();
                           });
    };
}
// One modal dialog: opened by `open` (which returns when it closes), saved
// and cancelled once it has settled.
std::function<void()> ModalDialog(std::function<void()> open, const QString& name)
{
    return [=]
    {
        QTimer::singleShot(2500,
                           [=]
                           {
                               if (auto* d =
                                       qobject_cast<QDialog*>(QApplication::activeModalWidget()))
                               {
                                   Save(d, name);
                                   d->reject();
                               }
                               else
                                   qWarning("%s: no dialog", qPrintable(name));
                           });
        open();
    };
}
} // namespace

int main(int argc, char** argv)
{
    if (argc < 3)
    {
        std::fprintf(stderr, "Usage: korvalent-screenshots OUTDIR DATABASE.kdb\n");
        return 2;
    }
    g_outDir = QString::fromLocal8Bit(argv[1]);
    // The window's own arguments: the demo gauge, the extras, the database.
    char demo[] = "-demo";
    char extras[] = "-extras";
    char* args[] = {argv[0], demo, extras, argv[2], nullptr};
    int count = 4;
    std::unique_ptr<CPickFirstPrompts> prompts;
    return KorvalentMain(
        count, args,
        [&prompts](QWidget* window)
        {
            auto* w = static_cast<CKorvalent*>(window);
            prompts = std::make_unique<CPickFirstPrompts>(UserPrompts());
            SetUserPrompts(prompts.get());
            w->showNormal();
            w->resize(1024, 768);
            QTabWidget* tabs = w->ui()->mainTabWidget;
            QList<std::function<void()>> steps;
            steps << [=]
            {
                tabs->setCurrentIndex(0);
                // The last file: this year's survey of the line the analysis
                // compares.
                w->ui()->ResultFilesTable->selectRow(w->FilesModel()->rowCount() - 1);
            };
            steps << [=] { Save(w, QStringLiteral("data")); };
            steps << [=]
            {
                tabs->setCurrentIndex(tabs->count() - 1);
                auto* required = w->AnalysisView()->findChild<QLineEdit*>(
                    QStringLiteral("RequiredThicknessEdit"));
                required->clear();
                QTest::keyClicks(required, QStringLiteral("8"));
                required->editingFinished();
                w->AnalysisView()->OnComparePickLoaded();
            };
            steps << [=] { Save(w, QStringLiteral("analysis")); };
            steps << [=]
            {
                // The demo archive's object, 8 mm required, the location with
                // the shortest remaining life chosen.
                w->AnalysisView()->SetMode(CAnalysisView::HistoryMode);
                CHistoryView* history = w->AnalysisView()->History();
                history->ChooseObject(CDemoArchive::ObjectName());
                auto* required =
                    history->findChild<QLineEdit*>(QStringLiteral("HistoryRequiredEdit"));
                required->clear();
                QTest::keyClicks(required, QStringLiteral("8"));
                required->editingFinished();
                if (history->History())
                    history->SelectLocation(history->History()->GetSummary().governingLocation);
            };
            steps << [=] { Save(w, QStringLiteral("history")); };
            steps << [=] { w->AnalysisView()->SetMode(CAnalysisView::ComparisonMode); };
            steps << [=]
            {
                tabs->setCurrentIndex(1);
                w->ui()->reportTabWidget->setCurrentIndex(0);
            };
            steps << [=] { Save(w, QStringLiteral("report")); };
            steps << [=] { w->ui()->reportTabWidget->setCurrentIndex(2); };
            steps << [=] { Save(w, QStringLiteral("report-conclusion")); };
            steps << [=] { w->ui()->action_report_preview->trigger(); };
            steps << [=]
            {
                QWidget* preview = w->ReportPreview();
                Save(preview, QStringLiteral("report-preview"));
                preview->close();
            };
            steps << ModalDialog([=] { w->OnArchiveBrowse(); }, QStringLiteral("archive-browser"));
            steps << ModalDialog([=] { w->OnArchiveChooseLocation(); },
                                 QStringLiteral("archive-location"));
            steps << Dialog(
                w, &CKorvalent::ShowDeviceSelectorDialog,
                [](CKorvalent* k) -> QWidget* { return k->DeviceSelector(); },
                QStringLiteral("device-selector"), QStringLiteral("Обновить"));
            steps << Dialog(
                w, &CKorvalent::ShowMaterialsEditorDialog,
                [](CKorvalent* k) -> QWidget* { return k->MaterialsEditor(); },
                QStringLiteral("materials-editor"), QStringLiteral("Получить"));
            steps << Dialog(
                w, &CKorvalent::ShowPEPListDialog,
                [](CKorvalent* k) -> QWidget* { return k->PEPList(); }, QStringLiteral("pep-list"),
                QStringLiteral("Обновить"));
            steps << Dialog(
                w, &CKorvalent::ShowDeviceScreenshotDialog,
                [](CKorvalent* k) -> QWidget* { return k->ScreenshotDialog(); },
                QStringLiteral("device-screenshot"), QStringLiteral("Получить"));
            steps << Dialog(
                w, &CKorvalent::ShowAboutDialog,
                [](CKorvalent* k) -> QWidget* { return k->AboutDialog(); },
                QStringLiteral("about"));
            steps << Dialog(
                w, &CKorvalent::ShowPEPEditorDialog,
                [](CKorvalent* k) -> QWidget* { return k->PEPEditor(); },
                QStringLiteral("pep-editor"));
            RunSteps(steps);
        });
}
