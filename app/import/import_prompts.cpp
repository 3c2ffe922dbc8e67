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

std::vector<StringImporter::Outcome> importWithPrompt(StringImporter& importer, const QStringList& paths, Prompt& prompt,
                                                      const QDateTime& now)
{
    const auto ask = [&prompt](const QString& fileName, const ImportedString& s) {
        return prompt.ask(unitQuestion(fileName, s), Prompt::Buttons::YesNo, Prompt::Icon::Question,
                          Prompt::appTitle()) == Prompt::Answer::Yes
                   ? VelocityUnit::Fps
                   : VelocityUnit::MetresPerSecond;
    };
    const std::vector<StringImporter::Outcome> outcomes = importer.importFiles(paths, ask, now);
    if (outcomes.empty())
        return outcomes;
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
    if (outcomes.size() > 1)
        text = StringImporter::summary(outcomes) + QStringLiteral("\n\n") + text;
    prompt.message(text, trouble ? Prompt::Icon::Exclamation : Prompt::Icon::Information);
    return outcomes;
}
