#include "app/CGuiPrompts.h"

#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>

namespace
{
QWidget* AsWidget(QObject* parent)
{
    return qobject_cast<QWidget*>(parent);
}

QMessageBox::Icon ToBoxIcon(CUserPrompts::Icon icon)
{
    switch (icon)
    {
    case CUserPrompts::IconInformation:
        return QMessageBox::Information;
    case CUserPrompts::IconWarning:
        return QMessageBox::Warning;
    case CUserPrompts::IconCritical:
        return QMessageBox::Critical;
    case CUserPrompts::IconQuestion:
        return QMessageBox::Question;
    }
    return QMessageBox::NoIcon;
}

QMessageBox::StandardButton ToStandard(CUserPrompts::Button b)
{
    switch (b)
    {
    case CUserPrompts::Ok:
        return QMessageBox::Ok;
    case CUserPrompts::Cancel:
        return QMessageBox::Cancel;
    case CUserPrompts::Yes:
        return QMessageBox::Yes;
    case CUserPrompts::No:
        return QMessageBox::No;
    default:
        return QMessageBox::NoButton;
    }
}
} // namespace

void CGuiPrompts::Message(QObject* parent, Icon icon, const QString& title, const QString& text)
{
    QMessageBox box(ToBoxIcon(icon), title, text, QMessageBox::Ok, AsWidget(parent));
    // Program texts are plain: a path such as "</b/...>" must not turn into markup.
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

CUserPrompts::Button CGuiPrompts::Ask(QObject* parent, Icon icon, const QString& title,
                                      const QString& text, const QString& informativeText,
                                      int buttons, const QMap<Button, QString>& labels,
                                      Button defaultButton)
{
    QMessageBox box(ToBoxIcon(icon), title, text, QMessageBox::NoButton, AsWidget(parent));
    box.setTextFormat(Qt::PlainText);
    if (!informativeText.isEmpty())
        box.setInformativeText(informativeText);
    const Button order[] = {Ok, Yes, No, Cancel};
    // Enter on a question answers "Отмена" unless the caller chose otherwise:
    // a key pressed a moment too early must not start what it asks about.
    if (defaultButton == NoButton && (buttons & Cancel))
        defaultButton = Cancel;
    for (Button b : order)
    {
        if (!(buttons & b))
            continue;
        QPushButton* pb = box.addButton(ToStandard(b));
        if (labels.contains(b))
            pb->setText(labels.value(b));
        if (b == defaultButton)
            box.setDefaultButton(pb);
        if (b == Cancel || (b == No && !(buttons & Cancel)))
            box.setEscapeButton(pb);
    }
    const int pressed = box.exec();
    for (Button b : order)
        if ((buttons & b) && pressed == ToStandard(b))
            return b;
    return (buttons & Cancel) ? Cancel : No;
}

QString CGuiPrompts::OpenFileName(QObject* parent, const QString& caption, const QString& dir,
                                  const QString& filter)
{
    return QFileDialog::getOpenFileName(AsWidget(parent), caption, dir, filter);
}

QString CGuiPrompts::SaveFileName(QObject* parent, const QString& caption, const QString& dir,
                                  const QString& filter)
{
    QFileDialog dialog(AsWidget(parent), caption, dir, filter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    // A name typed without an extension gets the one of the chosen filter, as
    // the Windows dialog does; otherwise the open dialog's filter would hide
    // the saved file afterwards.
    const auto applySuffix = [&dialog](const QString& selected)
    {
        static const QRegularExpression pattern(QStringLiteral("\\*\\.([A-Za-z0-9]+)"));
        const QRegularExpressionMatch match = pattern.match(selected);
        dialog.setDefaultSuffix(match.hasMatch() ? match.captured(1) : QString());
    };
    applySuffix(dialog.selectedNameFilter());
    QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, applySuffix);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return QString();
    return dialog.selectedFiles().constFirst();
}

QString CGuiPrompts::ExistingDirectory(QObject* parent, const QString& caption, const QString& dir)
{
    return QFileDialog::getExistingDirectory(AsWidget(parent), caption, dir,
                                             QFileDialog::ShowDirsOnly);
}

int CGuiPrompts::ChooseItem(QObject* parent, const QString& caption, const QString& label,
                            const QStringList& items, int current)
{
    if (items.isEmpty())
        return -1;
    bool ok = false;
    const QString chosen =
        QInputDialog::getItem(AsWidget(parent), caption, label, items,
                              qBound(0, current, int(items.size()) - 1), false, &ok);
    // Items may repeat (two files of one name): the index of the one shown
    // as current wins over the first equal text.
    if (!ok)
        return -1;
    if (current >= 0 && current < items.size() && items.at(current) == chosen)
        return current;
    return int(items.indexOf(chosen));
}
