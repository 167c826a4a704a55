#include "report/CReportPrinter.h"

#include "report/CReportDocument.h"
#include "report/CReportTextDocument.h"

#include <QMarginsF>
#include <QPageLayout>
#include <QPrintDialog>
#include <QPrinter>
#include <QTextDocument>

#include <memory>

namespace
{
CReportPrinter::Dialog s_dialog;

bool AskWithDialog(QPrinter& printer, QWidget* parent)
{
    QPrintDialog dialog(&printer, parent);
    return dialog.exec() == QDialog::Accepted;
}
} // namespace

void CReportPrinter::SetDialog(Dialog dialog)
{
    s_dialog = std::move(dialog);
}

bool CReportPrinter::Print(QTextDocument* document, QWidget* parent)
{
    if (!document)
        return false;
    QPrinter printer(QPrinter::HighResolution);
    const bool accepted = s_dialog ? s_dialog(printer, parent) : AskWithDialog(printer, parent);
    if (!accepted)
        return false;
    printer.setFullPage(false);
    printer.setPageMargins(QMarginsF(10, 10, 10, 10), QPageLayout::Millimeter);
    // A copy: the shown document keeps its own layout; the copy loads no
    // more than the shown one does.
    std::unique_ptr<QTextDocument> copy(CReportTextDocument::CopyOf(document));
    CReportDocument::PrintToFit(copy.get(), &printer);
    return true;
}
