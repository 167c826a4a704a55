#pragma once

#include <QList>
#include <QMap>
#include <QQueue>
#include <QString>
#include <QStringList>

class QObject;

// Every message box and every file or directory dialog of the program goes
// through this interface, so that slots can be driven headless (tests) and
// the command line can print the same texts to stderr.
class CUserPrompts
{
public:
    enum Icon
    {
        IconInformation,
        IconWarning,
        IconCritical,
        IconQuestion
    };
    enum Button
    {
        NoButton = 0,
        Ok = 0x1,
        Cancel = 0x2,
        Yes = 0x4,
        No = 0x8
    };

    virtual ~CUserPrompts() = default;

    // A box with one OK button.
    virtual void Message(QObject* parent, Icon icon, const QString& title, const QString& text) = 0;

    // A box with several buttons (an OR of Button values); labels may rename
    // buttons; defaultButton is the one Enter presses (NoButton: the toolkit's
    // choice). Returns the button pressed (Cancel/No when the box is closed).
    virtual Button Ask(QObject* parent, Icon icon, const QString& title, const QString& text,
                       const QString& informativeText, int buttons,
                       const QMap<Button, QString>& labels = {},
                       Button defaultButton = NoButton) = 0;

    // Empty text when the user cancels.
    virtual QString OpenFileName(QObject* parent, const QString& caption, const QString& dir,
                                 const QString& filter) = 0;
    virtual QString SaveFileName(QObject* parent, const QString& caption, const QString& dir,
                                 const QString& filter) = 0;
    virtual QString ExistingDirectory(QObject* parent, const QString& caption,
                                      const QString& dir) = 0;

    // One item chosen from a list: its index, -1 when the user cancels. The
    // command line and the silent prompts cannot ask: they cancel.
    virtual int ChooseItem(QObject* parent, const QString& caption, const QString& label,
                           const QStringList& items, int current = 0)
    {
        Q_UNUSED(parent);
        Q_UNUSED(caption);
        Q_UNUSED(label);
        Q_UNUSED(items);
        Q_UNUSED(current);
        return -1;
    }

    // Convenience wrappers.
    void Critical(QObject* parent, const QString& title, const QString& text)
    {
        Message(parent, IconCritical, title, text);
    }
    void Warning(QObject* parent, const QString& title, const QString& text)
    {
        Message(parent, IconWarning, title, text);
    }
    void Information(QObject* parent, const QString& title, const QString& text)
    {
        Message(parent, IconInformation, title, text);
    }
};

// The installed implementation (the GUI one in the program, a scripted one in
// tests, a stderr one in the command line). Never null: until something is
// installed a silent implementation answers Cancel and empty texts.
CUserPrompts& UserPrompts();
void SetUserPrompts(CUserPrompts* prompts);

// A recording implementation: every message is kept, answers come from
// queues filled beforehand. Used by the tests.
class CScriptedPrompts : public CUserPrompts
{
public:
    struct Record
    {
        QString kind; // "message", "ask", "open", "save", "dir", "choose"
        Icon icon = IconInformation;
        QString title;
        QString text;
        QString informativeText;
        QString dir;
        QString filter;
        QObject* parent = nullptr;
        int buttons = 0;                 // for "ask"
        QMap<Button, QString> labels;    // for "ask"
        Button defaultButton = NoButton; // for "ask"
        QStringList items;               // for "choose"
        int current = 0;                 // for "choose"
    };

    QList<Record> records;
    QQueue<Button> answers;    // for Ask; Cancel when empty
    QQueue<QString> fileNames; // for OpenFileName / SaveFileName / ExistingDirectory; "" when empty
    QQueue<int> choices;       // for ChooseItem; -1 when empty

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

    // Texts of the message boxes only, in order.
    QStringList Messages() const;
    void Clear() { records.clear(); }
};

// Writes message texts to stderr, one per line, and answers every question
// with the given default. File dialogs return empty texts.
class CStderrPrompts : public CUserPrompts
{
public:
    void Message(QObject* parent, Icon icon, const QString& title, const QString& text) override;
    Button Ask(QObject* parent, Icon icon, const QString& title, const QString& text,
               const QString& informativeText, int buttons,
               const QMap<Button, QString>& labels = {}, Button defaultButton = NoButton) override;
    QString OpenFileName(QObject*, const QString&, const QString&, const QString&) override
    {
        return {};
    }
    QString SaveFileName(QObject*, const QString&, const QString&, const QString&) override
    {
        return {};
    }
    QString ExistingDirectory(QObject*, const QString&, const QString&) override { return {}; }

    Button defaultAnswer = Cancel;
    int messageCount = 0;
};
