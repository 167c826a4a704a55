#pragma once

#include "core/CUserPrompts.h"

// The prompts of the running program: QMessageBox and QFileDialog.
class CGuiPrompts : public CUserPrompts
{
public:
    void Message(QObject* parent, Icon icon, const QString& title, const QString& text) override;
    Button Ask(QObject* parent, Icon icon, const QString& title, const QString& text,
               const QString& informativeText, int buttons,
               const QMap<Button, QString>& labels = {}, Button defaultButton = NoButton) override;
    QString OpenFileName(QObject* parent, const QString& caption, const QString& dir,
                         const QString& filter) override;
    QString SaveFileName(QObject* parent, const QString& caption, const QString& dir,
                         const QString& filter) override;
    QString ExistingDirectory(QObject* parent, const QString& caption, const QString& dir) override;
    int ChooseItem(QObject* parent, const QString& caption, const QString& label,
                   const QStringList& items, int current = 0) override;
};
