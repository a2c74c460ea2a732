#include "tests/support/FormFit.h"

#include <algorithm>

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOption>
#include <QTextDocument>

namespace {

// Room a title bar keeps for the window's icon and its three buttons.
constexpr int kTitleBarRoom = 120;
// Fields this short hold numbers (ports, counts, sizes), which must be readable to the last digit.
constexpr int kShortField = 10;
// The caret and the field's own margin left and right (QLineEdit's horizontal margin).
constexpr int kLineEditPadding = 2 * 2 + 1;

bool InScrollArea(const QWidget* widget, const QWidget& form)
{
    for (const QWidget* parent = widget->parentWidget(); parent && parent != &form;
         parent = parent->parentWidget()) {
        if (parent->inherits("QAbstractScrollArea"))
            return true;
    }
    return false;
}

std::string Name(const QWidget* widget)
{
    const QString name = widget->objectName();
    return (name.isEmpty() ? QString(widget->metaObject()->className()) : name).toStdString();
}

std::string Quoted(const QString& text)
{
    return "\"" + text.toStdString() + "\"";
}

std::string TooNarrow(const QWidget* widget, const QString& text, int needed, int room)
{
    return Name(widget) + ": " + Quoted(text) + " needs " + std::to_string(needed) + " px, has " +
           std::to_string(room);
}

// The text as shown: mnemonics taken out, rich text as its plain words.
QString Displayed(QString text, bool mnemonics, bool rich)
{
    if (rich) {
        QTextDocument document;
        document.setHtml(text);
        text = document.toPlainText();
    }
    if (mnemonics) {
        text.replace("&&", QString(QChar(0x1)));
        text.remove('&');
        text.replace(QChar(0x1), '&');
    }
    return text;
}

void CheckLabel(const QLabel* label, std::vector<std::string>& cut)
{
    if (label->text().isEmpty())
        return;
    const bool rich = label->textFormat() == Qt::RichText ||
                      (label->textFormat() == Qt::AutoText && Qt::mightBeRichText(label->text()));
    const QString text = Displayed(label->text(), label->buddy() != nullptr, rich);
    QRect room =
        label->contentsRect().adjusted(label->margin(), label->margin(), -label->margin(), -label->margin());
    const QFontMetrics metrics = label->fontMetrics();
    int indent = label->indent();
    if (indent < 0 && label->frameWidth() > 0)  // as QLabel paints it: half an x less the margin
        indent = metrics.horizontalAdvance('x') / 2 - label->margin();
    if (indent > 0 && !(label->alignment() & Qt::AlignHCenter))
        room.setWidth(room.width() - indent);
    if (label->wordWrap()) {
        const int needed = label->heightForWidth(label->width());
        if (needed > label->height()) {
            cut.push_back(Name(label) + ": " + Quoted(text) + " needs " + std::to_string(needed) +
                          " px of height, has " + std::to_string(label->height()));
        }
        return;
    }
    const QSize needed = metrics.boundingRect(QRect(0, 0, 100000, 100000), Qt::TextExpandTabs, text).size();
    if (needed.width() > room.width())
        cut.push_back(TooNarrow(label, text, needed.width(), room.width()));
    else if (needed.height() > room.height())
        cut.push_back(Name(label) + ": " + Quoted(text) + " needs " + std::to_string(needed.height()) +
                      " px of height, has " + std::to_string(room.height()));
}

void CheckButton(const QAbstractButton* button, std::vector<std::string>& cut)
{
    if (button->text().isEmpty())
        return;
    QRect room;
    if (const auto* push = qobject_cast<const QPushButton*>(button)) {
        QStyleOptionButton option;
        option.initFrom(push);
        option.text = push->text();
        option.icon = push->icon();
        option.iconSize = push->iconSize();
        if (push->isDefault())
            option.features |= QStyleOptionButton::DefaultButton;
        room = push->style()->subElementRect(QStyle::SE_PushButtonContents, &option, push);
        if (!push->icon().isNull())
            room.setWidth(room.width() - push->iconSize().width() - 4);
    } else if (qobject_cast<const QCheckBox*>(button) || qobject_cast<const QRadioButton*>(button)) {
        QStyleOptionButton option;
        option.initFrom(button);
        option.text = button->text();
        const bool check = qobject_cast<const QCheckBox*>(button) != nullptr;
        room = button->style()->subElementRect(
            check ? QStyle::SE_CheckBoxContents : QStyle::SE_RadioButtonContents, &option, button);
    } else {
        return;
    }
    const QString text = Displayed(button->text(), true, false);
    const int needed = button->fontMetrics().horizontalAdvance(text);
    if (needed > room.width())
        cut.push_back(TooNarrow(button, text, needed, room.width()));
}

void CheckGroup(const QGroupBox* group, std::vector<std::string>& cut)
{
    if (group->title().isEmpty())
        return;
    QStyleOptionGroupBox option;
    option.initFrom(group);
    option.text = group->title();
    option.lineWidth = 1;
    option.midLineWidth = 0;
    option.textAlignment = Qt::Alignment(group->alignment());
    option.subControls = QStyle::SC_GroupBoxFrame | QStyle::SC_GroupBoxLabel;
    if (group->isCheckable())
        option.subControls |= QStyle::SC_GroupBoxCheckBox;
    const QRect label =
        group->style()->subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxLabel, group);
    if (label.right() >= group->width()) {
        cut.push_back(TooNarrow(group, Displayed(group->title(), true, false),
                                label.right() + 1 + label.left(), group->width()));
    }
}

void CheckField(const QLineEdit* edit, std::vector<std::string>& cut)
{
    QStyleOptionFrame option;
    option.initFrom(edit);
    option.rect = edit->rect();
    option.lineWidth =
        edit->hasFrame() ? edit->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, edit) : 0;
    option.midLineWidth = 0;
    option.state |= QStyle::State_Sunken;
    option.features = QStyleOptionFrame::None;
    const QRect contents = edit->style()->subElementRect(QStyle::SE_LineEditContents, &option, edit);
    const QMargins margins = edit->textMargins();
    const int room = contents.width() - margins.left() - margins.right() - kLineEditPadding;
    const QFontMetrics metrics = edit->fontMetrics();
    QString text = edit->displayText();
    int needed = metrics.horizontalAdvance(text);
    if (edit->maxLength() <= kShortField) {
        const QString digits(edit->maxLength(), '0');
        if (metrics.horizontalAdvance(digits) > needed) {
            needed = metrics.horizontalAdvance(digits);
            text = digits;
        }
    }
    if (needed > room)
        cut.push_back(TooNarrow(edit, text, needed, room));
}

void CheckCombo(const QComboBox* combo, std::vector<std::string>& cut)
{
    if (combo->currentText().isEmpty())
        return;
    QStyleOptionComboBox option;
    option.initFrom(combo);
    option.editable = combo->isEditable();
    option.currentText = combo->currentText();
    const QRect room =
        combo->style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, combo);
    const int needed = combo->fontMetrics().horizontalAdvance(combo->currentText());
    if (needed > room.width())
        cut.push_back(TooNarrow(combo, combo->currentText(), needed, room.width()));
}

void CheckTitle(const QWidget& form, std::vector<std::string>& cut)
{
    if (!form.isWindow() || form.windowTitle().isEmpty())
        return;
    QFont font = QApplication::font();
    font.setBold(true);
    const int needed = QFontMetrics(font).horizontalAdvance(form.windowTitle()) + kTitleBarRoom;
    if (needed > form.width())
        cut.push_back("window title: " + TooNarrow(&form, form.windowTitle(), needed, form.width()));
}

}  // namespace

std::vector<std::string> TextsCut(QWidget& form)
{
    std::vector<std::string> cut;
    CheckTitle(form, cut);
    const QRect inside = form.rect();
    for (const QWidget* widget : form.findChildren<QWidget*>()) {
        if (!widget->isVisibleTo(&form) || widget->isWindow() || widget->objectName().startsWith("qt_"))
            continue;
        const QRect placed(widget->mapTo(&form, QPoint(0, 0)), widget->size());
        if (!inside.contains(placed) && !InScrollArea(widget, form)) {
            cut.push_back(Name(widget) + ": lies outside the window");
            continue;
        }
        if (const auto* label = qobject_cast<const QLabel*>(widget))
            CheckLabel(label, cut);
        else if (const auto* button = qobject_cast<const QAbstractButton*>(widget))
            CheckButton(button, cut);
        else if (const auto* group = qobject_cast<const QGroupBox*>(widget))
            CheckGroup(group, cut);
        else if (const auto* edit = qobject_cast<const QLineEdit*>(widget))
            CheckField(edit, cut);
        else if (const auto* combo = qobject_cast<const QComboBox*>(widget))
            CheckCombo(combo, cut);
    }
    return cut;
}

std::vector<std::string> TextsCutAtMinimumSize(QWidget& form)
{
    form.show();
    if (QLayout* layout = form.layout())
        layout->activate();
    QApplication::processEvents();
    form.resize(form.minimumSize().expandedTo(QSize(1, 1)));
    QApplication::processEvents();
    if (QLayout* layout = form.layout())
        layout->activate();
    QApplication::processEvents();
    return TextsCut(form);
}
