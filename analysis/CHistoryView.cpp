#include "analysis/CHistoryView.h"

#include "analysis/CAnalysisView.h"
#include "analysis/CHistoryChart.h"
#include "analysis/CHistoryCsv.h"
#include "analysis/CHistoryDocument.h"
#include "analysis/CHistoryRateChart.h"
#include "archive/CSurveyArchive.h"
#include "core/CClock.h"
#include "core/CSafeSave.h"
#include "core/CUserPrompts.h"
#include "data/CDataMessages.h"

#include <QChartView>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QCursor>
#include <QDir>
#include <QDoubleSpinBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QSettings>
#include <QSplitter>
#include <QStandardItemModel>
#include <QTabWidget>
#include <QTableView>
#include <QToolTip>
#include <QVBoxLayout>

#include <cmath>

namespace
{
QString Title()
{
    return QCoreApplication::applicationName();
}

QString ObjectKey()
{
    return QStringLiteral("Analysis/HistoryObject");
}

QString DueWithinKey()
{
    return QStringLiteral("Analysis/HistoryDueWithin");
}

// A thickness field: "4.5" or "4,5"; empty, zero or unreadable means not given.
double FieldValue(const QString& text)
{
    bool ok = false;
    QString t = text.trimmed();
    t.replace(QLatin1Char(','), QLatin1Char('.'));
    const double v = QLocale::c().toDouble(t, &ok);
    return ok && v > 0.0 ? v : CObjectHistory::kNone;
}

// The offered maximum intervals: piping by class, vessels, tank shells.
const double kIntervals[] = {5.0, 10.0, 15.0};

QColor FlagColor(int flag)
{
    switch (flag)
    {
    case CObjectHistory::BelowRequired:
        return CHistoryView::BelowRequiredColor();
    case CObjectHistory::Due:
        return CHistoryView::DueColor();
    case CObjectHistory::NoRate:
        return CHistoryView::NoRateColor();
    default:
        return QColor();
    }
}
} // namespace

CHistoryView::CHistoryView(QWidget* parent) : QWidget(parent)
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);

    // The object and the exports.
    auto* objectRow = new QHBoxLayout();
    auto* objectLabel = new QLabel(tr("Объект архива:"));
    m_objects = new QComboBox();
    m_objects->setObjectName(QStringLiteral("ObjectCombo"));
    m_objects->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    m_objects->setMinimumContentsLength(24);
    objectLabel->setBuddy(m_objects);
    m_reload = new QPushButton(tr("Обновить"));
    m_reload->setObjectName(QStringLiteral("ReloadButton"));
    m_reload->setToolTip(tr("Прочитать объекты и обследования из архива заново"));
    m_exportCsv = new QPushButton(tr("Таблица в CSV..."));
    m_exportCsv->setObjectName(QStringLiteral("HistoryExportCsvButton"));
    m_exportPng = new QPushButton(tr("График в PNG..."));
    m_exportPng->setObjectName(QStringLiteral("HistoryExportPngButton"));
    m_exportPng->setToolTip(tr("График толщины выбранной ячейки"));
    m_exportPdf = new QPushButton(tr("Отчёт в PDF..."));
    m_exportPdf->setObjectName(QStringLiteral("HistoryExportPdfButton"));
    m_exportPdf->setToolTip(tr("Обследования, настройки, итоги, таблица и график определяющей "
                               "ячейки на листах A4"));
    objectRow->addWidget(objectLabel);
    objectRow->addWidget(m_objects, 1);
    objectRow->addWidget(m_reload);
    objectRow->addSpacing(16);
    objectRow->addWidget(m_exportCsv);
    objectRow->addWidget(m_exportPng);
    objectRow->addWidget(m_exportPdf);
    layout->addLayout(objectRow);

    // The object's settings, two rows so that they fit a 1024-pixel screen.
    auto* settingsRow = new QHBoxLayout();
    const QRegularExpression number(QStringLiteral("^\\d{0,4}([.,]\\d{0,4})?$"));
    const auto thickness =
        [&](const QString& caption, const QString& name, const QString& toolTip, QLabel** unit)
    {
        auto* label = new QLabel(caption);
        auto* edit = new QLineEdit();
        edit->setObjectName(name);
        edit->setToolTip(toolTip);
        edit->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        edit->setValidator(new QRegularExpressionValidator(number, edit));
        const int room = edit->fontMetrics().horizontalAdvance(QStringLiteral("8888,8888")) +
                         edit->fontMetrics().averageCharWidth() * 2 + 8;
        edit->setFixedWidth(room);
        label->setBuddy(edit);
        *unit = new QLabel(tr("мм"));
        (*unit)->setObjectName(name + QStringLiteral("Unit"));
        settingsRow->addWidget(label);
        settingsRow->addWidget(edit);
        settingsRow->addWidget(*unit);
        settingsRow->addSpacing(12);
        // Stored when the user leaves the field, not at every key.
        connect(edit, &QLineEdit::editingFinished, this, [this] { OnSettingsEdited(); });
        return edit;
    };
    m_required = thickness(tr("Допустимая толщина:"), QStringLiteral("HistoryRequiredEdit"),
                           tr("Минимально допустимая толщина стенки объекта; пусто — не задана"),
                           &m_requiredUnit);
    m_nominal = thickness(tr("Номинальная толщина:"), QStringLiteral("HistoryNominalEdit"),
                          tr("Номинальная (проектная) толщина стенки объекта; пусто — не задана"),
                          &m_nominalUnit);
    auto* intervalLabel = new QLabel(tr("Наибольший интервал:"));
    m_interval = new QComboBox();
    m_interval->setObjectName(QStringLiteral("MaxIntervalCombo"));
    m_interval->setToolTip(tr("5 или 10 лет — трубопроводы по классу, 10 лет — сосуды, 15 лет — "
                              "стенки резервуаров"));
    for (double years : kIntervals)
        m_interval->addItem(tr("%1 лет").arg(years), years);
    intervalLabel->setBuddy(m_interval);
    settingsRow->addWidget(intervalLabel);
    settingsRow->addWidget(m_interval);
    settingsRow->addSpacing(12);
    auto* rateLabel = new QLabel(tr("Скорость для ресурса:"));
    m_rateKind = new QComboBox();
    m_rateKind->setObjectName(QStringLiteral("RateKindCombo"));
    m_rateKind->addItem(tr("наибольшая"), int(CObjectHistory::RateMax));
    m_rateKind->addItem(tr("долгосрочная (LT)"), int(CObjectHistory::RateLongTerm));
    m_rateKind->addItem(tr("краткосрочная (ST)"), int(CObjectHistory::RateShortTerm));
    m_rateKind->addItem(tr("по регрессии"), int(CObjectHistory::RateRegression));
    m_rateKind->setToolTip(tr("Наибольшая — наибольшая из имеющихся скоростей LT, ST и по "
                              "регрессии; иначе всегда выбранная"));
    rateLabel->setBuddy(m_rateKind);
    settingsRow->addWidget(rateLabel);
    settingsRow->addWidget(m_rateKind);
    settingsRow->addStretch(1);
    layout->addLayout(settingsRow);

    auto* optionsRow = new QHBoxLayout();
    m_vesselRule = new QCheckBox(tr("Правило сосудов: при ресурсе менее 4 лет интервал — весь "
                                    "ресурс, не более 2 лет"));
    m_vesselRule->setObjectName(QStringLiteral("VesselRuleCheck"));
    optionsRow->addWidget(m_vesselRule);
    optionsRow->addSpacing(16);
    auto* dueLabel = new QLabel(tr("Выделять обследования в ближайшие, лет:"));
    m_dueWithin = new QDoubleSpinBox();
    m_dueWithin->setObjectName(QStringLiteral("DueWithinSpinBox"));
    m_dueWithin->setToolTip(
        tr("Ячейки, срок следующего обследования которых наступает раньше, отмечаются жёлтым"));
    m_dueWithin->setDecimals(1);
    m_dueWithin->setRange(0.0, 50.0);
    m_dueWithin->setSingleStep(0.5);
    m_dueWithin->setValue(1.0);
    dueLabel->setBuddy(m_dueWithin);
    optionsRow->addWidget(dueLabel);
    optionsRow->addWidget(m_dueWithin);
    optionsRow->addStretch(1);
    layout->addLayout(optionsRow);

    m_status = new QLabel();
    m_status->setObjectName(QStringLiteral("HistoryStatusLabel"));
    m_status->setWordWrap(true);
    m_status->setStyleSheet(QStringLiteral("color: #8a1c1c;"));
    m_status->hide();
    layout->addWidget(m_status);
    // The summary in three columns, so that the table keeps its room.
    auto* summaryHost = new QWidget();
    summaryHost->setObjectName(QStringLiteral("HistorySummary"));
    m_summary = new QGridLayout(summaryHost);
    m_summary->setContentsMargins(0, 0, 0, 0);
    m_summary->setHorizontalSpacing(24);
    m_summary->setVerticalSpacing(0);
    layout->addWidget(summaryHost);

    // The table above, the charts and the readings below.
    auto* splitter = new QSplitter(Qt::Vertical);
    splitter->setObjectName(QStringLiteral("HistorySplitter"));
    splitter->setChildrenCollapsible(false);
    m_table = new QTableView();
    m_table->setObjectName(QStringLiteral("LocationsTable"));
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    m_table->verticalHeader()->setVisible(false);
    m_table->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    m_table->horizontalHeader()->setStretchLastSection(false);
    m_table->horizontalHeader()->setSortIndicatorShown(true);
    m_table->setSortingEnabled(true);
    m_table->sortByColumn(-1, Qt::AscendingOrder);
    m_model = new QStandardItemModel(this);
    m_table->setModel(m_model);
    splitter->addWidget(m_table);

    auto* lower = new QSplitter(Qt::Horizontal);
    lower->setChildrenCollapsible(false);
    m_chartTabs = new QTabWidget();
    m_chartTabs->setObjectName(QStringLiteral("HistoryChartTabs"));
    m_trend = new CHistoryChart(this);
    m_trendView = new QChartView(m_trend->Chart());
    m_trendView->setObjectName(QStringLiteral("TrendChartView"));
    m_trendView->setRenderHint(QPainter::Antialiasing);
    m_trendView->setMinimumHeight(220);
    m_rates = new CHistoryRateChart(this);
    m_ratesView = new QChartView(m_rates->Chart());
    m_ratesView->setObjectName(QStringLiteral("RateChartView"));
    m_ratesView->setRenderHint(QPainter::Antialiasing);
    m_chartTabs->addTab(m_trendView, tr("Толщина ячейки по годам"));
    m_chartTabs->addTab(m_ratesView, tr("Скорость коррозии по ячейкам"));
    lower->addWidget(m_chartTabs);
    connect(m_chartTabs, &QTabWidget::currentChanged, this, [this] { ShowRatesIfSeen(); });

    auto* readingsHost = new QWidget();
    auto* readingsLayout = new QVBoxLayout(readingsHost);
    readingsLayout->setContentsMargins(0, 0, 0, 0);
    m_readingsLabel = new QLabel(tr("Замеры ячейки"));
    m_readingsLabel->setObjectName(QStringLiteral("ReadingsLabel"));
    m_readings = new QTableView();
    m_readings->setObjectName(QStringLiteral("ReadingsTable"));
    m_readings->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_readings->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_readings->setSelectionMode(QAbstractItemView::SingleSelection);
    m_readings->verticalHeader()->setVisible(false);
    m_readings->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    m_readingsModel = new QStandardItemModel(this);
    m_readings->setModel(m_readingsModel);
    m_accept = new QPushButton(tr("Принять замер E"));
    m_accept->setObjectName(QStringLiteral("AcceptReadingButton"));
    m_accept->setToolTip(tr("Замер с отметкой E не учитывается в скоростях коррозии, пока его не "
                            "примут; отметка хранится в архиве"));
    m_accept->setEnabled(false);
    readingsLayout->addWidget(m_readingsLabel);
    readingsLayout->addWidget(m_readings, 1);
    readingsLayout->addWidget(m_accept, 0, Qt::AlignLeft);
    lower->addWidget(readingsHost);
    lower->setStretchFactor(0, 3);
    lower->setStretchFactor(1, 2);
    splitter->addWidget(lower);
    splitter->setStretchFactor(0, 2);
    splitter->setStretchFactor(1, 3);
    layout->addWidget(splitter, 1);

    connect(m_objects, &QComboBox::activated, this, [this] { OnObjectChosen(); });
    connect(m_reload, &QPushButton::clicked, this, [this] { Reload(); });
    for (QComboBox* combo : {m_interval, m_rateKind})
        connect(combo, &QComboBox::currentIndexChanged, this, [this] { OnSettingsEdited(); });
    connect(m_vesselRule, &QCheckBox::toggled, this, [this] { OnSettingsEdited(); });
    connect(m_dueWithin, &QDoubleSpinBox::valueChanged, this, [this] { OnDueWithinEdited(); });
    connect(m_exportCsv, &QPushButton::clicked, this, &CHistoryView::OnExportCsv);
    connect(m_exportPng, &QPushButton::clicked, this, &CHistoryView::OnExportPng);
    connect(m_exportPdf, &QPushButton::clicked, this, &CHistoryView::OnExportPdf);
    connect(m_accept, &QPushButton::clicked, this, &CHistoryView::OnAcceptReading);
    // The readings' model is refilled, never replaced: its selection stays connected.
    connect(m_readings->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this] { OnReadingChanged(); });
    connect(m_rates, &CHistoryRateChart::CellClicked, this,
            [this](int cell)
            {
                if (m_history)
                    SelectLocation(m_history->LocationIndex(cell));
            });
    connect(m_trend, &CHistoryChart::PointHovered, this,
            [this](const QPointF& point, bool state)
            {
                if (state)
                    QToolTip::showText(QCursor::pos(), m_trend->PointText(point), m_trendView);
                else
                    QToolTip::hideText();
            });
    // A double-click on a row shows its trend even when the overview is in front.
    connect(m_table, &QTableView::doubleClicked, this,
            [this] { m_chartTabs->setCurrentWidget(m_trendView); });
    ClearShown();
}

CHistoryView::~CHistoryView() = default;

void CHistoryView::SetArchiveLocation(std::function<QString()> location)
{
    m_archiveLocation = std::move(location);
    m_loaded = false;
}

void CHistoryView::SetSettings(QSettings* settings)
{
    m_settings = settings;
    if (m_settings)
    {
        m_loadingFields = true;
        m_dueWithin->setValue(m_settings->value(DueWithinKey(), 1.0).toDouble());
        m_loadingFields = false;
    }
}

void CHistoryView::SetDocumentsDir(std::function<QString()> documentsDir)
{
    m_documentsDir = std::move(documentsDir);
}

QString CHistoryView::DocumentsDir() const
{
    return m_documentsDir ? m_documentsDir() : QDir::homePath();
}

void CHistoryView::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    // The archive is read when the history is looked at, not when the window
    // opens; again each time, so that surveys archived meanwhile show.
    if (!event->spontaneous())
        Reload();
}

bool CHistoryView::OpenArchive(CSurveyArchive* archive)
{
    const QString location = m_archiveLocation ? m_archiveLocation() : QString();
    if (location.isEmpty())
    {
        ShowStatus(tr("Место архива не задано (Архив → Место архива…)."));
        return false;
    }
    if (!archive->Open(location))
    {
        ShowStatus(archive->ErrorText());
        return false;
    }
    return true;
}

void CHistoryView::ShowStatus(const QString& text)
{
    m_status->setText(text);
    m_status->setVisible(!text.isEmpty());
}

QString CHistoryView::StatusText() const
{
    return m_status->text();
}

bool CHistoryView::Reload()
{
    m_loaded = true;
    const QString wanted =
        !ObjectName().isEmpty()
            ? ObjectName()
            : (m_settings ? m_settings->value(ObjectKey()).toString() : QString());
    QList<CSurveyArchive::ObjectInfo> objects;
    {
        CSurveyArchive archive;
        if (!OpenArchive(&archive))
        {
            m_objects->clear();
            ClearShown();
            return false;
        }
        objects = archive.Objects();
        if (!archive.ErrorText().isEmpty())
        {
            ShowStatus(archive.ErrorText());
            m_objects->clear();
            ClearShown();
            return false;
        }
    }
    {
        const QSignalBlocker block(m_objects);
        m_objects->clear();
        for (const CSurveyArchive::ObjectInfo& o : std::as_const(objects))
        {
            const QString span =
                o.first == o.last ? CObjectHistory::DateText(o.first)
                                  : QStringLiteral("%1 – %2").arg(CObjectHistory::DateText(o.first),
                                                                  CObjectHistory::DateText(o.last));
            m_objects->addItem(tr("%1 (обследований: %2, %3)").arg(o.name).arg(o.surveys).arg(span),
                               o.name);
        }
        int index = 0;
        for (int i = 0; i < m_objects->count(); ++i)
            if (CSurveyArchive::ObjectKey(m_objects->itemData(i).toString()) ==
                CSurveyArchive::ObjectKey(wanted))
                index = i;
        m_objects->setCurrentIndex(objects.isEmpty() ? -1 : index);
    }
    m_objects->setEnabled(!objects.isEmpty());
    if (objects.isEmpty())
    {
        ClearShown();
        ShowStatus(tr("В архиве нет объектов: заархивируйте загруженные данные (Архив → "
                      "Архивировать загруженные данные)."));
        return true;
    }
    ShowStatus(QString());
    return LoadObject(ObjectName());
}

QString CHistoryView::ObjectName() const
{
    return m_objects->currentIndex() < 0 ? QString() : m_objects->currentData().toString();
}

bool CHistoryView::ChooseObject(const QString& name)
{
    if (!m_loaded && !Reload())
        return false;
    for (int i = 0; i < m_objects->count(); ++i)
        if (CSurveyArchive::ObjectKey(m_objects->itemData(i).toString()) ==
            CSurveyArchive::ObjectKey(name))
        {
            m_objects->setCurrentIndex(i);
            OnObjectChosen();
            return true;
        }
    return false;
}

void CHistoryView::ShowHistory(std::unique_ptr<CObjectHistory> history)
{
    m_history = std::move(history);
    if (!m_history)
    {
        ClearShown();
        return;
    }
    ShowStatus(QString());
    Show(-1);
}

void CHistoryView::OnObjectChosen()
{
    const QString name = ObjectName();
    if (m_settings && !name.isEmpty())
        m_settings->setValue(ObjectKey(), name);
    LoadObject(name);
}

CObjectHistory::ViewOptions CHistoryView::ViewOptions() const
{
    CObjectHistory::ViewOptions view;
    view.today = CClock::Today();
    view.dueWithinYears = m_dueWithin->value();
    return view;
}

bool CHistoryView::LoadObject(const QString& name)
{
    const int keepCell = m_history && m_location >= 0 &&
                                 CSurveyArchive::ObjectKey(m_history->ObjectName()) ==
                                     CSurveyArchive::ObjectKey(name)
                             ? m_history->Locations().at(m_location).cell
                             : -1;
    if (name.isEmpty())
    {
        ClearShown();
        return false;
    }
    CSurveyArchive archive;
    if (!OpenArchive(&archive))
    {
        ClearShown();
        return false;
    }
    CObjectHistory* loaded = nullptr;
    QString error;
    if (!CObjectHistory::Load(archive, name, &loaded, &error, nullptr, ViewOptions()))
    {
        delete loaded;
        ClearShown();
        ShowStatus(error);
        return false;
    }
    m_history.reset(loaded);
    ShowStatus(QString());
    Show(keepCell);
    return true;
}

void CHistoryView::ClearShown()
{
    m_history.reset();
    m_location = -1;
    ShowSummary({});
    ShowTable();
    ShowLocation(-1);
    m_rates->Clear();
    m_ratesStale = false;
    for (QWidget* w :
         std::initializer_list<QWidget*>{m_required, m_nominal, m_interval, m_rateKind,
                                         m_vesselRule, m_exportCsv, m_exportPng, m_exportPdf})
        w->setEnabled(false);
}

void CHistoryView::Show(int keepCell)
{
    for (QWidget* w :
         std::initializer_list<QWidget*>{m_required, m_nominal, m_interval, m_rateKind,
                                         m_vesselRule, m_exportCsv, m_exportPng, m_exportPdf})
        w->setEnabled(true);
    ShowFields();
    ShowSummary(m_history->SummaryLines());
    ShowTable();
    // The overview is drawn when it is looked at.
    m_ratesStale = true;
    ShowRatesIfSeen();
    // The same cell again after a change; else the location that governs.
    int index = keepCell > 0 ? m_history->LocationIndex(keepCell) : -1;
    if (index < 0)
        index = m_history->GetSummary().governingLocation;
    if (index < 0 && !m_history->Locations().isEmpty())
        index = 0;
    m_location = -1;
    SelectLocation(index);
}

void CHistoryView::ShowSummary(const QStringList& lines)
{
    while (m_summaryLabels.size() < lines.size())
    {
        auto* label = new QLabel();
        label->setTextInteractionFlags(Qt::TextSelectableByMouse);
        m_summaryLabels << label;
    }
    for (QLabel* label : std::as_const(m_summaryLabels))
        m_summary->removeWidget(label);
    // Down the first column, then the next.
    const int rows = (int(lines.size()) + 2) / 3;
    for (int i = 0; i < m_summaryLabels.size(); ++i)
    {
        QLabel* label = m_summaryLabels.at(i);
        if (i < lines.size())
        {
            label->setText(lines.at(i));
            m_summary->addWidget(label, i % rows, i / rows);
            label->show();
        }
        else
        {
            label->clear();
            label->hide();
        }
    }
    m_summary->setColumnStretch(3, 1);
}

QStringList CHistoryView::SummaryLines() const
{
    QStringList lines;
    for (const QLabel* label : m_summaryLabels)
        if (!label->text().isEmpty())
            lines << label->text();
    return lines;
}

void CHistoryView::ShowRatesIfSeen()
{
    if (!m_ratesStale || !m_history || m_chartTabs->currentWidget() != m_ratesView)
        return;
    m_ratesStale = false;
    m_rates->SetHistory(*m_history);
}

void CHistoryView::ShowFields()
{
    m_loadingFields = true;
    const CObjectHistory::Settings& s = m_history->GetSettings();
    const auto text = [this](double mm)
    { return std::isfinite(mm) ? QString::number(m_history->FromMm(mm), 'g', 6) : QString(); };
    m_required->setText(text(s.requiredMm));
    m_nominal->setText(text(s.nominalMm));
    const QString unit =
        m_history->DisplayUnit() == CSurveyComparison::Inches ? tr("дюйм") : tr("мм");
    m_requiredUnit->setText(unit);
    m_nominalUnit->setText(unit);
    // An interval the list does not offer (kept by an earlier choice) is shown as it is.
    int interval = m_interval->findData(s.maxIntervalYears);
    if (interval < 0)
    {
        m_interval->addItem(tr("%1 лет").arg(s.maxIntervalYears), s.maxIntervalYears);
        interval = m_interval->count() - 1;
    }
    m_interval->setCurrentIndex(interval);
    m_rateKind->setCurrentIndex(std::max(0, m_rateKind->findData(int(s.rate))));
    m_vesselRule->setChecked(s.vesselRule);
    m_loadingFields = false;
}

CObjectHistory::Settings CHistoryView::FieldSettings() const
{
    CObjectHistory::Settings s = m_history ? m_history->GetSettings() : CObjectHistory::Settings();
    const double required = FieldValue(m_required->text());
    const double nominal = FieldValue(m_nominal->text());
    s.requiredMm = m_history && std::isfinite(required) ? m_history->ToMm(required) : required;
    s.nominalMm = m_history && std::isfinite(nominal) ? m_history->ToMm(nominal) : nominal;
    s.maxIntervalYears = m_interval->currentData().toDouble();
    s.rate = CObjectHistory::RateKind(m_rateKind->currentData().toInt());
    s.vesselRule = m_vesselRule->isChecked();
    return s;
}

namespace
{
bool SameSettings(const CObjectHistory::Settings& a, const CObjectHistory::Settings& b)
{
    const auto same = [](double x, double y)
    { return (std::isnan(x) && std::isnan(y)) || std::abs(x - y) < 1e-9; };
    return same(a.requiredMm, b.requiredMm) && same(a.nominalMm, b.nominalMm) &&
           same(a.maxIntervalYears, b.maxIntervalYears) && a.rate == b.rate &&
           a.vesselRule == b.vesselRule;
}
} // namespace

void CHistoryView::OnSettingsEdited()
{
    if (m_loadingFields || !m_history)
        return;
    const CObjectHistory::Settings settings = FieldSettings();
    // Leaving a field unchanged stores nothing.
    if (SameSettings(settings, m_history->GetSettings()))
        return;
    CSurveyArchive archive;
    if (!OpenArchive(&archive))
        return;
    QString error;
    if (!StoreSettings(archive, settings, &error))
    {
        UserPrompts().Critical(this, Title(), error);
        ShowFields();
        return;
    }
    Rebuild(settings);
}

void CHistoryView::OnDueWithinEdited()
{
    if (m_loadingFields)
        return;
    if (m_settings)
        m_settings->setValue(DueWithinKey(), m_dueWithin->value());
    if (m_history)
        Rebuild(m_history->GetSettings());
}

void CHistoryView::Rebuild(const CObjectHistory::Settings& settings)
{
    // The surveys and the accepted marks are those already read: no need to
    // go back to the archive for another setting.
    QSet<QPair<qint64, int>> accepted;
    for (const CObjectHistory::Location& l : m_history->Locations())
        for (const CObjectHistory::Reading& r : l.readings)
            if (r.accepted)
                accepted.insert(qMakePair(r.surveyId, l.cell));
    const int keepCell = m_location >= 0 ? m_history->Locations().at(m_location).cell : -1;
    m_history = std::make_unique<CObjectHistory>(m_history->ObjectName(), m_history->Surveys(),
                                                 accepted, settings, ViewOptions());
    Show(keepCell);
}

void CHistoryView::ShowTable()
{
    // Filled away from the table and then put in, as the comparison's table.
    auto* model = new QStandardItemModel(this);
    if (m_history)
    {
        m_history->FillModel(model);
        model->setSortRole(CObjectHistory::SortRole);
        for (int row = 0; row < model->rowCount(); ++row)
        {
            // Rows move whole when sorted: the first item names the location.
            QStandardItem* first = model->item(row, 0);
            first->setData(row, LocationRole);
            const QColor color = FlagColor(first->data(CObjectHistory::FlagRole).toInt());
            if (!color.isValid())
                continue;
            const QBrush brush(color);
            for (int column = 0; column < model->columnCount(); ++column)
                if (QStandardItem* item = model->item(row, column))
                    item->setBackground(brush);
        }
    }
    QItemSelectionModel* oldSelection = m_table->selectionModel();
    m_table->setModel(model);
    delete oldSelection;
    delete m_model;
    m_model = model;
    connect(m_table->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this] { OnTableCurrentChanged(); });
    // The order the user sorted by stays.
    QHeaderView* header = m_table->horizontalHeader();
    if (header->sortIndicatorSection() >= 0 &&
        header->sortIndicatorSection() < model->columnCount())
        model->sort(header->sortIndicatorSection(), header->sortIndicatorOrder());
    header->setResizeContentsPrecision(32);
    CAnalysisView::FitColumns(m_table);
}

bool CHistoryView::SelectLocation(int locationIndex)
{
    if (!m_history || locationIndex < 0 || locationIndex >= m_history->Locations().size())
    {
        ShowLocation(-1);
        return false;
    }
    for (int row = 0; row < m_model->rowCount(); ++row)
        if (m_model->index(row, 0).data(LocationRole).toInt() == locationIndex)
        {
            const QModelIndex index = m_model->index(row, 0);
            m_table->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect |
                                                                  QItemSelectionModel::Rows);
            m_table->scrollTo(index);
            // Again once the new headings' height has reached the viewport.
            QMetaObject::invokeMethod(
                m_table, [table = m_table] { table->scrollTo(table->currentIndex()); },
                Qt::QueuedConnection);
            // Selecting the row already current tells nobody.
            if (m_location != locationIndex)
                ShowLocation(locationIndex);
            return true;
        }
    return false;
}

void CHistoryView::OnTableCurrentChanged()
{
    const QModelIndex current = m_table->selectionModel()->currentIndex();
    ShowLocation(current.isValid() ? current.siblingAtColumn(0).data(LocationRole).toInt() : -1);
}

void CHistoryView::ShowLocation(int locationIndex)
{
    m_location = m_history && locationIndex >= 0 && locationIndex < m_history->Locations().size()
                     ? locationIndex
                     : -1;
    m_readingsModel->clear();
    if (m_location < 0)
    {
        m_trend->Clear();
        m_readingsLabel->setText(tr("Замеры ячейки: ячейка не выбрана"));
        OnReadingChanged();
        return;
    }
    m_trend->SetLocation(*m_history, m_location);
    const CObjectHistory::Location& location = m_history->Locations().at(m_location);
    m_readingsLabel->setText(tr("Замеры ячейки %1:").arg(location.cell));
    m_readingsModel->setHorizontalHeaderLabels(m_history->ReadingHeaders());
    for (int i = 0; i < location.readings.size(); ++i)
    {
        const CObjectHistory::Reading& r = location.readings.at(i);
        QList<QStandardItem*> row;
        for (const QString& text : m_history->ReadingTexts(location, i))
        {
            auto* item = new QStandardItem(text);
            if ((r.checks & CObjectHistory::CheckE) && !r.accepted)
                item->setBackground(BelowRequiredColor());
            else if (r.los)
                item->setForeground(QColor(120, 120, 120));
            row << item;
        }
        m_readingsModel->appendRow(row);
    }
    CAnalysisView::FitColumns(m_readings);
    // The reading that needs a decision first: the first E reading, else the last one.
    int pick = int(location.readings.size()) - 1;
    for (int i = 0; i < location.readings.size(); ++i)
        if (location.readings.at(i).checks & CObjectHistory::CheckE)
        {
            pick = i;
            break;
        }
    SelectReading(pick);
    OnReadingChanged();
}

int CHistoryView::CurrentReading() const
{
    const QModelIndex current =
        m_readings->selectionModel() ? m_readings->selectionModel()->currentIndex() : QModelIndex();
    return current.isValid() ? current.row() : -1;
}

bool CHistoryView::SelectReading(int reading)
{
    if (reading < 0 || reading >= m_readingsModel->rowCount())
        return false;
    m_readings->selectionModel()->setCurrentIndex(m_readingsModel->index(reading, 0),
                                                  QItemSelectionModel::ClearAndSelect |
                                                      QItemSelectionModel::Rows);
    return true;
}

void CHistoryView::OnReadingChanged()
{
    const int reading = CurrentReading();
    const CObjectHistory::Reading* r =
        m_history && m_location >= 0 && reading >= 0 &&
                reading < m_history->Locations().at(m_location).readings.size()
            ? &m_history->Locations().at(m_location).readings.at(reading)
            : nullptr;
    const bool e = r && (r->checks & CObjectHistory::CheckE);
    m_accept->setEnabled(e);
    m_accept->setText(e && r->accepted ? tr("Снять принятие замера") : tr("Принять замер E"));
}

void CHistoryView::OnAcceptReading()
{
    const int reading = CurrentReading();
    if (!m_history || m_location < 0 || reading < 0)
        return;
    const CObjectHistory::Location& location = m_history->Locations().at(m_location);
    if (reading >= location.readings.size())
        return;
    const CObjectHistory::Reading r = location.readings.at(reading);
    if (!(r.checks & CObjectHistory::CheckE))
        return;
    const int cell = location.cell;
    const QString survey = m_history->Surveys().value(r.survey).name;
    const QString what = tr("замер ячейки %1 от %2 (%3 %4, обследование «%5»)")
                             .arg(cell)
                             .arg(CObjectHistory::DateText(r.date), m_history->ThicknessText(r.mm),
                                  m_history->UnitText(), survey);
    const bool accept = !r.accepted;
    const QString text = accept ? tr("Принять %1?").arg(what) : tr("Снять принятие: %1?").arg(what);
    const QString informative =
        accept ? tr("Замер отмечен «E»: он более чем на 10 % толще предыдущего или более чем на "
                    "15 % толще одного из прежних замеров ячейки. Принятый замер снова учитывается "
                    "в скоростях коррозии; отметка хранится в архиве.")
               : tr("Замер снова не будет учитываться в скоростях коррозии.");
    if (UserPrompts().Ask(this, CUserPrompts::IconQuestion, Title(), text, informative,
                          CUserPrompts::Yes | CUserPrompts::No, {},
                          CUserPrompts::No) != CUserPrompts::Yes)
        return;
    {
        CSurveyArchive archive;
        if (!OpenArchive(&archive))
            return;
        QString error;
        if (!StoreAccepted(archive, r.surveyId, cell, accept, &error))
        {
            UserPrompts().Critical(this, Title(), error);
            return;
        }
    }
    LoadObject(m_history->ObjectName());
    // The same reading stays chosen.
    if (m_location >= 0)
    {
        const QList<CObjectHistory::Reading>& readings =
            m_history->Locations().at(m_location).readings;
        for (int i = 0; i < readings.size(); ++i)
            if (readings.at(i).surveyId == r.surveyId)
                SelectReading(i);
    }
}

bool CHistoryView::StoreSettings(CSurveyArchive& archive, const CObjectHistory::Settings& settings,
                                 QString* error)
{
    return CObjectHistory::StoreSettings(archive, m_history->ObjectName(), settings, error);
}

bool CHistoryView::StoreAccepted(CSurveyArchive& archive, qint64 surveyId, int cell, bool accepted,
                                 QString* error)
{
    if (archive.SetAccepted(surveyId, cell, accepted))
        return true;
    *error = archive.ErrorText();
    return false;
}

bool CHistoryView::WriteCsv(const QString& path, QString* error) const
{
    // The same bytes as the command line's --csv.
    const CSafeSave::Result saved = CHistoryCsv::Save(path, *m_history);
    if (!saved.Ok())
        *error = CSafeSave::Describe(path, saved);
    return saved.Ok();
}

QString CHistoryView::ExportName(const QString& what, const QString& suffix) const
{
    // The object and the day of the export: the history is as of today.
    QString object = m_history ? m_history->ObjectName().trimmed() : QString();
    static const QRegularExpression unsafe(QStringLiteral("[\\\\/:*?\"<>|\\x00-\\x1f]"));
    object.replace(unsafe, QStringLiteral("_"));
    QStringList parts{what};
    if (!object.isEmpty())
        parts << object;
    parts << CClock::Today().toString(QStringLiteral("yyyy-MM-dd"));
    return parts.join(QLatin1Char(' ')) + QLatin1Char('.') + suffix;
}

QString CHistoryView::SavePath(const QString& defaultName, const QString& filter)
{
    if (!m_history)
    {
        UserPrompts().Warning(this, Title(), tr("Выберите объект архива."));
        return {};
    }
    return UserPrompts().SaveFileName(
        this, tr("Сохранить файл"),
        QDir::toNativeSeparators(DocumentsDir() + QLatin1Char('/') + defaultName), filter);
}

void CHistoryView::OnExportCsv()
{
    const QString path = SavePath(ExportName(tr("История"), QStringLiteral("csv")),
                                  tr("Значения разделённые запятой (*.csv)"));
    if (path.isEmpty())
        return;
    QString error;
    if (!WriteCsv(path, &error))
    {
        UserPrompts().Critical(
            this, Title(),
            CDataMessages::WithReason(tr("ОШИБКА: не удалось создать CSV-файл таблицы истории."),
                                      error));
        return;
    }
    UserPrompts().Information(this, Title(), tr("Таблица истории объекта сохранена в CSV."));
}

void CHistoryView::OnExportPng()
{
    if (m_history && m_location < 0)
    {
        UserPrompts().Warning(this, Title(), tr("Выберите ячейку в таблице."));
        return;
    }
    const int cell = m_location >= 0 ? m_history->Locations().at(m_location).cell : 0;
    const QString path =
        SavePath(ExportName(tr("График ячейки %1").arg(cell), QStringLiteral("png")),
                 tr("Изображение PNG (*.png)"));
    if (path.isEmpty())
        return;
    QString error;
    if (!CHistoryChart::SavePng(*m_history, m_location, path, &error))
    {
        UserPrompts().Critical(
            this, Title(),
            CDataMessages::WithReason(tr("ОШИБКА: не удалось сохранить график в PNG."), error));
        return;
    }
    UserPrompts().Information(this, Title(), tr("График сохранён в PNG."));
}

void CHistoryView::OnExportPdf()
{
    const QString path =
        SavePath(ExportName(tr("История"), QStringLiteral("pdf")), tr("Документ PDF (*.pdf)"));
    if (path.isEmpty())
        return;
    QString error;
    if (!CHistoryDocument::WritePdf(*m_history, path, &error))
    {
        UserPrompts().Critical(
            this, Title(),
            CDataMessages::WithReason(tr("ОШИБКА: не удалось сохранить отчёт в PDF."), error));
        return;
    }
    UserPrompts().Information(this, Title(), tr("Отчёт об истории объекта сохранён в PDF."));
}
