#include "analysis/CAnalysisView.h"

#include "analysis/CAnalysisChart.h"
#include "analysis/CAnalysisDocument.h"
#include "analysis/CHistoryView.h"
#include "core/CSafeSave.h"
#include "core/CUserPrompts.h"
#include "data/CCellDecoder.h"
#include "data/CDataMessages.h"
#include "data/CDataStorage.h"
#include "export/CCsvWriter.h"

#include "ui_CAnalysisView.h"

#include <QChartView>
#include <QCoreApplication>
#include <QCursor>
#include <QDir>
#include <QFileInfo>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLocale>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QSettings>
#include <QStyle>
#include <QStandardItemModel>
#include <QToolTip>
#include <QUrl>

#include <algorithm>
#include <cmath>

namespace
{
QString Title()
{
    return QCoreApplication::applicationName();
}

QString GroupName()
{
    return QStringLiteral("Analysis");
}

// A thickness field: "4.5" or "4,5"; empty, zero or unreadable means not given.
double FieldValue(const QString& text)
{
    bool ok = false;
    QString t = text.trimmed();
    t.replace(QLatin1Char(','), QLatin1Char('.'));
    const double v = QLocale::c().toDouble(t, &ok);
    return ok && v > 0.0 ? v : CSurveyComparison::kNone;
}

QString FieldText(double value)
{
    return std::isfinite(value) ? QString::number(value, 'g', 6) : QString();
}

// "3. TANK-7 (12.03.2025, ячеек: 40)": the date tells the surveys of one
// object apart.
QString ItemText(int number, const DataFileRecord& file)
{
    return QCoreApplication::translate("CAnalysisView", "%1. %2 (%3, ячеек: %4)")
        .arg(number)
        .arg(CDataStorage::FileName(file), CSurveyComparison::SurveyDateText(file))
        .arg(file.cells.size());
}
} // namespace

CAnalysisView::CAnalysisView(QWidget* parent) : QWidget(parent), m_ui(new Ui::CAnalysisView)
{
    m_ui->setupUi(this);

    m_chart = new CAnalysisChart(this);
    m_chartView = new QChartView(m_chart->Chart(), m_ui->ChartHost);
    m_chartView->setObjectName(QStringLiteral("AnalysisChartView"));
    m_chartView->setRenderHint(QPainter::Antialiasing);
    m_chartView->setMinimumHeight(220);
    m_ui->ChartHostLayout->addWidget(m_chartView);
    m_ui->AnalysisSplitter->setStretchFactor(0, 3);
    m_ui->AnalysisSplitter->setStretchFactor(1, 2);

    m_model = new QStandardItemModel(this);
    m_ui->ComparisonTable->setModel(m_model);
    m_ui->ComparisonTable->verticalHeader()->setVisible(false);
    m_ui->ComparisonTable->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    // Every column as wide as its texts, none stretched: at 1024 pixels the
    // whole table fits without scrolling sideways.
    m_ui->ComparisonTable->horizontalHeader()->setStretchLastSection(false);

    // The count wraps rather than widen the row past a 1024-pixel screen.
    m_ui->BelowCountLabel->setWordWrap(true);
    m_ui->BelowCountLabel->setMinimumWidth(fontMetrics().horizontalAdvance(QLatin1Char('0')) * 16);

    // Digits with at most one decimal separator, either "." or ",".
    const QRegularExpression number(QStringLiteral("^\\d{0,4}([.,]\\d{0,4})?$"));
    for (QLineEdit* edit : {m_ui->RequiredThicknessEdit, m_ui->NominalThicknessEdit})
    {
        edit->setValidator(new QRegularExpressionValidator(number, edit));
        // Room for the longest value the validator lets through, at any scale.
        const int room = edit->fontMetrics().horizontalAdvance(QStringLiteral("8888,8888")) +
                         edit->fontMetrics().averageCharWidth() * 2 + 8;
        edit->setMinimumWidth(room);
        edit->setMaximumWidth(std::max(edit->maximumWidth(), room));
        connect(edit, &QLineEdit::textChanged, this, [this] { OnFieldsEdited(); });
    }
    connect(m_ui->InspectionIntervalSpinBox, &QDoubleSpinBox::valueChanged, this,
            [this] { OnFieldsEdited(); });

    connect(m_ui->ComparePickLoadedButton, &QPushButton::clicked, this,
            &CAnalysisView::OnComparePickLoaded);
    connect(m_ui->ComparePickFileButton, &QPushButton::clicked, this,
            &CAnalysisView::OnComparePickFile);
    connect(m_ui->CompareClearButton, &QPushButton::clicked, this, &CAnalysisView::OnCompareClear);
    connect(m_ui->ExportCsvButton, &QPushButton::clicked, this, &CAnalysisView::OnExportCsv);
    connect(m_ui->ExportPngButton, &QPushButton::clicked, this, &CAnalysisView::OnExportPng);
    connect(m_ui->ExportPdfButton, &QPushButton::clicked, this, &CAnalysisView::OnExportPdf);

    m_ui->CompareNoticeLabel->hide();

    connect(m_chart, &CAnalysisChart::PointHovered, this, &CAnalysisView::OnPointHovered);
    connect(m_chart, &CAnalysisChart::PointClicked, this,
            [this](int cell) { emit CellActivated(cell - 1); });
    m_ui->CompareClearButton->setEnabled(false);

    m_history = new CHistoryView(m_ui->HistoryPage);
    m_ui->HistoryPageLayout->addWidget(m_history);
    connect(m_ui->HistoryModeButton, &QRadioButton::toggled, this,
            [this](bool history)
            {
                m_ui->AnalysisModes->setCurrentIndex(history ? HistoryMode : ComparisonMode);
                if (m_settings)
                    m_settings->setValue(QStringLiteral("Analysis/Mode"),
                                         history ? QStringLiteral("history")
                                                 : QStringLiteral("comparison"));
            });
}

CAnalysisView::~CAnalysisView()
{
    delete m_ui;
}

void CAnalysisView::SetDataFiles(const DataFileList* files)
{
    m_files = files;
    m_dirty = true;
}

void CAnalysisView::SetSettings(QSettings* settings)
{
    m_settings = settings;
    m_history->SetSettings(settings);
    // The mode the user left the tab in.
    if (m_settings &&
        m_settings->value(QStringLiteral("Analysis/Mode")).toString() == QLatin1String("history"))
        SetMode(HistoryMode);
}

void CAnalysisView::SetArchiveLocation(std::function<QString()> location)
{
    m_history->SetArchiveLocation(std::move(location));
}

void CAnalysisView::SetMode(Mode mode)
{
    (mode == HistoryMode ? m_ui->HistoryModeButton : m_ui->ComparisonModeButton)->setChecked(true);
}

CAnalysisView::Mode CAnalysisView::CurrentMode() const
{
    return m_ui->HistoryModeButton->isChecked() ? HistoryMode : ComparisonMode;
}

void CAnalysisView::SetDocumentsDir(std::function<QString()> documentsDir)
{
    m_documentsDir = documentsDir;
    m_history->SetDocumentsDir(std::move(documentsDir));
}

QString CAnalysisView::DocumentsDir() const
{
    return m_documentsDir ? m_documentsDir() : QDir::homePath();
}

const DataFileRecord* CAnalysisView::CurrentFile() const
{
    if (!m_files || m_index < 0 || m_index >= m_files->size())
        return nullptr;
    return &m_files->at(m_index);
}

CSurveyComparison::Unit CAnalysisView::CurrentUnit() const
{
    const DataFileRecord* file = CurrentFile();
    return file ? CAnalysisChart::ShownUnit(*file, m_previous ? &*m_previous : nullptr)
                : CSurveyComparison::Millimetres;
}

QString CAnalysisView::SettingsKey(const QString& fileName)
{
    // "/" and "\" would open sub-groups; percent-encoding keeps any name apart.
    const QByteArray key = QUrl::toPercentEncoding(fileName.toLower());
    return key.isEmpty() ? QStringLiteral("-") : QString::fromLatin1(key);
}

CSurveyComparison::Options CAnalysisView::Options() const
{
    CSurveyComparison::Options options;
    options.required = FieldValue(m_ui->RequiredThicknessEdit->text());
    options.nominal = FieldValue(m_ui->NominalThicknessEdit->text());
    options.intervalYears = m_ui->InspectionIntervalSpinBox->value();
    return options;
}

void CAnalysisView::SetCurrentFile(int index)
{
    m_index = index;
    const DataFileRecord* file = CurrentFile();
    if (file)
    {
        // The values typed for an object come back with its next survey; a
        // reload of the same file keeps what the fields hold.
        const QString name = CDataStorage::FileName(*file);
        if (!m_hasShownName || name.compare(m_shownName, Qt::CaseInsensitive) != 0)
            LoadFields(name);
        FollowCurrent(*file);
    }
    RefreshIfShown();
}

QList<const DataFileRecord*> CAnalysisView::Candidates() const
{
    QList<const DataFileRecord*> out;
    if (m_sourceLoaded)
    {
        if (m_files)
            for (int i = 0; i < m_files->size(); ++i)
                if (i != m_index)
                    out.append(&m_files->at(i));
    }
    else
        for (const DataFileRecord& file : m_sourceFiles)
            out.append(&file);
    return out;
}

void CAnalysisView::FollowCurrent(const DataFileRecord& file)
{
    // Only a comparison the user asked for follows the data tab; the same
    // survey shown again keeps whatever earlier survey was chosen for it.
    if (!m_following)
        return;
    const QString name = CDataStorage::FileName(file);
    if (m_previous && m_comparedWith && CSurveyComparison::SameSurvey(*m_comparedWith, file) &&
        CDataStorage::FileName(*m_comparedWith) == name)
        return;

    // Chosen again by the rule the choice lists offer first by, never kept
    // from another object.
    const QList<const DataFileRecord*> candidates = Candidates();
    const int found = CSurveyComparison::EarlierSurvey(candidates, file);
    if (found < 0)
    {
        m_previous.reset();
        m_previousName.clear();
        m_comparedWith.reset();
        m_ui->PreviousSurveyLabel->setText(tr("не выбрано"));
        m_ui->PreviousSurveyLabel->setToolTip(QString());
        SetNotice(m_sourceLoaded
                      ? tr("Сравнение снято: среди загруженных файлов данных нет более раннего "
                           "обследования «%1».")
                            .arg(name)
                      : tr("Сравнение снято: в «%1» нет более раннего обследования «%2».")
                            .arg(m_sourceText, name),
                  true);
        return;
    }
    const DataFileRecord& chosen = *candidates.at(found);
    const bool unchanged = m_previous && CSurveyComparison::SameSurvey(*m_previous, chosen) &&
                           m_previousName == CDataStorage::FileName(chosen);
    ShowPrevious(chosen, file);
    SetNotice(unchanged
                  ? QString()
                  : tr("Для «%1» выбрано предыдущее обследование «%2» (%3).")
                        .arg(name, m_previousName, CSurveyComparison::SurveyDateText(chosen)));
}

void CAnalysisView::SetNotice(const QString& text, bool dropped)
{
    // A dropped comparison is a warning; another survey chosen is news.
    m_ui->CompareNoticeLabel->setStyleSheet(dropped ? QStringLiteral("color: #8a1c1c;")
                                                    : QString());
    m_ui->CompareNoticeLabel->setText(text);
    m_ui->CompareNoticeLabel->setVisible(!text.isEmpty());
}

QString CAnalysisView::Notice() const
{
    return m_ui->CompareNoticeLabel->text();
}

void CAnalysisView::LoadFields(const QString& fileName)
{
    m_shownName = fileName;
    m_hasShownName = true;
    double required = CSurveyComparison::kNone, nominal = CSurveyComparison::kNone;
    double interval = 5.0;
    if (m_settings)
    {
        m_settings->beginGroup(GroupName());
        m_settings->beginGroup(SettingsKey(fileName));
        // Kept in millimetres: the next survey may be taken in the other unit.
        bool ok = false;
        double v = m_settings->value(QStringLiteral("Required")).toDouble(&ok);
        if (ok && v > 0)
            required = v;
        v = m_settings->value(QStringLiteral("Nominal")).toDouble(&ok);
        if (ok && v > 0)
            nominal = v;
        v = m_settings->value(QStringLiteral("Interval")).toDouble(&ok);
        if (ok && v > 0)
            interval = v;
        m_settings->endGroup();
        m_settings->endGroup();
    }
    const double perMm =
        CurrentUnit() == CSurveyComparison::Inches ? 1.0 / CSurveyComparison::kMmPerInch : 1.0;
    m_loadingFields = true;
    m_ui->RequiredThicknessEdit->setText(FieldText(required * perMm));
    m_ui->NominalThicknessEdit->setText(FieldText(nominal * perMm));
    m_ui->InspectionIntervalSpinBox->setValue(interval);
    m_loadingFields = false;
}

void CAnalysisView::SaveFields()
{
    if (!m_settings || !m_hasShownName || !CurrentFile())
        return;
    const CSurveyComparison::Options options = Options();
    const double mmPer =
        CurrentUnit() == CSurveyComparison::Inches ? CSurveyComparison::kMmPerInch : 1.0;
    m_settings->beginGroup(GroupName());
    m_settings->beginGroup(SettingsKey(m_shownName));
    const auto put = [this](const QString& key, double value)
    {
        if (std::isfinite(value))
            m_settings->setValue(key, value);
        else
            m_settings->remove(key);
    };
    put(QStringLiteral("Required"), options.required * mmPer);
    put(QStringLiteral("Nominal"), options.nominal * mmPer);
    put(QStringLiteral("Interval"), options.intervalYears);
    m_settings->endGroup();
    m_settings->endGroup();
}

void CAnalysisView::OnFieldsEdited()
{
    if (m_loadingFields)
        return;
    SaveFields();
    RefreshIfShown();
}

void CAnalysisView::RefreshIfShown()
{
    m_dirty = true;
    if (isVisible())
        Refresh();
}

void CAnalysisView::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (m_dirty)
        Refresh();
}

void CAnalysisView::Refresh()
{
    m_dirty = false;
    const DataFileRecord* file = CurrentFile();
    const QString unit = CurrentUnit() == CSurveyComparison::Inches ? tr("дюйм") : tr("мм");
    m_ui->RequiredUnitLabel->setText(unit);
    m_ui->NominalUnitLabel->setText(unit);
    if (!file)
    {
        m_chart->Clear();
        m_model->removeRows(0, m_model->rowCount());
        m_model->setColumnCount(0);
        m_ui->BelowCountLabel->setText(tr("Файл данных не выбран"));
        m_ui->SummaryLabel->setText(QString());
        return;
    }

    const CSurveyComparison::Options options = Options();
    const CSurveyComparison comparison = m_previous ? CSurveyComparison(*m_previous, *file, options)
                                                    : CSurveyComparison(*file, options);
    m_chart->SetData(*file, CDataStorage::FileName(*file), options,
                     m_previous ? &*m_previous : nullptr, m_previousName);
    m_ui->BelowCountLabel->setText(std::isnan(options.required)
                                       ? tr("Допустимая толщина не задана")
                                       : tr("Ниже допустимой толщины: %1 из %2")
                                             .arg(comparison.GetSummary().below)
                                             .arg(comparison.ValidCurrentCount()));
    m_ui->SummaryLabel->setText(
        m_previous ? comparison.SummaryLines().join(QLatin1Char('\n'))
                   : tr("Выберите предыдущее обследование того же объекта, чтобы рассчитать "
                        "скорость коррозии и остаточный ресурс."));
    ShowTable(comparison);
}

void CAnalysisView::ShowTable(const CSurveyComparison& comparison)
{
    // Filled away from the table and then put in: a model the table shows
    // would tell it about each of its thousands of items one by one.
    auto* model = new QStandardItemModel(this);
    comparison.FillModel(model);
    for (int row = 0; row < model->rowCount(); ++row)
    {
        const int flag = model->index(row, 0).data(CSurveyComparison::FlagRole).toInt();
        if (flag == CSurveyComparison::NoFlag)
            continue;
        const QBrush brush(flag == CSurveyComparison::BelowRequired ? BelowRequiredColor()
                                                                    : LifeShortColor());
        for (int column = 0; column < model->columnCount(); ++column)
            model->item(row, column)->setBackground(brush);
    }
    // The table keeps the selection model of the model it showed: it goes too.
    QItemSelectionModel* oldSelection = m_ui->ComparisonTable->selectionModel();
    m_ui->ComparisonTable->setModel(model);
    delete oldSelection;
    delete m_model;
    m_model = model;
    // Sized from the headers and the first rows: every row has the same
    // kind of short texts.
    QHeaderView* header = m_ui->ComparisonTable->horizontalHeader();
    header->setResizeContentsPrecision(32);
    FitColumns(m_ui->ComparisonTable);
}

void CAnalysisView::FitColumns(QTableView* table)
{
    // A column is as wide as its values or the longest word of its heading,
    // whichever is wider; the heading wraps onto as many lines as it needs.
    // So every column is seen at once on a 1024-pixel screen.
    const QAbstractItemModel* model = table->model();
    QHeaderView* header = table->horizontalHeader();
    header->setDefaultAlignment(Qt::AlignCenter | Qt::Alignment(Qt::TextWordWrap));
    header->setTextElideMode(Qt::ElideNone);
    const QFontMetrics fm(header->font());
    const int padding = 2 * header->style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, header) +
                        fm.averageCharWidth();
    int lines = 1;
    for (int column = 0; column < model->columnCount(); ++column)
    {
        const QString heading = model->headerData(column, Qt::Horizontal).toString();
        int widestWord = 0;
        for (const QString& word : heading.split(QLatin1Char(' '), Qt::SkipEmptyParts))
            widestWord = std::max(widestWord, fm.horizontalAdvance(word));
        const int values = static_cast<QAbstractItemView*>(table)->sizeHintForColumn(column);
        const int width = std::max(values, widestWord + padding);
        table->setColumnWidth(column, width);
        const QRect wrapped = fm.boundingRect(QRect(0, 0, width - padding, 10000),
                                              int(Qt::AlignCenter | Qt::TextWordWrap), heading);
        lines = std::max(lines, (wrapped.height() + fm.lineSpacing() - 1) / fm.lineSpacing());
    }
    header->setMinimumHeight(
        lines * fm.lineSpacing() +
        2 * header->style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, header) + 4);
}

bool CAnalysisView::RefuseItself(const DataFileRecord& chosen)
{
    const DataFileRecord* current = CurrentFile();
    if (!current || !CSurveyComparison::SameSurvey(chosen, *current))
        return false;
    UserPrompts().Warning(this, Title(),
                          tr("«%1» — это текущее обследование: его нельзя сравнить с самим собой. "
                             "Выберите обследование, сделанное раньше.")
                              .arg(CDataStorage::FileName(chosen)));
    return true;
}

void CAnalysisView::ShowPrevious(const DataFileRecord& file, const DataFileRecord& current)
{
    m_previous = file;
    m_previousName = CDataStorage::FileName(file);
    m_comparedWith = current;
    m_ui->PreviousSurveyLabel->setText(tr("%1 (%2)").arg(m_previousName, m_sourceText));
    m_ui->PreviousSurveyLabel->setToolTip(m_ui->PreviousSurveyLabel->text());
    m_ui->CompareClearButton->setEnabled(true);
}

void CAnalysisView::SetPrevious(const DataFileRecord& file, const QString& source,
                                const DataFileList& sourceFiles, bool loaded)
{
    const DataFileRecord* current = CurrentFile();
    if (!current)
        return;
    m_following = true;
    m_sourceLoaded = loaded;
    m_sourceFiles = loaded ? DataFileList() : sourceFiles;
    m_sourceText = source;
    ShowPrevious(file, *current);
    SetNotice(QString());
    RefreshIfShown();
}

void CAnalysisView::OnCompareClear()
{
    m_following = false;
    m_sourceFiles.clear();
    m_comparedWith.reset();
    SetNotice(QString());
    m_previous.reset();
    m_previousName.clear();
    m_ui->PreviousSurveyLabel->setText(tr("не выбрано"));
    m_ui->PreviousSurveyLabel->setToolTip(QString());
    m_ui->CompareClearButton->setEnabled(false);
    RefreshIfShown();
}

void CAnalysisView::OnComparePickLoaded()
{
    if (!CurrentFile() || m_files->size() < 2)
    {
        UserPrompts().Warning(this, Title(),
                              tr("Для сравнения нужен ещё один загруженный файл данных. "
                                 "Загрузите его или выберите предыдущее обследование из файла."));
        return;
    }
    QStringList items;
    QList<int> indexes;
    QList<const DataFileRecord*> candidates;
    for (int i = 0; i < m_files->size(); ++i)
    {
        if (i == m_index)
            continue;
        items << ItemText(i + 1, m_files->at(i));
        candidates << &m_files->at(i);
        indexes << i;
    }
    const int chosen = UserPrompts().ChooseItem(
        this, tr("Предыдущее обследование"), tr("Файл данных предыдущего обследования:"), items,
        CSurveyComparison::OfferFirst(candidates, *CurrentFile()));
    if (chosen < 0 || chosen >= indexes.size())
        return;
    const DataFileRecord& file = m_files->at(indexes.at(chosen));
    if (RefuseItself(file))
        return;
    SetPrevious(file, tr("загруженные данные"), {}, true);
}

void CAnalysisView::OnComparePickFile()
{
    const QString path =
        UserPrompts().OpenFileName(this, tr("Открыть предыдущее обследование"),
                                   QDir::toNativeSeparators(DocumentsDir() + QLatin1Char('/')),
                                   tr("Базы и файлы данных Korvalent (*.kdb *.kdf)") +
                                       QStringLiteral(";;") + CDataMessages::DatabaseFilter() +
                                       QStringLiteral(";;") + CDataMessages::DataFileFilter());
    if (path.isEmpty())
        return;

    // A file of the other kind under the suffix is read as what it is.
    bool single = false;
    const CDataStorage::LoadResult result = CDataStorage::LoadEitherKind(path, &single);
    switch (result.status)
    {
    case CDataStorage::LoadResult::OpenFailed:
        UserPrompts().Critical(this, Title(),
                               single ? CDataMessages::DataFileOpenFailed(path)
                                      : CDataMessages::DatabaseOpenFailed(path));
        return;
    case CDataStorage::LoadResult::ParseFailed:
        UserPrompts().Critical(this, Title(),
                               single
                                   ? CDataMessages::DataFileParseFailed(path, result.parserError)
                                   : CDataMessages::DatabaseParseFailed(path, result.parserError));
        return;
    case CDataStorage::LoadResult::WrongKind:
        UserPrompts().Critical(this, Title(),
                               single ? CDataMessages::DataFileWrongKind(path)
                                      : CDataMessages::DatabaseWrongKind(path));
        return;
    case CDataStorage::LoadResult::Ok:
        break;
    }
    if (result.files.isEmpty())
    {
        UserPrompts().Warning(this, Title(),
                              tr("В базе данных нет ни одного файла данных: %1").arg(path));
        return;
    }

    const DataFileRecord* current = CurrentFile();
    if (!current)
        return;
    int pick = 0;
    if (result.files.size() > 1)
    {
        QStringList items;
        QList<const DataFileRecord*> candidates;
        for (int i = 0; i < result.files.size(); ++i)
        {
            items << ItemText(i + 1, result.files.at(i));
            candidates << &result.files.at(i);
        }
        pick = UserPrompts().ChooseItem(
            this, tr("Предыдущее обследование"),
            tr("Файл данных предыдущего обследования в %1:").arg(QFileInfo(path).fileName()), items,
            CSurveyComparison::OfferFirst(candidates, *current));
        if (pick < 0 || pick >= result.files.size())
            return;
    }
    if (RefuseItself(result.files.at(pick)))
        return;
    SetPrevious(result.files.at(pick), QFileInfo(path).fileName(), result.files, false);
}

QString CAnalysisView::ExportName(const QString& what, const DataFileRecord& file,
                                  const QString& suffix)
{
    // The object as the file names it (its case kept, its date dropped) and
    // the survey's own date, so that the exports of several surveys differ.
    const QString fileName = CDataStorage::FileName(file).trimmed();
    QString object = fileName.left(CSurveyComparison::ObjectName(fileName).size()).trimmed();
    static const QRegularExpression unsafe(QStringLiteral("[\\\\/:*?\"<>|\\x00-\\x1f]"));
    object.replace(unsafe, QStringLiteral("_"));
    QStringList parts{what};
    if (!object.isEmpty())
        parts << object;
    const QDate date = CSurveyComparison::SurveyDate(file);
    if (date.isValid())
        parts << date.toString(QStringLiteral("yyyy-MM-dd"));
    return parts.join(QLatin1Char(' ')) + QLatin1Char('.') + suffix;
}

QString CAnalysisView::ExportName(const QString& what, const QString& suffix) const
{
    const DataFileRecord* file = CurrentFile();
    return file ? ExportName(what, *file, suffix) : what + QLatin1Char('.') + suffix;
}

QString CAnalysisView::SavePath(const QString& defaultName, const QString& filter)
{
    if (!CurrentFile())
    {
        UserPrompts().Warning(this, Title(), tr("Выберите файл данных на вкладке «Данные»."));
        return {};
    }
    const QString path = UserPrompts().SaveFileName(
        this, tr("Сохранить файл"),
        QDir::toNativeSeparators(DocumentsDir() + QLatin1Char('/') + defaultName), filter);
    if (!path.isEmpty() && m_dirty)
        Refresh();
    return path;
}

void CAnalysisView::OnExportCsv()
{
    const QString path = SavePath(ExportName(tr("Анализ"), QStringLiteral("csv")),
                                  tr("Значения разделённые запятой (*.csv)"));
    if (path.isEmpty())
        return;
    const CSafeSave::Result result = CCsvWriter::Save(path, *m_model);
    if (!result.Ok())
    {
        UserPrompts().Critical(
            this, Title(),
            CDataMessages::WithReason(tr("ОШИБКА: не удалось создать CSV-файл таблицы анализа."),
                                      CSafeSave::Describe(path, result)));
        return;
    }
    UserPrompts().Information(this, Title(), tr("Таблица анализа сохранена в CSV."));
}

void CAnalysisView::OnExportPng()
{
    const QString path =
        SavePath(ExportName(tr("График"), QStringLiteral("png")), tr("Изображение PNG (*.png)"));
    if (path.isEmpty())
        return;
    const CSafeSave::Result result = m_chart->SavePng(path);
    if (!result.Ok())
    {
        UserPrompts().Critical(
            this, Title(),
            CDataMessages::WithReason(tr("ОШИБКА: не удалось сохранить график в PNG."),
                                      CSafeSave::Describe(path, result)));
        return;
    }
    UserPrompts().Information(this, Title(), tr("График сохранён в PNG."));
}

void CAnalysisView::OnExportPdf()
{
    const QString path =
        SavePath(ExportName(tr("График"), QStringLiteral("pdf")), tr("Документ PDF (*.pdf)"));
    if (path.isEmpty())
        return;
    const CSafeSave::Result result =
        CAnalysisDocument(*m_chart, m_previous ? m_sourceText : QString()).SavePdf(path);
    if (!result.Ok())
    {
        UserPrompts().Critical(
            this, Title(),
            CDataMessages::WithReason(tr("ОШИБКА: не удалось сохранить график в PDF."),
                                      CSafeSave::Describe(path, result)));
        return;
    }
    UserPrompts().Information(this, Title(), tr("График сохранён в PDF."));
}

void CAnalysisView::OnPointHovered(int cell, bool previous, bool state)
{
    if (!state)
    {
        QToolTip::hideText();
        return;
    }
    QToolTip::showText(QCursor::pos(), m_chart->PointText(cell, previous), m_chartView);
}
