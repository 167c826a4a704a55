#pragma once

#include <QDialog>

namespace Ui
{
class CAboutDialog;
}

// The about box: program name and version, the gauge series it serves and
// the maker's contact lines. Shown without modality by the main window.
class CAboutDialog : public QDialog
{
    Q_OBJECT

public:
    explicit CAboutDialog(QWidget* parent = nullptr);
    ~CAboutDialog() override;

private:
    Ui::CAboutDialog* m_ui = nullptr;
};
