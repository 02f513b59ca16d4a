#include "formats/format_table.h"

#include "formats/cgm/cgm_file.h"
#include "formats/dxf/dxf_file.h"
#include "formats/eps/eps_file.h"
#include "formats/hpgl/hpgl_file.h"
#include "formats/pdf/pdf_file.h"
#include "formats/svg/svg_file.h"
#include "formats/wmf/wmf_file.h"
#include "platform/key_value_store.h"
#include "settings/language_table.h"

namespace quillon::formats {

namespace {
// clang-format off
constexpr OutputFormat kFormats[kFormatCount] = {
  {1, "dxf", "DxfFormatName", "AutoCAD 2000 DXF format(*.dxf)", "|*.dxf|", ".dxf",
   "LayerSaveDXF", "Saveing to DXF file...", "MainSaveDXFFailMsg", "Save DXF file failure!", false, false, false, false},
  {2, "wmf", "WMFFormatName", "Windows metafile(*.wmf)", "|*.wmf|", ".wmf",
   "LayerSaveMetafile", "Saveing to metafile...", "MainSaveWmfFailMsg", "Save windows metafile failure!", true, false, false, false},
  {3, "plt", "HpglFormatName", "HP-GL format(*.plt)", "|*.plt|", ".plt",
   "LayerSaveHPGL", "Saveing to HP-GL file...", "MainSaveHPGLFailMsg", "Save HP-GL file failure!", false, false, false, false},
  {4, "svg", "SvgFormatName", "Scalable vector graphics(*.svg)", "|*.svg|", ".svg",
   "LayerSaveSVG", "Saveing to SVG file...", "MainSaveSVGFailMsg", "Save SVG file failure!", false, false, true, true},
  {5, "eps", "EpsFormatName", "Encapsulated PostScript(*.eps)", "|*.eps|", ".eps",
   "LayerSaveEPS", "Saveing to EPS file...", "MainSaveEPSFailMsg", "Save EPS file failure!", false, false, false, false},
  {6, "pdf", "PDFFormatName", "PDF file(*.pdf)", "|*.pdf|", ".pdf",
   "GraphSavingPDF", "Saveing to PDF file...", "MainSavePDFFailMsg", "Save PDF file failure!", true, false, true, false},
  {7, "dxf-r10", "Dxf10FormatName", "AutoCAD R10 DXF format(*.dxf)", "|*.dxf|", ".dxf",
   "LayerSaveDXF", "Saveing to DXF file...", "MainSaveDXFFailMsg", "Save DXF file failure!", false, false, false, false},
  {8, "svgz", "SVGZFormatName", "Compressed scalable vector graphics(*.svgz)", "|*.svgz|", ".svgz",
   "LayerSaveSVG", "Saveing to SVG file...", "MainSaveSVGZFailMsg", "Save SVGZ file failure!", false, true, true, true},
  {9, "cgm", "CGMFormatName", "Computer graphics metafile(*.cgm)", "|*.cgm|", ".cgm",
   "LayerSaveCGM", "Saveing to CGM file...", "MainSaveCGMFailMsg", "Save CGM file failure!", true, false, false, false},
};
// clang-format on
}  // namespace

std::span<const OutputFormat> OutputFormats() { return kFormats; }

const OutputFormat& FormatForIndex(int index) {
  if (index < 2 || index > kFormatCount) index = kFormatDxf2000;
  return kFormats[index - 1];
}

const OutputFormat* FindFormatByName(std::string_view name) {
  for (const auto& format : kFormats) {
    if (platform::EqualsIgnoreCase(format.cliName, name)) return &format;
  }
  return nullptr;
}

const OutputFormat* FindFormatByExtension(std::string_view extension) {
  for (const auto& format : kFormats) {  // index order: ".dxf" finds format 1 first
    if (platform::EqualsIgnoreCase(format.extension, extension)) return &format;
  }
  // HP-GL files go by several names besides ".plt".
  for (std::string_view hpgl : {".hpgl", ".hpg", ".hgl"}) {
    if (platform::EqualsIgnoreCase(hpgl, extension)) return &kFormats[kFormatHpgl - 1];
  }
  return nullptr;
}

WriterFunction WriterForIndex(int index) {
  // One line per wired format; a format missing here fails as "not available".
  switch (FormatForIndex(index).index) {
    case kFormatDxf2000: return &SaveDxf2000;
    case kFormatDxfR10: return &SaveDxfR10;
    case kFormatWmf: return &SaveWmf;
    case kFormatHpgl: return &SaveHpgl;
    case kFormatSvg: return &SaveSvg;
    case kFormatSvgz: return &SaveSvg;
    case kFormatEps: return &SaveEps;
    case kFormatPdf: return &SavePdf;
    case kFormatCgm: return &SaveCgm;
    default: return nullptr;
  }
}

std::string FormatFilterString() {
  std::string filter;
  for (const auto& format : kFormats) {
    filter += FormatDisplayName(format);
    filter += format.filter;
  }
  return filter;
}

std::string FormatDisplayName(const OutputFormat& format) { return settings::Text(format.nameKey, format.nameText); }
std::string FormatProgressText(const OutputFormat& format) {
  return settings::Text(format.progressKey, format.progressText);
}
std::string FormatFailureText(const OutputFormat& format) { return settings::Text(format.failKey, format.failText); }

}  // namespace quillon::formats
