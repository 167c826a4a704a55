// The reference of the start-up benchmark: the least a Qt Widgets program
// with a main window does before its first paint.
#include "bench/FirstPaint.h"

#include <QApplication>
#include <QMainWindow>
#include <QMenuBar>
#include <QStandardItemModel>
#include <QStatusBar>
#include <QTableView>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QMainWindow window;
    window.menuBar()->addMenu(QStringLiteral("Файл"));
    QStandardItemModel model(0, 9);
    QTableView table;
    table.setModel(&model);
    window.setCentralWidget(&table);
    window.statusBar()->showMessage(QStringLiteral("Готово"));
    window.resize(1024, 768);
    FirstPaint watcher;
    window.installEventFilter(&watcher);
    window.show();
    return app.exec();
}
