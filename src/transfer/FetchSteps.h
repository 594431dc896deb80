#pragma once

// Steps the fetch from the internet and the fetch from a network folder share.
// They differ in how a packed file arrives and in a few waits; everything that
// follows the arrival is one code path, so both report alike.

#include "core/Context.h"
#include "plan/ManifestRow.h"

#include <QString>

namespace tarvino::fetch {

/// One run of either fetch: its journal prefix ("SnimitiSaInterneta - ").
struct Run {
    Context& ctx;
    QString prefix;

    /// Journals `text` behind the prefix.
    void journal(const QString& text) const;
    /// A failure that stops the run: current message, journal, collected errors
    /// and, with `box`, a message box with the exclamation icon. Returns false.
    bool fail(const QString& message, bool box) const;
};

/// The start of either run: empties the collected messages and, with at least one
/// planned row, sets the progress bar to the packed total and journals "Početak".
/// Without a planned row it tells the operator and returns false.
bool begin(const Run& run);

/// From the packed file's arrival in the Update folder to its unpacking: size
/// against the row's packed size, the ". OK." line, the progress bar, stage 2, `Unzipaj`.
bool verifyAndUnpack(const Run& run, const ManifestRow& row, const QString& packed);

/// The check of every unpacked file's presence and its unpacked size, with the
/// run's shared budget of four 5-second waits. With `rereadEmpty` a file that still
/// reads 0 bytes gets up to two more 5-second waits of its own.
bool checkUnpackedFiles(const Run& run, bool rereadEmpty);

} // namespace tarvino::fetch
