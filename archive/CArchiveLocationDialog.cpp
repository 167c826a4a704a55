#include "archive/CArchiveLocationDialog.h"

#include "archive/CSurveyArchive.h"
#include "core/CUserPrompts.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

CArchiveLocationDialog::CArchiveLocationDialog(const QString& location, const QString& defaultFile,
                                               QWidget* parent)
    : QDialog(parent), m_defaultFile(defaultFile)
{
    setObjectName(QStringLiteral("CArchiveLocationDialog"));
    setWindowTitle(tr("Место архива"));
    m_file = new QRadioButton(tr("Файл на этом ПК (SQLite)"), this);
    m_file->setObjectName(QStringLiteral("ArchiveFileButton"));
    m_server = new QRadioButton(tr("Сервер PostgreSQL"), this);
    m_server->setObjectName(QStringLiteral("ArchiveServerButton"));
    m_path = new QLineEdit(this);
    m_path->setObjectName(QStringLiteral("ArchivePathEdit"));
    m_url = new QLineEdit(this);
    m_url->setObjectName(QStringLiteral("ArchiveUrlEdit"));
    m_url->setPlaceholderText(QStringLiteral("postgresql://user@host:5432/dbname"));
    auto* browse = new QPushButton(tr("Обзор…"), this);
    browse->setObjectName(QStringLiteral("ArchiveBrowseButton"));
    auto* test = new QPushButton(tr("Проверить подключение"), this);
    test->setObjectName(QStringLiteral("ArchiveTestButton"));
    m_result = new QLabel(this);
    m_result->setObjectName(QStringLiteral("ArchiveTestResult"));
    m_result->setWordWrap(true);
    auto* note = new QLabel(tr("Пароль программа не хранит: используйте ~/.pgpass, PGPASSWORD "
                               "или файл служб PostgreSQL."),
                            this);
    note->setWordWrap(true);

    const bool server = location.contains(QLatin1String("://"));
    (server ? m_server : m_file)->setChecked(true);
    m_path->setText(QDir::toNativeSeparators(server ? defaultFile : location));
    if (server)
        m_url->setText(location);

    auto* grid = new QGridLayout;
    grid->addWidget(m_file, 0, 0, 1, 2);
    grid->addWidget(m_path, 1, 0);
    grid->addWidget(browse, 1, 1);
    grid->addWidget(m_server, 2, 0, 1, 2);
    grid->addWidget(m_url, 3, 0, 1, 2);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addWidget(note);
    layout->addWidget(test);
    layout->addWidget(m_result);
    layout->addWidget(buttons);
    setMinimumWidth(560);

    connect(m_file, &QRadioButton::toggled, this, &CArchiveLocationDialog::UpdateEnabled);
    connect(browse, &QPushButton::clicked, this, &CArchiveLocationDialog::OnBrowse);
    connect(test, &QPushButton::clicked, this, &CArchiveLocationDialog::OnTestConnection);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    UpdateEnabled();
}

QString CArchiveLocationDialog::Location() const
{
    // A password typed into the URL serves the connection test only.
    if (m_server->isChecked())
        return m_url->text().trimmed();
    const QString path = m_path->text().trimmed();
    return path.isEmpty() ? m_defaultFile : QDir::fromNativeSeparators(path);
}

void CArchiveLocationDialog::UpdateEnabled()
{
    m_path->setEnabled(m_file->isChecked());
    m_url->setEnabled(m_server->isChecked());
}

void CArchiveLocationDialog::OnBrowse()
{
    const QString path = UserPrompts().SaveFileName(
        this, tr("Файл архива Korvalent"), m_path->text(), tr("Архив Korvalent (*.sqlite)"));
    if (!path.isEmpty())
        m_path->setText(QDir::toNativeSeparators(path));
}

bool CArchiveLocationDialog::OnTestConnection()
{
    CSurveyArchive archive;
    if (!archive.Open(Location()))
    {
        m_result->setText(archive.ErrorText());
        return false;
    }
    int surveys = 0;
    const QList<CSurveyArchive::ObjectInfo> objects = archive.Objects();
    for (const CSurveyArchive::ObjectInfo& o : objects)
        surveys += o.surveys;
    m_result->setText(tr("Подключение установлено: %1. Объектов: %2, обследований: %3.")
                          .arg(archive.Location().DisplayText())
                          .arg(objects.size())
                          .arg(surveys));
    return true;
}
