#pragma once

#include "data/CStatistics.h"
#include "data/GaugeRecords.h"

#include <QColor>
#include <QStringList>

class QStandardItemModel;

// Fills the three tables of the results tab. The window, the report and the
// command line read their texts from models filled here, so every one of
// them shows the same texts.
class CResultsModels
{
public:
    // Background of a LOS result.
    static QColor LosBackground() { return QColor(255, 230, 231); }

    static QStringList FilesHeaders();
    // Texts of one files-table row: the decoded name and the cell count text.
    static QStringList FileRowTexts(const DataFileRecord& file);
    static QString NoRecordsText(); // "Нет записей"
    // Tool tip of both items of an incomplete file's row; empty otherwise.
    static QString FileRowToolTip(const DataFileRecord& file);

    // Clears the files model and puts one row per data file.
    static void FillFiles(QStandardItemModel* model, const DataFileList& files);
    // Brings the cell-count column up to date without touching the rows, so
    // the selection stays; a model of another length is filled anew.
    static void UpdateFileCounts(QStandardItemModel* model, const DataFileList& files);

    // Clears the results model and sets its nine headers.
    static void ResetResults(QStandardItemModel* model);

    // Appends one row per cell of the file; returns the readings in cell
    // order (the input of the statistics).
    static QList<CStatistics::Reading> FillResults(QStandardItemModel* model,
                                                   const DataFileRecord& file,
                                                   const MaterialList& materials);
};
