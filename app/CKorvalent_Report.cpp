#include "app/CKorvalent.h"

#include "ui_CKorvalent.h"
#include "ui_CReportPage.h"

#include "core/CClock.h"
#include "core/CSafeSave.h"
#include "core/CUserPrompts.h"
#include "data/CCellDecoder.h"
#include "data/CDataStorage.h"
#include "data/StatisticsRows.h"
#include "report/CReportData.h"
#include "report/CReportDocument.h"
#include "report/CReportFile.h"
#include "report/CReportMessages.h"
#include "report/CReportPreviewWindow.h"
#include "report/CReportPrinter.h"
#include "report/CReportTextDocument.h"

#include <QCoreApplication>
#include <algorithm>
#include <QDir>
#include <QLabel>
#include <QSettings>
#include <QShortcut>
#include <QStandardItemModel>

namespace
{
using Field = CReportData::Field;

QString Title()
{
    return QCoreApplication::applicationName();
}

const Qt::Alignment s_centred = Qt::AlignHCenter | Qt::AlignVCenter;

QString Today()
{
    return CClock::Today().toString(CReportData::DateFormat());
}

// What the preview page shows until a document is loaded into it.
QString PreviewPrompt()
{
    QString html = QStringLiteral("<html><body style=\"font-size:11pt\">");
    for (int i = 0; i < 12; ++i)
        html += QStringLiteral("<p align=\"center\"><br /></p>");
    html += QStringLiteral("<p align=\"center\">") +
            QCoreApplication::translate(
                "CKorvalent", "Нажмите &quot;Обновить&quot; для получения содержимого документа.") +
            QStringLiteral("</p></body></html>");
    return html;
}

// The widget of a report field: a line edit, a plain-text edit or a date edit.
QWidget* FieldWidget(const Ui::CReportPage* ui, Field field)
{
    switch (field)
    {
    case CReportData::ConclutionNumber:
        return ui->ConclutionNumberEdit;
    case CReportData::ConclutionDate:
        return ui->ConclutionDate;
    case CReportData::OrganizationName:
        return ui->OrganizationEdit;
    case CReportData::ObjectOfControl:
        return ui->ObjectOfControlEdit;
    case CReportData::ObjectDescription:
        return ui->ObjectDescriptionEdit;
    case CReportData::ReasonOfTesting:
        return ui->ReasonOfTestingEdit;
    case CReportData::ObjectOwner:
        return ui->ObjectOwnerEdit;
    case CReportData::OrganizationOperator:
        return ui->OperatorOrganizationEdit;
    case CReportData::StandardDocuments:
        return ui->StandardDocumentsEdit;
    case CReportData::DeviceDescription:
        return ui->DeviceDescriptionEdit;
    case CReportData::DeviceSerialNumber:
        return ui->DeviceSerialNumberEdit;
    case CReportData::PepDescription:
        return ui->PEPDescriptionEdit;
    case CReportData::PepSerialNumber:
        return ui->PEPSerialNumberEdit;
    case CReportData::MeasurementMethod:
        return ui->MeasurementMethodEdit;
    case CReportData::ReferenceDescription:
        return ui->ReferenceDescEdit;
    case CReportData::ContactLiquidDescription:
        return ui->ContactLiquidDescEdit;
    case CReportData::AccessCardNumber:
        return ui->AccessCardEdit;
    case CReportData::Conclusion:
        return ui->ConclutionEdit;
    case CReportData::Name1:
        return ui->AreaManagerNameEdit;
    case CReportData::Card1:
        return ui->ManagerAccessCardNumberEdit;
    case CReportData::CardDate1:
        return ui->ManagerAccessCardDateEdit;
    case CReportData::Level1:
        return ui->AreaManagerLevelEdit;
    case CReportData::Name2:
        return ui->ExecutionPersonNameEdit;
    case CReportData::Card2:
        return ui->ExecutionPersonAccessCardNumberEdit;
    case CReportData::CardDate2:
        return ui->ExecutionPersonAccessCardDateEdit;
    case CReportData::Level2:
        return ui->ExecutionPersonLevelEdit;
    case CReportData::Name3:
        return ui->ConclutionProviderNameEdit;
    case CReportData::Card3:
        return ui->ConclutionProviderAccessCardNumberEdit;
    case CReportData::CardDate3:
        return ui->ConclutionProviderAccessCardDateEdit;
    case CReportData::Level3:
        return ui->ConclutionProviderLevelEdit;
    case CReportData::FieldCount:
        break;
    }
    return nullptr;
}

QString WidgetText(QWidget* widget)
{
    if (auto* date = qobject_cast<QDateEdit*>(widget))
        return date->text();
    if (auto* plain = qobject_cast<QPlainTextEdit*>(widget))
        return plain->toPlainText();
    if (auto* line = qobject_cast<QLineEdit*>(widget))
        return line->text();
    return {};
}

// Report documents on screen load nothing from outside the program.
void UseReportDocument(QTextBrowser* browser)
{
    browser->setOpenLinks(false);
    browser->setDocument(new CReportTextDocument(browser));
}

// A browser that shows a generated report rather than the initial prompt.
bool HoldsReport(const QTextBrowser* browser)
{
    return !browser->document()->metaInformation(QTextDocument::DocumentTitle).isEmpty();
}

const char* const s_sourceLabelName = "ReportResultsSourceLabel";

void SetWidgetText(QWidget* widget, const QString& text)
{
    if (auto* date = qobject_cast<QDateEdit*>(widget))
    {
        // A text that is no date leaves the field as it is.
        const QDate value = QDate::fromString(text, CReportData::DateFormat());
        if (value.isValid())
            date->setDate(value);
    }
    else if (auto* plain = qobject_cast<QPlainTextEdit*>(widget))
    {
        plain->clear();
        plain->insertPlainText(text);
    }
    else if (auto* line = qobject_cast<QLineEdit*>(widget))
        line->setText(text); // cut to the field's own limit
}
} // namespace

void CKorvalent::ReportPreviewSetup(CReportPreviewWindow* preview)
{
    connect(preview, &CReportPreviewWindow::RefreshRequested, this,
            [this, preview]
            {
                OnReportDocumentRefresh();
                preview->HtmlFrame()->setHtml(m_reportDocument);
            });
    connect(preview, &CReportPreviewWindow::PrintRequested, this,
            [this, preview]
            {
                QTextBrowser* frame = preview->HtmlFrame();
                if (HoldsReport(frame) && ConfirmReportSource())
                {
                    OnReportDocumentRefresh();
                    frame->setHtml(m_reportDocument);
                }
                CReportPrinter::Print(frame->document(), preview);
            });
    // Esc closes the preview as it closes every dialog.
    auto* closePreview = new QShortcut(QKeySequence(Qt::Key_Escape), preview);
    connect(closePreview, &QShortcut::activated, preview, &QWidget::close);
}

Ui::CReportPage* CKorvalent::ReportPage() const
{
    if (!m_reportPageBuilt)
        const_cast<CKorvalent*>(this)->BuildReportPage();
    return m_ui;
}

void CKorvalent::ReportSetup()
{
    UseReportDocument(ReportPage()->ReportBrowser);
    ReportPage()->ReportBrowser->setHtml(PreviewPrompt());
    ReportPage()->ConclutionDate->setDate(CClock::Today());

    // The results page names the data file its results came from.
    auto* sourceLabel = new QLabel(ReportPage()->tab_3);
    sourceLabel->setObjectName(QLatin1String(s_sourceLabelName));
    sourceLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    ReportPage()->tab_3Layout->insertWidget(0, sourceLabel);
    SetReportSource(CReportSource());

    connect(ReportPage()->toolbutton_report_save_pdf, &QToolButton::clicked, this,
            &CKorvalent::OnReportSaveToPdf);
}

void CKorvalent::SetReportSource(const CReportSource& source)
{
    m_reportSource = source;
    m_reportSourceKeptWith = CReportSource();
    if (auto* label = ReportPage()->tab_3->findChild<QLabel*>(QLatin1String(s_sourceLabelName)))
        label->setText(!source.IsKnown() && m_reportResultsModel->rowCount() == 0
                           ? CReportMessages::NoResults()
                           : CReportMessages::ResultsSource(source.Name()));
}

bool CKorvalent::ConfirmReportSource()
{
    // The header's transducer comes from the selected data file: results of
    // another file under it are asked about before a document is made.
    if (!HasSelectedDataFile() || !m_reportSource.IsKnown())
        return false;
    const CReportSource selected = CReportSource::Of(m_dataFiles.at(m_nSelectedFile));
    if (m_reportSource.SameFileAs(selected) || m_reportSourceKeptWith == selected)
        return false;
    const CUserPrompts::Button answer =
        UserPrompts().Ask(this, CUserPrompts::IconQuestion, Title(),
                          CReportMessages::OtherDataFile(m_reportSource.Name(), selected.Name()),
                          QString(), CUserPrompts::Yes | CUserPrompts::No,
                          {{CUserPrompts::Yes, CReportMessages::FillFromSelected()},
                           {CUserPrompts::No, CReportMessages::KeepResults()}},
                          CUserPrompts::Yes);
    if (answer != CUserPrompts::Yes)
    {
        // Not asked again until the results or the selection change.
        m_reportSourceKeptWith = selected;
        return false;
    }
    OnReportResultsRefresh();
    return true;
}

bool CKorvalent::HasSelectedDataFile() const
{
    return m_nSelectedFile >= 0 && m_nSelectedFile < m_dataFiles.size();
}

void CKorvalent::RefreshDeviceFields(bool reportMissingFile)
{
    QSettings* settings = Settings();
    settings->beginGroup(QStringLiteral("Device"));
    ReportPage()->DeviceDescriptionEdit->setText(
        settings->value(QStringLiteral("Name")).toString());
    ReportPage()->DeviceSerialNumberEdit->setText(
        settings->value(QStringLiteral("SerialNumber")).toString());
    settings->endGroup();

    if (HasSelectedDataFile())
    {
        const DataFileRecord& file = m_dataFiles.at(m_nSelectedFile);
        if (!file.cells.isEmpty())
        {
            ReportPage()->PEPDescriptionEdit->setText(
                CCellDecoder::PepIdentText(file.cells.first()));
            ReportPage()->PEPSerialNumberEdit->setText(
                CCellDecoder::PepSerialText(file.cells.first()));
        }
        return;
    }
    if (reportMissingFile)
        UserPrompts().Critical(this, Title(), CReportMessages::NoDataFile());
    ReportPage()->PEPDescriptionEdit->setText(tr("Н/Д"));
    ReportPage()->PEPSerialNumberEdit->setText(tr("Н/Д"));
}

CReportData CKorvalent::ReadReport() const
{
    CReportData report;
    for (int f = 0; f < CReportData::FieldCount; ++f)
        report.SetText(Field(f), WidgetText(FieldWidget(ReportPage(), Field(f))));
    for (int row = 0; row < CReportData::kStatisticsRows; ++row)
        report.statistics[row] = m_reportStatsModel->index(row, 2).data().toString();
    for (int r = 0; r < m_reportResultsModel->rowCount(); ++r)
    {
        QStringList cells;
        for (int column = 0; column < m_reportResultsModel->columnCount(); ++column)
            cells << m_reportResultsModel->index(r, column).data().toString();
        report.rows.append(cells);
    }
    return report;
}

void CKorvalent::ShowReportFields(const CReportData& report)
{
    for (int f = 0; f < CReportData::FieldCount; ++f)
        SetWidgetText(FieldWidget(ReportPage(), Field(f)), report.Text(Field(f)));
}

void CKorvalent::ShowReportStatistics(const QStringList& values)
{
    for (int row = 0; row < CReportData::kStatisticsRows && row < values.size(); ++row)
    {
        auto* item = new QStandardItem(values.at(row));
        item->setTextAlignment(s_centred);
        m_reportStatsModel->setItem(row, 2, item);
        if (QStandardItem* symbol = m_reportStatsModel->item(row, 1))
            symbol->setTextAlignment(s_centred);
    }
    ReportPage()->ReportStatsTable->resizeColumnsToContents();
}

void CKorvalent::ShowReportRows(const QList<QStringList>& rows)
{
    m_reportResultsModel->removeRows(0, m_reportResultsModel->rowCount());
    // A loaded row split at a ";" inside a cell widens the table; the next
    // fill brings it back to its ten columns.
    int columns = CReportData::kResultColumns;
    for (const QStringList& cells : rows)
        columns = std::max(columns, int(cells.size()));
    m_reportResultsModel->setColumnCount(columns);
    m_reportResultsModel->setRowCount(int(rows.size()));
    for (int r = 0; r < rows.size(); ++r)
        for (int column = 0; column < rows.at(r).size(); ++column)
        {
            auto* item = new QStandardItem(rows.at(r).at(column));
            item->setTextAlignment(s_centred);
            m_reportResultsModel->setItem(r, column, item);
        }
    ReportPage()->ReportResultsTable->resizeColumnsToContents();
}

void CKorvalent::OnReportRefresh()
{
    switch (ReportPage()->reportTabWidget->currentIndex())
    {
    case 0:
        RefreshDeviceFields(true);
        break;
    case 1:
        OnReportResultsRefresh();
        break;
    case 3:
        OnReportDocumentRefresh();
        ReportPage()->ReportBrowser->setHtml(m_reportDocument);
        break;
    default:
        break;
    }
}

void CKorvalent::OnReportCreate()
{
    m_ui->mainTabWidget->setCurrentIndex(1);
    ReportPage()->reportTabWidget->setCurrentIndex(0);
}

void CKorvalent::OnReportSaveToFile()
{
    const QString path = UserPrompts().SaveFileName(
        this, CReportMessages::SaveCaption(), CReportMessages::DefaultName(m_documentsDir, Today()),
        CReportMessages::Filter());
    if (path.isEmpty())
        return;
    if (!CSafeSave::WriteBytes(path, CReportFile::Document(ReadReport())).Ok())
    {
        UserPrompts().Critical(this, Title(), CReportMessages::CreateFailed());
        return;
    }
    UserPrompts().Information(this, Title(), CReportMessages::Saved());
}

void CKorvalent::OnReportLoadFromFile()
{
    const QString path = UserPrompts().OpenFileName(
        this, CReportMessages::OpenCaption(),
        QDir::toNativeSeparators(m_documentsDir + QLatin1Char('/')), CReportMessages::Filter());
    if (!path.isEmpty())
        LoadReportFile(path);
}

void CKorvalent::LoadReportFile(const QString& path)
{
    const CReportFile::LoadResult result = CReportFile::Load(path, ReadReport());
    switch (result.status)
    {
    case CReportFile::LoadResult::OpenFailed:
        UserPrompts().Critical(this, Title(), CReportMessages::OpenFailed(path));
        return;
    case CReportFile::LoadResult::ParseFailed:
        UserPrompts().Critical(this, Title(),
                               CReportMessages::ParseFailed(path, result.parserError));
        return;
    case CReportFile::LoadResult::WrongKind:
        UserPrompts().Critical(this, Title(), CReportMessages::WrongKind(path));
        return;
    case CReportFile::LoadResult::Ok:
        break;
    }
    ShowReportFields(result.report);
    ShowReportStatistics(result.report.statistics);
    ShowReportRows(result.report.rows);
    SetReportSource(CReportSource::FromRows(result.report.rows));
    UserPrompts().Information(this, Title(), CReportMessages::Loaded());
}

void CKorvalent::OnReportResultsRefresh()
{
    if (!HasSelectedDataFile())
    {
        UserPrompts().Critical(this, Title(), CReportMessages::NoDataFile());
        return;
    }
    const DataFileRecord& file = m_dataFiles.at(m_nSelectedFile);
    const QList<QStringList> rows =
        CReportData::ResultRows(*m_resultsModel, CDataStorage::FileName(file));
    ShowReportRows(rows);
    SetReportSource(CReportSource::Of(file));

    const CStatistics::Result statistics = CReportData::RowStatistics(rows);
    CReportData values;
    values.SetStatistics(statistics);
    ShowReportStatistics(values.statistics);
    if (statistics.reach == CStatistics::NoValidValues)
        UserPrompts().Warning(this, Title(), CStatistics::NotEnoughDataWarningText());
    else if (statistics.reach == CStatistics::OneValidValue)
        UserPrompts().Warning(this, Title(), CStatistics::SomeValuesWarningText());
}

void CKorvalent::OnReportDocumentRefresh()
{
    ConfirmReportSource();
    m_reportDocument =
        CReportDocument::Generate(m_reportTemplate, ReadReport(), CClock::Today(), Title());
}

void CKorvalent::OnReportDocumentPrint()
{
    // What the preview page holds, not a fresh generation, unless the user
    // has its results filled from the selected data file first.
    if (HoldsReport(ReportPage()->ReportBrowser) && ConfirmReportSource())
    {
        OnReportDocumentRefresh();
        ReportPage()->ReportBrowser->setHtml(m_reportDocument);
    }
    CReportPrinter::Print(ReportPage()->ReportBrowser->document(), this);
}

void CKorvalent::OnReportDocumentPreview()
{
    OnReportDocumentRefresh();
    ReportPreview()->ShowDocument(m_reportDocument);
}

void CKorvalent::OnReportClearInfoFields()
{
    for (int f = CReportData::ConclutionNumber; f <= CReportData::AccessCardNumber; ++f)
        if (f != CReportData::ConclutionDate)
            SetWidgetText(FieldWidget(ReportPage(), Field(f)), QString());
}

void CKorvalent::OnReportClearConclutionFields()
{
    for (int f = CReportData::Conclusion; f < CReportData::FieldCount; ++f)
    {
        QWidget* widget = FieldWidget(ReportPage(), Field(f));
        // A date field shows no text until a date is picked; its date stays.
        if (auto* date = qobject_cast<QDateEdit*>(widget))
            date->clear();
        else
            SetWidgetText(widget, QString());
    }
}

void CKorvalent::OnReportShowConclutionTab()
{
    ReportPage()->reportTabWidget->setCurrentIndex(2);
}

void CKorvalent::OnReportShowPreviewTab()
{
    // The document is generated before the page change refreshes the gauge
    // and transducer fields, so it shows the fields as they were.
    OnReportDocumentRefresh();
    ReportPage()->reportTabWidget->setCurrentIndex(3);
    ReportPage()->ReportBrowser->setHtml(m_reportDocument);
}

void CKorvalent::OnReportShowResultsTab()
{
    if (HasSelectedDataFile())
        OnReportResultsRefresh();
    ReportPage()->reportTabWidget->setCurrentIndex(1);
}

void CKorvalent::OnReportTabSwitch(int nIndex)
{
    ReportPage()->toolbutton_report_refresh->setVisible(nIndex != 2);
    RefreshDeviceFields(false);
}

void CKorvalent::OnReportSaveToPdf()
{
    const QString path = UserPrompts().SaveFileName(
        this, CReportMessages::PdfCaption(),
        CReportMessages::PdfDefaultName(m_documentsDir, Today()), CReportMessages::PdfFilter());
    if (path.isEmpty())
        return;
    OnReportDocumentRefresh();
    if (!CReportDocument::WritePdf(m_reportDocument, path).Ok())
    {
        UserPrompts().Critical(this, Title(), CReportMessages::PdfCreateFailed());
        return;
    }
    UserPrompts().Information(this, Title(), CReportMessages::PdfSaved());
}
