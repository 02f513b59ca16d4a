#pragma once
// The stored library of raster templates and the logic of the template
// dialog (building a template from its fields, Add, Modify, Delete).
//
// The templates live below the settings root as RasterTemplate\Template-0,
// Template-1, ...: "Name" (string), "Width", "Height", "CenX", "CenY"
// (32-bit values), "DBCoef" (the factor) and "DB0".."DB<w*h-1>" (the
// coefficients row by row), numbers as text with four decimals and a point.

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "raster/template_filter.h"

namespace quillon::platform {
class KeyValueStore;
}

namespace quillon::raster {

inline constexpr const char* kRasterTemplateKey = "Software\\Marrowby\\Quillon\\RasterTemplate";

// The key path of the template at that list position ("...\Template-3").
std::string TemplateKeyPath(int position);

// Reads one template. Nothing when the key is missing, "Name" is missing or
// empty, any other value is missing or of the wrong type, a number text has
// no number at its start (the text after the number is ignored, as the C
// library's conversion does), or the values do not make a valid template
// (size 3 or 5, centre inside, finite numbers). Never reports.
std::optional<KernelTemplate> LoadTemplate(const platform::KeyValueStore& store, int position);
// Reads Template-0, Template-1, ... until a key does not exist; templates that
// cannot be read are skipped (the next position is still read).
std::vector<KernelTemplate> LoadTemplates(const platform::KeyValueStore& store);
// Replaces the stored library: deletes RasterTemplate with everything below
// it, creates it again, writes the valid templates in list order and flushes
// the store. False, after "Write to registry failed!", when a key or value
// cannot be written or the flush fails.
bool SaveTemplates(platform::KeyValueStore& store, const std::vector<KernelTemplate>& templates);

// The fields of the template dialog as the user typed them. The grid is 5 x 5
// row by row; a 3 x 3 template takes its inner 3 x 3 fields (rows and
// columns 1..3). Numbers use the user's decimal separator.
struct TemplateFields {
  std::string name;
  bool fiveByFive = false;     // the size list: "3 X 3" or "5 X 5"
  std::string centreX, centreY;
  std::string factor;          // the "Parameter" field
  std::array<std::string, 25> grid;
};

// The fields of a template (the inverse of BuildTemplate; the unused outer
// fields of a 3 x 3 template are empty).
TemplateFields FieldsOf(const KernelTemplate& kernel);

// Builds a template from the fields. An empty name shows "name can't empty !";
// a number that cannot be read, or a centre outside the kernel, shows "Input
// error !". Nothing is returned in either case.
std::optional<KernelTemplate> BuildTemplate(const TemplateFields& fields);

// Texts of the template dialog (language key, English default).
struct DialogText {
  const char* key;
  const char* text;
  std::string get() const;
};
inline constexpr DialogText kSelectTempCaption{"SelectTemp", "Select template"};
inline constexpr DialogText kTempNameLabel{"TempName", "Name"};
inline constexpr DialogText kTempParaLabel{"TempPara", "Parameter"};
inline constexpr DialogText kCenterPosLabel{"CenterPos", "Center position:"};
inline constexpr const char* kTemplateSizeChoices[2] = {"3 X 3", "5 X 5"};

// The template list of the dialog, with its selection, kept in step with the
// store: every change is saved at once.
class TemplateLibrary {
 public:
  explicit TemplateLibrary(platform::KeyValueStore& store);

  // Empties the list and loads the stored templates; nothing is selected.
  void load();
  const std::vector<KernelTemplate>& templates() const { return templates_; }
  // The selected position, or -1.
  int selection() const { return selection_; }
  // Selects a position; anything outside the list clears the selection.
  void select(int position);
  // The position of the template with that name (ignoring case), or -1.
  int find(std::string_view name) const;

  // Appends the template and selects it, then saves. A name already in the
  // list (ignoring case) shows "Name already exist ! please input again" and
  // changes nothing; an invalid template changes nothing either. False then,
  // or when the save failed (the list keeps the new template).
  bool add(const KernelTemplate& kernel);
  // The selected template takes the values, then all are saved. Without a
  // selection shows "Please first select a item !". A name that another
  // template of the list carries shows "Name already exist ! please input
  // again"; keeping the selected template's own name is allowed.
  bool modify(const KernelTemplate& kernel);
  // Without a selection shows "Please first select a item !". Otherwise asks
  // "Delete < NAME >" (OK and Cancel, through the message sink as a
  // question); on OK removes it, selects the entry now at that position (the
  // last one when the removed one was last) and saves. False when nothing was
  // removed or the save failed.
  bool remove();

 private:
  bool save();
  bool refuseDuplicate(std::string_view name, int except) const;

  platform::KeyValueStore& store_;
  std::vector<KernelTemplate> templates_;
  int selection_ = -1;
};

}  // namespace quillon::raster
