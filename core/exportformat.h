#pragma once

#include <QtGlobal>

// Output format code: the index of the window's format combo box.
enum class ExportFormat : quint8 { Asc = 0, Csv = 1, Blf = 2, Candump = 3 };
// Identifier sort code: the index of the window's sort combo box. Any other
// value keeps the input order.
enum class SortOrder : quint8 { None = 0, Ascending = 1, Descending = 2 };
// What a CSV export of frames with a message database writes instead of the
// frames: nothing else (None), a row of every signal per frame (Wide), or a
// row per signal (Long).
enum class SignalTable : quint8 { None = 0, Wide = 1, Long = 2 };
