#include "ui/DialogTemplate.h"

#include "archive/commands/Listing.h"
#include "res/Resource.h"
#include "ui/EntryRowDelegate.h"
#include "ui/QtTranslations.h"

#include <QComboBox>
#include <QDialog>
#include <QFontDatabase>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>

#include <algorithm>

namespace {

QFont dialogFont()
{
    const QStringList installed = QFontDatabase::families();
    QString family = QString::fromUtf8(res::kDialogFont);
    if (!installed.contains(family)) {
        for (const char* fallback : res::kFallbackFonts) {
            if (installed.contains(QString::fromUtf8(fallback))) {
                family = QString::fromUtf8(fallback);
                break;
            }
        }
    }
    QFont font(family);
    font.setPointSize(res::kDialogFontPoints);
    return font;
}

} // namespace

DialogTemplate::Controls DialogTemplate::build(QDialog& dialog)
{
    dialog.setObjectName(QStringLiteral("IDD_EXTRACTOR_DIALOG"));
    dialog.setWindowTitle(uiText(res::kCaption));
    dialog.setFont(dialogFont());
    Controls made;
    // Dialog units from the dialog font, so the template keeps its proportions at any DPI.
    const QFontMetrics metrics(dialog.font());
    const auto px = [&](int x, int y, int w, int h) {
        const double ux = metrics.averageCharWidth() / 4.0;
        const double uy = metrics.height() / 8.0;
        return QRect(qRound(x * ux), qRound(y * uy), qRound(w * ux), qRound(h * uy));
    };
    const QRect client = px(0, 0, res::kDialogWidth, res::kDialogHeight);
    dialog.setFixedSize(client.size());

    // Created in template order, which Qt takes as the tab order.
    for (const res::ControlTemplate& control : res::kControls) {
        QWidget* widget = createControl(dialog, control, made);
        widget->setObjectName(QString::fromLatin1(control.name));
        widget->setProperty("controlId", control.id);
        QRect rect = px(control.x, control.y, control.width, control.height);
        // A drop-down's template height is that of its open list; the closed box is one line.
        if (control.kind == res::ControlKind::ComboBox)
            rect.setHeight(px(0, 0, 0, 14).height());
        widget->setGeometry(rect);
    }
    // The selector's upper-case and sort styles applied to the engine's table of types.
    QStringList types;
    for (const std::string_view type : archive::kTypeFilters)
        types.append(QString::fromUtf8(type.data(), qsizetype(type.size())).toUpper());
    std::sort(types.begin(), types.end());
    made.typeFilter->addItems(types);
    return made;
}

QWidget* DialogTemplate::createControl(QDialog& dialog, const res::ControlTemplate& control,
                                       Controls& made)
{
    const QString text = uiText(control.text);
    switch (control.kind) {
    case res::ControlKind::ListBox:
        made.list = new QListView(&dialog);
        made.list->setItemDelegate(new EntryRowDelegate(made.list));
        made.list->setSelectionMode(QAbstractItemView::ExtendedSelection);
        made.list->setUniformItemSizes(true);
        made.list->setEditTriggers(QAbstractItemView::NoEditTriggers);
        // Dragged entries leave as files; the view starts the drag and the model extracts.
        made.list->setDragEnabled(true);
        made.list->setDragDropMode(QAbstractItemView::DragOnly);
        return made.list;
    case res::ControlKind::PushButton: {
        auto* button = new QPushButton(text, &dialog);
        button->setAutoDefault(false);
        button->setDefault(false);
        return button;
    }
    case res::ControlKind::StaticText:
        made.status = new QLabel(text, &dialog);
        made.status->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        return made.status;
    case res::ControlKind::ComboBox:
        made.typeFilter = new QComboBox(&dialog);
        return made.typeFilter;
    case res::ControlKind::EditBox:
        made.find = new QLineEdit(text, &dialog);
        // A file dropped here is the dialog's to load, not text to search for.
        made.find->setAcceptDrops(false);
        return made.find;
    }
    return nullptr;
}

void DialogTemplate::nameKeysInTooltips(QDialog& dialog)
{
    for (const res::KeyTip& tip : res::kKeyTips) {
        auto* control = dialog.findChild<QWidget*>(QString::fromLatin1(tip.control));
        const QString line =
            uiText(res::kKeyTip)
                .arg(
                    uiText(tip.text),
                    QKeySequence(QString::fromLatin1(tip.keys)).toString(QKeySequence::NativeText));
        control->setToolTip(control->toolTip().isEmpty() ? line
                                                         : control->toolTip() + u'\n' + line);
    }
}
