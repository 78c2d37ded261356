#pragma once

#include <QByteArray>
#include <QString>

// The workshop password behind the About window. Only its SHA-256 is built into the program
// (the CMake cache variable EMU_SERVICE_PASSWORD_SHA256); the typed text is hashed and compared
// in constant time.
namespace ServicePassword {

// The hash set at build time, as 64 lower-case hexadecimal digits.
QByteArray builtInHash();

// True when the SHA-256 of typed (UTF-8) equals expectedHexHash (64 hexadecimal digits, any case).
bool matches(const QString& typed, const QByteArray& expectedHexHash);

// Equal length and content, taking the same time whatever the content.
bool constantTimeEqual(const QByteArray& a, const QByteArray& b);

} // namespace ServicePassword
