#pragma once

#include <QString>

#include <functional>

class CalibrationEditor;
class DataLoggerPage;
class FuelMapsPage;
class QWidget;
class TuneSession;
class UiPrompts;

// Opens the mixture suggestions from the "Fuel Maps" page's button, lending the dialog the edit
// door, the logger's recording, the log question and the page's chart arrows. A tune read, opened
// or closed voids the suggestions shown.
void bindMixtureSuggestions(FuelMapsPage& page, CalibrationEditor& editor, TuneSession& session,
                            const DataLoggerPage& logger, std::function<UiPrompts&()> prompts,
                            std::function<QString()> logFolder,
                            std::function<void(const QString&)> showStatus, QWidget* window);
