#include "app/CKorvalent.h"

#include "app/CDeferredIcons.h"
#include "app/CElidedLabel.h"
#include "app/CScreenFit.h"
#include "app/CTableFitter.h"
#include "app/CTextCellDelegate.h"

#include "core/CAppGlobals.h"
#include "core/CAppSettings.h"
#include "core/CClock.h"
#include "core/CUserPrompts.h"
#include "data/CDataStorage.h"
#include "data/CResultsModels.h"
#include "data/StatisticsRows.h"
#include "device/CDeviceSelectorDialog.h"
#include "export/CResultsExporter.h"
#include "report/CReportFile.h"
#include "report/CReportPreviewWindow.h"
#include "tools/CAboutDialog.h"
#include "tools/CMaterialsEditorDialog.h"
#include "tools/CDeviceScreenshotDialog.h"
#include "tools/CPEPListDialog.h"
#include "tools/CPEPParamsEditorDialog.h"

#include "ui_CKorvalent.h"
#include "ui_CReportPage.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QScreen>
#include <QStyle>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QScrollBar>
#include <QImageReader>
#include <QLabel>
#include <QLayout>
#include <QPixmap>
#include <QSettings>
#include <QStyledItemDelegate>
#include <QStandardItemModel>
#include <QTimer>
#include <QUrl>
#include <QXmlStreamReader>

#ifndef KORVALENT_DOC_FROM_BIN
#define KORVALENT_DOC_FROM_BIN "../share/doc/korvalent"
#endif

namespace
{
const char* const s_reportTemplatePath = ":/Korvalent/Resources/ReportTemplate.html";

QString AppName()
{
    return QCoreApplication::applicationName();
}

// A statistics table never needs to be taller than its eleven rows: the
// space beyond goes to the table above it.
void LimitToRows(QTableView* view)
{
    const int height = 2 * view->frameWidth() + view->horizontalHeader()->sizeHint().height() +
                       view->verticalHeader()->length() +
                       view->horizontalScrollBar()->sizeHint().height();
    view->setMaximumHeight(height);
}

// One of the program's own pictures: a PNG whatever its name says, read as
// one. Left to guess the format, Qt's reader would load every image plug-in
// there is to ask each of them (a tenth of the start-up).
QPixmap ProgramPicture(const QString& path)
{
    QImageReader reader(path, "png");
    reader.setAutoDetectImageFormat(false);
    return QPixmap::fromImage(reader.read());
}

// Items that name only a horizontal alignment are drawn vertically centred,
// like their neighbours, instead of at the top of the row.
class CVCenterDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override
    {
        QStyledItemDelegate::initStyleOption(option, index);
        if (!(option->displayAlignment & Qt::AlignVertical_Mask))
            option->displayAlignment |= Qt::AlignVCenter;
    }
};

} // namespace

CKorvalent::CKorvalent(QWidget* parent, ReportPageBuild reportPage)
    : QMainWindow(parent), m_ui(new CKorvalentUi)
{
    // Icons are read when first shown, here and in every window built later.
    CDeferredIcons::Install();

    // 1. The windows this one owns for its whole life, without a parent, are
    // built when first asked for (Owned): building them all took a third of
    // the start-up, and most sessions open few of them.

    // 2. Qt 6 decodes every literal as UTF-8 already: nothing to select.

    // 3. Widget tree, menus and texts.
    static_cast<Ui::CKorvalent*>(m_ui)->setupUi(this);
    m_ui->CurrentDateIconLabel->setPixmap(
        ProgramPicture(QStringLiteral(":/Korvalent/Resources/icons/calendar.ico")));
    m_ui->CurrentTimeIconLabel->setPixmap(
        ProgramPicture(QStringLiteral(":/Korvalent/Resources/icons/alarm.ico")));
    m_ui->mainTabWidget->setCurrentIndex(0);
    // Hovering the export entry of "Файл" shows the sub-menu's own tip.
    m_ui->menu_Export->menuAction()->setStatusTip(m_ui->menu_Export->statusTip());

    // 4. The clock in the corner of the data tab.
    m_clockTimer = new QTimer(this);
    connect(m_clockTimer, &QTimer::timeout, this, &CKorvalent::OnUpdateTimeDate);
    m_clockTimer->start(1000);
    OnUpdateTimeDate();

    QSettings* settings = Settings();

    // 5. Geometry of the last session.
    settings->beginGroup(QStringLiteral("MainWindow"));
    const QSize savedSize = settings->value(QStringLiteral("size"), QSize(400, 400)).toSize();
    const QPoint savedPos = settings->value(QStringLiteral("pos"), QPoint(200, 200)).toPoint();
    settings->endGroup();
    // ... kept on the screens there are now: a size saved on a larger screen
    // opens maximised, a place on a screen since removed centred on the primary.
    QList<QRect> screens;
    if (QScreen* primary = QGuiApplication::primaryScreen())
        screens << primary->availableGeometry();
    for (QScreen* screen : QGuiApplication::screens())
        if (screen != QGuiApplication::primaryScreen())
            screens << screen->availableGeometry();
    // The position saved is the frame's, the size the client area's.
    const QMargins frame = CScreenFit::FrameOf(this);
    const QPoint frameOffset(frame.left(), frame.top());
    const CScreenFit::Placement placed =
        CScreenFit::Place(QRect(savedPos + frameOffset, savedSize), screens, frame);
    resize(placed.geometry.size());
    move(placed.geometry.topLeft() - frameOffset);
    if (placed.maximize)
        setWindowState(windowState() | Qt::WindowMaximized);

    // 6. Title.
    setWindowTitle(QStringLiteral("%1 v%2").arg(AppName(), QCoreApplication::applicationVersion()));

    // 7. Documents directory: created on first start; a failure is not an
    // error, the path still serves as the default folder of the dialogs.
    const QString defaultDir =
        QDir::toNativeSeparators(QDir::homePath() + QStringLiteral("/Korvalent"));
    QDir().mkpath(defaultDir);
    settings->beginGroup(QStringLiteral("."));
    m_documentsDir = settings->value(QStringLiteral("DocumentsDir"), defaultDir).toString();
    settings->endGroup();

    // 8. Actions and controls.
    ConnectActions();

    // 9. Models of the data tab.
    m_filesModel = new QStandardItemModel(0, 2, this);
    m_filesModel->setHorizontalHeaderLabels(CResultsModels::FilesHeaders());
    m_ui->ResultFilesTable->setModel(m_filesModel);
    m_filesSelection = new QItemSelectionModel(m_filesModel, this);
    m_ui->ResultFilesTable->setSelectionModel(m_filesSelection);
    m_ui->ResultFilesTable->setItemDelegate(new CVCenterDelegate(m_ui->ResultFilesTable));
    connect(m_filesSelection, &QItemSelectionModel::selectionChanged, this,
            &CKorvalent::ResultFilesTableItemChanged);

    m_resultsModel = new QStandardItemModel(0, 9, this);
    m_ui->ResultFileContentTable->setModel(m_resultsModel);
    m_ui->ResultFileContentTable->setItemDelegate(
        new CTextCellDelegate(m_ui->ResultFileContentTable));
    m_statisticsModel =
        new QStandardItemModel(StatisticsRows::Count, StatisticsRows::Columns, this);
    StatisticsRows::Fill(m_statisticsModel);
    m_ui->StatisticsTable->setModel(m_statisticsModel);
    m_resultsFitter = new CTableFitter(m_ui->ResultFileContentTable);
    ResultsTablesReset();
    CTableFitter::FixStatisticsColumns(m_ui->StatisticsTable);
    LimitToRows(m_ui->StatisticsTable);
    m_nSelectedFile = -1;

    // 10. Status bar indicators: data first, then device.
    // They elide rather than widen the window, and leave the status
    // messages on their left readable room.
    m_dataStatusLabel = new CElidedLabel(tr("Данные: не загружены                    "), this);
    m_deviceStatusLabel = new CElidedLabel(tr("Устройство: не выбрано"), this);
    m_dataStatusLabel->setObjectName(QStringLiteral("DataStatusLabel"));
    m_deviceStatusLabel->setObjectName(QStringLiteral("DeviceStatusLabel"));
    statusBar()->addPermanentWidget(m_dataStatusLabel);
    statusBar()->addPermanentWidget(m_deviceStatusLabel);

    // 11. The gauge chosen in an earlier session.
    UpdateDeviceLabel();

    // 12. Report template.
    QFile templateFile(QString::fromLatin1(s_reportTemplatePath));
    if (templateFile.open(QIODevice::ReadOnly | QIODevice::Text))
        m_reportTemplate = QString::fromUtf8(templateFile.readAll());

    // 13. The report's results and statistics, held whether or not its page
    // is built yet.
    m_reportResultsModel = new QStandardItemModel(0, 10, this);
    m_reportResultsModel->setHorizontalHeaderLabels(
        {tr("Файл данных"), tr("Ячейка"), tr("Результат"), tr("Единицы"), tr("Материал"),
         tr("Скорость УЗ-волн"), tr("Настройка"), tr("Температура"), tr("Время"), tr("Дата")});
    m_reportStatsModel =
        new QStandardItemModel(StatisticsRows::Count, StatisticsRows::Columns, this);
    StatisticsRows::Fill(m_reportStatsModel);
    connect(m_ui->action_report_save_pdf, &QAction::triggered, this,
            &CKorvalent::OnReportSaveToPdf);

    // 14-15. The report page: now, or when first needed (its tab chosen, its
    // fields filled or read), at the latest right after the first paint.
    if (reportPage == ReportPageBuild::WithWindow)
        BuildReportPage();
    else
        connect(m_ui->mainTabWidget, &QTabWidget::currentChanged, this,
                [this](int index)
                {
                    if (m_ui->mainTabWidget->widget(index) == m_ui->tab_2)
                        ReportPage();
                });

    // 16. The analysis tab after the report.
    AnalysisSetup();

    // 17. The survey archive's menu.
    ArchiveSetup();

    // 18. Keys, mnemonics and focus order, once every menu and tab is there.
    KeysSetup();
    // The content now scrolls: the window may be as small as its screen.
    resize(placed.geometry.size());
    move(placed.geometry.topLeft() - frameOffset);
}

CKorvalent::~CKorvalent()
{
    // The owned windows have no parent: they go with the main window.
    delete m_aboutDialog;
    delete m_deviceSelector;
    delete m_materialsEditor;
    delete m_resultsExporter;
    delete m_pepEditor;
    delete m_pepList;
    delete m_screenshotDialog;
    delete m_reportPreview;
    delete m_ui;
}

QSettings* CKorvalent::Settings()
{
    if (g_App.pSettings)
        return g_App.pSettings;
    // A window made without the entry (a test, a tool) still needs a store.
    if (!m_ownSettings)
    {
        m_ownSettings = CAppSettings::Create();
        m_ownSettings->setParent(this);
    }
    return m_ownSettings;
}

void CKorvalent::ConnectActions()
{
    Ui::CKorvalent* ui = m_ui;

    connect(ui->action_file_download_database_from_device, &QAction::triggered, this,
            &CKorvalent::OnResultsDownloadDatabaseFromDevice);
    connect(ui->action_file_upload_database_to_device, &QAction::triggered, this,
            &CKorvalent::OnResultsUploadDatabaseToDevice);
    connect(ui->action_file_load_database_from_file, &QAction::triggered, this,
            &CKorvalent::OnResultsLoadDatabaseFromFile);
    connect(ui->action_file_save_database_to_file, &QAction::triggered, this,
            &CKorvalent::OnResultsSaveDatabaseToFile);
    connect(ui->action_file_load_result_file, &QAction::triggered, this,
            &CKorvalent::OnResultsLoadFile);
    connect(ui->action_file_save_result_file, &QAction::triggered, this,
            &CKorvalent::OnResultsSaveFile);
    connect(ui->action_file_delete, &QAction::triggered, this, &CKorvalent::OnResultsDeleteFile);
    connect(ui->action_file_exit, &QAction::triggered, this, &QWidget::close);
    connect(ui->action_file_export_to_xls, &QAction::triggered, this,
            &CKorvalent::ExportResultsToXLS);
    connect(ui->action_file_export_to_csv, &QAction::triggered, this,
            &CKorvalent::ExportResultsToCSV);

    connect(ui->action_report_new, &QAction::triggered, this, &CKorvalent::OnReportCreate);
    connect(ui->action_report_open, &QAction::triggered, this, &CKorvalent::OnReportLoadFromFile);
    connect(ui->action_report_save, &QAction::triggered, this, &CKorvalent::OnReportSaveToFile);
    connect(ui->action_report_preview, &QAction::triggered, this,
            &CKorvalent::OnReportDocumentPreview);
    connect(ui->action_report_print, &QAction::triggered, this, &CKorvalent::OnReportDocumentPrint);

    connect(ui->action_show_materials_editor_dialog, &QAction::triggered, this,
            &CKorvalent::ShowMaterialsEditorDialog);

    connect(ui->action_show_device_selector_dialog, &QAction::triggered, this,
            &CKorvalent::ShowDeviceSelectorDialog);
    connect(ui->action_get_device_firmware_version, &QAction::triggered, this,
            &CKorvalent::GetDeviceFirmwareVersion);
    connect(ui->action_show_screenshot_maker_dialog, &QAction::triggered, this,
            &CKorvalent::ShowDeviceScreenshotDialog);
    connect(ui->action_show_pep_list_dialog, &QAction::triggered, this,
            &CKorvalent::ShowPEPListDialog);
    connect(ui->action_service_time_sync, &QAction::triggered, this,
            &CKorvalent::OnUpdateTimeOnDevice);
    connect(ui->action_select_documents_dir, &QAction::triggered, this,
            &CKorvalent::OnChangeDocumentsDir);

    connect(ui->action_show_info, &QAction::triggered, this, &CKorvalent::ShowAboutDialog);
    connect(ui->action_show_help, &QAction::triggered, this, &CKorvalent::ShowHelpDialog);

    connect(ui->toolbutton_results_download_database, &QToolButton::clicked, this,
            &CKorvalent::OnResultsDownloadDatabaseFromDevice);
    connect(ui->toolbutton_results_load_database_from_file, &QToolButton::clicked, this,
            &CKorvalent::OnResultsLoadDatabaseFromFile);
    connect(ui->toolbutton_results_save_database_to_file, &QToolButton::clicked, this,
            &CKorvalent::OnResultsSaveDatabaseToFile);
    connect(ui->toolbutton_results_load_file, &QToolButton::clicked, this,
            &CKorvalent::OnResultsLoadFile);
    connect(ui->toolbutton_results_save_file, &QToolButton::clicked, this,
            &CKorvalent::OnResultsSaveFile);
    connect(ui->toolbutton_results_delete_file, &QToolButton::clicked, this,
            &CKorvalent::OnResultsDeleteFile);
    connect(ui->toolbutton_results_show_help, &QToolButton::clicked, this,
            &CKorvalent::ShowHelpDialog);

    connect(ui->ResultFilesTable, &QTableView::clicked, this, &CKorvalent::ResultFilesTableClick);

    // The transducer EEPROM editor is a service tool: without "-extras" its
    // entry stays hidden and inert.
    ui->action_show_pep_params_editor_dialog->setVisible(false);
    if (g_App.extras)
    {
        ui->action_show_pep_params_editor_dialog->setVisible(true);
        connect(ui->action_show_pep_params_editor_dialog, &QAction::triggered, this,
                &CKorvalent::ShowPEPEditorDialog);
    }
}

void CKorvalent::BuildReportPage()
{
    m_reportPageBuilt = true;
    QWidget* page = m_ui->tab_2;
    // Widgets made on a page that is showing would stay hidden until shown
    // one by one: the page is built hidden and shown with them.
    const bool showing = page->isVisible();
    if (showing)
        page->hide();
    Ui::CReportPage* ui = m_ui;
    ui->setupUi(page);
    ui->reportTabWidget->setCurrentIndex(0);

    // The gauge chosen in an earlier session; no transducer before a data file.
    QSettings* settings = Settings();
    settings->beginGroup(QStringLiteral("Device"));
    ui->DeviceDescriptionEdit->setText(settings->value(QStringLiteral("Name")).toString());
    ui->DeviceSerialNumberEdit->setText(settings->value(QStringLiteral("SerialNumber")).toString());
    settings->endGroup();
    ui->PEPDescriptionEdit->setText(tr("Н/Д"));
    ui->PEPSerialNumberEdit->setText(tr("Н/Д"));

    // Results and statistics, with what they hold already.
    ui->ReportResultsTable->setModel(m_reportResultsModel);
    ui->ReportResultsTable->resizeColumnsToContents();
    ui->ReportStatsTable->setModel(m_reportStatsModel);
    ui->ReportStatsTable->resizeColumnsToContents();
    LimitToRows(ui->ReportStatsTable);

    // The preview's prompt, the results' source, PDF.
    ReportSetup();

    connect(ui->toolbutton_report_refresh, &QToolButton::clicked, this,
            &CKorvalent::OnReportRefresh);
    connect(ui->toolbutton_report_print_preview, &QToolButton::clicked, this,
            &CKorvalent::OnReportDocumentPreview);
    connect(ui->toolbutton_report_new, &QToolButton::clicked, this, &CKorvalent::OnReportCreate);
    connect(ui->toolbutton_report_open_from_file, &QToolButton::clicked, this,
            &CKorvalent::OnReportLoadFromFile);
    connect(ui->toolbutton_report_print, &QToolButton::clicked, this,
            &CKorvalent::OnReportDocumentPrint);
    connect(ui->toolbutton_report_save_to_file, &QToolButton::clicked, this,
            &CKorvalent::OnReportSaveToFile);
    connect(ui->toolbutton_report_show_help, &QToolButton::clicked, this,
            &CKorvalent::ShowHelpDialog);

    connect(ui->ReportGoToResultsButton, &QPushButton::clicked, this,
            &CKorvalent::OnReportShowResultsTab);
    connect(ui->ReportClearInfoFieldsButton, &QPushButton::clicked, this,
            &CKorvalent::OnReportClearInfoFields);
    connect(ui->ReportGoToConclutionButton, &QPushButton::clicked, this,
            &CKorvalent::OnReportShowConclutionTab);
    connect(ui->ReportGoToPreviewButton, &QPushButton::clicked, this,
            &CKorvalent::OnReportShowPreviewTab);
    connect(ui->ReportClearConclutionFieldsButton, &QPushButton::clicked, this,
            &CKorvalent::OnReportClearConclutionFields);
    connect(ui->reportTabWidget, &QTabWidget::currentChanged, this, &CKorvalent::OnReportTabSwitch);

    // The page's size reaches the window's layouts now, not on the next
    // event: the window's minimum is taken from them.
    for (QWidget* w = page; w && w != this; w = w->parentWidget())
    {
        w->updateGeometry();
        if (QLayout* layout = w->layout())
            layout->invalidate();
    }
    ReportPageKeys();
    if (showing)
        page->show();
}

void CKorvalent::UpdateDeviceLabel()
{
    QSettings* settings = Settings();
    settings->beginGroup(QStringLiteral("Device"));
    const QString name = settings->value(QStringLiteral("Name")).toString();
    const QString portName = settings->value(QStringLiteral("PortName")).toString();
    settings->endGroup();
    m_deviceStatusLabel->setText(tr("Устройство: %1, порт '%2'").arg(name, portName));
}

// Built once, kept for the main window's life; every showing fits it onto
// its screen, however large it was made.
template <typename Window> Window* CKorvalent::Owned(Window*& window) const
{
    if (!window)
    {
        window = new Window();
        CScreenFit::Watch(window);
    }
    return window;
}

CDeviceSelectorDialog* CKorvalent::DeviceSelector() const
{
    return Owned(m_deviceSelector);
}

CMaterialsEditorDialog* CKorvalent::MaterialsEditor() const
{
    return Owned(m_materialsEditor);
}

CAboutDialog* CKorvalent::AboutDialog() const
{
    return Owned(m_aboutDialog);
}

CResultsExporter* CKorvalent::ResultsExporter() const
{
    // Shown only during an export, never on its own: not watched.
    if (!m_resultsExporter)
        m_resultsExporter = new CResultsExporter();
    return m_resultsExporter;
}

CPEPParamsEditorDialog* CKorvalent::PEPEditor() const
{
    return Owned(m_pepEditor);
}

CPEPListDialog* CKorvalent::PEPList() const
{
    return Owned(m_pepList);
}

CDeviceScreenshotDialog* CKorvalent::ScreenshotDialog() const
{
    return Owned(m_screenshotDialog);
}

CReportPreviewWindow* CKorvalent::ReportPreview() const
{
    if (!m_reportPreview)
        const_cast<CKorvalent*>(this)->ReportPreviewSetup(Owned(m_reportPreview));
    return m_reportPreview;
}

// Each of these shows the window this one owns; the window keeps its content
// between showings.
void CKorvalent::ShowPEPListDialog()
{
    PEPList()->show();
}

void CKorvalent::ShowPEPEditorDialog()
{
    PEPEditor()->show();
}

void CKorvalent::ShowMaterialsEditorDialog()
{
    MaterialsEditor()->show();
}

void CKorvalent::ShowDeviceSelectorDialog()
{
    DeviceSelector()->show();
}

void CKorvalent::ShowDeviceScreenshotDialog()
{
    ScreenshotDialog()->show();
}

void CKorvalent::ShowAboutDialog()
{
    AboutDialog()->show();
}

QString CKorvalent::HelpFilePath()
{
    return HelpFilePathIn(QCoreApplication::applicationDirPath());
}

QString CKorvalent::HelpFilePathIn(const QString& executableDir)
{
    const QString beside = executableDir + QStringLiteral("/Korvalent.html");
    const QString installed = QDir::cleanPath(
        executableDir + QStringLiteral("/" KORVALENT_DOC_FROM_BIN "/Korvalent.html"));
    if (!QFileInfo(beside).isFile() && QFileInfo(installed).isFile())
        return installed;
    return beside;
}

namespace
{
enum class FileKind
{
    Unknown,
    Database,
    DataFile,
    Report
};

// The kind of a key file by the name of its root element, read from the
// file's head (the root follows a DOCTYPE line at most).
FileKind KindOfFile(const QString& path)
{
    QFile file(path);
    if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly))
        return FileKind::Unknown;
    QXmlStreamReader xml(file.read(64 * 1024));
    while (!xml.atEnd() && !xml.hasError())
    {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        const QString root = xml.name().toString();
        if (root == CDataStorage::DatabaseRootName())
            return FileKind::Database;
        if (root == CDataStorage::DataFileRootName())
            return FileKind::DataFile;
        if (root == CReportFile::RootName())
            return FileKind::Report;
        break;
    }
    return FileKind::Unknown;
}
} // namespace

void CKorvalent::OpenFiles(const QStringList& paths)
{
    QString data, report, unknown;
    bool dataIsDatabase = true;
    for (const QString& path : paths)
    {
        const FileKind kind = KindOfFile(path);
        switch (kind)
        {
        case FileKind::Database:
        case FileKind::DataFile:
            if (data.isEmpty())
            {
                data = path;
                dataIsDatabase = kind == FileKind::Database;
            }
            break;
        case FileKind::Report:
            if (report.isEmpty())
                report = path;
            break;
        case FileKind::Unknown:
            if (unknown.isEmpty())
                unknown = path;
            break;
        }
    }
    if (data.isEmpty())
        data = unknown;
    if (!data.isEmpty())
    {
        if (dataIsDatabase)
            LoadDatabaseFile(data);
        else
            LoadDataFile(data);
    }
    if (!report.isEmpty())
    {
        // No data to show: the report's fields are on the report tab, show that.
        if (m_dataFiles.isEmpty())
            m_ui->mainTabWidget->setCurrentWidget(m_ui->tab_2);
        LoadReportFile(report);
    }
}

void CKorvalent::ShowHelpDialog()
{
    // Asking the desktop about a file that is not there may still "succeed"
    // (the handler reports its own error later), so check first.
    const QString path = HelpFilePath();
    if (!QFileInfo(path).isFile() || !QDesktopServices::openUrl(QUrl::fromLocalFile(path)))
        UserPrompts().Warning(this, AppName(), tr("Справочная информация не доступна!"));
}

void CKorvalent::OnUpdateTimeDate()
{
    const QDateTime now = CClock::Now();
    m_ui->CurrentDateLabel->setText(now.date().toString(QStringLiteral("dd.MM.yyyy")));
    m_ui->CurrentTimeLabel->setText(now.time().toString(QStringLiteral("hh:mm:ss")));
}

void CKorvalent::OnChangeDocumentsDir()
{
    const QString title = AppName() + QStringLiteral("™");
    const CUserPrompts::Button answer = UserPrompts().Ask(
        this, CUserPrompts::IconQuestion, title,
        tr("Текущий рабочий каталог: <%1>").arg(m_documentsDir),
        tr("Если хотите его изменить, нажмите 'Продолжить', если нет, нажмите 'Отмена'"),
        CUserPrompts::Yes | CUserPrompts::Cancel,
        {{CUserPrompts::Yes, tr("Продолжить")}, {CUserPrompts::Cancel, tr("Отмена")}});
    if (answer != CUserPrompts::Yes)
        return;

    const QString dir = UserPrompts().ExistingDirectory(
        this, tr("Выбор рабочего каталога Korvalent"), m_documentsDir);
    if (dir.isEmpty())
        return;
    // For this session only: the settings keep the directory they had.
    m_documentsDir = dir;
    UserPrompts().Information(this, title, tr("Текущий рабочий каталог изменён на: '%1'").arg(dir));
}

bool CKorvalent::event(QEvent* event)
{
    if (!m_painted && event->type() == QEvent::Paint)
    {
        m_painted = true;
        QTimer::singleShot(0, this, &CKorvalent::AfterFirstPaint);
    }
    return QMainWindow::event(event);
}

void CKorvalent::AfterFirstPaint()
{
    // Ready before the user first turns to their tabs; one at a time, so
    // that a key or click in between is not kept waiting for both.
    ReportPage();
    QTimer::singleShot(0, this, [this] { AnalysisView(); });
    // The clock's texts keep their width (its column is as wide as the
    // date); held at its laid-out size, the label's text changing every
    // second no longer re-lays out and repaints the whole data tab.
    QLabel* time = m_ui->CurrentTimeLabel;
    time->setFixedSize(time->size());
}

void CKorvalent::closeEvent(QCloseEvent* event)
{
    QSettings* settings = Settings();
    settings->beginGroup(QStringLiteral("MainWindow"));
    settings->setValue(QStringLiteral("size"), size());
    settings->setValue(QStringLiteral("pos"), pos());
    settings->endGroup();
    settings->sync();
    event->accept();
    QCoreApplication::quit();
}

void CKorvalent::FitStatusBar()
{
    // The permanent widgets keep a good part of the bar for the status
    // messages on their left; what does not fit is elided.
    const int w = width();
    if (m_dataStatusLabel)
        m_dataStatusLabel->setMaximumWidth(std::max(60, w * 2 / 5));
    if (m_deviceStatusLabel)
        m_deviceStatusLabel->setMaximumWidth(std::max(60, w * 3 / 10));
    if (m_chainProgressText)
        m_chainProgressText->SetWidthLimit(std::max(60, w * 3 / 10));
}

void CKorvalent::resizeEvent(QResizeEvent* event)
{
    // The tabs are arranged by layouts, which follow the new size by themselves.
    QMainWindow::resizeEvent(event);
    FitStatusBar();
}
