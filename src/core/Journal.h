#pragma once

#include "core/Context.h"

#include <QString>

namespace tarvino {

/// Appends one entry (date, time, message, CR LF) to Update\Update.log under the
/// program's folder: open, append, close. A failure is told to the operator in a
/// message box and otherwise ignored; the journal never creates the folder.
void LogirajGrešku(Context& ctx, const QString& message);

/// Status panel 1 (the current action), repainted at once.
void StatusAkcija(Context& ctx, const QString& text);
/// Status panel 2 (the current state), repainted at once.
void StatusStanje(Context& ctx, const QString& text);

/// Appends a line to a collected-messages text: CR LF, then the line.
void appendLine(QString& collection, const QString& line);

/// Puts both collected texts into their panes `txtPor` and `txtPorGr`.
void showCollectedMessages(Context& ctx);

/// The journal's path: the program's folder + "Update" + separator + "Update.log".
QString journalPath(const AppState& state);
/// The journal's file name, in the journal's folder.
inline const QString kJournalFile = QStringLiteral("Update.log");
/// The folder of the journal (the program's "Update" folder), ending in the separator.
QString journalFolder(const AppState& state);

} // namespace tarvino
