#pragma once

#include <QList>
#include <QString>
#include <QStringList>

class MapChartWidget;
class MapPages;
class QTabWidget;
class QCustomPlot;
class QDate;
class QPrinter;
class QWidget;
class UiPrompts;
struct VehicleInfo;

// Prints a chart on one page: a header line (vehicle, unit, date) and the chart scaled to the
// printable area inside the margins, its text at its point size.
namespace ChartPrinter {

// The values of a printed chart: the axis positions and one row of values per curve.
struct PrintedTable {
    QString axisTitle;
    QStringList axis;
    struct Row {
        QString name;
        QStringList values;
    };
    QList<Row> rows;
};

struct PrintedChart {
    QCustomPlot* chart = nullptr;
    PrintedTable table;
};

// Millimetres on every side.
inline constexpr double kMarginMm = 10;

// Landscape with the margins; before the print dialog, so that it shows them.
void preparePrinter(QPrinter& printer);

// "Make Model Engine   |   unit description   |   date"; empty parts are left out.
QString headerText(const VehicleInfo& vehicle, const QString& unitDescription, const QDate& date);

// False, with the reason and what to try in error, when the printer could not be started.
bool print(QPrinter& printer, QCustomPlot& chart, const QString& header, QString* error);

// Prints charts one above the other on one page under the header line, each with the table of its
// values under it (the points as columns, wrapped into as many bands as the page width needs).
bool printCharts(QPrinter& printer, const QList<PrintedChart>& charts, const QString& header, QString* error);

// Print: the print dialog, then the charts under their header. What says where the page went
// names the page ("Fuel Maps sent to ...").
QString printChartsWithDialog(QWidget* parent, UiPrompts& prompts, const QList<PrintedChart>& charts,
                              const QString& what, const QString& docName, const QString& header);

// The values a map chart shows, as its printed table: the axis in its unit, one row per curve.
PrintedTable mapChartTable(const MapChartWidget& chart);

// What Print prints: the charts of the map page on show with their tables, or from any other
// page the timing chart; what names it ("Fuel Maps", "Timing map").
QList<PrintedChart> chartsOnShow(const MapPages& maps, const QTabWidget& tabs, MapChartWidget& timingChart,
                                 QString* what);

// Print: the print dialog, then the chart under its header. What the status bar says afterwards
// (where the page went, or "Print failed" after the error box); empty when the dialog was
// cancelled.
QString printWithDialog(QWidget* parent, UiPrompts& prompts, QCustomPlot& chart, const QString& docName,
                        const QString& header);

} // namespace ChartPrinter
