#include "ui/TuneCompareDialog.h"

#include "calibration/CalibrationTransfer.h"
#include "calibration/SettingsFile.h"
#include "mapeditor/MapChartWidget.h"

#include <QDialogButtonBox>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {

// A wide ring in a colour none of the map lines uses.
const QColor kMark(0x70, 0x20, 0xc0);

QString positionText(const PointDifference& p) {
    const int decimals = p.axisUnit == QLatin1String("RPM") ? 0 : p.axisUnit == QLatin1String("bar") ? 3 : 1;
    return QString::number(p.position, 'f', decimals) + QLatin1Char(' ') + p.axisUnit;
}

QString counted(qsizetype n, const char* what) {
    return QStringLiteral("%1 %2%3").arg(n).arg(QString::fromLatin1(what),
                                                n == 1 ? QString() : QStringLiteral("s"));
}

} // namespace

TuneCompareDialog::TuneCompareDialog(EmuState& state, ChartOf chartOf, QWidget* parent)
    : QDialog(parent), state_(state), chartOf_(std::move(chartOf)) {
    setObjectName(QStringLiteral("TuneCompareDialog"));
    summary_ = new QLabel(this);
    summary_->setObjectName(QStringLiteral("CompareSummary"));
    summary_->setWordWrap(true);
    table_ = new QTableWidget(0, 4, this);
    table_->setObjectName(QStringLiteral("CompareTable"));
    table_->setHorizontalHeaderLabels({QStringLiteral("Setting or map point"), QStringLiteral("At"),
                                       QStringLiteral("On the PC"), QStringLiteral("In the file")});
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setFocusPolicy(Qt::NoFocus);
    table_->verticalHeader()->hide();
    table_->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
    for (int c = 1; c < 4; ++c)
        table_->horizontalHeader()->setSectionResizeMode(c, QHeaderView::ResizeToContents);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::close);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(summary_);
    layout->addWidget(table_);
    layout->addWidget(buttons);
    resize(620, 460);
}

TuneCompareDialog::~TuneCompareDialog() {
    clearMarks();
}

QString TuneCompareDialog::compareWith(const QString& path) {
    if (!state_.link.CalibrationLoaded)
        return QStringLiteral("Nothing to compare: read the EMU or open a file first");
    QString error;
    const auto text = SettingsFile::loadFromFile(path, &error);
    if (!text)
        return error;
    const auto contents = SettingsFile::read(*text);
    if (!contents)
        return SettingsFile::kRejectedText;
    TuneSide file;
    file.name = path;
    file.model = contents->identity.model();
    file.image = contents->image;
    compareWithSide(file);
    table_->horizontalHeaderItem(3)->setText(QStringLiteral("In the file"));
    fill(QStringLiteral("Compare with %1").arg(QFileInfo(path).fileName()), path,
         QStringLiteral("The data on the PC and %1 are the same.").arg(path),
         QStringLiteral(" The file is for another EMU model."));
    markCharts();
    return {};
}

void TuneCompareDialog::compareWithUnit(const WireImageArray& image, int model) {
    TuneSide unit;
    unit.name = QStringLiteral("EMU");
    unit.model = model;
    unit.image = image;
    compareWithSide(unit);
    table_->horizontalHeaderItem(3)->setText(QStringLiteral("In the EMU"));
    fill(QStringLiteral("Compare with EMU"), QStringLiteral("the EMU"),
         QStringLiteral("The data on the PC is in step with the EMU."),
         QStringLiteral(" The EMU is another model than the data on the PC."));
    markCharts();
}

void TuneCompareDialog::compareWithSide(const TuneSide& other) {
    TuneSide pc;
    pc.name = QStringLiteral("PC");
    pc.model =
        state_.link.CalibrationModel != 0 ? state_.link.CalibrationModel : state_.link.Identity.model();
    pc.image = CalibrationTransfer::imageFromPc(state_.cal);
    differences_ = compareTunes(pc, other);
}

void TuneCompareDialog::fill(const QString& title, const QString& other, const QString& sameText,
                             const QString& otherModelText) {
    setWindowTitle(title);
    const auto& d = differences_;
    summary_->setText(
        d.empty() ? sameText
                  : QStringLiteral("%1 and %2 differ between the data on the PC and %3.%4")
                        .arg(counted(d.setup.size(), "setup parameter"), counted(d.points.size(), "map point"),
                             other,
                             d.modelsDiffer ? otherModelText : QString()));
    table_->setRowCount(static_cast<int>(d.setup.size() + d.points.size()));
    int row = 0;
    auto put = [this, &row](const QString& what, const QString& at, const QString& a, const QString& b) {
        const QStringList cells{what, at, a, b};
        for (int c = 0; c < 4; ++c) {
            auto* item = new QTableWidgetItem(cells[c]);
            if (c >= 2)
                item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            table_->setItem(row, c, item);
        }
        ++row;
    };
    for (const SetupDifference& s : d.setup)
        put(s.label, QStringLiteral("Setup"), s.a, s.b);
    for (const PointDifference& p : d.points)
        put(QStringLiteral("%1 point %2").arg(QString::fromLatin1(mapInfo(p.map).name)).arg(p.point),
            positionText(p), QString::number(p.a) + QLatin1Char(' ') + p.valueUnit,
            QString::number(p.b) + QLatin1Char(' ') + p.valueUnit);
}

void TuneCompareDialog::markCharts() {
    clearMarks();
    if (!chartOf_)
        return;
    for (const PointDifference& p : differences_.points) {
        MapChartWidget* chart = chartOf_(p.map);
        QCPGraph* line = chart ? chart->mapLine(p.map) : nullptr;
        if (!line || p.point > line->dataCount())
            continue;
        QCPGraph* mark = nullptr;
        for (const auto& m : marks_)
            if (m && m->parentPlot() == chart && m->name() == QString::fromLatin1(mapInfo(p.map).name))
                mark = m;
        if (!mark) {
            mark = chart->addGraph(line->keyAxis(), line->valueAxis());
            mark->setName(QString::fromLatin1(mapInfo(p.map).name));
            mark->setLineStyle(QCPGraph::lsNone);
            mark->setScatterStyle(
                QCPScatterStyle(QCPScatterStyle::ssCircle, QPen(kMark, 2.5), Qt::NoBrush, 17));
            mark->removeFromLegend();
            marks_ << mark;
        }
        // At the PC's value: the line itself may be replotted only on the next pass of the event loop.
        mark->addData(line->data()->at(p.point - 1)->key, p.a);
    }
    for (const auto& m : marks_)
        if (m)
            m->parentPlot()->replot(QCustomPlot::rpQueuedReplot);
}

void TuneCompareDialog::clearMarks() {
    for (const auto& m : marks_) {
        if (!m)
            continue;
        QCustomPlot* plot = m->parentPlot();
        plot->removeGraph(m);
        plot->replot(QCustomPlot::rpQueuedReplot);
    }
    marks_.clear();
}

QList<QCPGraph*> TuneCompareDialog::marks() const {
    QList<QCPGraph*> out;
    for (const auto& m : marks_)
        if (m)
            out << m;
    return out;
}

void TuneCompareDialog::hideEvent(QHideEvent* event) {
    clearMarks();
    QDialog::hideEvent(event);
}
