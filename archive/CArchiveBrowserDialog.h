#pragma once

#include "data/GaugeRecords.h"

#include <QDialog>
#include <QList>

class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;
class CSurveyArchive;

// Browses the archive: objects, then the surveys of the chosen object. Moves,
// renames, merges and deletes (after a question), and hands surveys to the
// caller to open as if loaded from a file. The archive is opened for each
// step, so that another program's changes show and a server's connection is
// never held while the dialog waits.
class CArchiveBrowserDialog : public QDialog
{
    Q_OBJECT

public:
    CArchiveBrowserDialog(const QString& location, QWidget* parent = nullptr);

    // Reloads both lists; false (with the reason shown in the dialog) when
    // the archive cannot be opened.
    bool Refresh();

    QTableWidget* ObjectsTable() const { return m_objects; }
    QTableWidget* SurveysTable() const { return m_surveys; }
    QLineEdit* ObjectNameEdit() const { return m_name; }

    // After accept(): the surveys to open, and what they are.
    const DataFileList& ChosenFiles() const { return m_chosen; }

public Q_SLOTS:
    void OnOpenSurveys();
    void OnOpenDate();
    void OnMoveSurvey();
    void OnRenameObject();
    void OnMergeObject();
    void OnDeleteSurvey();

private Q_SLOTS:
    void OnObjectChanged();

private:
    QString m_location;
    QTableWidget* m_objects = nullptr;
    QTableWidget* m_surveys = nullptr;
    QLineEdit* m_name = nullptr;
    QLabel* m_status = nullptr;
    DataFileList m_chosen;

    bool OpenArchive(CSurveyArchive* archive);
    qint64 CurrentObjectId() const;
    QString CurrentObjectName() const;
    QList<qint64> SelectedSurveyIds() const;
    void SelectObject(const QString& name);
    void ShowFailure(const QString& text);
    using ObjectChange = bool (CSurveyArchive::*)(const QString&, const QString&);
    void ChangeObject(const QString& missingText, ObjectChange change);
    bool OpenIds(const QList<qint64>& ids);
};
