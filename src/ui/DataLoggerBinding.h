#pragma once

#include <functional>

class DataLoggerPage;
class MapPages;
class QWidget;
class UiPrompts;
class WindowSettings;

// Lends the "Data Logger" page what it needs from the window: its questions (clear a running log,
// the log folder, a log to open), the fuel curve the Fuel Maps page has selected, and the log
// folder kept in the settings.
void bindDataLogger(DataLoggerPage& logger, const MapPages& maps, WindowSettings& settings,
                    std::function<UiPrompts&()> prompts, QWidget* window);
