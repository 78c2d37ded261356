#pragma once

#include <QToolBar>

#include <optional>

struct LinkControls;
class QCheckBox;
class QComboBox;
class QIcon;
class QToolButton;

// The main window's tool bar: the file commands, undo, the port selector and the link commands,
// mouse tuning, the live-data switches, About and Exit, each with its name, hint and key. It only
// holds the controls; the window connects them.
class MainToolBar : public QToolBar {
    Q_OBJECT

  public:
    explicit MainToolBar(QWidget* window);

    // The port selector: the ports found (each with its device path as tooltip), the one shown,
    // and the port number its text names (empty, with why, when it names none).
    void clearPorts();
    void listPort(int port);
    void showPort(int port);
    std::optional<int> selectedPort(QString* error) const;

    // The link commands a flow enables or disables; Write only with a whole calibration loaded.
    void apply(const LinkControls& controls, bool calibrationLoaded);

    QToolButton* spOpen = nullptr;
    QToolButton* spCompare = nullptr;
    QToolButton* spCompareEmu = nullptr;
    QToolButton* spClose = nullptr;
    QToolButton* spSave = nullptr;
    QToolButton* spPrint = nullptr;
    QToolButton* spUndo = nullptr;
    QToolButton* spRedo = nullptr;
    QComboBox* ComboBox1 = nullptr;
    QToolButton* spRetry = nullptr;
    QToolButton* spConnect = nullptr;
    QToolButton* spRead = nullptr;
    QToolButton* spWrite = nullptr;
    QToolButton* SpeedButton3 = nullptr;
    QCheckBox* AnalogEn = nullptr;
    QCheckBox* RT_Track = nullptr;
    QToolButton* spAbout = nullptr;
    QToolButton* spExit = nullptr;

  private:
    QToolButton* toolButton(const char* name, const QString& hint, const QIcon& icon);
    // The window's keys for the buttons; a disabled button ignores its key too.
    void bindKeys(QWidget* window);
};
