#include "ui/MixtureBinding.h"

#include "mapeditor/FuelMapsPage.h"
#include "mapeditor/MapChartWidget.h"
#include "monitor/DataLoggerPage.h"
#include "session/TuneSession.h"
#include "tools/MixtureSuggestionsDialog.h"
#include "ui/UiPrompts.h"

#include <QPointer>

void bindMixtureSuggestions(FuelMapsPage& page, CalibrationEditor& editor, TuneSession& session,
                            const DataLoggerPage& logger, std::function<UiPrompts&()> prompts,
                            std::function<QString()> logFolder,
                            std::function<void(const QString&)> showStatus, QWidget* window) {
    auto dialog = std::make_shared<QPointer<MixtureSuggestionsDialog>>();
    QObject::connect(&page, &FuelMapsPage::mixtureSuggestionsRequested, &page, [=, &page, &editor, &logger] {
        if (*dialog) {
            (*dialog)->raise();
            (*dialog)->activateWindow();
            return;
        }
        MixtureDialogHooks hooks;
        hooks.currentRecording = [&logger] { return &logger.log(); };
        hooks.askLogName = [=] { return prompts().askOpenLogName(window, logFolder()); };
        hooks.showArrows = [&page](const std::vector<MixtureChange>& changes) {
            std::vector<PointMark> marks;
            for (const MixtureChange& c : changes)
                marks.push_back({c.map, c.point, c.to > c.from ? 1 : -1});
            page.showSuggestionMarks(marks);
        };
        hooks.showStatus = showStatus;
        auto* d = new MixtureSuggestionsDialog(editor, std::move(hooks), window);
        d->setAttribute(Qt::WA_DeleteOnClose);
        *dialog = d;
        d->show();
    });
    const auto voidSuggestions = [dialog] {
        if (*dialog)
            (*dialog)->tuneChanged();
    };
    QObject::connect(&session, &TuneSession::calibrationLoaded, &page, voidSuggestions);
    QObject::connect(&session, &TuneSession::calibrationClosed, &page, voidSuggestions);
}
