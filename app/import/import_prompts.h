#pragma once

#include "import/string_importer.h"

class Prompt;

// Imports files as the History window and the command line do, asking the unit through the prompt
// when a file does not say it, and tells the user what was read, file by file, in one message.
// Returns the outcomes.
std::vector<StringImporter::Outcome> importWithPrompt(StringImporter& importer, const QStringList& paths, Prompt& prompt,
                                                      const QDateTime& now);

// Asks the unit through the prompt: Yes is fps, No is m/s.
StringImporter::UnitQuestion unitFromPrompt(Prompt& prompt);

// Tells the user what was read, file by file (the first 20), after a summary when there were
// several; `preface` (as "The import was cancelled.") goes first.
void tellOutcomes(const std::vector<StringImporter::Outcome>& outcomes, Prompt& prompt, const QString& preface = {});

// The question put when a file does not give its unit: Yes is fps, No is m/s.
QString unitQuestion(const QString& fileName, const ImportedString& s);
