// The floor for start-up: the plainest Qt widgets program that shows what the main
// window shows first, a window of its size with a menu bar and a list view, and
// ends once the list has been painted (as `quillbern --quit-when-shown` does).
#include "ui/common/quitafterpaint.h"

#include <QApplication>
#include <QListView>
#include <QMainWindow>
#include <QMenuBar>
#include <QStringListModel>
#include <QTimer>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QMainWindow w;
    w.setWindowTitle(QStringLiteral("floor"));
    for (const char *menu : {"Project", "Authorized Subcontractor", "Pick-up Log", "Reports"})
        w.menuBar()->addMenu(QLatin1String(menu))->addAction(QStringLiteral("Item"));
    w.menuBar()->addAction(QStringLiteral("Options"));
    QStringList names;
    for (int i = 0; i < 30; ++i)
        names << QStringLiteral("PROJECT %1").arg(i);
    QStringListModel model(names);
    auto *list = new QListView;
    list->setModel(&model);
    list->setUniformItemSizes(true);
    w.setCentralWidget(list);
    w.setFixedSize(752, 471);
    list->viewport()->installEventFilter(new ui::QuitAfterPaint(&app));
    w.show();
    return app.exec();
}
