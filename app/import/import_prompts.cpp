#include "import_prompts.h"

#include "services/prompt.h"

QString unitQuestion(const QString& fileName, const ImportedString& s)
{
    ImportedString shown = s;
    shown.title.clear();
    return QStringLiteral("\"%1\" does not say in which unit its velocities are (%2).\n\nAre they in feet per second "
                          "(fps)? Yes: fps. No: metres per second (m/s).")
        .arg(fileName, shown.description());
}

StringImporter::UnitQuestion unitFromPrompt(Prompt& prompt)
{
    return [&prompt](const QString& fileName, const ImportedString& s) {
        return prompt.ask(unitQuestion(fileName, s), Prompt::Buttons::YesNo, Prompt::Icon::Question,
                          Prompt::appTitle()) == Prompt::Answer::Yes
                   ? VelocityUnit::Fps
                   : VelocityUnit::MetresPerSecond;
    };
}

void tellOutcomes(const std::vector<StringImporter::Outcome>& outcomes, Prompt& prompt, const QString& preface)
{
    if (outcomes.empty() && preface.isEmpty())
        return;
    QStringList lines;
    bool trouble = false;
    constexpr int kShown = 20; // a thousand files make a summary, not a list
    for (const StringImporter::Outcome& o : outcomes) {
        trouble = trouble || o.kind == StringImporter::Outcome::Kind::Refused ||
                  o.kind == StringImporter::Outcome::Kind::Failed;
        if (lines.size() < kShown)
            lines.append(o.message);
    }
    if (outcomes.size() > size_t(kShown))
        lines.append(QStringLiteral("(and %1 more)").arg(outcomes.size() - size_t(kShown)));
    QString text = lines.join(u'\n');
    if (outcomes.size() > 1 || !preface.isEmpty())
        text = StringImporter::summary(outcomes) + QStringLiteral("\n\n") + text;
    if (!preface.isEmpty())
        text = preface + u' ' + text;
    prompt.message(text.trimmed(), trouble ? Prompt::Icon::Exclamation : Prompt::Icon::Information);
}

std::vector<StringImporter::Outcome> importWithPrompt(StringImporter& importer, const QStringList& paths, Prompt& prompt,
                                                      const QDateTime& now)
{
    const std::vector<StringImporter::Outcome> outcomes = importer.importFiles(paths, unitFromPrompt(prompt), now);
    tellOutcomes(outcomes, prompt);
    return outcomes;
}
