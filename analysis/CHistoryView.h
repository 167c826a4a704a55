#pragma once

#include "analysis/CObjectHistory.h"

#include <QColor>
#include <QString>
#include <QWidget>

#include <functional>
#include <memory>

class CHistoryChart;
class CHistoryRateChart;
class CSurveyArchive;
class QCheckBox;
class QChartView;
class QComboBox;
class QDoubleSpinBox;
class QGridLayout;
class QLabel;
class QLineEdit;
class QPushButton;
class QSettings;
class QStandardItemModel;
class QTableView;
class QTabWidget;

// The history of an archived object on the analysis tab: the object chosen
// from the archive, its settings (kept per object in the archive), the
// per-location table coloured by flag, the trend chart of the chosen
// location with its readings (where an E reading can be accepted), the
// governing rate of every location, and the exports.
//
// The archive is opened for each step and closed again, as the archive
// browser does, so that a server's connection is never held while the tab
// waits. The figures are the core's; the view only shows them.
class CHistoryView : public QWidget
{
    Q_OBJECT

public:
    explicit CHistoryView(QWidget* parent = nullptr);
    ~CHistoryView() override;

    // Where the archive is (asked each time it is opened), where the view's
    // own choices are kept, the documents directory of the file dialogs.
    void SetArchiveLocation(std::function<QString()> location);
    void SetSettings(QSettings* settings);
    void SetDocumentsDir(std::function<QString()> documentsDir);

    // Reads the object list and the chosen object's history again; false
    // when the archive cannot be read (the reason shown in the view).
    bool Reload();
    // Chooses an object as the list does; false when the list has no such one.
    bool ChooseObject(const QString& name);
    QString ObjectName() const;
    // Shows a history computed elsewhere, without reading the archive (the
    // benchmark fills the tab this way).
    void ShowHistory(std::unique_ptr<CObjectHistory> history);

    const CObjectHistory* History() const { return m_history.get(); }
    // The per-location table's model (replaced by every refresh), and the
    // chosen location's readings.
    QStandardItemModel* Model() const { return m_model; }
    QStandardItemModel* ReadingsModel() const { return m_readingsModel; }
    CHistoryChart* TrendChart() const { return m_trend; }
    // The overview of the rates (drawn when its tab is shown).
    CHistoryRateChart* RateChart() const { return m_rates; }
    // The chosen location (an index into History()->Locations()), -1 when none.
    int CurrentLocation() const { return m_location; }
    bool SelectLocation(int locationIndex);
    // The chosen reading of the location (an index into its readings).
    int CurrentReading() const;
    bool SelectReading(int reading);
    // The summary lines as shown.
    QStringList SummaryLines() const;
    // The line telling why nothing is shown (archive failure, no objects).
    QString StatusText() const;

    // Row backgrounds by flag.
    static QColor BelowRequiredColor() { return QColor(255, 205, 205); }
    static QColor DueColor() { return QColor(255, 226, 160); }
    static QColor NoRateColor() { return QColor(225, 225, 225); }
    // The location of a table row (after any sort), on every item of the row.
    static constexpr int LocationRole = Qt::UserRole + 20;

public Q_SLOTS:
    void OnAcceptReading();
    void OnExportCsv();
    void OnExportPng();
    void OnExportPdf();

protected:
    void showEvent(QShowEvent* event) override;

private:
    std::function<QString()> m_archiveLocation;
    std::function<QString()> m_documentsDir;
    QSettings* m_settings = nullptr;
    std::unique_ptr<CObjectHistory> m_history;
    bool m_loaded = false;
    bool m_loadingFields = false;
    bool m_ratesStale = false;
    int m_location = -1;

    QComboBox* m_objects = nullptr;
    QPushButton* m_reload = nullptr;
    QLineEdit* m_required = nullptr;
    QLineEdit* m_nominal = nullptr;
    QLabel* m_requiredUnit = nullptr;
    QLabel* m_nominalUnit = nullptr;
    QComboBox* m_interval = nullptr;
    QComboBox* m_rateKind = nullptr;
    QCheckBox* m_vesselRule = nullptr;
    QDoubleSpinBox* m_dueWithin = nullptr;
    QLabel* m_status = nullptr;
    QGridLayout* m_summary = nullptr;
    QList<QLabel*> m_summaryLabels;
    QPushButton* m_exportCsv = nullptr;
    QPushButton* m_exportPng = nullptr;
    QPushButton* m_exportPdf = nullptr;
    QTableView* m_table = nullptr;
    QStandardItemModel* m_model = nullptr;
    QTabWidget* m_chartTabs = nullptr;
    CHistoryChart* m_trend = nullptr;
    CHistoryRateChart* m_rates = nullptr;
    QChartView* m_trendView = nullptr;
    QChartView* m_ratesView = nullptr;
    QLabel* m_readingsLabel = nullptr;
    QTableView* m_readings = nullptr;
    QStandardItemModel* m_readingsModel = nullptr;
    QPushButton* m_accept = nullptr;

    bool OpenArchive(CSurveyArchive* archive);
    bool LoadObject(const QString& name);
    CObjectHistory::ViewOptions ViewOptions() const;
    void Show(int keepCell);
    void ShowFields();
    void ShowRatesIfSeen();
    void ShowSummary(const QStringList& lines);
    void ShowTable();
    void ShowLocation(int locationIndex);
    void ShowStatus(const QString& text);
    void ClearShown();
    void OnObjectChosen();
    void OnSettingsEdited();
    void OnDueWithinEdited();
    void OnTableCurrentChanged();
    void OnReadingChanged();
    void Rebuild(const CObjectHistory::Settings& settings);
    CObjectHistory::Settings FieldSettings() const;
    QString DocumentsDir() const;
    QString ExportName(const QString& what, const QString& suffix) const;
    QString SavePath(const QString& defaultName, const QString& filter);

    // The archive's storage of what the user sets and accepts per object.
    bool StoreSettings(CSurveyArchive& archive, const CObjectHistory::Settings& settings,
                       QString* error);
    bool StoreAccepted(CSurveyArchive& archive, qint64 surveyId, int cell, bool accepted,
                       QString* error);
    // The table and summary as the command line's CSV.
    bool WriteCsv(const QString& path, QString* error) const;
};
