// What one cell of the section grid shows: texts with their positions, the icon, the size bar
// and its colour, the firmware label. A pure function of the row's record, the cell rectangle
// and the font's text metrics; the widget only paints what this returns.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "formats/SectInfo.h"

namespace zub {

struct TCellRect {
  int Left = 0;
  int Top = 0;
  int Right = 0;
  int Bottom = 0;
};

struct TCellText {
  std::string Text;  // UTF-8
  int X = 0;         // left edge
  int Y = 0;         // top edge
};

enum class TBarColour { Blue, Red };

struct TCellBar {
  TCellRect Frame;  // drawn black
  TCellRect Inner;  // filled white
  TCellRect Bar;    // filled in Colour; Right == Inner.Left for an empty bar
  TBarColour Colour = TBarColour::Blue;
  int Scale = 21504;
};

// Everything one cell draws. Optional elements are absent when the cell does not draw them.
struct TCellDrawing {
  bool Drawn = false;                // false: the cell keeps the grid's background only
  std::optional<TCellText> Header;   // row 0: "#", "Program & Size", "FW"
  std::optional<TCellText> Address;  // column 0: "{S-SS}"
  std::optional<int> Icon;           // column 1: image index (only when > 0)
  int IconX = 0, IconY = 0;
  std::optional<TCellText> Title;     // column 1: only when Size != 0
  std::optional<TCellText> Lzo;       // column 1: "LZO(40.0%)" when Compression == 1
  std::optional<TCellText> SizeText;  // column 1: always for a section row
  std::optional<TCellBar> Bar;        // column 1: always for a section row
  std::optional<TCellText> Firmware;  // column 2: only for programs
};

// Text width and height in the grid font, as the canvas reports them.
struct TTextMetrics {
  std::function<int(const std::string&)> Width;
  int Height = 0;
};

TCellDrawing DrawCell(const TSectInfo& info, int col, int row, const TCellRect& rect,
                      const TTextMetrics& metrics, char decimalSeparator = '.');

// The column-2 label for a program's format tag ("UFIF 2", "PRG 3", "4.5.6/4", ...).
std::string FirmwareLabel(std::uint32_t format);

// "LZO(40.0%)": the percentage saved, with 32-bit integer arithmetic.
std::string LzoText(std::int32_t size, std::int32_t unpackedSize, char decimalSeparator = '.');

// A row of the section list as texts, what the command line lists: the grid's address, title,
// size and labels of a scanned row. Titles are the scan's own (UTF-8), passed on as they are.
struct TListRow {
  std::string Address;  // "2-3"
  std::string Kind;     // "empty", "program", "gif", "data"; "error" when the scan failed
  std::string Title;    // the title the grid shows for the row
  std::int32_t Size = 0;
  std::int32_t Capacity = 0;  // the catalogue's MaxSize
  std::string Format;         // column 2's label, programs only
  std::string Lzo;            // "LZO(40.0%)" for compressed images
  std::string Error;          // why the scan failed
};

// The row as the list shows it; `error` non-empty: the scan of the row failed.
TListRow ListRow(const TSectInfo& row, const std::string& error = {});

}  // namespace zub
