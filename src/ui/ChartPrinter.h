#pragma once

#include <QString>

class QCustomPlot;
class QDate;
class QPrinter;
class QWidget;
class UiPrompts;
struct VehicleInfo;

// Prints a chart on one page: a header line (vehicle, unit, date) and the chart scaled to the
// printable area inside the margins, its text at its point size.
namespace ChartPrinter {

// Millimetres on every side.
inline constexpr double kMarginMm = 10;

// Landscape with the margins; before the print dialog, so that it shows them.
void preparePrinter(QPrinter& printer);

// "Make Model Engine   |   unit description   |   date"; empty parts are left out.
QString headerText(const VehicleInfo& vehicle, const QString& unitDescription, const QDate& date);

// False, with the reason and what to try in error, when the printer could not be started.
bool print(QPrinter& printer, QCustomPlot& chart, const QString& header, QString* error);

// Print: the print dialog, then the chart under its header. What the status bar says afterwards
// (where the page went, or "Print failed" after the error box); empty when the dialog was
// cancelled.
QString printWithDialog(QWidget* parent, UiPrompts& prompts, QCustomPlot& chart, const QString& docName,
                        const QString& header);

} // namespace ChartPrinter
