#include "tools/KeysDialog.h"

#include <QDialogButtonBox>
#include <QPushButton>
#include <QTextBrowser>
#include <QVBoxLayout>

namespace {

struct KeyRow {
    const char* keys;
    const char* what;
};

struct KeySection {
    const char* title;
    const char* note;
    std::initializer_list<KeyRow> rows;
};

const KeySection kSections[] = {
    {"Window",
     "",
     {{"Ctrl+O", "Open a settings file"},
      {"Ctrl+S", "Save settings"},
      {"Ctrl+P", "Print the timing map"},
      {"Ctrl+Z", "Undo the last change (a whole drag or held key at a time)"},
      {"Ctrl+Y, Ctrl+Shift+Z", "Redo"},
      {"F1", "About (this page: Keys)"},
      {"F5", "Refresh Com Port"},
      {"Ctrl+Q, Esc", "Exit"}}},
    {"Map charts",
     "Point at a chart first: the chart under the pointer is the one the keys tune. Each change goes "
     "to the EMU when the key is released.",
     {{"Left, Right", "Move the editing cursor (the green bar) one point"},
      {"Up, Down", "Raise or lower the point under the cursor by one"},
      {"Page Up, Page Down", "Shift the whole timing curve up or down (\"Timing Map\" only)"},
      {"Left button drag", "Draw the curve while \"Enable/Disable mouse tuning\" is down"}}},
    {"Jet trims (\"Fuel Maps\" page)",
     "The trims are numbers from 0 to 255 that scale all the fuel the EMU delivers; the top of "
     "each slider is the largest trim. Each step is sent to the EMU at once.",
     {{"Q, A", "Main Jet trim up, down by 1"},
      {"W, S", "Main Jet trim up, down by 10"},
      {"D, C", "Idle Jet trim up, down by 1"},
      {"F, V", "Idle Jet trim up, down by 10"}}},
    {"Data Logger",
     "The strip chart has no keys of its own: \"On\" starts a new recording at the chosen "
     "\"Interval\", \"Off\" stops it, and dragging the chart sideways shows earlier samples.",
     {}},
    {"Realtime Tracking (tool bar)",
     "While ticked, the chart cursors follow the engine's operating point and the RPM fuel curve "
     "follows the vacuum (Low, Cruise, High), so the keys tune the point the engine is on now.",
     {}},
    {"Throttle Position Sensor Calibration", "", {{"F1", "Capture full throttle, then closed throttle"}}},
};

QString keysHtml() {
    QString html = QStringLiteral("<html><body>");
    for (const KeySection& s : kSections) {
        html += QStringLiteral("<h3>%1</h3>").arg(QString::fromUtf8(s.title).toHtmlEscaped());
        if (*s.note)
            html += QStringLiteral("<p>%1</p>").arg(QString::fromUtf8(s.note).toHtmlEscaped());
        if (s.rows.size() == 0)
            continue;
        html += QStringLiteral("<table cellspacing=\"0\" cellpadding=\"3\">");
        for (const KeyRow& r : s.rows)
            html += QStringLiteral("<tr><td><b>%1</b></td><td>%2</td></tr>")
                        .arg(QString::fromUtf8(r.keys).toHtmlEscaped(),
                             QString::fromUtf8(r.what).toHtmlEscaped());
        html += QStringLiteral("</table>");
    }
    return html + QStringLiteral("</body></html>");
}

} // namespace

KeysDialog::KeysDialog(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("KeysDialog"));
    setWindowTitle(QStringLiteral("Keys"));
    setAccessibleName(QStringLiteral("Keys"));
    page_ = new QTextBrowser(this);
    page_->setObjectName(QStringLiteral("KeysPage"));
    page_->setAccessibleName(QStringLiteral("Keys"));
    page_->setHtml(keysHtml());
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    buttons->button(QDialogButtonBox::Close)->setObjectName(QStringLiteral("KeysClose"));
    buttons->button(QDialogButtonBox::Close)->setAccessibleName(QStringLiteral("Close"));
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::close);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(page_);
    layout->addWidget(buttons);
    resize(560, 600);
}

QString KeysDialog::text() const {
    return page_->toPlainText();
}
