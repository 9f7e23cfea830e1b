#pragma once

class QComboBox;
class QDialog;
class QLabel;
class QLineEdit;
class QListView;
class QWidget;

namespace res {
struct ControlTemplate;
}

// The dialog's controls as the template in res/Resource.h lays them out, in dialog units of the
// dialog's font so the proportions hold at any DPI, created in template order, which Qt takes
// as the tab order. Each carries the template's name and id.
class DialogTemplate {
public:
    // The controls the dialog reads and writes; the buttons are found by name.
    struct Controls {
        QListView* list = nullptr;
        QLabel* status = nullptr;
        QComboBox* typeFilter = nullptr;
        QLineEdit* find = nullptr;
    };

    // Gives dialog the template's caption, font, size and controls; the type selector lists
    // the engine's types.
    static Controls build(QDialog& dialog);
    // The keys of the buttons and the find box, named in their tooltips; the list's menu shows
    // those of its commands.
    static void nameKeysInTooltips(QDialog& dialog);

private:
    static QWidget* createControl(QDialog& dialog, const res::ControlTemplate& control,
                                  Controls& made);
};
