#include "ui/ChartPrinter.h"

#include "calibration/SettingsFile.h"

#include "ui/UiPrompts.h"

#include <QApplication>
#include <QDate>
#include <QDir>

#include <QFontMetricsF>
#include <QLocale>
#include <QPixmap>
#include <QPrinter>
#include <algorithm>
#include <qcustomplot.h>

namespace ChartPrinter {

namespace {

constexpr double kHeaderPointSize = 10;
// Enough for sharp lines and text; a 1200 dpi page would need half a gigabyte of pixels.
constexpr int kMaxDpi = 300;

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
    QCPPainter painter;
    if (!painter.begin(&printer)) {
        if (error)
            *error = QStringLiteral("The printer could not be started. Check that it is switched on and "
                                    "connected, or choose \"Print to File (PDF)\" in the print dialog.");
        return false;
    }
    // The painter's origin is the top left of the area inside the margins.
    const QRectF area(QPointF(0, 0), printer.pageRect(QPrinter::DevicePixel).size());

    QFont headerFont = chart.font();
    headerFont.setPointSizeF(kHeaderPointSize);
    painter.setFont(headerFont);
    painter.setPen(Qt::black);
    const QFontMetricsF metrics(headerFont, &printer);
    const QRectF headerRect(area.left(), area.top(), area.width(), metrics.height());
    painter.drawText(headerRect, Qt::AlignLeft | Qt::AlignVCenter,
                     metrics.elidedText(header, Qt::ElideRight, area.width()));
    const double gap = metrics.height();
    const QRectF chartRect = area.adjusted(0, headerRect.height() + gap, 0, 0);

    // Laid out in screen pixels and drawn at the printer's resolution (up to kMaxDpi), so that
    // text keeps its point size and lines their weight on paper.
    const double screenDpi = 96;
    const double dpi = std::min<double>(printer.logicalDpiX(), kMaxDpi);
    const double deviceToScreen = screenDpi / printer.logicalDpiX();
    const int width = int(chartRect.width() * deviceToScreen);
    const int height = int(chartRect.height() * deviceToScreen);
    const QPixmap image = chart.toPixmap(width, height, dpi / screenDpi);
    painter.drawPixmap(chartRect, image, QRectF(image.rect()));
    painter.end();
    chart.replot();
    return true;
}

QString printWithDialog(QWidget* parent, UiPrompts& prompts, QCustomPlot& chart, const QString& docName,
                        const QString& header) {
    QPrinter printer(QPrinter::HighResolution);
    preparePrinter(printer);
    printer.setDocName(docName);
    if (!prompts.runPrintDialog(parent, printer))
        return {};
    QString error;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const bool printed = print(printer, chart, header, &error);
    QApplication::restoreOverrideCursor();
    if (!printed) {
        prompts.showError(parent, error);
        return QStringLiteral("Print failed");
    }
    return printer.outputFileName().isEmpty()
               ? QStringLiteral("Timing map sent to %1").arg(printer.printerName())
               : QStringLiteral("Timing map printed to %1").arg(QDir::toNativeSeparators(printer.outputFileName()));
}

} // namespace ChartPrinter
