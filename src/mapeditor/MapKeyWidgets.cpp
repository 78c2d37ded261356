#include "mapeditor/MapKeyWidgets.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAbstractSlider>
#include <QAbstractSpinBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QTabBar>
#include <QTextEdit>

namespace {

bool takesKeysItself(const QWidget* w) {
    if (qobject_cast<const QLineEdit*>(w) || qobject_cast<const QTextEdit*>(w) ||
        qobject_cast<const QPlainTextEdit*>(w) || qobject_cast<const QAbstractSpinBox*>(w) ||
        qobject_cast<const QComboBox*>(w) || qobject_cast<const QAbstractSlider*>(w) ||
        qobject_cast<const QTabBar*>(w) || qobject_cast<const QAbstractItemView*>(w))
        return true;
    if (qobject_cast<const QRadioButton*>(w))
        return true;
    // Buttons of a group move the focus among themselves with the arrows.
    if (const auto* button = qobject_cast<const QAbstractButton*>(w))
        return button->autoExclusive() || button->group() != nullptr;
    return false;
}

// An editor living inside a compound control (a spin box's text, a table's cell editor).
bool insideCompound(const QWidget* w) {
    for (const QWidget* p = w->parentWidget(); p && !p->isWindow(); p = p->parentWidget())
        if (qobject_cast<const QAbstractSpinBox*>(p) || qobject_cast<const QComboBox*>(p) ||
            qobject_cast<const QAbstractItemView*>(p))
            return true;
    return false;
}

} // namespace

namespace MapKeys {

bool focusTakesKeys(const QWidget* receiver) {
    return receiver && (takesKeysItself(receiver) || insideCompound(receiver));
}

bool isCommandChord(Qt::KeyboardModifiers modifiers) {
    return (modifiers & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) != 0;
}

bool tuningKeyAllowed(const QWidget* receiver, Qt::KeyboardModifiers modifiers) {
    return !isCommandChord(modifiers) && !focusTakesKeys(receiver);
}

} // namespace MapKeys
