#pragma once

#include <QString>

#include <array>
#include <cstdint>

namespace tarvino {

/// One cell of a table matrix: a text or a whole number.
class Cell {
public:
    Cell() = default;
    Cell(QString text) : m_text(std::move(text)) {}
    Cell(std::int64_t number) : m_isNumber(true), m_number(number) {}

    /// The text, or the number written as plain decimal digits.
    QString text() const { return m_isNumber ? QString::number(m_number) : m_text; }
    /// The number; 0 for a text cell (plan/ManifestRow reads a column text as a number).
    std::int64_t number() const { return m_isNumber ? m_number : 0; }
    bool operator==(const Cell& other) const = default;

private:
    bool m_isNumber = false;
    std::int64_t m_number = 0;
    QString m_text;
};

/// The 71 x 7 table a manifest is read into; rows and columns count from 0.
struct Matrix {
    static constexpr int Rows = 71;
    static constexpr int Columns = 7;

    std::array<std::array<Cell, Columns>, Rows> cells;

    Cell& at(int row, int column) { return cells.at(row).at(column); }
    const Cell& at(int row, int column) const { return cells.at(row).at(column); }
};

} // namespace tarvino
