#include "archive/CArchiveBrowserDialog.h"

#include "archive/CSurveyArchive.h"
#include "core/CUserPrompts.h"

#include <QCompleter>
#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSplitter>
#include <QTableWidget>
#include <QVBoxLayout>

namespace
{
QString DateText(const QDate& d)
{
    return d.isValid() ? d.toString(QStringLiteral("dd.MM.yyyy")) : QString();
}

QTableWidgetItem* Item(const QString& text, const QVariant& id = {})
{
    auto* item = new QTableWidgetItem(text);
    item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
    if (id.isValid())
        item->setData(Qt::UserRole, id);
    return item;
}

QTableWidget* Table(const QStringList& headers, QWidget* parent, const QString& name)
{
    auto* t = new QTableWidget(0, int(headers.size()), parent);
    t->setObjectName(name);
    t->setHorizontalHeaderLabels(headers);
    t->setSelectionBehavior(QAbstractItemView::SelectRows);
    t->setEditTriggers(QAbstractItemView::NoEditTriggers);
    t->verticalHeader()->hide();
    t->setWordWrap(false);
    t->horizontalHeader()->setStretchLastSection(true);
    return t;
}

QPushButton* Button(const QString& text, const QString& name, QWidget* parent)
{
    auto* b = new QPushButton(text, parent);
    b->setObjectName(name);
    b->setAutoDefault(false);
    return b;
}
} // namespace

CArchiveBrowserDialog::CArchiveBrowserDialog(const QString& location, QWidget* parent)
    : QDialog(parent), m_location(location)
{
    setObjectName(QStringLiteral("CArchiveBrowserDialog"));
    setWindowTitle(tr("Архив обследований"));
    resize(900, 520);

    m_objects = Table({tr("Объект"), tr("Обследований"), tr("Первое"), tr("Последнее")}, this,
                      QStringLiteral("ArchiveObjectsTable"));
    m_objects->setSelectionMode(QAbstractItemView::SingleSelection);
    m_surveys = Table(
        {tr("Дата"), tr("Имя"), tr("Прибор"), tr("Зав. №"), tr("Ячеек"), tr("LOS"), tr("Источник")},
        this, QStringLiteral("ArchiveSurveysTable"));
    m_surveys->setSelectionMode(QAbstractItemView::ExtendedSelection);
    auto* split = new QSplitter(Qt::Horizontal, this);
    split->addWidget(m_objects);
    split->addWidget(m_surveys);
    split->setStretchFactor(1, 2);
    split->setSizes({360, 540});

    m_name = new QLineEdit(this);
    m_name->setObjectName(QStringLiteral("ArchiveObjectNameEdit"));
    m_name->setPlaceholderText(tr("имя объекта"));
    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("ArchiveStatusLabel"));
    m_status->setWordWrap(true);
    m_status->setTextInteractionFlags(Qt::TextSelectableByMouse);

    QPushButton* open = Button(tr("Открыть"), QStringLiteral("ArchiveOpenButton"), this);
    QPushButton* openDate =
        Button(tr("Открыть все за дату"), QStringLiteral("ArchiveOpenDateButton"), this);
    QPushButton* remove =
        Button(tr("Удалить обследование…"), QStringLiteral("ArchiveDeleteButton"), this);
    QPushButton* move = Button(tr("Перенести в объект"), QStringLiteral("ArchiveMoveButton"), this);
    QPushButton* rename =
        Button(tr("Переименовать объект"), QStringLiteral("ArchiveRenameButton"), this);
    QPushButton* merge =
        Button(tr("Объединить с объектом"), QStringLiteral("ArchiveMergeButton"), this);
    open->setToolTip(tr("Открыть выбранные обследования на вкладке данных"));
    openDate->setToolTip(tr("Открыть все обследования архива с датой выбранного"));
    move->setToolTip(tr("Перенести выбранные обследования в объект, названный справа"));
    rename->setToolTip(tr("Дать выбранному объекту имя, написанное справа"));
    merge->setToolTip(
        tr("Перенести все обследования выбранного объекта в объект, названный справа"));

    auto* surveyRow = new QHBoxLayout;
    surveyRow->addWidget(open);
    surveyRow->addWidget(openDate);
    surveyRow->addWidget(remove);
    surveyRow->addStretch();
    auto* objectRow = new QHBoxLayout;
    objectRow->addWidget(move);
    objectRow->addWidget(rename);
    objectRow->addWidget(merge);
    objectRow->addWidget(m_name, 1);
    auto* close = new QDialogButtonBox(QDialogButtonBox::Close, this);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(split, 1);
    layout->addLayout(surveyRow);
    layout->addLayout(objectRow);
    layout->addWidget(m_status);
    layout->addWidget(close);

    connect(close, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_objects, &QTableWidget::itemSelectionChanged, this,
            &CArchiveBrowserDialog::OnObjectChanged);
    connect(m_surveys, &QTableWidget::itemDoubleClicked, this,
            &CArchiveBrowserDialog::OnOpenSurveys);
    connect(open, &QPushButton::clicked, this, &CArchiveBrowserDialog::OnOpenSurveys);
    connect(openDate, &QPushButton::clicked, this, &CArchiveBrowserDialog::OnOpenDate);
    connect(remove, &QPushButton::clicked, this, &CArchiveBrowserDialog::OnDeleteSurvey);
    connect(move, &QPushButton::clicked, this, &CArchiveBrowserDialog::OnMoveSurvey);
    connect(rename, &QPushButton::clicked, this, &CArchiveBrowserDialog::OnRenameObject);
    connect(merge, &QPushButton::clicked, this, &CArchiveBrowserDialog::OnMergeObject);
}

bool CArchiveBrowserDialog::OpenArchive(CSurveyArchive* archive)
{
    if (archive->Open(m_location))
        return true;
    ShowFailure(archive->ErrorText());
    return false;
}

void CArchiveBrowserDialog::ShowFailure(const QString& text)
{
    m_status->setText(text);
    UserPrompts().Warning(this, QCoreApplication::applicationName(), text);
}

bool CArchiveBrowserDialog::Refresh()
{
    const QString current = CurrentObjectName();
    CSurveyArchive archive;
    if (!archive.Open(m_location))
    {
        m_status->setText(archive.ErrorText());
        m_objects->setRowCount(0);
        m_surveys->setRowCount(0);
        return false;
    }
    const QList<CSurveyArchive::ObjectInfo> objects = archive.Objects();
    archive.Close();
    const QSignalBlocker block(m_objects);
    m_objects->setRowCount(0);
    QStringList names;
    for (const CSurveyArchive::ObjectInfo& o : objects)
    {
        const int row = m_objects->rowCount();
        m_objects->insertRow(row);
        m_objects->setItem(row, 0, Item(o.name, o.id));
        m_objects->setItem(row, 1, Item(QString::number(o.surveys)));
        m_objects->setItem(row, 2, Item(DateText(o.first)));
        m_objects->setItem(row, 3, Item(DateText(o.last)));
        names.append(o.name);
    }
    m_objects->resizeColumnsToContents();
    auto* completer = new QCompleter(names, m_name);
    completer->setCaseSensitivity(Qt::CaseInsensitive);
    delete m_name->completer();
    m_name->setCompleter(completer);
    m_status->setText(tr("Архив: %1").arg(m_location.contains(QLatin1String("://"))
                                               ? [this] {
                                                     CArchiveLocation l;
                                                     QString e;
                                                     CArchiveLocation::Parse(m_location, &l, &e);
                                                     return l.DisplayText();
                                                 }()
                                               : QDir::toNativeSeparators(m_location)));
    SelectObject(current);
    return true;
}

void CArchiveBrowserDialog::SelectObject(const QString& name)
{
    int row = 0;
    for (int r = 0; r < m_objects->rowCount(); ++r)
        if (CSurveyArchive::ObjectKey(m_objects->item(r, 0)->text()) ==
            CSurveyArchive::ObjectKey(name))
            row = r;
    if (m_objects->rowCount() > 0)
        m_objects->selectRow(row);
    OnObjectChanged();
}

qint64 CArchiveBrowserDialog::CurrentObjectId() const
{
    const QList<QTableWidgetItem*> items = m_objects->selectedItems();
    for (QTableWidgetItem* item : items)
        if (item->column() == 0)
            return item->data(Qt::UserRole).toLongLong();
    return 0;
}

QString CArchiveBrowserDialog::CurrentObjectName() const
{
    const QList<QTableWidgetItem*> items = m_objects->selectedItems();
    for (QTableWidgetItem* item : items)
        if (item->column() == 0)
            return item->text();
    return {};
}

QList<qint64> CArchiveBrowserDialog::SelectedSurveyIds() const
{
    QList<qint64> ids;
    for (QTableWidgetItem* item : m_surveys->selectedItems())
        if (item->column() == 0)
            ids.append(item->data(Qt::UserRole).toLongLong());
    std::sort(ids.begin(), ids.end());
    return ids;
}

void CArchiveBrowserDialog::OnObjectChanged()
{
    m_surveys->setRowCount(0);
    const qint64 objectId = CurrentObjectId();
    if (objectId == 0)
        return;
    CSurveyArchive archive;
    if (!archive.Open(m_location))
    {
        m_status->setText(archive.ErrorText());
        return;
    }
    for (const CSurveyArchive::SurveyInfo& s : archive.Surveys(objectId))
    {
        const int row = m_surveys->rowCount();
        m_surveys->insertRow(row);
        m_surveys->setItem(row, 0, Item(DateText(s.date), s.id));
        m_surveys->setItem(row, 1, Item(s.name));
        m_surveys->setItem(row, 2, Item(s.gaugeName));
        m_surveys->setItem(row, 3, Item(s.gaugeSerial));
        m_surveys->setItem(row, 4, Item(QString::number(s.cells)));
        m_surveys->setItem(row, 5, Item(QString::number(s.los)));
        m_surveys->setItem(
            row, 6,
            Item(s.sourceKind == QLatin1String("download")
                     ? tr("загрузка %1")
                           .arg(s.sourceTime.toString(QStringLiteral("dd.MM.yyyy hh:mm")))
                     : QDir::toNativeSeparators(s.sourcePath)));
    }
    m_surveys->resizeColumnsToContents();
    if (m_surveys->rowCount() > 0)
        m_surveys->selectRow(m_surveys->rowCount() - 1);
}

bool CArchiveBrowserDialog::OpenIds(const QList<qint64>& ids)
{
    if (ids.isEmpty())
    {
        UserPrompts().Warning(this, QCoreApplication::applicationName(),
                              tr("Выберите обследование, которое необходимо открыть."));
        return false;
    }
    CSurveyArchive archive;
    if (!OpenArchive(&archive))
        return false;
    DataFileList files;
    // The data tab holds at most 150 data files.
    for (qint64 id : ids.mid(0, 150))
    {
        DataFileRecord file;
        if (!archive.SurveyData(id, &file))
        {
            ShowFailure(archive.ErrorText());
            return false;
        }
        files.append(file);
    }
    m_chosen = files;
    accept();
    return true;
}

void CArchiveBrowserDialog::OnOpenSurveys()
{
    OpenIds(SelectedSurveyIds());
}

void CArchiveBrowserDialog::OnOpenDate()
{
    const QList<qint64> selected = SelectedSurveyIds();
    if (selected.isEmpty())
    {
        OpenIds({});
        return;
    }
    CSurveyArchive archive;
    if (!OpenArchive(&archive))
        return;
    CSurveyArchive::SurveyInfo info;
    if (!archive.Survey(selected.first(), &info))
    {
        ShowFailure(archive.ErrorText());
        return;
    }
    const QList<qint64> ids = archive.SurveysOfDate(info.date);
    archive.Close();
    OpenIds(ids);
}

void CArchiveBrowserDialog::OnMoveSurvey()
{
    const QList<qint64> ids = SelectedSurveyIds();
    const QString target = m_name->text().trimmed();
    if (ids.isEmpty() || target.isEmpty())
    {
        UserPrompts().Warning(this, QCoreApplication::applicationName(),
                              tr("Выберите обследование и напишите имя объекта, в который его "
                                 "перенести."));
        return;
    }
    CSurveyArchive archive;
    if (!OpenArchive(&archive))
        return;
    for (qint64 id : ids)
        if (!archive.MoveSurvey(id, target))
        {
            ShowFailure(archive.ErrorText());
            break;
        }
    archive.Close();
    Refresh();
    SelectObject(target);
}

void CArchiveBrowserDialog::OnRenameObject()
{
    ChangeObject(tr("Выберите объект и напишите его новое имя."), &CSurveyArchive::RenameObject);
}

void CArchiveBrowserDialog::OnMergeObject()
{
    ChangeObject(tr("Выберите объект и напишите имя объекта, с которым его "
                    "объединить."),
                 &CSurveyArchive::MergeObjects);
}

// Renaming and merging: the selected object and the typed name, one archive
// call, then the list shown again with the resulting object selected.
void CArchiveBrowserDialog::ChangeObject(const QString& missingText, ObjectChange change)
{
    const QString current = CurrentObjectName();
    const QString target = m_name->text().trimmed();
    if (current.isEmpty() || target.isEmpty())
    {
        UserPrompts().Warning(this, QCoreApplication::applicationName(), missingText);
        return;
    }
    CSurveyArchive archive;
    if (!OpenArchive(&archive))
        return;
    const bool ok = (archive.*change)(current, target);
    if (!ok)
        ShowFailure(archive.ErrorText());
    archive.Close();
    Refresh();
    if (ok)
        SelectObject(target);
}

void CArchiveBrowserDialog::OnDeleteSurvey()
{
    const QList<qint64> ids = SelectedSurveyIds();
    if (ids.isEmpty())
    {
        UserPrompts().Warning(this, QCoreApplication::applicationName(),
                              tr("Выберите обследование, которое необходимо удалить."));
        return;
    }
    CSurveyArchive archive;
    if (!OpenArchive(&archive))
        return;
    CSurveyArchive::SurveyInfo info;
    if (!archive.Survey(ids.first(), &info))
    {
        ShowFailure(archive.ErrorText());
        return;
    }
    const QString question =
        ids.size() == 1 ? tr("Удалить из архива обследование '%1' от %2 (объект '%3')?")
                              .arg(info.name, DateText(info.date), info.objectName)
                        : tr("Удалить из архива выбранные обследования (%1)?").arg(ids.size());
    const CUserPrompts::Button answer =
        UserPrompts().Ask(this, CUserPrompts::IconQuestion, QCoreApplication::applicationName(),
                          question, tr("Обследование удаляется из архива навсегда."),
                          CUserPrompts::Yes | CUserPrompts::No, {}, CUserPrompts::No);
    if (answer != CUserPrompts::Yes)
        return;
    for (qint64 id : ids)
        if (!archive.RemoveSurvey(id))
        {
            ShowFailure(archive.ErrorText());
            break;
        }
    archive.Close();
    Refresh();
}
