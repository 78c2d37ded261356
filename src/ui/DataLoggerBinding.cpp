#include "ui/DataLoggerBinding.h"

#include "mapeditor/MapPages.h"
#include "monitor/DataLoggerPage.h"
#include "ui/UiPrompts.h"
#include "ui/WindowSettings.h"

void bindDataLogger(DataLoggerPage& logger, const MapPages& maps, WindowSettings& settings,
                    std::function<UiPrompts&()> prompts, QWidget* window) {
    DataLoggerHooks hooks;
    hooks.confirm = [prompts, window](const QString& text) { return prompts().askConfirm(window, text); };
    hooks.chooseFolder = [prompts, window](const QString& folder) {
        return prompts().askFolder(window, folder);
    };
    hooks.showError = [prompts, window](const QString& text) { prompts().showError(window, text); };
    hooks.chooseLog = [prompts, window](const QString& folder) {
        return prompts().askOpenLogName(window, folder);
    };
    // The log's fuel-curve column: 1 Low, 2 Cruise, 3 High; 0 none.
    hooks.fuelCurve = [&maps] {
        const std::optional<MapId> curve = maps.editing().FuelRpmCurveSelection;
        if (!curve)
            return 0;
        return *curve == MapId::FuelRpmLow ? 1 : *curve == MapId::FuelRpmCruise ? 2 : 3;
    };
    logger.setHooks(std::move(hooks));
    logger.setLogFolder(settings.logFolder());
    QObject::connect(&logger, &DataLoggerPage::logFolderChosen, &logger, [&settings](const QString& folder) {
        settings.setLogFolder(folder);
        settings.sync();
    });
}
