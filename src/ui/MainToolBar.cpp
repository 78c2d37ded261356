#include "ui/MainToolBar.h"

#include "controls/ToolIcons.h"
#include "link/Connection.h"
#include "link/PortNaming.h"
#include "session/SessionResults.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QKeySequence>
#include <QShortcut>
#include <QToolButton>

MainToolBar::MainToolBar(QWidget* window) : QToolBar(QStringLiteral("Tool bar"), window) {
    setObjectName(QStringLiteral("ToolBar1"));
    setMovable(false);
    setFloatable(false);
    toggleViewAction()->setEnabled(false);

    spOpen = toolButton("spOpen", QStringLiteral("Open file"), toolIcon(ToolIcon::Open));
    spCompare = toolButton("spCompare", QStringLiteral("Compare with file..."), toolIcon(ToolIcon::Compare));
    spCompareEmu =
        toolButton("spCompareEmu", QStringLiteral("Compare with EMU"), toolIcon(ToolIcon::CompareEmu));
    spClose = toolButton("spClose", QStringLiteral("Close all"), toolIcon(ToolIcon::CloseAll));
    spSave = toolButton("spSave", QStringLiteral("Save settings"), toolIcon(ToolIcon::Save));
    spPrint = toolButton("spPrint", QStringLiteral("Print"), toolIcon(ToolIcon::Print));
    spUndo = toolButton("spUndo", QStringLiteral("Undo (Ctrl+Z)"), toolIcon(ToolIcon::Undo));
    spRedo = toolButton("spRedo", QStringLiteral("Redo (Ctrl+Shift+Z)"), toolIcon(ToolIcon::Redo));

    ComboBox1 = new QComboBox(this);
    ComboBox1->setObjectName(QStringLiteral("ComboBox1"));
    ComboBox1->setEditable(true);
    ComboBox1->setInsertPolicy(QComboBox::NoInsert);
    ComboBox1->setToolTip(QStringLiteral("Sellect COM port"));
    ComboBox1->setAccessibleName(QStringLiteral("Sellect COM port"));
    ComboBox1->setMinimumContentsLength(6);
    ComboBox1->setEditText(QStringLiteral("Com1"));

    spRetry = toolButton("spRetry", QStringLiteral("Refresh Com Port"), toolIcon(ToolIcon::Refresh));
    spConnect = toolButton("spConnect", QStringLiteral("Connect"), toolIcon(ToolIcon::Connect));
    spRead = toolButton("spRead", QStringLiteral("Read from EMU"), toolIcon(ToolIcon::Read));
    spWrite = toolButton("spWrite", QStringLiteral("Write to EMU"), toolIcon(ToolIcon::Write));
    SpeedButton3 = toolButton("SpeedButton3", QStringLiteral("Enable/Disable mouse tuning"),
                              toolIcon(ToolIcon::MouseTuning));
    SpeedButton3->setCheckable(true);

    AnalogEn = new QCheckBox(QStringLiteral("Analog Signals"), this);
    AnalogEn->setObjectName(QStringLiteral("AnalogEn"));
    AnalogEn->setChecked(true);
    AnalogEn->setEnabled(false);
    RT_Track = new QCheckBox(QStringLiteral("Realtime Tracking"), this);
    RT_Track->setObjectName(QStringLiteral("RT_Track"));
    RT_Track->setEnabled(false);
    RT_Track->setToolTip(QStringLiteral(
        "Realtime Tracking: while ticked, the chart cursors follow the engine's RPM and vacuum, and the "
        "RPM fuel curve being tuned follows the vacuum (Low, Cruise, High). Needs \"Analog Signals\"."));
    AnalogEn->setToolTip(QStringLiteral("Analog Signals: while ticked, the live readings are fetched from "
                                        "the EMU and shown; unticked, they stay as they were"));

    spAbout = toolButton("spAbout", QStringLiteral("About"), toolIcon(ToolIcon::About));
    spExit = toolButton("spExit", QStringLiteral("Exit"), toolIcon(ToolIcon::Exit));

    for (QWidget* w : {static_cast<QWidget*>(spOpen), static_cast<QWidget*>(spCompare),
                       static_cast<QWidget*>(spCompareEmu), static_cast<QWidget*>(spClose),
                       static_cast<QWidget*>(spSave), static_cast<QWidget*>(spPrint)})
        addWidget(w);
    addSeparator();
    addWidget(spUndo);
    addWidget(spRedo);
    addSeparator();
    addWidget(ComboBox1);
    addWidget(spRetry);
    addWidget(spConnect);
    addWidget(spRead);
    addWidget(spWrite);
    addSeparator();
    addWidget(SpeedButton3);
    addSeparator();
    addWidget(AnalogEn);
    addWidget(RT_Track);
    auto* spacer = new QWidget(this);
    spacer->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    addWidget(spacer);
    addWidget(spAbout);
    addWidget(spExit);

    // The "Searching" state: only the port controls, the file commands and Exit work.
    spConnect->setEnabled(false);
    spRead->setEnabled(false);
    spWrite->setEnabled(false);
    spUndo->setEnabled(false);
    spRedo->setEnabled(false);
    bindKeys(window);
}

QToolButton* MainToolBar::toolButton(const char* name, const QString& hint, const QIcon& icon) {
    auto* button = new QToolButton(this);
    button->setObjectName(QString::fromLatin1(name));
    button->setToolTip(hint);
    button->setAccessibleName(hint);
    button->setIcon(icon);
    button->setIconSize(QSize(26, 26));
    button->setAutoRaise(true);
    // Reached with Tab; a click leaves the focus where the user was working.
    button->setFocusPolicy(Qt::TabFocus);
    return button;
}

void MainToolBar::bindKeys(QWidget* window) {
    const std::initializer_list<std::pair<QToolButton*, QKeySequence>> keys{
        {spOpen, QKeySequence(Qt::CTRL | Qt::Key_O)},  {spSave, QKeySequence(Qt::CTRL | Qt::Key_S)},
        {spPrint, QKeySequence(Qt::CTRL | Qt::Key_P)}, {spExit, QKeySequence(Qt::CTRL | Qt::Key_Q)},
        {spAbout, QKeySequence(Qt::Key_F1)},           {spRetry, QKeySequence(Qt::Key_F5)}};
    for (const auto& [button, key] : keys) {
        auto* shortcut = new QShortcut(key, window);
        shortcut->setObjectName(button->objectName() + QStringLiteral("Shortcut"));
        // A disabled button ignores the click, so the key follows the button's state.
        connect(shortcut, &QShortcut::activated, button, &QToolButton::click);
        button->setToolTip(
            QStringLiteral("%1 (%2)").arg(button->accessibleName(), key.toString(QKeySequence::NativeText)));
    }
}

void MainToolBar::clearPorts() {
    const QString shown = ComboBox1->currentText();
    ComboBox1->clear();
    ComboBox1->setEditText(shown);
}

void MainToolBar::listPort(int port) {
    // Adding the first item would otherwise replace the text the selector shows.
    const QString shown = ComboBox1->currentText();
    ComboBox1->addItem(PortNaming::portName(port));
    ComboBox1->setItemData(ComboBox1->count() - 1, PortNaming::devicePath(port), Qt::ToolTipRole);
    ComboBox1->setEditText(shown);
}

void MainToolBar::showPort(int port) {
    ComboBox1->setEditText(PortNaming::portName(port));
}

std::optional<int> MainToolBar::selectedPort(QString* error) const {
    return Connection::parsePortNumber(ComboBox1->currentText(), error);
}

void MainToolBar::apply(const LinkControls& c, bool calibrationLoaded) {
    if (c.selector)
        ComboBox1->setEnabled(*c.selector);
    if (c.retry)
        spRetry->setEnabled(*c.retry);
    if (c.connect)
        spConnect->setEnabled(*c.connect);
    if (c.read)
        spRead->setEnabled(*c.read);
    if (c.write)
        spWrite->setEnabled(*c.write && calibrationLoaded);
}
