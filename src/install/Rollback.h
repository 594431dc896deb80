#pragma once

#include "core/Context.h"

namespace tarvino {

/// Copies every file of the backup folder back to its home folder (programs and
/// text files and components to the installation folder, scripts to the scripts
/// folder, help files to the help folder), unregistering the component in place
/// before an old one is put back and registering the old one afterwards. Works
/// from the backup folder alone and never moves or deletes: a failure of one file
/// is journalled and shown, and the others are still restored. True when every
/// file came back.
bool PokušajVratitiSveNaPočetak(Context& ctx);

/// Beside the installed programs while an installation runs: one line per item
/// whose installed file it has moved into the backup folder or found absent, and one
/// line, the name behind `kUnregisteredMark`, per component it is about to unregister.
inline const QString kInstallationRecord = QStringLiteral("UpdateUToku.txt");
/// No file name holds it.
inline const QChar kUnregisteredMark = QLatin1Char('*');

/// Puts back what an installation that never ended (its record is still there)
/// had moved into the backup folder, as the rollback does, removes what it had
/// begun to copy of new items, journals it and tells the operator. True when no
/// record remains; a record stays while anything could not be put back.
bool recoverInterruptedInstallation(Context& ctx);

} // namespace tarvino
