#pragma once

#include "core/Context.h"
#include "core/Matrix.h"

namespace tarvino {

/// Resets every cell: columns 0 to 3 empty text, columns 4 to 6 the number 0.
void OčistiMatricu(Matrix& matrix);

/// Resets the matrix and reads the table file at `path` into it: one record per
/// non-blank line, exactly seven ";"-separated fields, fields 0 to 5 kept as text.
/// Returns false on any failure; the current message then holds the reason, except
/// when the file cannot be opened (the operator has been told in a message box).
/// A record whose name is not a plain file name is refused: installing it would
/// write outside the installation's folders.
bool UčitajUMatricu(Context& ctx, Matrix& matrix, const QString& path);

/// Whether a manifest name is a plain file name (no folder, drive or parent part,
/// no control character, not longer than a file name may be).
bool isPlainFileName(const QString& name);

} // namespace tarvino
