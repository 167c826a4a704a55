#pragma once

#include <QMainWindow>

class QTextBrowser;

namespace Ui
{
class CReportPreviewWindow;
}

// The separate preview of the generated report, owned by the main window for
// its whole life and only shown and hidden. While shown it blocks the main
// window.
class CReportPreviewWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit CReportPreviewWindow(QWidget* parent = nullptr);
    ~CReportPreviewWindow() override;

    Ui::CReportPreviewWindow* ui() const { return m_ui; }
    QTextBrowser* HtmlFrame() const;

    // Replaces the whole content by the document and shows the window.
    void ShowDocument(const QString& html);

Q_SIGNALS:
    // The two buttons: the owner regenerates the document, or prints the one shown.
    void RefreshRequested();
    void PrintRequested();

protected:
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    Ui::CReportPreviewWindow* m_ui = nullptr;
};
