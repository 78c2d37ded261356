#include "ui/TuneStore.h"

#include "calibration/CalibrationTransfer.h"
#include "session/TuneSession.h"
#include "ui/EditSafetyNet.h"
#include "ui/FlowRunner.h"
#include "ui/RecentFilesMenu.h"
#include "ui/TuneCompareDialog.h"
#include "ui/UiPrompts.h"
#include "ui/WindowSettings.h"

#include <QFileInfo>

#include <memory>
#include <optional>

TuneStore::TuneStore(TuneSession& session, FlowRunner& flows, WindowSettings& settings,
                     RecentFilesMenu& recent, Host host, QObject* parent)
    : QObject(parent), session_(session), flows_(flows), settings_(settings), recent_(recent),
      host_(std::move(host)) {
}

void TuneStore::writeToEmu(std::function<void(bool)> done) {
    if (flows_.refuseWhileBusy()) {
        if (done)
            done(false);
        return;
    }
    flows_.run(session_.write(), [this, done = std::move(done)](WriteResult result) {
        if (result.ok() || !result.worthRetrying() ||
            !prompts().askRetry(host_.window,
                                result.text() + QStringLiteral("\n\nWrite the data to the EMU again?"))) {
            if (done)
                done(result.ok());
            return;
        }
        writeToEmu(done);
    });
}

void TuneStore::saveSettings(bool fromPc, std::function<void(bool)> done) {
    if (!done)
        done = [](bool) {};
    if (fromPc) {
        saveImage(CalibrationTransfer::imageFromPc(session_.state().cal), done);
        return;
    }
    if (flows_.refuseWhileBusy()) {
        done(false);
        return;
    }
    auto error = std::make_shared<QString>();
    flows_.run(session_.imageToSave(false, error.get()),
               [this, error, done](std::optional<std::array<std::uint8_t, kImageSize>> image) {
                   if (!image) {
                       prompts().showError(host_.window, *error);
                       done(false);
                       return;
                   }
                   saveImage(*image, done);
               });
}

void TuneStore::saveImage(const std::array<std::uint8_t, kImageSize>& image,
                          const std::function<void(bool)>& done) {
    const VehicleInfo vehicle = host_.vehicle();
    const EmuIdentity& identity = session_.state().link.Identity;
    if (const QString reason = SettingsFile::refusalReason(identity, vehicle); !reason.isEmpty()) {
        prompts().showError(host_.window, reason);
        done(false);
        return;
    }
    const QString path = prompts().askSaveFileName(host_.window, settings_.saveFolder());
    if (path.isEmpty()) {
        done(false);
        return;
    }
    const QByteArray text = SettingsFile::write(identity, vehicle, image.data(), kImageReplySize);
    QString error;
    if (!SettingsFile::saveToFile(path, text, &error)) {
        prompts().showError(host_.window, error);
        done(false);
        return;
    }
    settings_.setSaveFolder(QFileInfo(path).absolutePath());
    recent_.note(path);
    session_.savedTo(path);
    done(true);
}

bool TuneStore::changesAtStake() const {
    // After "Close all" the PC holds nothing to write or save; a file saved (or opened) since the
    // last change keeps it all.
    const LinkState& link = session_.state().link;
    const bool keptInFile = !session_.currentFile().isEmpty() && !session_.hasUnsavedChanges();
    return link.hasPendingChanges() && link.CalibrationLoaded && !keptInFile;
}

void TuneStore::askAboutChanges(std::function<void()> proceed, std::function<void()> cancelled) {
    if (!cancelled)
        cancelled = [] {};
    if (!changesAtStake()) {
        proceed();
        return;
    }
    auto afterStore = [proceed, cancelled](bool stored) { stored ? proceed() : cancelled(); };
    switch (prompts().askUnsavedChanges(host_.window)) {
    case UiPrompts::UnsavedChoice::WriteToEmu:
        writeToEmu(afterStore);
        return;
    case UiPrompts::UnsavedChoice::SaveToFile:
        saveSettings(true, afterStore);
        return;
    case UiPrompts::UnsavedChoice::Discard:
        // Given up: neither the journal nor the next question offers them again.
        session_.discardChanges();
        proceed();
        return;
    case UiPrompts::UnsavedChoice::Cancel:
        cancelled();
        return;
    }
}

void TuneStore::chooseAndOpen() {
    if (flows_.refuseWhileBusy())
        return;
    const QString path = prompts().askOpenFileName(host_.window, settings_.openFolder());
    if (path.isEmpty())
        return;
    openFile(path);
}

void TuneStore::openFile(const QString& path) {
    askAboutChanges([this, path] {
        flows_.run(session_.openFile(path), [this](const QString& error) {
            if (!error.isEmpty())
                prompts().showError(host_.window, error);
        });
    });
}

bool TuneStore::mayClose(const std::function<void()>& closeLater) {
    if (closeConfirmed_ || !changesAtStake())
        return true;
    if (closeAsked_)
        return false;
    closeAsked_ = true;
    // A choice that needs no link ends here and now; a write closes the window when it is done.
    auto now = std::make_shared<bool>(true);
    auto decided = std::make_shared<bool>(false);
    askAboutChanges(
        [this, now, decided, closeLater] {
            closeConfirmed_ = true;
            closeAsked_ = false;
            if (*now)
                *decided = true;
            else
                closeLater();
        },
        [this] { closeAsked_ = false; });
    *now = false;
    return *decided;
}

void TuneStore::compareWithFile(TuneCompareDialog& dialog) {
    const QString path = prompts().askOpenFileName(host_.window, settings_.openFolder());
    if (path.isEmpty())
        return;
    if (const QString why = dialog.compareWith(path); !why.isEmpty()) {
        prompts().showError(host_.window, why);
        return;
    }
    dialog.show();
    dialog.raise();
}

void TuneStore::compareWithUnit(TuneCompareDialog& dialog) {
    if (flows_.refuseWhileBusy())
        return;
    const LinkState& link = session_.state().link;
    if (!link.EmuConnected || !link.CalibrationLoaded) {
        emit statusText(QStringLiteral("Compare with EMU: connect to the EMU and read its data first"));
        return;
    }
    flows_.run(session_.readUnitImage(), [this, &dialog](const ImageRead& read) {
        QString error;
        const auto image = CalibrationTransfer::imageFromReply(read.reply, &error);
        if (!image) {
            prompts().showError(host_.window, error);
            return;
        }
        dialog.compareWithUnit(*image, session_.state().link.Identity.model());
        dialog.show();
        dialog.raise();
    });
}
