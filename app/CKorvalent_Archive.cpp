#include "app/CKorvalent.h"

#include "archive/CArchiveBrowserDialog.h"
#include "archive/CArchiveLocationDialog.h"
#include "archive/CArchiveSettings.h"
#include "archive/CArchiveWorker.h"
#include "archive/CDemoArchive.h"
#include "archive/CSurveyArchive.h"
#include "core/CUserPrompts.h"
#include "data/CDataMessages.h"
#include "ui_CKorvalent.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFileInfo>
#include <QMenu>
#include <QMenuBar>
#include <QSettings>
#include <QStatusBar>

// The survey archive in the main window: the "Архив" menu and the archiving
// of every successful download. The work is CSurveyArchive's, on a thread of
// its own (a server that does not answer is waited for there, not in the
// window); an archive failure is reported and never touches the data held by
// the window.

namespace
{
QString Summary(const CSurveyArchive::AddResult& r)
{
    QString text = CKorvalent::tr("Архив: добавлено обследований: %1, уже были в архиве: %2.")
                       .arg(r.Added())
                       .arg(r.AlreadyArchived());
    for (const CSurveyArchive::SurveyOutcome& s : r.surveys)
        if (!s.suggestedObject.isEmpty())
        {
            text += CKorvalent::tr(" '%1' похоже на объект '%2' (Архив → Обзор архива).")
                        .arg(s.name, s.suggestedObject);
            break;
        }
    return text;
}
} // namespace

void CKorvalent::ArchiveSetup()
{
    m_archiveDemo = QCoreApplication::arguments().contains(QStringLiteral("-demo"));
    auto* menu = new QMenu(tr("Архив"), this);
    menu->setObjectName(QStringLiteral("menu_Archive"));
    menuBar()->insertMenu(m_ui->menu_Settings->menuAction(), menu);
    QAction* add = menu->addAction(tr("Архивировать загруженные данные"), this,
                                   &CKorvalent::OnArchiveLoadedData);
    add->setObjectName(QStringLiteral("action_archive_loaded_data"));
    QAction* browse = menu->addAction(tr("Обзор архива…"), this, &CKorvalent::OnArchiveBrowse);
    browse->setObjectName(QStringLiteral("action_archive_browse"));
    QAction* location =
        menu->addAction(tr("Место архива…"), this, &CKorvalent::OnArchiveChooseLocation);
    location->setObjectName(QStringLiteral("action_archive_location"));
    menu->addSeparator();
    m_archiveDownloadsAction = menu->addAction(tr("Архивировать загрузки"));
    m_archiveDownloadsAction->setObjectName(QStringLiteral("action_archive_downloads"));
    m_archiveDownloadsAction->setCheckable(true);
    m_archiveDownloadsAction->setChecked(CArchiveSettings::ArchiveDownloads(Settings()));
    connect(m_archiveDownloadsAction, &QAction::toggled, this,
            [this](bool on) { CArchiveSettings::SetArchiveDownloads(Settings(), on); });

    // The demo starts with an archive to browse; one the user already has
    // (or a location chosen in the demo) is left alone.
    if (m_archiveDemo)
    {
        const QString demoFile = ArchiveLocation();
        if (!demoFile.contains(QLatin1String("://")) && !QFileInfo::exists(demoFile))
        {
            CSurveyArchive archive;
            QString error;
            if (!archive.Open(demoFile) || !CDemoArchive::Fill(archive, &error))
                qWarning("demo archive: %s", qPrintable(archive.ErrorText() + error));
        }
    }
}

QString CKorvalent::ArchiveLocation()
{
    const QString chosen =
        Settings()->value(QStringLiteral("Archive/Location")).toString().trimmed();
    return chosen.isEmpty() ? CArchiveLocation::DefaultFile(m_documentsDir, m_archiveDemo) : chosen;
}

bool CKorvalent::IsArchiving() const
{
    return m_archiveWorker && m_archiveWorker->Pending() > 0;
}

void CKorvalent::StartArchiving(ArchiveKind kind)
{
    CArchiveWorker::Request request;
    request.location = ArchiveLocation();
    request.files = m_dataFiles;
    request.materials = m_materials;
    request.kind = kind;
    request.source.time = QDateTime::currentDateTime();
    if (kind == ArchiveOfDownload)
    {
        request.source.kind = CSurveyArchive::Source::Download;
        request.source.gaugeName = Settings()->value(QStringLiteral("Device/Name")).toString();
        request.source.gaugeSerial =
            Settings()->value(QStringLiteral("Device/SerialNumber")).toString();
    }
    else
        request.source.kind = CSurveyArchive::Source::File;
    if (!m_archiveWorker)
    {
        // The worker goes with the window, finishing what it was given; its
        // answers after that are dropped with it.
        m_archiveWorker = new CArchiveWorker(this);
        connect(m_archiveWorker, &CArchiveWorker::Finished, this,
                [this](int kind, const CSurveyArchive::AddResult& r)
                {
                    const QString title = QCoreApplication::applicationName();
                    if (kind == ArchiveOfLoadedData)
                    {
                        if (!r.ok)
                        {
                            UserPrompts().Critical(this, title, r.error);
                            return;
                        }
                        statusBar()->showMessage(Summary(r));
                        UserPrompts().Information(this, title, Summary(r));
                        return;
                    }
                    if (!r.ok)
                    {
                        // The data stay loaded; the box says what happened
                        // to the archive.
                        statusBar()->showMessage(tr("Архив: загрузка не заархивирована."));
                        UserPrompts().Warning(
                            this, title,
                            tr("Данные загружены, но не заархивированы.\n\n%1").arg(r.error));
                        return;
                    }
                    statusBar()->showMessage(Summary(r));
                });
    }
    // A second archiving while one runs waits for its turn: each holds the
    // data as they were when it was asked for.
    m_archiveWorker->Add(request);
}

void CKorvalent::OnArchiveLoadedData()
{
    const QString title = QCoreApplication::applicationName();
    if (IsDeviceChainRunning())
    {
        UserPrompts().Warning(this, title, CDataMessages::DeviceBusy());
        return;
    }
    if (m_dataFiles.isEmpty())
    {
        UserPrompts().Warning(this, title, tr("Нет загруженых данных для архивирования."));
        return;
    }
    StartArchiving(ArchiveOfLoadedData);
}

void CKorvalent::ArchiveAfterChain(const CDatabaseTransfer::Action& action)
{
    // Only a download that went through, and only when the user wants it.
    if (!action.chainEnded || !action.succeeded || !action.setLabel || m_dataFiles.isEmpty() ||
        action.label != CDatabaseTransfer::LoadedLabel(int(m_dataFiles.size())) ||
        !CArchiveSettings::ArchiveDownloads(Settings()))
        return;
    StartArchiving(ArchiveOfDownload);
}

void CKorvalent::OnArchiveBrowse()
{
    const QString title = QCoreApplication::applicationName();
    if (IsDeviceChainRunning())
    {
        UserPrompts().Warning(this, title, CDataMessages::DeviceBusy());
        return;
    }
    const QString location = ArchiveLocation();
    {
        CSurveyArchive probe;
        if (!probe.Open(location))
        {
            UserPrompts().Critical(this, title, probe.ErrorText());
            return;
        }
    }
    CArchiveBrowserDialog dialog(location, this);
    dialog.Refresh();
    if (dialog.exec() != QDialog::Accepted || dialog.ChosenFiles().isEmpty())
        return;
    // As if the surveys were loaded from a database file.
    m_dataFiles = dialog.ChosenFiles();
    m_nSelectedFile = 0;
    FilesTableUpdate();
    OnResultsTablesRefresh();
    if (m_dataStatusLabel)
        m_dataStatusLabel->setText(CDataMessages::LabelLoadedFromPc(int(m_dataFiles.size())));
}

void CKorvalent::OnArchiveChooseLocation()
{
    CArchiveLocationDialog dialog(
        ArchiveLocation(), CArchiveLocation::DefaultFile(m_documentsDir, m_archiveDemo), this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    // The program never keeps a password: libpq's own means apply.
    const QString chosen = CArchiveLocation::WithoutPassword(dialog.Location());
    // The default file is kept as "no choice", so it follows the documents
    // directory.
    CArchiveSettings::SetLocationText(
        Settings(), chosen == CArchiveLocation::DefaultFile(m_documentsDir, m_archiveDemo)
                        ? QString()
                        : chosen);
}
