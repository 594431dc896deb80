#pragma once

#include "core/WindowPort.h"

#include <QIcon>
#include <QString>

#include <vector>

class QTableWidget;

namespace tarvino {

/// The plan grid `fgAžuriranja`: a header, the "UKUPNO: " total row under it and one
/// row per planned item, each with its stage picture and a fill across columns 2 to 6.
namespace plangrid {

/// Item data of column 1: the picture number shown (1 to 6) and the fill in percent.
inline constexpr int PictureRole = Qt::UserRole + 1;
inline constexpr int FillRole = Qt::UserRole + 2;

/// The table row of the total; data rows follow it.
inline constexpr int TotalRow = 0;
/// The picture of a planned row that has not started.
inline constexpr int WaitingPicture = 6;

/// Gives the grid its columns, header and the painter of the fills.
void prepare(QTableWidget* grid);
/// Replaces the grid's contents with `rows`.
void fill(QTableWidget* grid, const std::vector<PlanGridRow>& rows);
/// Shows a stage on the first data row named exactly `name`; returns false when there is none.
bool mark(QTableWidget* grid, const QString& name, int stage);

/// Picture 1 to 6 of the window's image list.
QIcon picture(int number);
/// The fill of a stage in percent (0 for an unknown stage).
int fillOf(int stage);

} // namespace plangrid
} // namespace tarvino
