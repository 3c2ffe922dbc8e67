#pragma once

class frmMain;

// The serial receive path of the main window: characters into the line buffer, lines to the
// decoder of the selected chronograph, shots to the recording path. Any failure ends the
// event silently; the reading is lost.
void MSComm1_OnComm(frmMain& main);

// Decodes the line buffer with the selected family's decoder and applies the calibration.
double ReadCalibratedSpeed(frmMain& main);
double DecodeChronyLine(frmMain& main);
double DecodeCombroLine(frmMain& main);
