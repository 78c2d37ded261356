#include "e2e_helpers.h"

#include <memory>
#include <optional>

#include "calibration/SettingsFile.h"
#include "mapeditor/MapChartWidget.h"
#include "monitor/TRT.h"
#include "ui/TuneStore.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFile>
#include <QLineEdit>
#include <QPrinter>
#include <QSettings>
#include <QTest>

#include <algorithm>

QString FakePrompts::askOpenFileName(QWidget*, const QString& folder) {
    ++openAsked;
    openFolder = folder;
    return openNames.isEmpty() ? QString() : openNames.takeFirst();
}

QString FakePrompts::askSaveFileName(QWidget*, const QString& folder) {
    ++saveAsked;
    saveFolder = folder;
    return saveNames.isEmpty() ? QString() : saveNames.takeFirst();
}

void FakePrompts::showError(QWidget*, const QString& text) {
    errors << text;
    shown_.append({QStringLiteral("error"), text});
}

void FakePrompts::showWarning(QWidget*, const QString& text) {
    warnings << text;
    shown_.append({QStringLiteral("warning"), text});
}

UiPrompts::JournalChoice FakePrompts::askJournalRestore(QWidget*, const QString& text) {
    journalTexts << text;
    shown_.append({QStringLiteral("restore question"), text});
    return journalChoice;
}

bool FakePrompts::askConfirm(QWidget*, const QString& text) {
    confirmTexts << text;
    shown_.append({QStringLiteral("question"), text});
    return confirmAnswer;
}

QString FakePrompts::askFolder(QWidget*, const QString&) {
    ++folderAsked;
    return folderNames.isEmpty() ? QString() : folderNames.takeFirst();
}

QString FakePrompts::askOpenLogName(QWidget*, const QString&) {
    return logNames.isEmpty() ? QString() : logNames.takeFirst();
}

QStringList FakePrompts::unexpected() const {
    QStringList out;
    for (const Shown& box : shown_) {
        const bool declared =
            std::any_of(expected_.cbegin(), expected_.cend(),
                        [&box](const QString& fragment) { return box.text.contains(fragment); });
        if (!declared)
            out << box.kind + QStringLiteral(": ") + box.text;
    }
    return out;
}

bool FakePrompts::askRetry(QWidget*, const QString& text) {
    shown_.append({QStringLiteral("retry question"), text});
    retryTexts << text;
    if (retriesToAccept <= 0)
        return false;
    --retriesToAccept;
    return true;
}

UiPrompts::UnsavedChoice FakePrompts::askUnsavedChanges(QWidget*) {
    shown_.append({QStringLiteral("unsaved changes question"), kUnsavedChangesText});
    ++unsavedAsked;
    return unsavedChoice;
}

std::optional<double> FakePrompts::askNumber(QWidget*, const QString& title, const QString&, double) {
    numberTitles << title;
    if (numbers.isEmpty())
        return std::nullopt;
    return numbers.takeFirst();
}

bool FakePrompts::runPrintDialog(QWidget*, QPrinter& printer) {
    ++printAsked;
    // What the dialog's "Print to file (PDF)" choice sets.
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(printPdfPath);
    return acceptPrint;
}

Bench::Bench() {
    QApplication::setQuitOnLastWindowClosed(false);
    // Each bench starts from the defaults and never touches the user's own settings.
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.filePath(QStringLiteral("config")));
    // Every bench starts with no journal to offer back, and leaves the user's files alone.
    qputenv("XDG_STATE_HOME", QFile::encodeName(stateDir.path()));
}

Bench::~Bench() {
    window_.reset();
    for (auto& [port, sim] : units_)
        sim->stop();
    const QStringList unexpected = prompts.unexpected();
    if (unexpected.isEmpty())
        return;
    const QByteArray message =
        "the window showed boxes the test did not expect: " + unexpected.join(QStringLiteral(" | ")).toUtf8();
    // A test that failed already keeps its first failure; the boxes are still named.
    if (QTest::currentTestFailed())
        qWarning("%s", message.constData());
    else
        QTest::qFail(message.constData(), __FILE__, __LINE__);
}

EmuSimulator& Bench::addUnit(int port, SimConfig config) {
    config.linkPath = dir.filePath(QStringLiteral("ttyEMU%1").arg(port));
    auto sim = std::make_unique<EmuSimulator>(config);
    if (!sim->start())
        qFatal("the simulated unit on Com%d could not be started", port);
    paths_[port] = sim->devicePath();
    units_[port] = std::move(sim);
    return *units_[port];
}

void Bench::setPortPath(int port, const QString& path) {
    paths_[port] = path;
}

QString Bench::linkPath(int port) const {
    const auto it = paths_.find(port);
    return it == paths_.end() ? QString() : it->second;
}

TForm1& Bench::window() {
    if (window_)
        return *window_;
    QStringList entries;
    const int last = paths_.empty() ? 0 : paths_.rbegin()->first;
    for (int n = 1; n <= last; ++n)
        entries << linkPath(n);
    ports_.emplace(entries);
    window_ = std::make_unique<TForm1>();
    window_->setPrompts(&prompts);
    window_->show();
    if (!waitUntil([this] { return window_->startupSearchDone(); }, 30000))
        qFatal("the start-up search did not finish");
    for (auto& [port, sim] : units_)
        sim->clearRecord();
    return *window_;
}

TForm1& Bench::restartWindow() {
    window_.reset();
    return window();
}

bool finishFlows(TForm1& w, int timeoutMs) {
    // A flow's callback runs from the event loop after the flow has ended, and may start the next
    // flow: the window counts as done after a few quiet turns of the loop.
    const auto idle = [&w] { return !w.flowsRunning() && !w.session().busy(); };
    for (int quiet = 0; quiet < 3;) {
        if (!waitUntil(idle, timeoutMs))
            return false;
        QCoreApplication::processEvents();
        quiet = idle() ? quiet + 1 : 0;
    }
    return true;
}

bool writeNow(TForm1& w) {
    auto result = std::make_shared<std::optional<bool>>();
    w.store().writeToEmu([result](bool ok) { *result = ok; });
    waitUntil([&] { return result->has_value(); }, 20000);
    return result->value_or(false);
}

bool saveFromPc(TForm1& w) {
    auto saved = std::make_shared<std::optional<bool>>();
    w.store().saveSettings(true, [saved](bool ok) { *saved = ok; });
    return saved->value_or(false);
}

bool connectTo(TForm1& w, EmuSimulator& unit) {
    w.spConnectClick();
    finishFlows(w);
    finishFlows(w);
    if (!w.state().link.EmuConnected || !unit.waitForCommands(3, 5000))
        return false;
    unit.clearRecord();
    return true;
}

QList<int> commandBytes(const EmuSimulator& sim) {
    QList<int> out;
    for (const SimCommand& c : sim.commands())
        out << (c.bytes.isEmpty() ? -1 : static_cast<std::uint8_t>(c.bytes.at(0)));
    return out;
}

QByteArray parameterSet(int id, int value) {
    const char bytes[3] = {char(0xF2), char(id), char(value)};
    return QByteArray(bytes, 3);
}

QList<QByteArray> parameterSets(const EmuSimulator& sim) {
    QList<QByteArray> out;
    for (const SimCommand& c : sim.commands())
        if (!c.bytes.isEmpty() && static_cast<std::uint8_t>(c.bytes.at(0)) == 0xF2)
            out << c.bytes;
    return out;
}

QList<int> nonPollCommands(const EmuSimulator& sim) {
    QList<int> bytes = commandBytes(sim);
    bytes.removeAll(0xFC);
    return bytes;
}

SimConfig unitConfig(int type, int version, int release, QChar letter) {
    SimConfig config;
    config.type = type;
    config.firmwareVersion = version;
    config.firmwareRelease = release;
    config.releaseLetter = letter;
    return config;
}

QAbstractButton* button(TForm1& w, const char* name) {
    return w.findChild<QAbstractButton*>(QString::fromLatin1(name));
}

QLineEdit* lineEdit(QWidget& w, const char* name) {
    return w.findChild<QLineEdit*>(QString::fromLatin1(name));
}

MapChartWidget* chartOf(TForm1& w, const char* name) {
    return w.chart(QString::fromLatin1(name));
}

namespace {

QCPGraph* mapLineOf(TForm1& w, const char* chart, MapId map) {
    MapChartWidget* c = chartOf(w, chart);
    return c ? c->mapLine(map) : nullptr;
}

} // namespace

QList<double> lineValues(TForm1& w, const char* chart, MapId map) {
    QList<double> out;
    if (QCPGraph* g = mapLineOf(w, chart, map))
        for (auto it = g->data()->constBegin(); it != g->data()->constEnd(); ++it)
            out << it->value;
    return out;
}

QList<double> lineXs(TForm1& w, const char* chart, MapId map) {
    QList<double> out;
    if (QCPGraph* g = mapLineOf(w, chart, map))
        for (auto it = g->data()->constBegin(); it != g->data()->constEnd(); ++it)
            out << it->key;
    return out;
}

QByteArray settingsFileText(int type, const VehicleInfo& vehicle, const QString& serial) {
    const auto tune = EmuSimulator::baseTune(type, serial);
    EmuIdentity id;
    id.bytes = {1, static_cast<std::uint8_t>(type), 13, 1, 1, 4, 4, 0};
    return SettingsFile::write(id, vehicle, tune.data(), 481);
}

int pollsRecorded(const EmuSimulator& sim) {
    return static_cast<int>(commandBytes(sim).count(0xFC));
}

QString rtText(TForm1& w, int frame, const char* label) {
    return w.rtFrame(frame)->label(QString::fromLatin1(label))->text();
}
