// What the window remembers, where it opens, its title and the recent files.
#include "ui/RecentFiles.h"
#include "ui/WindowFit.h"
#include "ui/WindowSettings.h"
#include "ui/WindowTitle.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

namespace {

bool writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

} // namespace

class TestWindowSettings : public QObject {
    Q_OBJECT

  private slots:
    void init();
    void roundTripThroughTheConfigFolder();
    void missingFileGivesDefaults();
    void brokenFileGivesDefaults_data();
    void brokenFileGivesDefaults();
    void vanishedFolderIsForgotten();
    void placement_data();
    void placement();
    void title_data();
    void title();
    void recentFilesOrder();
    void recentFilesKeepTen();
    void recentFilesPruneMissing();

  private:
    std::unique_ptr<QTemporaryDir> dir_;
    QString configFile() const { return dir_->filePath(QStringLiteral("emu-interface/emu-interface.conf")); }
};

void TestWindowSettings::init() {
    dir_ = std::make_unique<QTemporaryDir>();
    QVERIFY(dir_->isValid());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir_->path());
}

void TestWindowSettings::roundTripThroughTheConfigFolder() {
    const QString tunes = dir_->filePath(QStringLiteral("tunes"));
    const QString backups = dir_->filePath(QStringLiteral("backups"));
    QVERIFY(QDir().mkpath(tunes) && QDir().mkpath(backups));
    {
        WindowSettings settings;
        settings.setGeometry(QRect(40, 30, 1100, 700), true);
        settings.setLastPort(12);
        settings.setOpenFolder(tunes);
        settings.setSaveFolder(backups);
        settings.setRecentFiles({QStringLiteral("/a/b.emu"), QStringLiteral("/c/d.EMU")});
        QVERIFY(settings.sync());
    }
    // The usual per-user file, under the configuration folder.
    QCOMPARE(WindowSettings().fileName(), configFile());
    QVERIFY(QFile::exists(configFile()));
    WindowSettings again;
    QCOMPARE(again.geometry(), std::optional<QRect>(QRect(40, 30, 1100, 700)));
    QVERIFY(again.maximized());
    QCOMPARE(again.lastPort(), std::optional<int>(12));
    QCOMPARE(again.openFolder(), tunes);
    QCOMPARE(again.saveFolder(), backups);
    QCOMPARE(again.recentFiles(), QStringList({QStringLiteral("/a/b.emu"), QStringLiteral("/c/d.EMU")}));
}

void TestWindowSettings::missingFileGivesDefaults() {
    WindowSettings settings;
    QVERIFY(!settings.geometry());
    QVERIFY(!settings.maximized());
    QVERIFY(!settings.lastPort());
    QVERIFY(settings.openFolder().isEmpty());
    QVERIFY(settings.saveFolder().isEmpty());
    QVERIFY(settings.recentFiles().isEmpty());
}

void TestWindowSettings::brokenFileGivesDefaults_data() {
    QTest::addColumn<QByteArray>("contents");
    // Twelve bytes that start and end with a NUL: the size comes from the array, not a count.
    static constexpr char kJunk[] = "\x00\xff\xfe[[[\x01\x02=\n\x7f\x00";
    QTest::newRow("binary junk") << QByteArray(kJunk, sizeof kJunk - 1);
    QTest::newRow("values out of range") << QByteArray("[window]\ngeometry=1 2 -5 0\nmaximized=yes\n"
                                                       "[link]\nlastPort=99\n");
    QTest::newRow("values of the wrong kind") << QByteArray("[window]\ngeometry=big\n[link]\nlastPort=Com3\n"
                                                            "[files]\nopenFolder=/no/such/folder\n");
    QTest::newRow("truncated") << QByteArray("[window]\ngeometry=10 20 3");
}

void TestWindowSettings::brokenFileGivesDefaults() {
    QFETCH(QByteArray, contents);
    QVERIFY(QDir().mkpath(QFileInfo(configFile()).path()));
    QVERIFY(writeFile(configFile(), contents));
    WindowSettings settings;
    QVERIFY(!settings.geometry());
    QVERIFY(!settings.maximized());
    QVERIFY(!settings.lastPort());
    QVERIFY(settings.openFolder().isEmpty());
    // A broken file is replaced by good values on the next save.
    settings.setLastPort(3);
    QVERIFY(settings.sync());
    QCOMPARE(WindowSettings().lastPort(), std::optional<int>(3));
}

void TestWindowSettings::vanishedFolderIsForgotten() {
    const QString gone = dir_->filePath(QStringLiteral("usb-stick"));
    QVERIFY(QDir().mkpath(gone));
    {
        WindowSettings settings;
        settings.setOpenFolder(gone);
        QVERIFY(settings.sync());
    }
    QVERIFY(QDir(gone).removeRecursively());
    QVERIFY(WindowSettings().openFolder().isEmpty());
}

void TestWindowSettings::placement_data() {
    QTest::addColumn<QRect>("available");
    QTest::addColumn<QSize>("minimum");
    QTest::addColumn<std::optional<QRect>>("remembered");
    QTest::addColumn<QRect>("expected");
    // The typical frame is 1, 37, 1, 1.
    const std::optional<QRect> none;
    // Full HD has room for the wanted size: centred across, at the top under the title bar.
    QTest::newRow("full hd") << QRect(0, 0, 1920, 1040) << QSize(600, 400) << none
                             << QRect((1920 - 1180) / 2, 37, 1180, 780);
    // The common laptop less a 27-pixel top panel: as wide as wanted, as tall as fits with the frame.
    QTest::newRow("1366x768 top panel")
        << QRect(0, 27, 1366, 741) << QSize(600, 400) << none << QRect(93, 27 + 37, 1180, 741 - 38);
    // Less a 44-pixel bottom panel.
    QTest::newRow("1366x768 bottom panel")
        << QRect(0, 0, 1366, 724) << QSize(600, 400) << none << QRect(93, 37, 1180, 724 - 38);
    // A narrow screen: the width is cut to the screen, not to the wanted size.
    QTest::newRow("1024x600") << QRect(0, 0, 1024, 600) << QSize(600, 400) << none << QRect(1, 37, 1022, 562);
    // A remembered place that is still on the screen is kept.
    QTest::newRow("remembered") << QRect(0, 0, 1920, 1040) << QSize(600, 400)
                                << std::optional<QRect>(QRect(300, 200, 900, 600))
                                << QRect(300, 200, 900, 600);
    // One from a larger monitor is brought wholly onto this one and cut to it.
    QTest::newRow("remembered, larger screen")
        << QRect(0, 0, 1366, 741) << QSize(600, 400) << std::optional<QRect>(QRect(1500, 900, 1800, 1000))
        << QRect(1, 37, 1364, 703);
    // One left of the screen (an unplugged monitor) comes back onto it.
    QTest::newRow("remembered, off screen")
        << QRect(0, 0, 1920, 1040) << QSize(600, 400) << std::optional<QRect>(QRect(-2000, 100, 800, 600))
        << QRect(1, 100, 800, 600);
    // A remembered size below the window's minimum grows to it.
    QTest::newRow("remembered, too small")
        << QRect(0, 0, 1920, 1040) << QSize(600, 400) << std::optional<QRect>(QRect(100, 100, 200, 100))
        << QRect(100, 100, 600, 400);
}

void TestWindowSettings::placement() {
    QFETCH(QRect, available);
    QFETCH(QSize, minimum);
    QFETCH(std::optional<QRect>, remembered);
    QFETCH(QRect, expected);
    const QRect placed =
        WindowFit::place(QSize(1180, 780), minimum, available, WindowFit::kTypicalFrame, remembered);
    QCOMPARE(placed, expected);
    // The whole window, frame included, is on the available area.
    QVERIFY(available.contains(placed.marginsAdded(WindowFit::kTypicalFrame)));
}

void TestWindowSettings::title_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<bool>("modified");
    QTest::addColumn<QString>("expected");
    const QString caption = QStringLiteral("Dorvanta - EMU Interface - v1.13.b");
    QTest::newRow("no file") << QString() << false << caption;
    QTest::newRow("no file, changed") << QString() << true << caption + QStringLiteral("*");
    QTest::newRow("file") << "/home/tuner/cars/mini.emu" << false << caption + QStringLiteral(" - mini.emu");
    QTest::newRow("file, changed") << "/home/tuner/cars/MINI.EMU" << true
                                   << caption + QStringLiteral(" - MINI.EMU*");
}

void TestWindowSettings::title() {
    QFETCH(QString, file);
    QFETCH(bool, modified);
    QFETCH(QString, expected);
    QCOMPARE(WindowTitle::compose(QStringLiteral("Dorvanta - EMU Interface - v1.13.b"), file, modified),
             expected);
}

void TestWindowSettings::recentFilesOrder() {
    RecentFiles recent;
    recent.add(QStringLiteral("/t/a.emu"));
    recent.add(QStringLiteral("/t/b.emu"));
    recent.add(QStringLiteral("/t/c.emu"));
    // Opening an older one again moves it to the top, once.
    recent.add(QStringLiteral("/t/../t/a.emu"));
    QCOMPARE(recent.paths(), QStringList({"/t/a.emu", "/t/c.emu", "/t/b.emu"}));
    // The stored list reads back in the same order.
    QCOMPARE(RecentFiles(recent.paths()).paths(), recent.paths());
    recent.remove(QStringLiteral("/t/c.emu"));
    QCOMPARE(recent.paths(), QStringList({"/t/a.emu", "/t/b.emu"}));
}

void TestWindowSettings::recentFilesKeepTen() {
    RecentFiles recent;
    for (int i = 1; i <= 12; ++i)
        recent.add(QStringLiteral("/t/%1.emu").arg(i));
    QCOMPARE(recent.paths().size(), RecentFiles::kMax);
    QCOMPARE(recent.paths().first(), QStringLiteral("/t/12.emu"));
    QCOMPARE(recent.paths().last(), QStringLiteral("/t/3.emu"));
    // A stored list longer than ten (an edited file) keeps its ten newest.
    QStringList stored;
    for (int i = 1; i <= 15; ++i)
        stored << QStringLiteral("/s/%1.emu").arg(i);
    QCOMPARE(RecentFiles(stored).paths(), stored.mid(0, 10));
}

void TestWindowSettings::recentFilesPruneMissing() {
    const QString kept = dir_->filePath(QStringLiteral("kept.emu"));
    const QString gone = dir_->filePath(QStringLiteral("gone.emu"));
    QVERIFY(writeFile(kept, "#EMU Version\r\n"));
    QVERIFY(writeFile(gone, "#EMU Version\r\n"));
    // A folder is no file to open either.
    RecentFiles recent({gone, kept, dir_->path()});
    QVERIFY(QFile::remove(gone));
    QVERIFY(recent.pruneMissing());
    QCOMPARE(recent.paths(), QStringList({kept}));
    QVERIFY(!recent.pruneMissing());
    QCOMPARE(recent.paths(), QStringList({kept}));
}

QTEST_MAIN(TestWindowSettings)
#include "tst_windowsettings.moc"
