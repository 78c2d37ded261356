#include "session/TuneSession.h"

#include "calibration/CalibrationTransfer.h"
#include "calibration/SettingsFile.h"
#include "link/Connection.h"
#include "link/PortNaming.h"
#include "tools/ThrottleCalibration.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>

QString WriteResult::text() const {
    const QString failed = Connection::kWriteFailed + QStringLiteral(": ");
    switch (status) {
    case Status::Written:
        return Connection::kTableWritten;
    case Status::NothingToWrite:
        return failed + QStringLiteral("nothing to write; read from the EMU or open a file first.");
    case Status::NoUnit:
        return failed + QStringLiteral("no EMU answered on the port; nothing was written.");
    case Status::WrongModel:
        return failed + QStringLiteral("the EMU on the port is model %1, but the data is for model %2; "
                                       "nothing was written.")
                            .arg(unit.model())
                            .arg(expectedModel);
    case Status::PortFailed:
        return failed + QStringLiteral("the data did not reach the port.");
    case Status::ReadBackShort:
        return failed + QStringLiteral("the EMU sent back %1 of %2 bytes, so the write is not confirmed.")
                            .arg(received)
                            .arg(kImageReplySize);
    case Status::ReadBackMismatch:
        return failed + QStringLiteral("%1 of the EMU's positions differ from what was sent.").arg(differing);
    case Status::Busy:
        return failed + QStringLiteral("the link is busy with another task; nothing was written.");
    }
    return {};
}

TuneSession::TuneSession(QObject* parent)
    : QObject(parent), link_(state_.link, this), editor_(state_, link_, this),
      safeguard_(state_, editor_, this) {
    connect(&safeguard_, &EditSafeguard::problem, this, [this](const QString& text) { status(0, text); });
    connect(&editor_, &CalibrationEditor::mapChanged, this, &TuneSession::markUnsaved);
    // Only a value that changed needs saving: a fill's echo of what is there is no edit.
    connect(&editor_, &CalibrationEditor::edited, this, [this](const EditRecord& record) {
        if (record.kind != EditRecord::Kind::MapPoint && record.oldValue != record.newValue)
            markUnsaved();
    });
    connect(
        &editor_, &CalibrationEditor::sendRefused, this, [this](std::uint8_t, std::uint8_t id, std::uint8_t) {
            status(0,
                   QStringLiteral("The change (id %1) did not reach the EMU: nothing was changed").arg(id));
        });
    connect(&link_, &EmuLink::sendFailed, this, [this](std::uint8_t, std::uint8_t id, std::uint8_t value) {
        status(0, QStringLiteral("A change (id %1, value %2) did not reach the EMU: read from the EMU to see "
                                 "what it holds")
                      .arg(id)
                      .arg(value));
    });
    connect(&link_, &EmuLink::reopened, this, &TuneSession::verifyUnit);
}

TuneSession::~TuneSession() {
    link_.stopPoll();
    link_.stopThrottlePoll();
    link_.close();
}

QString TuneSession::setupTypeText(int model) {
    return EmuIdentity::connectTypeText(model);
}

bool TuneSession::openPort() {
    if (link_.open())
        return true;
    const QString device = link_.lastOpenDevice();
    const QString text = Connection::portProblemText(link_.lastOpenError(), link_.portNumber(), device);
    if (!text.isEmpty() && !notifiedDevices_.contains(device)) {
        notifiedDevices_.insert(device);
        pendingNotices_.append(text);
    }
    return false;
}

void TuneSession::flushNotices() {
    if (!pendingNotices_.isEmpty())
        emit portNotices(std::exchange(pendingNotices_, {}));
}

void TuneSession::setDocument(const QString& path, bool unsaved) {
    currentFile_ = path.isEmpty() ? QString() : QFileInfo(path).absoluteFilePath();
    unsaved_ = unsaved;
    emit documentChanged();
}

void TuneSession::markUnsaved() {
    if (unsaved_)
        return;
    unsaved_ = true;
    // "Saved to" is no longer the latest word once the tune has changed again.
    if (!savedStatus_.isEmpty() && status0_ == savedStatus_)
        status(0, QStringLiteral("Unsaved changes (last saved to %1)").arg(savedStatus_.mid(9)));
    emit documentChanged();
}

// ---------------------------------------------------------------------------------------------
// Finding the unit

LinkTask<bool> TuneSession::scanPorts(int pauseMs, bool refreshing) {
    LinkState& link = state_.link;
    bool found = false;
    for (int n = PortNaming::kFirstPort; n <= PortNaming::kLastPort; ++n) {
        link_.setPort(n);
        if (!openPort())
            continue;
        // The port the lost-link dialog reopens: the unit's once one has answered.
        if (refreshing && !found)
            link.SelectedPort = n;
        emit portListed(n);
        const EmuIdentity id = co_await link_.identify(pauseMs);
        // A unit the window is connected to keeps its identity, whatever other ports answer.
        if (!link.EmuConnected && (!refreshing || !found))
            link.Identity = id;
        // The start-up search ends on the last unit that answered; a refresh on the first.
        if (id.isLiveUnit() && (!refreshing || !found)) {
            if (refreshing) {
                status(0, Connection::refreshFoundText(id, n));
            } else {
                const QString type = EmuIdentity::searchTypeText(id.model());
                if (!type.isEmpty())
                    link.EmuTypeText = type;
                status(0, Connection::searchFoundText(link.EmuTypeText, n));
                if (!link.EmuConnected)
                    link.Identity.fill(kReplyFillByte);
            }
            emit portSelected(n);
            emit controlsChanged({.retry = false, .connect = true});
            found = true;
            emit portRemembered(n);
        } else if (!found) {
            status(0, Connection::kNoEmuPresent);
        }
        link_.close();
    }
    if (!found)
        status(0, Connection::kNoEmuPresent);
    flushNotices();
    co_return found;
}

LinkTask<bool> TuneSession::search() {
    const FlowCount flow(*this);
    const bool found = co_await scanPorts(EmuPause::kIdentifySearch, false);
    co_return found;
}

LinkTask<bool> TuneSession::refresh() {
    const FlowCount flow(*this);
    emit portsCleared();
    link_.close();
    const bool found = co_await scanPorts(EmuPause::kIdentifyRefresh, true);
    co_return found;
}

void TuneSession::selectPort(int port) {
    state_.link.SelectedPort = port;
    link_.close();
    link_.setPort(port);
    openPort();
    flushNotices();
}

LinkTask<void> TuneSession::identifyOn(int port) {
    status(0, Connection::kSearching);
    link_.setPort(port);
    openPort();
    lastIdentifyReply_ = co_await link_.identifyReply(EmuPause::kIdentifyConnect);
    state_.link.Identity = EmuIdentity::fromReply(lastIdentifyReply_);
}

// ---------------------------------------------------------------------------------------------
// Connect and read

void TuneSession::showSetupBlock() {
    LinkState& link = state_.link;
    CalibrationData& cal = state_.cal;
    deriveSetupValues(cal);
    deriveThrottleCalibration(cal);
    link.SerialNumberText = Connection::serialNumberText(cal.SetupBlock.data());
    // Only a unit (or a file's identity) is described; nothing that answered is no unit.
    if (link.Identity.isLiveUnit() || link.Identity.isFromFile())
        status(1, Connection::unitDescription(link.Identity, link.SerialNumberText));
    else
        status(1, QString());
}

LinkTask<void> TuneSession::connectUnit(int port) {
    const FlowCount flow(*this);
    LinkState& link = state_.link;
    CalibrationData& cal = state_.cal;

    if (!link.FileDataShown) {
        if (!link.FileMode) {
            co_await identifyOn(port);
            const auto n = lastIdentifyReply_.size();
            if (n > 0 && n < EmuLength::kIdentity) {
                // Part of an identity is no unit to describe: keep everything as it was.
                status(0, Connection::cutIdentityText(static_cast<int>(n)));
                flushNotices();
                co_return;
            }
        }
        const EmuIdentity& id = link.Identity;
        const bool live = id.isLiveUnit();
        const bool fromFile = id.isFromFile();
        if (fromFile)
            status(0, Connection::kFileOpened);
        else if (!live)
            status(0, Connection::kEmuNotConnected);
        else
            link.EmuConnected = true;

        if (live || fromFile) {
            if (live)
                status(0, Connection::kEmuConnected);
            link.FirmwareVersionText = id.firmwareVersionText();
            const QString letter = id.releaseLetter();
            if (!letter.isEmpty())
                emit releaseLetterShown(letter);
            const int compared = Connection::compareSoftwareVersion(link.FirmwareVersionText);
            if (compared != 0) {
                link.EmuConnected = false;
                link.VersionNoticeText =
                    Connection::versionNoticeText(link.FirmwareVersionText, compared > 0);
                status(0, Connection::kEmuNotConnected);
                link.EmuTypeText = Connection::kEmuNotConnected;
                emit versionNotice();
            }
            const QString type = EmuIdentity::connectTypeText(id.model());
            if (!type.isEmpty()) {
                link.EmuTypeText = type;
                setFamiliesForModel(cal, id.model());
            }
            if (link.EmuTypeText != Connection::kEmuNotConnected)
                status(2, link.EmuTypeText);
            if (link.EmuConnected || link.FileMode) {
                emit typeShown(link.EmuTypeText);
                if (link.FileMode)
                    link.SetupChanged = true;
            }
        }

        // The setup block is read even when nothing answered: it then holds the fill pattern. A live
        // unit's cut reply is not a setup block: the window keeps what it held and says so.
        if (!link.FileMode) {
            status(0, Connection::kReadingSetup);
            const ImageRead setupRead = co_await link_.readImageHeld();
            if (link.Identity.isLiveUnit() && !setupRead.complete()) {
                status(0, setupRead.shortText());
                emit controlsChanged({.read = true});
                flushNotices();
                co_return;
            }
            CalibrationTransfer::storeSetupBlock(cal, setupRead.reply);
        } else {
            const QByteArray fileImage(reinterpret_cast<const char*>(cal.ReceivedImage.data()),
                                       kSetupBlockSize);
            CalibrationTransfer::storeSetupBlock(cal, fileImage);
        }
    }

    showSetupBlock();
    // The setup just read is the unit's own: edits made on it go to the unit.
    if (!link.FileMode && !link.FileDataShown)
        link.UnitInStep = link.EmuConnected;
    emit setupLoaded(true);
    emit controlsChanged({.read = true});
    if (link.EmuConnected) {
        emit controlsChanged({.selector = false, .connect = false});
        status(0, Connection::kReady);
    }

    link.DataReady = true;
    if (link.FileDataShown) {
        emit controlsChanged({.connect = true});
        co_await identifyOn(port);
        if (!link.Identity.isLiveUnit()) {
            status(0, Connection::kEmuNotConnected);
        } else {
            status(0, Connection::kEmuConnected);
            status(1, Connection::unitDescription(link.Identity));
            link.EmuConnected = true;
            emit controlsChanged({.selector = false, .connect = false, .read = false});
        }
    }
    flushNotices();

    if (link.EmuConnected) {
        emit portRemembered(port);
        co_await readWhole();
    }
    emit unitReady();
}

LinkTask<void> TuneSession::read() {
    const FlowCount flow(*this);
    co_await readWhole();
}

LinkTask<void> TuneSession::readWhole() {
    LinkState& link = state_.link;
    CalibrationData& cal = state_.cal;
    link_.stopThrottlePoll();
    if (!link.FileMode) {
        const ImageRead whole = co_await link_.readImageHeld();
        if (!whole.complete()) {
            // A cut reply is no calibration: the maps, the setup block and ReceivedImage stay as
            // they were, and the user may try again.
            status(0, whole.shortText());
            emit controlsChanged({.read = true, .write = link.EmuConnected && link.CalibrationLoaded});
            flushNotices();
            co_return;
        }
        CalibrationTransfer::storeReceivedImage(cal, whole.reply);
        // The image's first 101 bytes are the unit's setup block; a Connect whose own setup read
        // was cut is completed here.
        CalibrationTransfer::storeSetupBlock(cal, whole.reply);
        showSetupBlock();
        emit setupLoaded(false);
        if (link.EmuConnected) {
            emit controlsChanged({.selector = false, .connect = false});
            status(0, Connection::kReady);
        }
        link.CalibrationModel = link.Identity.isLiveUnit() ? link.Identity.model() : 0;
        link.SetupChanged = false;
        link.MapsChanged = false;
        link.UnitInStep = link.EmuConnected;
        editor_.forgetUnsent();
        // The unit's data, not a file's.
        setDocument(QString(), false);
    }
    link.CalibrationLoaded = true;
    decodeImage(cal);
    if (!link.FileMode)
        safeguard_.freshRead();
    emit calibrationLoaded(!link.FileMode);
    emit controlsChanged({.read = false, .write = link.EmuConnected && link.CalibrationLoaded});

    if (link.FileMode) {
        link.FileDataShown = true;
        co_return;
    }
    emit liveControls(true, true);
    link_.startPoll();
    link.DataReady = true;
}

// ---------------------------------------------------------------------------------------------
// Write and save

LinkTask<WriteResult> TuneSession::write() {
    const FlowCount flow(*this);
    LinkState& link = state_.link;
    CalibrationData& cal = state_.cal;
    WriteResult result;
    result.expectedModel = link.CalibrationModel;
    if (!link.CalibrationLoaded) {
        result.status = WriteResult::Status::NothingToWrite;
        status(0, result.text());
        emit controlsChanged({.write = false});
        co_return result;
    }
    {
        const EmuLink::Hold hold(link_);
        buildImage(cal);
        result.unit = co_await link_.identify(EmuPause::kIdentifyConnect);
        if (!result.unit.isLiveUnit()) {
            result.status = WriteResult::Status::NoUnit;
        } else if (result.unit.model() != result.expectedModel) {
            result.status = WriteResult::Status::WrongModel;
        } else {
            const ImageWrite written = co_await link_.writeImage(cal.PlainImageText);
            result.received = static_cast<int>(written.readBack.size());
            if (!written.sent)
                result.status = WriteResult::Status::PortFailed;
            else if (written.readBack.size() < kImageReplySize)
                result.status = WriteResult::Status::ReadBackShort;
            else {
                result.differing = CalibrationTransfer::readBackDifferences(cal, written.readBack);
                result.status = result.differing == 0 ? WriteResult::Status::Written
                                                      : WriteResult::Status::ReadBackMismatch;
            }
        }
    }
    if (!result.ok()) {
        // The changes are still only on the PC: keep the flags and the button.
        status(0, result.text());
        emit controlsChanged({.write = link.CalibrationLoaded});
        flushNotices();
        co_return result;
    }
    deriveSetupValues(cal);
    link.MapsChanged = false;
    link.SetupChanged = false;
    // The unit now holds the window's data: edits go to it from here on.
    link.UnitInStep = true;
    editor_.forgetUnsent();
    safeguard_.unitStored();
    emit calibrationWritten();
    status(0, Connection::kTableWritten);
    emit controlsChanged({.read = false, .write = link.CalibrationLoaded});
    unsaved_ = false;
    emit documentChanged();
    co_return result;
}

LinkTask<std::optional<std::array<std::uint8_t, kImageSize>>> TuneSession::imageToSave(bool fromPc,
                                                                                       QString* error) {
    if (fromPc)
        co_return CalibrationTransfer::imageFromPc(state_.cal);
    const FlowCount flow(*this);
    const ImageRead image = co_await link_.readImageHeld(EmuPause::kSaveFromEmu);
    co_return CalibrationTransfer::imageFromReply(image.reply, error);
}

void TuneSession::savedTo(const QString& path) {
    setDocument(path, false);
    safeguard_.unitStored();
    savedStatus_ =
        QStringLiteral("Saved to %1").arg(QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath()));
    status(0, savedStatus_);
}

LinkTask<ImageRead> TuneSession::readUnitImage() {
    const FlowCount flow(*this);
    ImageRead image = co_await link_.readImageHeld();
    co_return image;
}

// ---------------------------------------------------------------------------------------------
// Files and Close all

LinkTask<QString> TuneSession::openFile(QString path) {
    const FlowCount flow(*this);
    LinkState& link = state_.link;
    CalibrationData& cal = state_.cal;
    // Whatever the file turns out to be, the window is no longer showing an earlier file's data.
    link.FileMode = false;
    QString error;
    const auto text = SettingsFile::loadFromFile(path, &error);
    if (!text)
        co_return error;
    const auto contents = SettingsFile::read(*text);
    if (!contents) {
        cal.ReceivedImage.fill(kReplyFillByte);
        co_return SettingsFile::kRejectedText;
    }
    // The file's data is not what the unit holds: from here on edits stay on the PC, and the
    // fill below sends nothing.
    link.UnitInStep = false;
    link.FileMode = false;
    link.FileDataShown = false;
    link.Identity = contents->identity;
    CalibrationTransfer::loadFileContents(cal, *contents);
    // A file always holds the whole image, for the model it was saved from.
    link.CalibrationLoaded = true;
    link.CalibrationModel = contents->identity.model();
    const QByteArray fileImage(reinterpret_cast<const char*>(cal.ReceivedImage.data()), kSetupBlockSize);
    CalibrationTransfer::storeSetupBlock(cal, fileImage);
    link.FileMode = true;
    link.MapsChanged = false;
    link.SetupChanged = false;
    editor_.forgetUnsent();
    safeguard_.fileOpened();
    emit fileOpened(path, contents->vehicle);
    link.DataReady = true;
    setDocument(path, false);
    // Connect and Read in file mode talk to no unit: they show the file's setup and maps.
    co_await connectUnit(link.SelectedPort);
    if (!link.FileDataShown)
        co_await readWhole();
    co_return QString();
}

void TuneSession::closeAll() {
    LinkState& link = state_.link;
    // The live data goes on (the unit is still there); only the calibration goes.
    link_.stopThrottlePoll();
    clearCalibration(state_.cal);
    editor_.forgetUnsent();
    link.FileMode = false;
    link.FileDataShown = false;
    link.UnitInStep = false;
    link.DataReady = false;
    link.SetupChanged = false;
    link.MapsChanged = false;
    // Nothing is left to write until a read or an open loads a whole calibration again.
    link.CalibrationLoaded = false;
    link.CalibrationModel = 0;
    safeguard_.closedAll();
    emit calibrationClosed();
    // The way back: Connect reads the unit again without a restart; with no unit connected the
    // search and the selector work too.
    const bool free = !link.EmuConnected;
    emit controlsChanged({.selector = free, .retry = free, .connect = true, .read = false, .write = false});
    if (free)
        status(0, Connection::kEmuNotConnected);
    setDocument(QString(), false);
}

void TuneSession::verifyUnit() {
    if (state_.link.EmuConnected)
        checkUnitAgain().then(this, [] {});
}

void TuneSession::discardChanges() {
    state_.link.SetupChanged = false;
    state_.link.MapsChanged = false;
    editor_.forgetUnsent();
    // Given up: neither the journal nor the next question offers them again.
    safeguard_.unitStored();
    unsaved_ = false;
    emit documentChanged();
}

// ---------------------------------------------------------------------------------------------
// The lost link

LinkTask<bool> TuneSession::downloadToUnit() {
    const FlowCount flow(*this);
    LinkState& link = state_.link;
    const bool found = co_await scanPorts(EmuPause::kIdentifyRefresh, true);
    co_await link_.pause(500);
    if (!found)
        co_return false;
    link_.stopThrottlePoll();
    if (!link_.isOpen()) {
        link_.setPort(link.SelectedPort);
        openPort();
    }
    // The unit must hold the PC's data before the dialog may go away.
    --flows_;
    const WriteResult result = co_await write();
    ++flows_;
    if (!result.ok())
        co_return false;
    emit controlsChanged({.selector = false, .retry = false, .connect = false});
    link.SetupChanged = false;
    link.MapsChanged = false;
    link.EmuConnected = true;
    link_.startPoll();
    co_return true;
}

LinkTask<bool> TuneSession::uploadFromUnit() {
    const FlowCount flow(*this);
    LinkState& link = state_.link;
    link.DataReady = false;
    link_.purge();
    closeAll();
    const bool found = co_await scanPorts(EmuPause::kIdentifyRefresh, true);
    if (!found)
        co_return false;
    co_await connectUnit(link.SelectedPort);
    // A cut read loads nothing: the choice did not succeed.
    if (!link.CalibrationLoaded)
        co_return false;
    emit controlsChanged({.selector = false, .retry = false});
    link.SetupChanged = false;
    link.MapsChanged = false;
    co_return true;
}

// The port was opened again after the device went away: whatever is at the path now is identified
// before anything else is sent. Another model or serial leaves the window unconnected.
LinkTask<void> TuneSession::checkUnitAgain() {
    if (checking_)
        co_return;
    checking_ = true;
    LinkState& link = state_.link;
    link.Verifying = true;
    const bool wasPolling = link_.pollRunning();
    link_.stopPoll();
    const EmuIdentity expected = link.Identity;
    const QString expectedSerial = link.SerialNumberText;
    const EmuIdentity now = co_await link_.identify(EmuPause::kIdentifyConnect);
    bool same = now.isLiveUnit() && now.model() == expected.model();
    if (same) {
        const ImageRead setup = co_await link_.readImageHeld();
        same = setup.complete() &&
               Connection::serialNumberText(reinterpret_cast<const std::uint8_t*>(setup.reply.constData())) ==
                   expectedSerial;
    }
    link.Verifying = false;
    checking_ = false;
    if (same) {
        if (wasPolling)
            link_.startPoll();
        co_return;
    }
    link.EmuConnected = false;
    link.UnitInStep = false;
    link_.close();
    status(0, Connection::kEmuNotConnected);
    emit controlsChanged({.selector = true, .retry = true, .connect = true});
    emit otherUnit(now.isLiveUnit() ? QStringLiteral("Another EMU is on the port: press Connect to use it")
                                    : QStringLiteral("No EMU answered on the port"));
}
