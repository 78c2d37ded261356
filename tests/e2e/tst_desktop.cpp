// The window as a desktop program: its title, the file given on the command line, the recent
// files, the remembered port and folders, the keys, and the printed page.
#include "e2e_helpers.h"

#include <QApplication>

#include "tools/TForm2.h"
#include "ui/TSaveFrm.h"
#include "ui/WindowSettings.h"

#include <QAbstractButton>
#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QLineEdit>
#include <QMenu>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTest>
#include <QToolButton>

namespace {

const QString kCaption = QStringLiteral("Dorvanta - EMU Interface - v1.13.b");

bool writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QStringList menuFiles(TForm1& w) {
    QMenu* menu = w.recentFilesMenu();
    emit menu->aboutToShow();
    QStringList files;
    for (QAction* a : menu->actions())
        if (a->data().isValid())
            files << a->data().toString();
    return files;
}

} // namespace

class TestDesktop : public QObject {
    Q_OBJECT

  private slots:
    void titleNamesTheFileAndItsChanges();
    void fileGivenAtStartOpensInFileMode();
    void recentFilesOnTheOpenButton();
    void portAndFoldersAreRemembered();
    void keysPressTheToolBarButtons_data();
    void keysPressTheToolBarButtons();
    void saveSaysWhereTheFileWent();
    void printedPageKeepsInsideTheMargins();
    void tabSkipsReadOnlyBoxes();
};

void TestDesktop::titleNamesTheFileAndItsChanges() {
    Bench bench;
    EmuSimulator& unit = bench.addUnit(1, unitConfig(3));
    TForm1& w = bench.window();
    QCOMPARE(w.windowTitle(), kCaption);

    // An edit through the one door marks the title; a write to the unit clears the mark.
    QVERIFY(connectTo(w, unit));
    QCOMPARE(w.windowTitle(), kCaption);
    QVERIFY(w.editor().setMapPoint(MapId::Timing, 5, 21, false));
    QCOMPARE(w.windowTitle(), kCaption + QStringLiteral("*"));
    QVERIFY(writeNow(w));
    QCOMPARE(w.windowTitle(), kCaption);

    // An opened file names itself; a save clears the mark again.
    const QString path = bench.dir.filePath(QStringLiteral("mini.emu"));
    QVERIFY(writeFile(path, settingsFileText(3, {"Mini", "Cooper", "A"})));
    w.openFile(path);
    QVERIFY(finishFlows(w));
    QVERIFY(w.state().link.FileMode);
    QCOMPARE(w.windowTitle(), kCaption + QStringLiteral(" - mini.emu"));
    QVERIFY(w.editor().setMapPoint(MapId::Timing, 6, 22, false));
    QCOMPARE(w.windowTitle(), kCaption + QStringLiteral(" - mini.emu*"));
    bench.prompts.saveNames << path;
    QVERIFY(saveFromPc(w));
    QCOMPARE(w.windowTitle(), kCaption + QStringLiteral(" - mini.emu"));

    // Close all leaves no file.
    w.spCloseClick();
    finishFlows(w);
    QCOMPARE(w.windowTitle(), kCaption);
}

void TestDesktop::fileGivenAtStartOpensInFileMode() {
    Bench bench;
    const QString path = bench.dir.filePath(QStringLiteral("start.EMU"));
    QVERIFY(writeFile(path, settingsFileText(5, {"Ford", "Escort", "Pinto"})));
    // What main() does with emu-interface FILE, before the window is shown.
    QStringList entries{QString()};
    ScopedEmuPorts ports(entries);
    TForm1 w;
    w.setPrompts(&bench.prompts);
    w.setStartupFile(path);
    w.show();
    QVERIFY(waitUntil([&] { return w.startupSearchDone(); }, 30000));
    QVERIFY(w.state().link.FileMode);
    QCOMPARE(lineEdit(w, "Edit9")->text(), QStringLiteral("Ford"));
    QCOMPARE(w.statusText(0), QStringLiteral("EMU file opened successfully"));
    QCOMPARE(w.currentFile(), QFileInfo(path).absoluteFilePath());
    QVERIFY(bench.prompts.errors.isEmpty());
    QCOMPARE(bench.prompts.openAsked, 0);
}

void TestDesktop::recentFilesOnTheOpenButton() {
    Bench bench;
    TForm1& w = bench.window();
    QCOMPARE(button(w, "spOpen")->property("popupMode").toInt(), int(QToolButton::MenuButtonPopup));
    QVERIFY(menuFiles(w).isEmpty());

    QStringList paths;
    for (const char* name : {"a.emu", "b.emu", "c.emu"}) {
        paths << bench.dir.filePath(QString::fromLatin1(name));
        QVERIFY(writeFile(paths.last(), settingsFileText(3, {})));
        bench.prompts.openNames << paths.last();
        w.spOpenClick();
        finishFlows(w);
    }
    QCOMPARE(menuFiles(w), (QStringList{paths[2], paths[1], paths[0]}));

    // Choosing one opens it and puts it first.
    w.recentFilesMenu()->actions().at(2)->trigger();
    QCOMPARE(w.currentFile(), paths[0]);
    QCOMPARE(menuFiles(w), (QStringList{paths[0], paths[2], paths[1]}));

    // A file deleted since is no longer offered, and stays gone from the stored list.
    QVERIFY(QFile::remove(paths[2]));
    QCOMPARE(menuFiles(w), (QStringList{paths[0], paths[1]}));
    QCOMPARE(w.settings().recentFiles(), (QStringList{paths[0], paths[1]}));
    QVERIFY(bench.prompts.errors.isEmpty());
}

void TestDesktop::portAndFoldersAreRemembered() {
    Bench bench;
    bench.setPortPath(1, QString());
    EmuSimulator& unit = bench.addUnit(2, unitConfig(3));
    const QString folder = bench.dir.filePath(QStringLiteral("tunes"));
    QVERIFY(QDir().mkpath(folder));
    const QString path = folder + QStringLiteral("/saved.emu");
    QSize size;
    {
        TForm1& w = bench.window();
        QVERIFY(connectTo(w, unit));
        bench.prompts.saveNames << path;
        QVERIFY(saveFromPc(w));
        // A size of the user's own, which the pages allow.
        size = QSize(700, 500).expandedTo(w.minimumSizeHint()) + QSize(7, 5);
        w.resize(size);
        w.move(60, 50);
        QVERIFY(w.close());
    }
    WindowSettings stored;
    QCOMPARE(stored.lastPort(), std::optional<int>(2));
    QCOMPARE(stored.saveFolder(), folder);
    QVERIFY(stored.geometry());
    QCOMPARE(stored.geometry()->size(), size);

    // The next run shows the remembered port and starts the dialogs in the remembered folders.
    unit.stop();
    QStringList entries{QString(), QString()};
    ScopedEmuPorts ports(entries);
    TForm1 again;
    again.setPrompts(&bench.prompts);
    QCOMPARE(again.findChild<QComboBox*>(QStringLiteral("ComboBox1"))->currentText(), QStringLiteral("Com2"));
    QCOMPARE(again.size(), size);
    // Nothing was opened yet: the open dialog starts where it always did.
    again.spOpenClick();
    finishFlows(again);
    QCOMPARE(bench.prompts.openFolder, QString());
    // No name given: nothing saved, but the dialog started in the folder of the last save.
    QVERIFY(!saveFromPc(again));
    QCOMPARE(bench.prompts.saveFolder, folder);
    bench.prompts.openNames << path;
    again.spOpenClick();
    finishFlows(again);
    QVERIFY(again.state().link.FileMode);
    again.spOpenClick();
    finishFlows(again);
    QCOMPARE(bench.prompts.openFolder, folder);
}

void TestDesktop::keysPressTheToolBarButtons_data() {
    QTest::addColumn<QKeySequence>("key");
    QTest::addColumn<QString>("effect");
    QTest::newRow("Ctrl+O") << QKeySequence(Qt::CTRL | Qt::Key_O) << "open";
    QTest::newRow("Ctrl+S") << QKeySequence(Qt::CTRL | Qt::Key_S) << "save";
    QTest::newRow("Ctrl+P") << QKeySequence(Qt::CTRL | Qt::Key_P) << "print";
    QTest::newRow("F1") << QKeySequence(Qt::Key_F1) << "about";
    QTest::newRow("Ctrl+Q") << QKeySequence(Qt::CTRL | Qt::Key_Q) << "exit";
}

void TestDesktop::keysPressTheToolBarButtons() {
    QFETCH(QKeySequence, key);
    QFETCH(QString, effect);
    Bench bench;
    TForm1& w = bench.window();
    w.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    QTest::keySequence(&w, key);
    if (effect == QLatin1String("open"))
        QCOMPARE(bench.prompts.openAsked, 1);
    else if (effect == QLatin1String("save"))
        QVERIFY(w.saveForm()->isVisible());
    else if (effect == QLatin1String("print"))
        QCOMPARE(bench.prompts.printAsked, 1);
    else if (effect == QLatin1String("about"))
        QVERIFY(w.aboutForm()->isVisible());
    else if (effect == QLatin1String("exit"))
        QVERIFY(!w.isVisible());
}

void TestDesktop::saveSaysWhereTheFileWent() {
    Bench bench;
    EmuSimulator& unit = bench.addUnit(1, unitConfig(3));
    TForm1& w = bench.window();
    QVERIFY(connectTo(w, unit));
    const QString path = bench.dir.filePath(QStringLiteral("where.emu"));
    bench.prompts.saveNames << path;
    QVERIFY(saveFromPc(w));
    QCOMPARE(w.statusText(0), QStringLiteral("Saved to ") + QDir::toNativeSeparators(path));
    QCOMPARE(w.windowTitle(), kCaption + QStringLiteral(" - where.emu"));
}

void TestDesktop::printedPageKeepsInsideTheMargins() {
    const QString pdftoppm = QStandardPaths::findExecutable(QStringLiteral("pdftoppm"));
    if (pdftoppm.isEmpty())
        QSKIP("pdftoppm (poppler-utils) is not installed; scripts/install-deps.sh installs it");
    Bench bench;
    EmuSimulator& unit = bench.addUnit(1, unitConfig(3));
    TForm1& w = bench.window();
    QVERIFY(connectTo(w, unit));
    lineEdit(w, "Edit9")->setText(QStringLiteral("Mazda"));
    bench.prompts.acceptPrint = true;
    bench.prompts.printPdfPath = bench.dir.filePath(QStringLiteral("timing.pdf"));
    w.spPrintClick();
    QVERIFY(bench.prompts.errors.isEmpty());

    QFile pdf(bench.prompts.printPdfPath);
    QVERIFY(pdf.open(QIODevice::ReadOnly));
    const QByteArray bytes = pdf.readAll();
    // One page, A4 landscape (842 x 595 points) unless the locale's default paper is Letter.
    QCOMPARE(bytes.count("/Type /Page\n") + bytes.count("/Type /Page\r") + bytes.count("/Type /Page "), 1);
    const QRegularExpression mediaBox(QStringLiteral("/MediaBox \\[0 0 ([0-9.]+) ([0-9.]+)\\]"));
    const auto match = mediaBox.match(QString::fromLatin1(bytes));
    QVERIFY(match.hasMatch());
    const double pageW = match.captured(1).toDouble();
    const double pageH = match.captured(2).toDouble();
    QVERIFY2(pageW > pageH, "landscape");

    const int dpi = 72;
    QProcess render;
    render.start(pdftoppm, {QStringLiteral("-png"), QStringLiteral("-r"), QString::number(dpi),
                            QStringLiteral("-singlefile"), bench.prompts.printPdfPath,
                            bench.dir.filePath(QStringLiteral("page"))});
    QVERIFY(render.waitForFinished(30000));
    QCOMPARE(render.exitCode(), 0);
    const QImage page(bench.dir.filePath(QStringLiteral("page.png")));
    QVERIFY(!page.isNull());
    QCOMPARE(page.width(), qRound(pageW));

    // Ink only inside the 10 mm margins (28.3 points at 72 dpi), and the chart fills most of them.
    const double margin = 10 / 25.4 * dpi;
    QRect ink;
    for (int y = 0; y < page.height(); ++y)
        for (int x = 0; x < page.width(); ++x)
            if (qGray(page.pixel(x, y)) < 200)
                ink |= QRect(x, y, 1, 1);
    QVERIFY(!ink.isEmpty());
    const QRectF inside = QRectF(page.rect()).adjusted(margin - 1, margin - 1, -margin + 1, -margin + 1);
    QVERIFY2(
        inside.contains(QRectF(ink)),
        qPrintable(
            QStringLiteral("ink %1,%2 %3x%4").arg(ink.x()).arg(ink.y()).arg(ink.width()).arg(ink.height())));
    QVERIFY(ink.width() > inside.width() * 0.8);
    QVERIFY(ink.height() > inside.height() * 0.8);
}

void TestDesktop::tabSkipsReadOnlyBoxes() {
    Bench bench;
    EmuSimulator& unit = bench.addUnit(1, unitConfig(3));
    TForm1& w = bench.window();
    QVERIFY(connectTo(w, unit));
    w.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    // The vehicle boxes come one after the other, with nothing read-only between them.
    QLineEdit* make = lineEdit(w, "Edit9");
    make->setFocus();
    QTRY_VERIFY(make->hasFocus());
    QTest::keyClick(make, Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), lineEdit(w, "Edit10"));
    // A walk round the Setup tab stops on no read-only box.
    for (int i = 0; i < 120; ++i) {
        QWidget* focus = QApplication::focusWidget();
        QVERIFY(focus);
        if (auto* box = qobject_cast<QLineEdit*>(focus))
            QVERIFY2(!box->isReadOnly(), qPrintable(box->objectName()));
        QTest::keyClick(focus, Qt::Key_Tab);
    }
}

// A desktop of the common 1920x1080 size, so a remembered window fits on it as it was left.
int main(int argc, char** argv) {
    const QByteArray data = qgetenv("EMU_TEST_DATA");
    if (!data.isEmpty())
        qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" + data + "/screen-1920x1080.json");
    QApplication app(argc, argv);
    TestDesktop test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}
#include "tst_desktop.moc"
