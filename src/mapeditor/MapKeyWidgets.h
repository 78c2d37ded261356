#pragma once

#include <Qt>

class QWidget;

// Which key presses the map pages may take for tuning. The window previews every key, so a key
// meant for a box or a list must be left to it, and a shortcut or clipboard key is never a tuning
// key.
namespace MapKeys {

// True when the widget that receives the key uses the arrows, the page keys or letters itself:
// text boxes, spin boxes, combo boxes, sliders and scroll bars, radio buttons and buttons of a
// group, tab bars, lists and tables, and any editor inside a spin box, combo box or item view.
bool focusTakesKeys(const QWidget* receiver);

// Ctrl, Alt or Meta held. Shift and the keypad flag do not count: Shift+Up still tunes.
bool isCommandChord(Qt::KeyboardModifiers modifiers);

// The chart and jet keys may act on this press.
bool tuningKeyAllowed(const QWidget* receiver, Qt::KeyboardModifiers modifiers);

} // namespace MapKeys
