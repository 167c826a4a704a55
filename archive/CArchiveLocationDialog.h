#pragma once

#include <QDialog>

class QLabel;
class QLineEdit;
class QRadioButton;

// Chooses where the archive lives: a file on this PC or a PostgreSQL server,
// with a connection test. The password is not kept: libpq's own means
// (~/.pgpass, PGPASSWORD, a service file) apply.
class CArchiveLocationDialog : public QDialog
{
    Q_OBJECT

public:
    CArchiveLocationDialog(const QString& location, const QString& defaultFile,
                           QWidget* parent = nullptr);

    // The location as chosen (file path or URL).
    QString Location() const;

    QRadioButton* FileButton() const { return m_file; }
    QRadioButton* ServerButton() const { return m_server; }
    QLineEdit* PathEdit() const { return m_path; }
    QLineEdit* UrlEdit() const { return m_url; }
    QLabel* TestResult() const { return m_result; }

public Q_SLOTS:
    // Opens the archive at the chosen location and says what it found.
    bool OnTestConnection();

private Q_SLOTS:
    void OnBrowse();
    void UpdateEnabled();

private:
    QRadioButton* m_file = nullptr;
    QRadioButton* m_server = nullptr;
    QLineEdit* m_path = nullptr;
    QLineEdit* m_url = nullptr;
    QLabel* m_result = nullptr;
    QString m_defaultFile;
};
