#include "raster/template_library.h"

#include <charconv>
#include <cmath>

#include "platform/key_value_store.h"
#include "platform/message_sink.h"
#include "settings/language_table.h"
#include "settings/number_text.h"
#include "settings/option_store.h"

namespace quillon::raster {

namespace {

// The C library's decimal conversion without its locale: the longest number
// at the start of the text (leading blanks skipped, an optional sign, a point
// as separator). Nothing when no number starts the text or it is not finite.
std::optional<double> ParseStoredNumber(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t' || text[i] == '\n' || text[i] == '\r')) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  // from_chars takes no sign of its own here, so "+-1" is refused as strtod does.
  if (i >= text.size() || text[i] == '-' || text[i] == '+') return std::nullopt;
  double value = 0.0;
  const auto [end, error] = std::from_chars(text.data() + i, text.data() + text.size(), value,
                                            std::chars_format::general);
  if (error != std::errc() || !std::isfinite(value)) return std::nullopt;
  return negative ? -value : value;
}

std::optional<double> ReadNumber(const platform::KeyValueStore& store, std::string_view key, std::string_view name) {
  const auto text = store.readString(key, name);
  if (!text) return std::nullopt;
  return ParseStoredNumber(*text);
}

std::optional<int> ReadInt(const platform::KeyValueStore& store, std::string_view key, std::string_view name) {
  const auto v = store.readDword(key, name);
  if (!v) return std::nullopt;
  return static_cast<int>(static_cast<int32_t>(*v));
}

std::string CoefficientName(size_t index) { return "DB" + std::to_string(index); }

void ShowInputError() { platform::ShowMessage(settings::Text("SelectTempInputErrorMsg", "Input error !")); }

}  // namespace

std::string TemplateKeyPath(int position) {
  return std::string(kRasterTemplateKey) + "\\Template-" + std::to_string(position);
}

std::optional<KernelTemplate> LoadTemplate(const platform::KeyValueStore& store, int position) {
  const std::string key = TemplateKeyPath(position);
  if (!store.keyExists(key)) return std::nullopt;
  KernelTemplate t;
  auto name = store.readString(key, "Name");
  if (!name || name->empty()) return std::nullopt;
  t.name = std::move(*name);
  const auto width = ReadInt(store, key, "Width"), height = ReadInt(store, key, "Height");
  const auto centreX = ReadInt(store, key, "CenX"), centreY = ReadInt(store, key, "CenY");
  const auto factor = ReadNumber(store, key, "DBCoef");
  if (!width || !height || !centreX || !centreY || !factor) return std::nullopt;
  // Checked before the size is used to read the coefficients.
  if ((*width != 3 && *width != 5) || (*height != 3 && *height != 5)) return std::nullopt;
  t.width = *width;
  t.height = *height;
  t.centreX = *centreX;
  t.centreY = *centreY;
  t.factor = *factor;
  t.coefficients.assign(static_cast<size_t>(t.width * t.height), 0.0);
  for (size_t i = 0; i < t.coefficients.size(); ++i) {
    const auto c = ReadNumber(store, key, CoefficientName(i));
    if (!c) return std::nullopt;
    t.coefficients[i] = *c;
  }
  if (!t.valid()) return std::nullopt;
  return t;
}

std::vector<KernelTemplate> LoadTemplates(const platform::KeyValueStore& store) {
  std::vector<KernelTemplate> list;
  for (int n = 0; store.keyExists(TemplateKeyPath(n)); ++n) {
    if (auto t = LoadTemplate(store, n)) list.push_back(std::move(*t));
  }
  return list;
}

bool SaveTemplates(platform::KeyValueStore& store, const std::vector<KernelTemplate>& templates) {
  bool ok = true;
  auto check = [&](bool step) {
    if (ok && !step) {
      ok = false;
      settings::ReportWriteFailure();
    }
    return ok;
  };
  store.deleteKeyTree(kRasterTemplateKey);  // false only when there was nothing to delete
  if (!check(store.createKey(kRasterTemplateKey))) return false;
  int position = 0;
  for (const KernelTemplate& t : templates) {
    if (!t.valid()) continue;
    const std::string key = TemplateKeyPath(position++);
    if (!check(store.createKey(key))) return false;
    check(store.writeString(key, "Name", t.name));
    check(store.writeDword(key, "Width", static_cast<uint32_t>(t.width)));
    check(store.writeDword(key, "Height", static_cast<uint32_t>(t.height)));
    check(store.writeDword(key, "CenX", static_cast<uint32_t>(t.centreX)));
    check(store.writeDword(key, "CenY", static_cast<uint32_t>(t.centreY)));
    check(store.writeString(key, "DBCoef", settings::FormatFixed(t.factor, 4)));
    for (size_t i = 0; i < t.coefficients.size() && ok; ++i)
      check(store.writeString(key, CoefficientName(i), settings::FormatFixed(t.coefficients[i], 4)));
    if (!ok) return false;
  }
  return check(store.flush());
}

// ---- dialog fields -----------------------------------------------------------

std::string DialogText::get() const { return settings::Text(key, text); }

TemplateFields FieldsOf(const KernelTemplate& kernel) {
  TemplateFields f;
  f.name = kernel.name;
  f.fiveByFive = kernel.width == 5;
  f.centreX = std::to_string(kernel.centreX);
  f.centreY = std::to_string(kernel.centreY);
  f.factor = settings::FormatNumber(kernel.factor, 4);
  const int inset = kernel.width == 5 ? 0 : 1;
  for (int k = 0; k < kernel.height; ++k) {
    for (int l = 0; l < kernel.width; ++l) {
      f.grid[static_cast<size_t>((k + inset) * 5 + l + inset)] = settings::FormatNumber(kernel.coefficient(k, l), 4);
    }
  }
  return f;
}

std::optional<KernelTemplate> BuildTemplate(const TemplateFields& fields) {
  if (fields.name.empty()) {
    platform::ShowMessage(settings::Text("SelectTempNameEmptyMsg", "name can't empty !"));
    return std::nullopt;
  }
  KernelTemplate t;
  t.name = fields.name;
  t.width = t.height = fields.fiveByFive ? 5 : 3;
  const auto centreX = settings::ParseInteger(fields.centreX), centreY = settings::ParseInteger(fields.centreY);
  const auto factor = settings::ParseNumber(fields.factor);
  if (!centreX || !centreY || !factor) {
    ShowInputError();
    return std::nullopt;
  }
  t.centreX = *centreX;
  t.centreY = *centreY;
  t.factor = *factor;
  t.coefficients.assign(static_cast<size_t>(t.width * t.height), 0.0);
  const int inset = fields.fiveByFive ? 0 : 1;
  for (int k = 0; k < t.height; ++k) {
    for (int l = 0; l < t.width; ++l) {
      const auto c = settings::ParseNumber(fields.grid[static_cast<size_t>((k + inset) * 5 + l + inset)]);
      if (!c) {
        ShowInputError();
        return std::nullopt;
      }
      t.coefficients[static_cast<size_t>(k * t.width + l)] = *c;
    }
  }
  if (!t.valid()) {
    ShowInputError();
    return std::nullopt;
  }
  return t;
}

// ---- the library -------------------------------------------------------------

TemplateLibrary::TemplateLibrary(platform::KeyValueStore& store) : store_(store) {}

void TemplateLibrary::load() {
  templates_ = LoadTemplates(store_);
  selection_ = -1;
}

void TemplateLibrary::select(int position) {
  selection_ = position >= 0 && position < static_cast<int>(templates_.size()) ? position : -1;
}

int TemplateLibrary::find(std::string_view name) const {
  for (size_t i = 0; i < templates_.size(); ++i) {
    if (platform::EqualsIgnoreCase(templates_[i].name, name)) return static_cast<int>(i);
  }
  return -1;
}

bool TemplateLibrary::refuseDuplicate(std::string_view name, int except) const {
  for (size_t i = 0; i < templates_.size(); ++i) {
    if (static_cast<int>(i) != except && platform::EqualsIgnoreCase(templates_[i].name, name)) {
      platform::ShowMessage(settings::Text("SelectTempNameExistMsg", "Name already exist ! please input again"));
      return true;
    }
  }
  return false;
}

bool TemplateLibrary::save() { return SaveTemplates(store_, templates_); }

bool TemplateLibrary::add(const KernelTemplate& kernel) {
  if (!kernel.valid() || kernel.name.empty() || refuseDuplicate(kernel.name, -1)) return false;
  templates_.push_back(kernel);
  selection_ = static_cast<int>(templates_.size()) - 1;
  return save();
}

bool TemplateLibrary::modify(const KernelTemplate& kernel) {
  if (selection_ < 0) {
    platform::ShowMessage(settings::Text("SelectTempNoSelectMsg", "Please first select a item !"));
    return false;
  }
  if (!kernel.valid() || kernel.name.empty() || refuseDuplicate(kernel.name, selection_)) return false;
  templates_[static_cast<size_t>(selection_)] = kernel;
  return save();
}

bool TemplateLibrary::remove() {
  if (selection_ < 0) {
    platform::ShowMessage(settings::Text("SelectTempNoSelectMsg", "Please first select a item !"));
    return false;
  }
  const std::string question =
      settings::Text("SelectTempDeleteMsg", "Delete < ") + templates_[static_cast<size_t>(selection_)].name + " >";
  if (!platform::ShowMessage(question, platform::MessageKind::Question)) return false;
  templates_.erase(templates_.begin() + selection_);
  if (selection_ >= static_cast<int>(templates_.size())) selection_ = static_cast<int>(templates_.size()) - 1;
  return save();
}

}  // namespace quillon::raster
