#pragma once

#include "analysis/CSurveyComparison.h"
#include "data/GaugeRecords.h"

#include <QString>
#include <QWidget>

#include <functional>
#include <optional>

class CAnalysisChart;
class CHistoryView;
class QTableView;
class QChartView;
class QSettings;
class QStandardItemModel;

namespace Ui
{
class CAnalysisView;
}

// The analysis tab: the chart of the selected data file, the required and
// nominal thickness with the count of readings below the required one, and
// the comparison with an earlier survey of the same object (corrosion rate,
// remaining life) with its table and exports.
//
// The view follows the data tab: the main window hands it the data-file list
// once and tells it whenever the selection or the list changes. While the
// tab is hidden it only notes that it is out of date and catches up when
// shown, so that clicking through data files costs no chart work.
class CAnalysisView : public QWidget
{
    Q_OBJECT

public:
    explicit CAnalysisView(QWidget* parent = nullptr);
    ~CAnalysisView() override;

    // The main window's list (not copied) and where the values typed per data
    // file are kept; the documents directory of the file dialogs.
    void SetDataFiles(const DataFileList* files);
    void SetSettings(QSettings* settings);
    void SetDocumentsDir(std::function<QString()> documentsDir);
    // Where the survey archive is, for the history of an object.
    void SetArchiveLocation(std::function<QString()> location);

    // The two modes: the comparison of the selected data file with an
    // earlier survey, and the history of an archived object.
    enum Mode
    {
        ComparisonMode,
        HistoryMode
    };
    void SetMode(Mode mode);
    Mode CurrentMode() const;
    CHistoryView* History() const { return m_history; }

    // The data tab selected another file, or the list changed (-1: none).
    void SetCurrentFile(int index);

    // Brings everything shown up to date now.
    void Refresh();

    CAnalysisChart* Chart() const { return m_chart; }
    // The table's model; replaced by every refresh.
    QStandardItemModel* ComparisonModel() const { return m_model; }
    bool HasPrevious() const { return m_previous.has_value(); }
    // The line telling that the earlier survey was chosen again or dropped
    // when the data tab selected another file; empty when there is none.
    QString Notice() const;
    // Options as the fields give them (display unit of the current file).
    CSurveyComparison::Options Options() const;

    // The settings key under "Analysis" of a data-file name: names are one
    // object whatever their case, and may hold characters a key may not.
    static QString SettingsKey(const QString& fileName);

    // Default name of an export: "Анализ Линия-7 2026-05-14.csv" for the
    // survey of "Линия-7 2026" whose first reading is of that day.
    static QString ExportName(const QString& what, const DataFileRecord& file,
                              const QString& suffix);

    // Columns as wide as their values or the longest word of their heading,
    // the headings wrapped: a table of short figures seen whole at 1024 pixels.
    static void FitColumns(QTableView* table);

    // Row backgrounds of the flagged locations.
    static QColor BelowRequiredColor() { return QColor(255, 205, 205); }
    static QColor LifeShortColor() { return QColor(255, 226, 160); }

Q_SIGNALS:
    // A point of the current survey was clicked: row of the results table.
    void CellActivated(int row);

public Q_SLOTS:
    void OnComparePickLoaded();
    void OnComparePickFile();
    void OnCompareClear();
    void OnExportCsv();
    void OnExportPng();
    void OnExportPdf();

protected:
    void showEvent(QShowEvent* event) override;

private:
    Ui::CAnalysisView* m_ui = nullptr;
    CAnalysisChart* m_chart = nullptr;
    CHistoryView* m_history = nullptr;
    QChartView* m_chartView = nullptr;
    QStandardItemModel* m_model = nullptr;
    const DataFileList* m_files = nullptr;
    QSettings* m_settings = nullptr;
    std::function<QString()> m_documentsDir;

    int m_index = -1;
    QString m_shownName; // file whose values the fields hold
    bool m_hasShownName = false;
    bool m_dirty = true;
    bool m_loadingFields = false;

    std::optional<DataFileRecord> m_previous;
    QString m_previousName;
    // A comparison the user asked for follows the data tab: the earlier
    // survey is chosen again from the same source (the loaded files, or the
    // files of the database it was taken from) for every other current survey.
    bool m_following = false;
    bool m_sourceLoaded = true;
    DataFileList m_sourceFiles;
    QString m_sourceText;
    std::optional<DataFileRecord> m_comparedWith; // the current survey m_previous was chosen for

    const DataFileRecord* CurrentFile() const;
    QString DocumentsDir() const;
    CSurveyComparison::Unit CurrentUnit() const;

    void LoadFields(const QString& fileName);
    void SaveFields();
    void OnFieldsEdited();
    void RefreshIfShown();
    void ShowTable(const CSurveyComparison& comparison);
    void SetPrevious(const DataFileRecord& file, const QString& source,
                     const DataFileList& sourceFiles, bool loaded);
    void ShowPrevious(const DataFileRecord& file, const DataFileRecord& current);
    bool RefuseItself(const DataFileRecord& chosen);
    QList<const DataFileRecord*> Candidates() const;
    void FollowCurrent(const DataFileRecord& file);
    void SetNotice(const QString& text, bool dropped = false);
    void OnPointHovered(int cell, bool previous, bool state);
    QString ExportName(const QString& what, const QString& suffix) const;
    QString SavePath(const QString& defaultName, const QString& filter);
};
