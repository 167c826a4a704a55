#include "core/CUserPrompts.h"

#include <QTextStream>
#include <cstdio>

namespace
{
class CSilentPrompts : public CUserPrompts
{
public:
    void Message(QObject*, Icon, const QString&, const QString&) override {}
    Button Ask(QObject*, Icon, const QString&, const QString&, const QString&, int,
               const QMap<Button, QString>&, Button) override
    {
        return Cancel;
    }
    QString OpenFileName(QObject*, const QString&, const QString&, const QString&) override
    {
        return {};
    }
    QString SaveFileName(QObject*, const QString&, const QString&, const QString&) override
    {
        return {};
    }
    QString ExistingDirectory(QObject*, const QString&, const QString&) override { return {}; }
};

CSilentPrompts s_silent;
CUserPrompts* s_current = &s_silent;
} // namespace

CUserPrompts& UserPrompts()
{
    return *s_current;
}

void SetUserPrompts(CUserPrompts* prompts)
{
    s_current = prompts ? prompts : &s_silent;
}

void CScriptedPrompts::Message(QObject* parent, Icon icon, const QString& title,
                               const QString& text)
{
    Record r;
    r.kind = QStringLiteral("message");
    r.icon = icon;
    r.title = title;
    r.text = text;
    r.parent = parent;
    records.append(r);
}

CUserPrompts::Button CScriptedPrompts::Ask(QObject* parent, Icon icon, const QString& title,
                                           const QString& text, const QString& informativeText,
                                           int buttons, const QMap<Button, QString>& labels,
                                           Button defaultButton)
{
    Record r;
    r.kind = QStringLiteral("ask");
    r.icon = icon;
    r.title = title;
    r.text = text;
    r.informativeText = informativeText;
    r.parent = parent;
    r.buttons = buttons;
    r.labels = labels;
    r.defaultButton = defaultButton;
    records.append(r);
    return answers.isEmpty() ? Cancel : answers.dequeue();
}

static CScriptedPrompts::Record FileRecord(const char* kind, QObject* parent,
                                           const QString& caption, const QString& dir,
                                           const QString& filter)
{
    CScriptedPrompts::Record r;
    r.kind = QString::fromLatin1(kind);
    r.title = caption;
    r.dir = dir;
    r.filter = filter;
    r.parent = parent;
    return r;
}

QString CScriptedPrompts::OpenFileName(QObject* parent, const QString& caption, const QString& dir,
                                       const QString& filter)
{
    records.append(FileRecord("open", parent, caption, dir, filter));
    return fileNames.isEmpty() ? QString() : fileNames.dequeue();
}

QString CScriptedPrompts::SaveFileName(QObject* parent, const QString& caption, const QString& dir,
                                       const QString& filter)
{
    records.append(FileRecord("save", parent, caption, dir, filter));
    return fileNames.isEmpty() ? QString() : fileNames.dequeue();
}

QString CScriptedPrompts::ExistingDirectory(QObject* parent, const QString& caption,
                                            const QString& dir)
{
    records.append(FileRecord("dir", parent, caption, dir, QString()));
    return fileNames.isEmpty() ? QString() : fileNames.dequeue();
}

int CScriptedPrompts::ChooseItem(QObject* parent, const QString& caption, const QString& label,
                                 const QStringList& items, int current)
{
    Record r = FileRecord("choose", parent, caption, QString(), QString());
    r.text = label;
    r.items = items;
    r.current = current;
    records.append(r);
    return choices.isEmpty() ? -1 : choices.dequeue();
}

QStringList CScriptedPrompts::Messages() const
{
    QStringList out;
    for (const Record& r : records)
        if (r.kind == QLatin1String("message") || r.kind == QLatin1String("ask"))
            out.append(r.text);
    return out;
}

void CStderrPrompts::Message(QObject*, Icon, const QString&, const QString& text)
{
    ++messageCount;
    QTextStream err(stderr);
    err << text << Qt::endl;
}

CUserPrompts::Button CStderrPrompts::Ask(QObject*, Icon, const QString&, const QString& text,
                                         const QString& informativeText, int,
                                         const QMap<Button, QString>&, Button)
{
    QTextStream err(stderr);
    err << text;
    if (!informativeText.isEmpty())
        err << ' ' << informativeText;
    err << Qt::endl;
    return defaultAnswer;
}
