#pragma once

#include <QString>

// COM port numbers 1 to 100 as Linux device paths: a "Ports" entry in the settings store
// when present, otherwise 1-32 ttyS, 33-64 ttyUSB, 65-96 ttyACM, 97-100 rfcomm.
QString defaultDevicePath(int portNumber);
QString devicePathForPort(int portNumber);
