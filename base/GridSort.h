#pragma once
// The ordering behind a header-click sort, without widgets, so the command-line client orders a
// result exactly as the grid does.
//
// Rows: the data rows that take part (the grid takes rows 1 .. the last row whose row number is
// not blank). Key kind of the column: see SortKeyKind. Ascending is the stable ascending order of
// the keys; descending is that same sequence reversed, so rows with equal keys come out in the
// reverse of their old order. Afterwards each row-number cell that is not empty reads as its new
// position (from 1) followed by ".." or "√" when the old cell held one (RenumberedCell).
#include "base/CellStore.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace corvanta {

// 'I' when every cell is a number as the sort reads numbers (digits, ".", "%", a leading "-";
// empty cells count), else 'P' when the first other byte met, top to bottom, starts a double-byte
// character, else 'S'. Cells are UTF-8.
char SortKeyKind(const std::vector<std::string_view>& cells);

// The stable order of the cells: position i of the result holds the index of the cell that goes
// there. Numbers compare as numbers (blank = 0, four decimals); texts by their first 60 GBK bytes,
// unsigned, a prefix before the longer text.
std::vector<std::uint32_t> SortOrder(const std::vector<std::string_view>& cells, bool ascending);

// The same over the first rows of one column of a store (all rows when rows < 0).
std::vector<std::uint32_t> SortOrder(const CellStore& store, int col, bool ascending, int rows = -1);

// How many leading rows of a store take part: up to the last whose column 0 is not blank (empty
// or spaces only); rows below it stay where they are.
int NumberedRows(const CellStore& store);

// The row-number cell of the row now at position number (from 1); empty stays empty.
std::string RenumberedCell(int number, std::string_view old);

}  // namespace corvanta
