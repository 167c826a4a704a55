#pragma once

#include <QObject>

class QTableView;

// Keeps a table's columns at least as wide as their contents and hands the
// width the view has beyond that to the columns evenly, so that a large
// window shows no dead strip on the right and a small one scrolls instead
// of clipping headers. Refit after the model was refilled.
class CTableFitter : public QObject
{
    Q_OBJECT

public:
    explicit CTableFitter(QTableView* view);
    void Refit();

    // Statistics columns sized for their fixed texts and for the widest
    // figure the last column can show, so that they do not jump from file to
    // file; the last column takes the rest. Again after every refill (a
    // refilled model resets the sections).
    static void FixStatisticsColumns(QTableView* view);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Spread();
    QTableView* m_view;
    QWidget* m_viewport; // compared only: it may be in its destructor when an event comes
    QList<int> m_contentWidths;
};
