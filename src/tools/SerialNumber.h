#pragma once

#include "link/SetupIds.h"

#include <QString>

#include <array>
#include <cstdint>
#include <optional>
#include <utility>

// The unit's serial number as the workshop dialog edits it: two customer letters (setup offsets
// 98 and 99) and four numbers 0..99 (offsets 94..97), each stored as plain value + 1.
namespace SerialNumber {

// The six fields in the order of their sends: Edit1, Edit6, Edit2, Edit3, Edit4, Edit5.
constexpr int kFieldCount = 6;
constexpr std::array<int, kFieldCount> kIds = {SetupId::CustomerLetter1, SetupId::CustomerLetter2,
                                               SetupId::SerialNumber1,   SetupId::SerialNumber2,
                                               SetupId::SerialNumber3,   SetupId::HardwareNumber};
constexpr int kLetterFields = 2;
constexpr int kMaxNumber = 99;

using Fields = std::array<QString, kFieldCount>;

// What the dialog shows for the field of id: a letter for 98 and 99 ("A" for a stored 0, nothing
// for a stored byte that is not a letter A..Z); two digits for 94..97 (nothing for a stored value
// outside 0..99, which the unit cannot hold).
QString fieldText(int id, std::uint8_t wireByte);

// The field's name in messages: "Cust letter 1", ..., "H/W number".
QString fieldName(int index);

// The first field that the unit cannot hold, with the words saying so; nothing when all six hold.
std::optional<QString> firstProblem(const Fields& fields);

// The six sends (id, plain byte) of fields that passed firstProblem, in order.
std::array<std::pair<int, std::uint8_t>, kFieldCount> sends(const Fields& fields);

// A number field as it reads after Update: two digits.
QString twoDigits(const QString& number);

} // namespace SerialNumber
