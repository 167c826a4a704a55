#pragma once

#include <QString>

// Texts of the report's file dialogs and message boxes; the command line
// prints the same ones.
namespace CReportMessages
{
// Report file (.krf).
QString SaveCaption();
QString OpenCaption();
QString Filter();
QString DefaultName(const QString& documentsDir, const QString& date);
QString CreateFailed();
QString Saved();
QString OpenFailed(const QString& path);
QString ParseFailed(const QString& path, const QString& parserError);
QString WrongKind(const QString& path);
QString Loaded();

// No data file to take results or the transducer from.
QString NoDataFile();

// The report's results and the selected data file.
QString ResultsSource(const QString& name); // name: empty when not known
QString NoResults();
QString OtherDataFile(const QString& resultsFile, const QString& selectedFile);
QString FillFromSelected();
QString KeepResults();

// PDF.
QString PdfCaption();
QString PdfFilter();
QString PdfDefaultName(const QString& documentsDir, const QString& date);
QString PdfCreateFailed();
QString PdfSaved();
} // namespace CReportMessages
