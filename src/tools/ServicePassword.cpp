#include "tools/ServicePassword.h"

#include "ServicePasswordHash.h"

#include <QCryptographicHash>

namespace ServicePassword {

QByteArray builtInHash() {
    return QByteArray(kServicePasswordSha256).toLower();
}

bool constantTimeEqual(const QByteArray& a, const QByteArray& b) {
    if (a.size() != b.size())
        return false;
    unsigned char difference = 0;
    for (qsizetype i = 0; i < a.size(); ++i)
        difference |= static_cast<unsigned char>(a.at(i) ^ b.at(i));
    return difference == 0;
}

bool matches(const QString& typed, const QByteArray& expectedHexHash) {
    const QByteArray expected = QByteArray::fromHex(expectedHexHash);
    if (expected.size() != 32)
        return false;
    const QByteArray actual = QCryptographicHash::hash(typed.toUtf8(), QCryptographicHash::Sha256);
    return constantTimeEqual(actual, expected);
}

} // namespace ServicePassword
