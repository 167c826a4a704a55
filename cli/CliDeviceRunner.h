#pragma once

#include "core/CUserPrompts.h"
#include "cli/CliCommands.h"

#include <functional>

// Runs one device task synchronously for the command line: the port is
// ctx.port (or the saved device when empty; the saved device is never
// changed), the error box texts and the "ОШИБКА" status texts go to stderr
// (every status text with ctx.verbose). Returns true on success.
// With progress set, a bar on stderr follows TaskProgress when stderr is a
// terminal.
bool CliRunTask(const CliContext& ctx, int TaskID, void* buf, int nValue,
                int* nDataLength = nullptr, bool progress = false);

// What a command that needs a gauge says when neither --port nor the
// window's choice names one: how to choose it.
void CliPrintNoGaugeChosen();

// The device manager the command line uses (created on first use, also
// published in g_App.pDeviceManager).
class CDeviceManager;
CDeviceManager* CliDeviceManager();

// Prints a status text the way the runner does (stderr, trailing line
// breaks removed).
void CliPrintStatus(const QString& text);

// Passes every message box on to the installed prompts after taking the
// progress bar off its line, so a message never lands on the bar.
class CCliBarBreakingPrompts : public CUserPrompts
{
public:
    CCliBarBreakingPrompts(CUserPrompts& next, std::function<void()> breakBar)
        : m_next(next), m_breakBar(std::move(breakBar))
    {
    }

    void Message(QObject* parent, Icon icon, const QString& title, const QString& text) override
    {
        m_breakBar();
        m_next.Message(parent, icon, title, text);
    }
    Button Ask(QObject* parent, Icon icon, const QString& title, const QString& text,
               const QString& informativeText, int buttons,
               const QMap<Button, QString>& labels = {}, Button defaultButton = NoButton) override
    {
        m_breakBar();
        return m_next.Ask(parent, icon, title, text, informativeText, buttons, labels,
                          defaultButton);
    }
    QString OpenFileName(QObject* parent, const QString& caption, const QString& dir,
                         const QString& filter) override
    {
        return m_next.OpenFileName(parent, caption, dir, filter);
    }
    QString SaveFileName(QObject* parent, const QString& caption, const QString& dir,
                         const QString& filter) override
    {
        return m_next.SaveFileName(parent, caption, dir, filter);
    }
    QString ExistingDirectory(QObject* parent, const QString& caption, const QString& dir) override
    {
        return m_next.ExistingDirectory(parent, caption, dir);
    }

private:
    CUserPrompts& m_next;
    std::function<void()> m_breakBar;
};

// The command line's prompts: message texts on stderr through CliPrintErr
// (line ends of message boxes made plain); questions answered with the
// default.
class CCliPrompts : public CStderrPrompts
{
public:
    void Message(QObject* parent, Icon icon, const QString& title, const QString& text) override;
    Button Ask(QObject* parent, Icon icon, const QString& title, const QString& text,
               const QString& informativeText, int buttons,
               const QMap<Button, QString>& labels = {}, Button defaultButton = NoButton) override;
};
