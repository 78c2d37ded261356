#include "tools/SerialNumber.h"
#include "link/ImageLayout.h"

namespace SerialNumber {

namespace {

bool isLetterField(int index) {
    return index < kLetterFields;
}

bool validLetter(const QString& text) {
    return text.size() == 1 && text.at(0) >= QLatin1Char('A') && text.at(0) <= QLatin1Char('Z');
}

std::optional<int> validNumber(const QString& text) {
    if (text.isEmpty() || text.size() > 2)
        return std::nullopt;
    for (QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return std::nullopt;
    }
    return text.toInt();
}

} // namespace

QString fieldText(int id, std::uint8_t wireByte) {
    const int plain = plainFromWire(wireByte);
    if (id == kIds[0] || id == kIds[1]) {
        if (wireByte == 0)
            return QStringLiteral("A");
        if (plain < 'A' || plain > 'Z')
            return {};
        return QString(QChar(plain));
    }
    if (plain < 0 || plain > kMaxNumber)
        return {};
    return QStringLiteral("%1").arg(plain, 2, 10, QLatin1Char('0'));
}

QString fieldName(int index) {
    static const std::array<QString, kFieldCount> kNames = {
        QStringLiteral("Cust letter 1"), QStringLiteral("Cust letter 2"), QStringLiteral("Number 1"),
        QStringLiteral("Number 2"),      QStringLiteral("Number 3"),      QStringLiteral("H/W number")};
    return kNames.at(static_cast<size_t>(index));
}

std::optional<QString> firstProblem(const Fields& fields) {
    for (int i = 0; i < kFieldCount; ++i) {
        const QString& text = fields.at(static_cast<size_t>(i));
        if (isLetterField(i) && !validLetter(text))
            return fieldName(i) + QStringLiteral(" must be one letter A to Z; nothing was sent.");
        if (!isLetterField(i) && !validNumber(text))
            return fieldName(i) + QStringLiteral(" must be a number 0 to 99; nothing was sent.");
    }
    return std::nullopt;
}

std::array<std::pair<int, std::uint8_t>, kFieldCount> sends(const Fields& fields) {
    std::array<std::pair<int, std::uint8_t>, kFieldCount> out{};
    for (int i = 0; i < kFieldCount; ++i) {
        const QString& text = fields.at(static_cast<size_t>(i));
        const int value = isLetterField(i) ? text.at(0).unicode() : validNumber(text).value_or(0);
        out.at(static_cast<size_t>(i)) = {kIds.at(static_cast<size_t>(i)), static_cast<std::uint8_t>(value)};
    }
    return out;
}

QString twoDigits(const QString& number) {
    return number.size() == 1 ? QStringLiteral("0") + number : number;
}

} // namespace SerialNumber
