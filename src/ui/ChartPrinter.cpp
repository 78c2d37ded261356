#include "ui/ChartPrinter.h"

#include "calibration/SettingsFile.h"

#include "mapeditor/MapChartWidget.h"
#include "mapeditor/MapPage.h"
#include "mapeditor/MapPages.h"
#include "mapeditor/MapTuning.h"
#include "ui/UiPrompts.h"

#include <QApplication>
#include <QDate>
#include <QDir>

#include <QFontMetricsF>
#include <QLocale>
#include <QPixmap>
#include <QPrinter>
#include <QTabWidget>
#include <algorithm>
#include <qcustomplot.h>

namespace ChartPrinter {

namespace {

constexpr double kHeaderPointSize = 10;
// Enough for sharp lines and text; a 1200 dpi page would need half a gigabyte of pixels.
constexpr int kMaxDpi = 300;

constexpr double kTablePointSize = 7;

QString startError() {
    return QStringLiteral("The printer could not be started. Check that it is switched on and "
                          "connected, or choose \"Print to File (PDF)\" in the print dialog.");
}

// The chart drawn into rect: laid out in screen pixels and drawn at the printer's resolution (up
// to kMaxDpi), so that text keeps its point size and lines their weight on paper. The live marker
// is no part of the tune and is left out.
void drawChart(QCPPainter& painter, QPrinter& printer, QCustomPlot& chart, const QRectF& rect) {
    QCPLayer* live = chart.layer(QStringLiteral("live"));
    const bool liveShown = live && live->visible();
    if (live)
        live->setVisible(false);
    const double screenDpi = 96;
    const double dpi = std::min<double>(printer.logicalDpiX(), kMaxDpi);
    const double deviceToScreen = screenDpi / printer.logicalDpiX();
    const int width = int(rect.width() * deviceToScreen);
    const int height = int(rect.height() * deviceToScreen);
    const QPixmap image = chart.toPixmap(width, height, dpi / screenDpi);
    painter.drawPixmap(rect, image, QRectF(image.rect()));
    if (live)
        live->setVisible(liveShown);
    chart.replot();
}

// The table's layout on the page: cells as wide as the widest text, as many points a band as fit.
struct TableLayout {
    double labelWidth = 0;
    double cellWidth = 0;
    double rowHeight = 0;
    int perBand = 1;
    int bands = 0;
};

TableLayout layoutTable(const PrintedTable& table, const QFontMetricsF& metrics, double width) {
    TableLayout l;
    const double pad = metrics.horizontalAdvance(QStringLiteral("  "));
    l.labelWidth = metrics.horizontalAdvance(table.axisTitle) + pad;
    double widest = 0;
    for (const QString& a : table.axis)
        widest = std::max(widest, metrics.horizontalAdvance(a));
    for (const PrintedTable::Row& row : table.rows) {
        l.labelWidth = std::max(l.labelWidth, metrics.horizontalAdvance(row.name) + pad);
        for (const QString& v : row.values)
            widest = std::max(widest, metrics.horizontalAdvance(v));
    }
    l.cellWidth = widest + pad;
    l.rowHeight = metrics.height() * 1.15;
    const int points = int(table.axis.size());
    l.perBand = std::max(1, int((width - l.labelWidth) / l.cellWidth));
    l.perBand = std::min(l.perBand, std::max(1, points));
    l.bands = points == 0 ? 0 : (points + l.perBand - 1) / l.perBand;
    // Bands of even length look better than one long band and a stub.
    if (l.bands > 0)
        l.perBand = (points + l.bands - 1) / l.bands;
    return l;
}

double tableHeight(const PrintedTable& table, const TableLayout& l) {
    const int lines = 1 + int(table.rows.size());
    return l.bands * lines * l.rowHeight + std::max(0, l.bands - 1) * l.rowHeight * 0.4;
}

void drawTable(QCPPainter& painter, const PrintedTable& table, const TableLayout& l, QPointF at) {
    const int points = int(table.axis.size());
    const int lines = 1 + int(table.rows.size());
    double y = at.y();
    for (int band = 0; band < l.bands; ++band) {
        const int from = band * l.perBand;
        const int to = std::min(points, from + l.perBand);
        const double bandWidth = l.labelWidth + (to - from) * l.cellWidth;
        for (int line = 0; line < lines; ++line) {
            const QRectF label(at.x(), y + line * l.rowHeight, l.labelWidth, l.rowHeight);
            const QString name = line == 0 ? table.axisTitle : table.rows[line - 1].name;
            QFont f = painter.font();
            f.setBold(line == 0);
            painter.setFont(f);
            painter.drawText(label, Qt::AlignLeft | Qt::AlignVCenter, name);
            for (int p = from; p < to; ++p) {
                const QRectF cell(at.x() + l.labelWidth + (p - from) * l.cellWidth, label.top(), l.cellWidth,
                                  l.rowHeight);
                const QStringList& texts = line == 0 ? table.axis : table.rows[line - 1].values;
                if (p < texts.size())
                    painter.drawText(cell.adjusted(0, 0, -l.cellWidth * 0.1, 0),
                                     Qt::AlignRight | Qt::AlignVCenter, texts[p]);
            }
        }
        QPen grid(QColor(160, 160, 160));
        grid.setWidthF(0);
        painter.setPen(grid);
        painter.drawRect(QRectF(at.x(), y, bandWidth, lines * l.rowHeight));
        painter.drawLine(QPointF(at.x(), y + l.rowHeight), QPointF(at.x() + bandWidth, y + l.rowHeight));
        painter.setPen(Qt::black);
        y += lines * l.rowHeight + l.rowHeight * 0.4;
    }
}

} // namespace

void preparePrinter(QPrinter& printer) {
    printer.setPageOrientation(QPageLayout::Landscape);
    printer.setPageMargins(QMarginsF(kMarginMm, kMarginMm, kMarginMm, kMarginMm), QPageLayout::Millimeter);
}

QString headerText(const VehicleInfo& vehicle, const QString& unitDescription, const QDate& date) {
    QStringList vehicleParts;
    for (const QString& part : {vehicle.make, vehicle.model, vehicle.engine})
        if (!part.trimmed().isEmpty())
            vehicleParts << part.trimmed();
    QStringList parts;
    if (!vehicleParts.isEmpty())
        parts << vehicleParts.join(QLatin1Char(' '));
    if (!unitDescription.trimmed().isEmpty())
        parts << unitDescription.trimmed();
    parts << QLocale().toString(date, QLocale::LongFormat);
    return parts.join(QStringLiteral("   |   "));
}

bool print(QPrinter& printer, QCustomPlot& chart, const QString& header, QString* error) {
    return printCharts(printer, {PrintedChart{&chart, {}}}, header, error);
}

bool printCharts(QPrinter& printer, const QList<PrintedChart>& charts, const QString& header,
                 QString* error) {
    QCPPainter painter;
    if (!painter.begin(&printer)) {
        if (error)
            *error = startError();
        return false;
    }
    // The painter's origin is the top left of the area inside the margins.
    const QRectF area(QPointF(0, 0), printer.pageRect(QPrinter::DevicePixel).size());

    QFont headerFont = charts.isEmpty() ? QApplication::font() : charts.first().chart->font();
    headerFont.setPointSizeF(kHeaderPointSize);
    painter.setFont(headerFont);
    painter.setPen(Qt::black);
    const QFontMetricsF metrics(headerFont, &printer);
    const QRectF headerRect(area.left(), area.top(), area.width(), metrics.height());
    painter.drawText(headerRect, Qt::AlignLeft | Qt::AlignVCenter,
                     metrics.elidedText(header, Qt::ElideRight, area.width()));
    const double gap = metrics.height();

    QFont tableFont = headerFont;
    tableFont.setPointSizeF(kTablePointSize);
    const QFontMetricsF tableMetrics(tableFont, &printer);
    QList<TableLayout> layouts;
    double tablesHeight = 0;
    for (const PrintedChart& c : charts) {
        layouts << layoutTable(c.table, tableMetrics, area.width());
        const double h = tableHeight(c.table, layouts.last());
        tablesHeight += h > 0 ? h + gap * 0.5 : 0;
    }
    // What the tables leave is shared by the charts, a chart never less than a fifth of the page.
    const double chartsTop = headerRect.bottom() + gap;
    const double left =
        area.height() - chartsTop - tablesHeight - gap * 0.5 * std::max<qsizetype>(0, charts.size() - 1);
    const double chartHeight =
        charts.isEmpty() ? 0 : std::max(area.height() * 0.2, left / double(charts.size()));
    double y = chartsTop;
    for (qsizetype i = 0; i < charts.size(); ++i) {
        const PrintedChart& c = charts[i];
        drawChart(painter, printer, *c.chart, QRectF(area.left(), y, area.width(), chartHeight));
        y += chartHeight;
        const double h = tableHeight(c.table, layouts[i]);
        if (h > 0) {
            y += gap * 0.5;
            painter.setFont(tableFont);
            painter.setPen(Qt::black);
            drawTable(painter, c.table, layouts[i], QPointF(area.left(), y));
            y += h;
        }
        y += gap * 0.5;
    }
    painter.end();
    return true;
}

QString printChartsWithDialog(QWidget* parent, UiPrompts& prompts, const QList<PrintedChart>& charts,
                              const QString& what, const QString& docName, const QString& header) {
    QPrinter printer(QPrinter::HighResolution);
    preparePrinter(printer);
    printer.setDocName(docName);
    if (!prompts.runPrintDialog(parent, printer))
        return {};
    QString error;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const bool printed = printCharts(printer, charts, header, &error);
    QApplication::restoreOverrideCursor();
    if (!printed) {
        prompts.showError(parent, error);
        return QStringLiteral("Print failed");
    }
    return printer.outputFileName().isEmpty()
               ? QStringLiteral("%1 sent to %2").arg(what, printer.printerName())
               : QStringLiteral("%1 printed to %2")
                     .arg(what, QDir::toNativeSeparators(printer.outputFileName()));
}

QString printWithDialog(QWidget* parent, UiPrompts& prompts, QCustomPlot& chart, const QString& docName,
                        const QString& header) {
    return printChartsWithDialog(parent, prompts, {PrintedChart{&chart, {}}}, QStringLiteral("Timing map"),
                                 docName, header);
}

PrintedTable mapChartTable(const MapChartWidget& chart) {
    PrintedTable table;
    const auto id = chartByName(chart.objectName());
    if (!id)
        return table;
    table.axisTitle = QString::fromUtf8(MapTuning::axisTitle(*id));
    QList<std::pair<QString, QCPGraph*>> lines;
    for (int i = 0; i < chart.seriesCount(); ++i)
        if (chart.setup().series[static_cast<size_t>(i)].role == SeriesRole::Map)
            lines << std::pair{QString::fromLatin1(chart.setup().series[static_cast<size_t>(i)].name),
                               chart.line(i)};
    for (const auto& [name, graph] : lines) {
        PrintedTable::Row row;
        row.name = lines.size() > 1 ? name : QString::fromUtf8(chart.setup().yLabel);
        for (auto it = graph->data()->constBegin(); it != graph->data()->constEnd(); ++it) {
            if (table.rows.isEmpty())
                table.axis << MapTuning::axisText(*id, it->key);
            row.values << QString::number(it->value, 'g', 10);
        }
        table.rows << row;
    }
    return table;
}

QList<PrintedChart> chartsOnShow(const MapPages& maps, const QTabWidget& tabs, MapChartWidget& timingChart,
                                 QString* what) {
    QList<PrintedChart> charts;
    if (const MapPage* page = maps.shownPage(tabs.currentWidget())) {
        for (const auto& [id, chart] : page->charts())
            charts << PrintedChart{chart, mapChartTable(*chart)};
        if (what)
            *what = tabs.tabText(tabs.currentIndex());
        return charts;
    }
    charts << PrintedChart{&timingChart, mapChartTable(timingChart)};
    if (what)
        *what = QStringLiteral("Timing map");
    return charts;
}

} // namespace ChartPrinter
