#pragma once

#include <string>

// Live lines as the simulated chronographs send them.
namespace sim {

// A Shooting Chrony shot line: "<n>,Vf<fps with one decimal>" + CR LF.
std::string chronyLine(int shotNumber, double fps);

// A Combro CB-625 timer count for the velocity: 4 digits ("0980"), 6 ("0980.4") or 7
// ("0980.45") characters, the firmware versions the program tells apart, + CR LF.
std::string combroLine(double fps, int length);

// Text with the escapes \r, \n, \t, \\ and \xHH turned into characters.
std::string unescape(const std::string& text);

} // namespace sim
