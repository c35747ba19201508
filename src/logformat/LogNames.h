#pragma once

// Names of the flight-log variables that the log tabs look up by name. The parser
// emits exactly these strings (UTF-8; the degree sign is U+00B0).
namespace LogNames {

inline constexpr char StickLV[] = "Stick LV [%]";
inline constexpr char StickLH[] = "Stick LH [%]";
inline constexpr char StickRV[] = "Stick RV [%]";
inline constexpr char StickRH[] = "Stick RH [%]";
inline constexpr char EscBattVolt[] = "ESC Batt Volt [V]";
inline constexpr char EscBattCurr[] = "ESC Batt Curr [A]";
inline constexpr char EscRpm[] = "ESC RPM";
inline constexpr char VarnekRpm[] = "Varnek RPM";
inline constexpr char VarnekElevator[] = u8"Varnek Elevator [\u00B0/s]";
inline constexpr char VarnekAileron[] = u8"Varnek Aileron [\u00B0/s]";
inline constexpr char VarnekRudder[] = u8"Varnek Rudder [\u00B0/s]";
inline constexpr char VarnekAlt[] = "Varnek Alt [m]";
inline constexpr char VarnekQuatW[] = "Varnek Quat W";
inline constexpr char VarnekQuatX[] = "Varnek Quat X";
inline constexpr char VarnekQuatY[] = "Varnek Quat Y";
inline constexpr char VarnekQuatZ[] = "Varnek Quat Z";
inline constexpr char VarnekVibLevel[] = "Varnek Vib Level [%]";

// Euler angles derived from the quaternion; pitch may hold NaN (see LogVariable).
inline constexpr char VarnekPitch[] = u8"Varnek Pitch [\u00B0]";
inline constexpr char VarnekRoll[] = u8"Varnek Roll [\u00B0]";
inline constexpr char VarnekYaw[] = u8"Varnek Yaw [\u00B0]";

} // namespace LogNames
