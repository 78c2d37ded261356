#pragma once

#include <QIcon>

// The tool bar's pictures, drawn with QPainter so that they need no image plugin and stay sharp
// at any scale.
enum class ToolIcon {
    Open,
    CloseAll,
    Save,
    Print,
    Refresh,
    Connect,
    Read,
    Write,
    MouseTuning,
    About,
    Exit,
    Undo,
    Redo,
    Compare,
    CompareEmu
};

QIcon toolIcon(ToolIcon kind);
