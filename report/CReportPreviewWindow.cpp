#include "report/CReportPreviewWindow.h"

#include "ui_CReportPreviewWindow.h"

#include "report/CReportTextDocument.h"

#include <QCloseEvent>
#include <QResizeEvent>
#include <QStatusBar>

CReportPreviewWindow::CReportPreviewWindow(QWidget* parent)
    : QMainWindow(parent), m_ui(new Ui::CReportPreviewWindow)
{
    m_ui->setupUi(this);
    // The document shown loads nothing from outside the program, and a click
    // in it opens nothing.
    m_ui->ReportHtmlFrame->setOpenLinks(false);
    m_ui->ReportHtmlFrame->setDocument(new CReportTextDocument(m_ui->ReportHtmlFrame));
    connect(m_ui->RefreshButton, &QPushButton::clicked, this,
            &CReportPreviewWindow::RefreshRequested);
    connect(m_ui->PrintButton, &QPushButton::clicked, this, &CReportPreviewWindow::PrintRequested);
}

CReportPreviewWindow::~CReportPreviewWindow()
{
    delete m_ui;
}

QTextBrowser* CReportPreviewWindow::HtmlFrame() const
{
    return m_ui->ReportHtmlFrame;
}

void CReportPreviewWindow::ShowDocument(const QString& html)
{
    m_ui->ReportHtmlFrame->setHtml(html);
    show();
}

void CReportPreviewWindow::resizeEvent(QResizeEvent* event)
{
    QMainWindow::resizeEvent(event);
    // The document takes all the room below the buttons and above the status bar.
    const QSize size = event->size();
    const int statusHeight = statusBar()->height();
    m_ui->ReportHtmlFrame->setGeometry(5, 45, size.width() - 10, size.height() - statusHeight - 50);
}

void CReportPreviewWindow::closeEvent(QCloseEvent* event)
{
    // Closing only hides: the window lives as long as the main window.
    QMainWindow::closeEvent(event);
}
