#pragma once
// Success flags of the tools of one controller: 4 rows (pad direction of an icon) by 6 columns
// (icon state 0..5), one byte each, true when the last use of that combination succeeded. All
// true at first. Written by the tool dispatch, read by the icon colouring; an index outside
// the table reads as true and is not written.
#include <cstring>

class ButtonStateTable {
 public:
  static constexpr int Rows = 4;
  static constexpr int Columns = 6;

  ButtonStateTable() { std::memset(_values, 1, sizeof(_values)); }

  bool get(int row, int column) const { return inside(row, column) ? _values[row * Columns + column] != 0 : true; }
  void set(int row, int column, bool value) {
    if (inside(row, column)) _values[row * Columns + column] = value ? 1 : 0;
  }

 private:
  static bool inside(int row, int column) { return row >= 0 && row < Rows && column >= 0 && column < Columns; }

  unsigned char _values[Rows * Columns];
};
