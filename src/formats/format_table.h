#pragma once
// The nine output formats. The format index is the 1-based position in the
// save dialog's type list; the batch uses its list position + 1 and the
// option "i_VectorFileFormat" stores it too.

#include <span>
#include <string>
#include <string_view>

namespace quillon::formats {

struct SaveContext;
// A format's writer: writes the whole drawing to context.file and answers
// whether it succeeded (see SaveContext for the contract).
using WriterFunction = bool (*)(SaveContext& context);

struct OutputFormat {
  int index;                        // 1..9
  std::string_view cliName;         // name for `quillon trace -f`
  std::string_view nameKey;         // type list entry: language key and default text
  std::string_view nameText;
  std::string_view filter;          // "|*.dxf|"
  std::string_view extension;       // ".dxf"
  std::string_view progressKey;     // progress text: language key and default
  std::string_view progressText;
  std::string_view failKey;         // failure message: language key and default
  std::string_view failText;
  bool binary;                      // opened "wb" (CGM); text formats emit CR LF themselves
  bool compressed;                  // the text is packed with zlib afterwards (SVGZ)
  bool sizeBound;                   // uses the destination size (SVG, SVGZ, PDF)
  bool drawingUnitIsDestination;    // the drawing's unit is the destination unit while writing (SVG, SVGZ)
};

constexpr int kFormatCount = 9;
constexpr int kFormatDxf2000 = 1;
constexpr int kFormatWmf = 2;
constexpr int kFormatHpgl = 3;
constexpr int kFormatSvg = 4;
constexpr int kFormatEps = 5;
constexpr int kFormatPdf = 6;
constexpr int kFormatDxfR10 = 7;
constexpr int kFormatSvgz = 8;
constexpr int kFormatCgm = 9;

// All nine in index order.
std::span<const OutputFormat> OutputFormats();
// The format of an index; any index outside 2..9 is format 1.
const OutputFormat& FormatForIndex(int index);
// By command-line name ("dxf", "dxf-r10", "svg", "svgz", "eps", "pdf", "plt",
// "cgm", "wmf"), compared without regard to case; null when unknown.
const OutputFormat* FindFormatByName(std::string_view name);
// By file extension with its dot, without regard to case; ".dxf" gives
// format 1 (the R10 variant is only chosen by name); HP-GL also answers to
// ".hpgl", ".hpg" and ".hgl". Null when unknown.
const OutputFormat* FindFormatByExtension(std::string_view extension);

// The writer wired for the format, or null while the format has none (the
// save job then fails with "not available"). SVGZ shares the SVG writer.
WriterFunction WriterForIndex(int index);

// The save dialog's filter: every entry's language text followed by its
// filter, in index order.
std::string FormatFilterString();
// The language texts of a format's type-list entry, progress text and
// failure message.
std::string FormatDisplayName(const OutputFormat& format);
std::string FormatProgressText(const OutputFormat& format);
std::string FormatFailureText(const OutputFormat& format);

}  // namespace quillon::formats
