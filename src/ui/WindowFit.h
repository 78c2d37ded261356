#pragma once

#include <QMargins>
#include <QRect>
#include <QSize>

#include <optional>

class QWidget;
class WindowSettings;

// Where the main window opens. Geometries are of the window without its frame; the frame (title
// bar, borders) must fit on the screen's available area too, or the status bar ends up below the
// panel.
namespace WindowFit {

// A title bar and borders as most window managers draw them, for before the window has a frame.
inline constexpr QMargins kTypicalFrame{1, 37, 1, 1};

// The wanted size when it fits the available area with its frame, else the largest size that fits;
// never below the minimum unless the screen itself is smaller. A remembered geometry keeps its
// position when the window would still be wholly on the area, and is moved inside it otherwise.
QRect place(QSize wanted, QSize minimum, const QRect& available, const QMargins& frame,
            const std::optional<QRect>& remembered);

// Puts the window where it was last left (or at the wanted size on its screen), maximized again
// when it was; true when a remembered place was used.
bool restore(QWidget& window, WindowSettings& settings, QSize wanted);
// Remembers the window's place for the next start.
void remember(const QWidget& window, WindowSettings& settings);

} // namespace WindowFit
