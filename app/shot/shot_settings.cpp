#include "shot_settings.h"

#include "services/app_error.h"
#include "services/regional.h"
#include "shot/ballistics.h"
#include "shot/shot_lines.h"

QString ShotSettings::makeModel() const
{
    return shot_lines::makeModel(gunMake, gunModel, projectileMake);
}

void ShotSettings::setWeight(const QString& text, bool grammes)
{
    if (text == m_weightText && grammes == m_grammes)
        return;
    m_weightText = text;
    m_grammes = grammes;
    m_grains.reset();
}

QString ShotSettings::weightWord() const
{
    return m_grammes ? QStringLiteral("Grammes") : QStringLiteral("Grains");
}

const ShotSettings::Grains& ShotSettings::grains() const
{
    const QString separator = regional::decimalSeparator();
    if (m_grains && m_grains->decimalSeparator == separator)
        return *m_grains;
    Grains g;
    g.decimalSeparator = separator;
    try {
        g.value = ballistics::weightInGrains(m_weightText, m_grammes);
    } catch (const AppError& e) {
        g.failure = e.number();
    }
    m_grains = std::move(g);
    return *m_grains;
}

double ShotSettings::weightInGrains() const
{
    const Grains& g = grains();
    if (!g.value)
        AppError::raise(g.failure);
    return *g.value;
}
