#pragma once

#include "core/Context.h"
#include "core/Matrix.h"

#include <cstdint>

namespace tarvino {

/// Resets every cell: columns 0 to 3 empty text, columns 4 to 6 the number 0.
void OčistiMatricu(Matrix& matrix);

/// Resets the matrix and reads the table file at `path` into it: one record per
/// non-blank line, exactly seven ";"-separated fields, fields 0 to 5 kept as text.
/// Returns false on any failure; the current message then holds the reason, except
/// when the file cannot be opened (the operator has been told in a message box).
/// A record whose name is not a plain file name, or whose sizes are not whole numbers
/// of bytes, is refused with the line and the reason: such a name could reach outside
/// the installation's folders or mean another file on Windows.
/// Every failure after the file was opened is also journalled and, with `reason`, handed
/// back (empty when the operator was told in a box), so that a caller's own text can
/// carry it.
bool UčitajUMatricu(Context& ctx, Matrix& matrix, const QString& path, QString* reason = nullptr);

/// A caller's message with the reader's reason on the next line (as it stands without one).
QString withReason(const QString& message, const QString& reason);

/// Table files are read whole; a manifest of 71 rows is a few kilobytes, so a larger
/// file is refused rather than read.
inline constexpr std::uint64_t kLargestTableFile = 1 << 20;

/// Why a manifest name is not one plain file name that means the same file on Windows
/// and elsewhere (a folder part, a reserved character or device name, an invisible
/// character, a trailing dot or blank, too long); empty when it is one. An empty name
/// is a free row and passes.
QString whyNotPlainFileName(const QString& name);

} // namespace tarvino
