#pragma once

#include "monitor/DataLog.h"

#include <QByteArray>
#include <QFile>
#include <QString>

class QIODevice;

// The log files. CSV (the default): one header row of channel names with their units in
// brackets, then one row per sample; a dot is the decimal separator whatever the locale, an empty
// field a value not measured. The .msl layout that log viewers open: tab-separated, a row of
// names, a row of units, then the data. Both carry the time in seconds (to the millisecond), the
// sample's number, the channels, and a marker column ("3 note" on the row marker 3 was dropped at).
namespace DataLogFile {

enum class Format { Csv, Msl };

// The format a file name asks for (.msl, else CSV).
Format formatFor(const QString& path);
QString suffix(Format format);

QByteArray header(Format format);
// One row, newline included.
QByteArray row(Format format, const LogSample& sample, const LogMarker* marker);
// The whole log in that format.
QByteArray text(Format format, const DataLog& log);

// What reading a file gave: a log (ok) with the rows up to the first bad line, and a warning
// naming that line; or, for a file that is not a log of this program, no log and the error.
struct ReadResult {
    bool ok = false;
    QString error;   // not a log: why (ok is false)
    QString warning; // a log, cut or with a bad row: the line and what was wrong; its rows kept
    int badLine = 0; // that line's number (1 = the first line of the file), 0 when none
    Format format = Format::Csv;
    DataLog log;
};
ReadResult read(const QByteArray& bytes);
ReadResult readFile(const QString& path);

// Writes a whole log as one file (replaced whole or not at all). Empty when written, else why not.
QString save(const DataLog& log, const QString& path, Format format);

} // namespace DataLogFile

// The file of a recording, written as it goes: the header when it opens, then each row as soon as
// it is taken, straight to the file with no buffer of its own, so a program killed or a cable
// pulled leaves every row taken so far readable (at worst the last line cut).
class DataLogWriter {
  public:
    ~DataLogWriter() { close(); }

    // Creates the file (an existing one is replaced). Empty when open, else why not.
    QString open(const QString& path, DataLogFile::Format format);
    bool isOpen() const { return file_.isOpen(); }
    QString path() const { return file_.fileName(); }
    DataLogFile::Format format() const { return format_; }
    // False when the row could not be written (disk full, the folder gone): the file is closed.
    bool append(const LogSample& sample, const LogMarker* marker = nullptr);
    QString error() const { return error_; }
    void close();

  private:
    QFile file_;
    DataLogFile::Format format_ = DataLogFile::Format::Csv;
    QString error_;
};
