// ui_screenshot ARCHIVE OUT.png: lists ARCHIVE in the dialog offscreen and saves the window.
#include "ExtractorDlg.h"
#include "ScriptedServices.h"

#include <QApplication>
#include <QListView>
#include <QPixmap>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication application(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: ui_screenshot ARCHIVE OUT.png\n");
        return 2;
    }
    ScriptedServices services;
    services.openPaths.push_back(QString::fromLocal8Bit(argv[1]));
    CExtractorDlg dlg(nullptr, &services);
    dlg.show();
    dlg.OnLoad();
    if (!services.messages.empty()) {
        std::fprintf(stderr, "%s\n", services.messages.front().text.toLocal8Bit().constData());
        return 1;
    }
    // Select a few rows so the picture shows the selection too.
    const auto* model = dlg.entryListView()->model();
    for (int row : {1, 2, 4})
        if (row < model->rowCount())
            dlg.entryListView()->selectionModel()->select(model->index(row, 0),
                                                          QItemSelectionModel::Select);
    QApplication::processEvents();
    return dlg.grab().save(QString::fromLocal8Bit(argv[2])) ? 0 : 1;
}
