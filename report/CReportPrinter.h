#pragma once

#include <functional>

class QPrinter;
class QTextDocument;
class QWidget;

// Printing of a report document through the standard print dialog.
namespace CReportPrinter
{
// Shows the print dialog for a fresh high-resolution printer and, when it is
// accepted, prints the document with 10 mm margins on every side. Returns
// true when something was printed. The printer and its settings do not
// outlive the call.
bool Print(QTextDocument* document, QWidget* parent);

// Replaces the print dialog (tests): the function gets the printer and
// answers whether to print. An empty function restores the dialog.
using Dialog = std::function<bool(QPrinter& printer, QWidget* parent)>;
void SetDialog(Dialog dialog);
} // namespace CReportPrinter
