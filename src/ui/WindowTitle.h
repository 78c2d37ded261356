#pragma once

#include <QString>

namespace WindowTitle {

// The caption, then " - " and the open file's name; a "*" marks changes not yet written to the
// unit or saved to a file.
QString compose(const QString& caption, const QString& filePath, bool modified);

} // namespace WindowTitle
