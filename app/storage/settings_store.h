#pragma once

#include <QString>
#include <QVariant>

// The per-user settings store: application "Velmora", section "Settings"
// (~/.config/Velmora/Velmora.conf). Values are texts; a missing key gives its default.
namespace settings {

struct Key {
    const char* name;
    const char* defaultValue;
};

// The keys the program reads at start-up and for the tip window, with their defaults.
inline constexpr Key kTxtComm{"txtComm", "1"};
inline constexpr Key kChronoType{"chronoType", "1"};
inline constexpr Key kTxtWeight{"txtWeight", "1"};
inline constexpr Key kTxtMake{"txtMake", "Make of Gun"};
inline constexpr Key kTxtModel{"txtModel", "Model of Gun"};
inline constexpr Key kTxtPelletMake{"txtPelletMake", "Air Arms Field"};
inline constexpr Key kTxtCaliber{"txtCaliber", ".22"};
inline constexpr Key kOptType{"optType", "6"};
inline constexpr Key kOptSpeed{"optSpeed", "1"};
inline constexpr Key kOptPower{"optPower", "1"};
inline constexpr Key kSelWeight{"selWeight", "1"};
// Its default is 100 formatted "0.0" in the user's format: "100,0" where the comma is decimal.
inline constexpr Key kTxtCalibration{"txtCalibration", "100.0"};
inline constexpr Key kShowTips{"ShowTips", "1"};
// Every string that held shots is archived when it is cleared and at exit: 1 on, 0 off.
inline constexpr Key kArchiveStrings{"ArchiveStrings", "1"};
// The base address of the program's web service ("/relay.php", "/graphme.php", "/tips.php").
// There is no public service: the reserved ".invalid" domain fails at once until one is set.
inline constexpr Key kWebService{"WebService", "http://velmora.invalid"};

QString read(const Key& key);
QString read(const QString& key, const QString& defaultValue);

// Writes one setting at once; numbers become their regional text.
void SaveSettingValue(const QString& key, const QVariant& value);

// The text a value is stored as: doubles with the regional decimal separator.
QString storedText(const QVariant& value);

// A device path configured for a port number in section "Ports" ("7=/dev/pts/4"), or empty.
QString portOverride(int portNumber);

} // namespace settings
