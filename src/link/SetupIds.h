#pragma once

// Where the setup values that the program reads or sends by name sit in the setup block (their
// setup ids, which are also their offsets in the image). Every other parameter is reached through
// the setup table by its entry; no setup id is written as a bare number outside this header.
namespace SetupId {

inline constexpr int IdleJet = 2;
inline constexpr int MainJet = 3;
inline constexpr int ThrottleFitted = 5;
inline constexpr int WaterFitted = 6;
inline constexpr int AirFitted = 7;
inline constexpr int MapSensor = 9; // plain 2: a MAP sensor is fitted
inline constexpr int TargetVolts = 10;
inline constexpr int Parameter13 = 13;
inline constexpr int TriggerLevel = 22;
inline constexpr int ThrottleMinimum = 38; // the closed throttle reading
inline constexpr int ThrottleSpan = 39;    // open minus closed
inline constexpr int LowVacuum = 40;
inline constexpr int HighVacuum = 41;
inline constexpr int WaterTempSensor = 44;
inline constexpr int TwoStroke = 49;
inline constexpr int AirTempSensor = 50;
inline constexpr int MapSensorNumber = 52;
inline constexpr int Cylinders = 80;
inline constexpr int RpmRange = 81;
inline constexpr int CoilTime = 82;
inline constexpr int VacuumRange = 83;
inline constexpr int RpmLimiter = 84;
inline constexpr int Setup85 = 85;
// The serial number: four numbers 0..99, then the two customer letters.
inline constexpr int SerialNumber1 = 94;
inline constexpr int SerialNumber2 = 95;
inline constexpr int SerialNumber3 = 96;
inline constexpr int HardwareNumber = 97;
inline constexpr int CustomerLetter1 = 98;
inline constexpr int CustomerLetter2 = 99;

} // namespace SetupId
