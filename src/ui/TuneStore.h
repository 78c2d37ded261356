#pragma once

#include "calibration/CalibrationData.h"
#include "calibration/SettingsFile.h"

#include <QObject>
#include <QString>

#include <array>
#include <cstdint>
#include <functional>

class FlowRunner;
class RecentFilesMenu;
class TuneCompareDialog;
class TuneSession;
class UiPrompts;
class WindowSettings;

// Where the tune goes and comes from: "Write to EMU" with its retries, a settings file saved from
// the PC's data or the unit's, a file opened, and the question asked before changes not written or
// saved would be lost. The window lends its prompts, its vehicle texts and its status line.
class TuneStore : public QObject {
    Q_OBJECT

  public:
    struct Host {
        QWidget* window = nullptr;
        std::function<UiPrompts&()> prompts;
        std::function<VehicleInfo()> vehicle;
    };

    TuneStore(TuneSession& session, FlowRunner& flows, WindowSettings& settings, RecentFilesMenu& recent,
              Host host, QObject* parent);

    // The whole-image write, offered again while a retry may help; done(true) only when the unit
    // holds the image.
    void writeToEmu(std::function<void(bool)> done = {});
    // Saves a settings file of the PC's data or of the unit's; done(true) once saved.
    void saveSettings(bool fromPc, std::function<void(bool)> done = {});
    // Asks for a file and opens it (after the question).
    void chooseAndOpen();
    // Opens a settings file as Open does (after the question about unsaved changes).
    void openFile(const QString& path);

    // "Compare with file..." (a file asked for) and "Compare with EMU" (the unit's image read):
    // the dialog shows what differs from the PC's data.
    void compareWithFile(TuneCompareDialog& dialog);
    void compareWithUnit(TuneCompareDialog& dialog);

    // The PC holds changes that are neither in the unit's store nor in a file.
    bool changesAtStake() const;
    // Runs proceed once the PC holds nothing that would be lost (written, saved or given up after
    // the question); never when the user cancels or the write or save failed.
    void askAboutChanges(std::function<void()> proceed, std::function<void()> cancelled = {});

    // The window may close now (nothing at stake, or the question answered without the link);
    // otherwise the question or the write it chose is under way, and closeLater is called once the
    // window may go.
    bool mayClose(const std::function<void()>& closeLater);

  signals:
    void statusText(const QString& text);

  private:
    void saveImage(const std::array<std::uint8_t, kImageSize>& image, const std::function<void(bool)>& done);
    UiPrompts& prompts() { return host_.prompts(); }

    TuneSession& session_;
    FlowRunner& flows_;
    WindowSettings& settings_;
    RecentFilesMenu& recent_;
    Host host_;
    bool closeConfirmed_ = false;
    bool closeAsked_ = false;
};
