#pragma once

#include "core/Context.h"

#include <QString>
#include <cstdint>

namespace tarvino {

/// Turns the packed file of `fileName` in the Update folder into the file itself,
/// in the same folder: "chm", "enc" and "ocx" (exact lower case) are only copied
/// from the packed name, every other file is extracted with 7-Zip, which runs
/// without a window and is waited for. After an extraction and after copying a
/// component it pauses one second per started million packed bytes (halves to
/// even). An archive is unpacked into a folder of its own and only the file of
/// that name is taken into the Update folder; every other member is journalled and
/// left out. False when 7-Zip cannot be started or the name is one of the tool's own
/// files; the current message and the collected errors then hold the "UNZIP: " line.
/// Whether the right file came out is left to the caller's size check.
bool Unzipaj(Context& ctx, const QString& fileName);

/// The 7-Zip command line that extracts `packed` from the Update folder into the
/// folder `into`: the program from the program folder when it lies there, else by
/// its bare name from the PATH.
QString unpackCommandLine(Context& ctx, const QString& packed, const QString& into);

/// Seconds of the pause after unpacking `bytes`: bytes / 1,000,000, halves to even.
int unpackPauseSeconds(std::uint64_t bytes);

} // namespace tarvino
