#pragma once

#include <QString>
#include <optional>

// What a shot is recorded with: the projectile and gun names, the weight as typed and its unit,
// the gun type, the speed and power units and the list separator. The Data Options and main
// windows keep it current as the user edits them and as stored settings are loaded; the shot
// path reads it, never the windows' fields.
struct ShotSettings {
    QString gunMake = QStringLiteral("Make");
    QString gunModel = QStringLiteral("Model");
    QString projectileMake = QStringLiteral("Pellet");
    int gunType = 6;     // the Data Options type option: 12 rifle, 6 pistol, 9999 other
    int speedIndex = -1; // the speed option: 1 fps, 2 m/s, -1 while none is selected
    int powerIndex = -1; // the power option: 1 ft·lbf, 2 joules, 3 IPSC factor, -1 none
    QString separator = QStringLiteral("\t");

    // Gun make, gun model and projectile make separated by spaces.
    QString makeModel() const;
    bool feetPerSecond() const { return speedIndex == 1; }

    void setWeight(const QString& text, bool grammes);
    void setWeightText(const QString& text) { setWeight(text, m_grammes); }
    void setGrammes(bool grammes) { setWeight(m_weightText, grammes); }
    const QString& weightText() const { return m_weightText; }
    bool grammes() const { return m_grammes; }
    // "Grammes" or "Grains".
    QString weightWord() const;

    // The weight in grains; raises what the conversion of the text raises (TypeMismatch for a
    // text that is not a number, Overflow), every time it is asked.
    double weightInGrains() const;

private:
    // The conversion depends on the regional decimal separator as well as on the text: it is
    // made again when the separator is not the one it was made with.
    struct Grains {
        QString decimalSeparator;
        std::optional<double> value;
        int failure = 0;
    };
    const Grains& grains() const;

    QString m_weightText = QStringLiteral("1");
    bool m_grammes = false;
    mutable std::optional<Grains> m_grains;
};
