#pragma once

#include "core/Matrix.h"

#include <QString>
#include <cstdint>
#include <vector>

namespace tarvino {

/// A size column as a whole number of bytes (64-bit: a release may exceed 2 GiB).
std::int64_t columnBytes(const QString& text);

/// Whether a file of `actual` bytes has the size a column states.
bool hasStatedSize(std::uint64_t actual, const QString& column);

/// One row of a manifest, or of the plan read from one, by its columns. The texts are
/// kept as written: messages quote them.
struct ManifestRow {
    /// Where the row lies in its matrix.
    int index = -1;
    QString name;
    QString major;
    QString minor;
    QString revision;
    /// Bytes of the published 7-Zip file.
    QString packedSize;
    /// Bytes of the file itself.
    QString unpackedSize;
    /// The install mark the plan writes: fetch and install this row.
    bool planned = false;

    /// The kind of the item: the last three characters of its name.
    QString kind() const;
    std::int64_t packedBytes() const;
    std::int64_t unpackedBytes() const;

    /// A version number greater than its counterpart in `installed` (each against its
    /// own: 2.0.0 installed and 1.5.0 new counts as newer); help files and controls
    /// also count as newer when either of their sizes grew.
    bool newerThan(const ManifestRow& installed) const;
};

/// The first row named `name`, or none (index -1).
ManifestRow findManifestRow(const Matrix& matrix, const QString& name);

/// The rows with a name, in the order of the matrix.
std::vector<ManifestRow> namedRows(const Matrix& matrix);

/// The rows the plan marks to be fetched and installed, in order.
std::vector<ManifestRow> plannedRows(const Matrix& plan);

/// Whether any row of the plan is.
bool hasPlannedRow(const Matrix& plan);

/// Writes the install mark of a plan row.
void markPlanned(Matrix& plan, int index, bool planned);

} // namespace tarvino
