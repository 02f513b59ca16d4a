#include "formats/pdf/pdf_objects.h"

#include <zlib.h>

#include <cstdio>

#include "formats/pdf/pdf_content.h"

namespace quillon::formats {

void PdfInteger::Write(std::string& out) const {
  std::string digits = std::to_string(value_ < 0 ? -static_cast<int64_t>(value_) : static_cast<int64_t>(value_));
  if (value_ < 0) out.push_back('-');
  if (static_cast<int>(digits.size()) < minDigits_) out.append(static_cast<size_t>(minDigits_) - digits.size(), '0');
  out.append(digits);
}

void PdfName::Write(std::string& out) const {
  out.push_back('/');
  out.append(text_);
}

void PdfString::Write(std::string& out) const {
  out.push_back('(');
  for (char c : text_) {
    if (c == '(' || c == ')' || c == '\\') out.push_back('\\');
    out.push_back(c);
  }
  out.push_back(')');
}

void PdfArray::Write(std::string& out) const {
  out.push_back('[');
  for (size_t i = 0; i < items_.size(); ++i) {
    if (i > 0) out.push_back(' ');
    if (items_[i]) {
      items_[i]->Write(out);
    } else {
      out.append("null");
    }
  }
  out.push_back(']');
}

void PdfDictionary::Set(std::string key, PdfObjectPtr value) {
  for (auto& pair : pairs_) {
    if (pair.first == key) {
      pair.second = std::move(value);
      return;
    }
  }
  pairs_.emplace_back(std::move(key), std::move(value));
}

PdfObject* PdfDictionary::Find(std::string_view key) const {
  for (const auto& pair : pairs_) {
    if (pair.first == key) return pair.second.get();
  }
  return nullptr;
}

void PdfDictionary::Write(std::string& out) const {
  out.append("<<");
  for (size_t i = 0; i < pairs_.size(); ++i) {
    if (i > 0) out.push_back('\n');
    out.push_back('/');
    out.append(pairs_[i].first);
    out.push_back(' ');
    if (pairs_[i].second) {
      pairs_[i].second->Write(out);
    } else {
      out.append("null");
    }
  }
  out.append(">>");
}

void PdfIndirectObject::Write(std::string& out) const {
  out.append(std::to_string(number_) + " " + std::to_string(generation()) + " obj\n");
  if (value_) value_->Write(out);
  out.append("\nendobj\n");
}

void PdfReference::Write(std::string& out) const {
  out.append(std::to_string(target_.number()) + " " + std::to_string(target_.generation()) + " R");
}

PdfStream::PdfStream() {
  auto filter = std::make_unique<PdfArray>();
  filter->Add(std::make_unique<PdfName>("FlateDecode"));
  dictionary_.Set("Filter", std::move(filter));
}

void PdfStream::SetLengthObject(PdfIndirectObject* length) {
  length_ = length;
  if (length_) dictionary_.Set("Length", std::make_unique<PdfReference>(*length_));
}

bool PdfStream::Compress() {
  // compress() wants room for the worst case; compressBound gives it exactly.
  uLongf size = compressBound(static_cast<uLong>(data_.size()));
  compressed_.assign(size, '\0');
  if (compress(reinterpret_cast<Bytef*>(compressed_.data()), &size, reinterpret_cast<const Bytef*>(data_.data()),
               static_cast<uLong>(data_.size())) != Z_OK) {
    compressed_.clear();
    return false;
  }
  compressed_.resize(size);
  if (length_) static_cast<PdfInteger*>(length_->value())->Set(static_cast<int32_t>(size));
  return true;
}

void PdfStream::Write(std::string& out) const {
  dictionary_.Write(out);
  out.append("\nstream\n");
  out.append(compressed_);
  out.append("\nendstream");
}

void PdfXrefTable::Write(std::string& out, int size) const {
  out.append("xref\n0 " + std::to_string(size) + "\n");
  char entry[32];
  for (int number = 0; number < size; ++number) {
    long offset = 0;
    bool inUse = false;
    for (const Entry& e : entries_) {
      if (e.number == number) {
        offset = e.offset;
        inUse = true;
      }
    }
    if (inUse) {
      std::snprintf(entry, sizeof entry, "%010ld %05ld n \n", offset, 0L);
    } else {
      std::snprintf(entry, sizeof entry, "%010ld %05ld f \n", 0L, 65535L);
    }
    out.append(entry);
  }
}

PdfDocument::PdfDocument() {
  auto catalog = std::make_unique<PdfDictionary>();
  PdfDictionary* catalogDict = catalog.get();
  catalog_ = &Create(std::move(catalog));

  auto outlines = std::make_unique<PdfDictionary>();
  outlines->Set("Type", std::make_unique<PdfName>("Outlines"));
  outlines->Set("Count", std::make_unique<PdfInteger>(0));
  outlines_ = &Create(std::move(outlines));

  auto pages = std::make_unique<PdfDictionary>();
  pages->Set("Type", std::make_unique<PdfName>("Pages"));
  pages->Set("Kids", std::make_unique<PdfArray>());
  pages->Set("Count", std::make_unique<PdfInteger>(0));
  pages_ = &Create(std::move(pages));

  catalogDict->Set("Type", std::make_unique<PdfName>("Catalog"));
  catalogDict->Set("Pages", std::make_unique<PdfReference>(*pages_));
  catalogDict->Set("Outlines", std::make_unique<PdfReference>(*outlines_));

  auto procSet = std::make_unique<PdfArray>();
  procSet->Add(std::make_unique<PdfName>("PDF"));
  procSet->Add(std::make_unique<PdfName>("Text"));
  procSet_ = &Create(std::move(procSet));

  auto info = std::make_unique<PdfDictionary>();
  info->Set("Producer", std::make_unique<PdfString>("Quillon"));
  info_ = &Create(std::move(info));
}

PdfDocument::~PdfDocument() = default;

PdfIndirectObject& PdfDocument::Create(PdfObjectPtr value) {
  objects_.push_back(std::make_unique<PdfIndirectObject>(counter_++, std::move(value)));
  return *objects_.back();
}

size_t PdfDocument::AddPage() {
  auto page = std::make_unique<PdfDictionary>();
  page->Set("Type", std::make_unique<PdfName>("Page"));
  page->Set("Parent", std::make_unique<PdfReference>(*pages_));
  page->Set("Resources", std::make_unique<PdfDictionary>());
  Page entry;
  entry.object = &Create(std::move(page));
  PdfDictionary& tree = DictOf(*pages_);
  static_cast<PdfArray*>(tree.Find("Kids"))->Add(std::make_unique<PdfReference>(*entry.object));
  static_cast<PdfInteger*>(tree.Find("Count"))->Set(static_cast<int32_t>(pageList_.size() + 1));
  pageList_.push_back(entry);
  return pageList_.size() - 1;
}

void PdfDocument::SetMediaBox(size_t page, int width, int height) {
  auto box = std::make_unique<PdfArray>();
  for (int value : {0, 0, width, height}) box->Add(std::make_unique<PdfInteger>(value));
  DictOf(*pageList_.at(page).object).Set("MediaBox", std::move(box));
}

PdfContentStream& PdfDocument::Contents(size_t page) {
  Page& entry = pageList_.at(page);
  if (!entry.contents) {
    entry.contents = &Create(std::make_unique<PdfContentStream>());
    entry.length = &Create(std::make_unique<PdfInteger>(0));
    auto& stream = static_cast<PdfContentStream&>(*entry.contents->value());
    stream.SetLengthObject(entry.length);
    auto kids = std::make_unique<PdfArray>();
    kids->Add(std::make_unique<PdfReference>(*entry.contents));
    DictOf(*entry.object).Set("Contents", std::move(kids));
  }
  return static_cast<PdfContentStream&>(*entry.contents->value());
}

void PdfDocument::AddResources(size_t page) {
  auto* resources = static_cast<PdfDictionary*>(DictOf(*pageList_.at(page).object).Find("Resources"));
  resources->Set("ProcSet", std::make_unique<PdfReference>(*procSet_));
}

void PdfDocument::SetInfo(std::string key, std::string text) {
  DictOf(*info_).Set(std::move(key), std::make_unique<PdfString>(std::move(text)));
}

Status PdfDocument::Render(std::string& out) {
  out.assign("%PDF-1.2\n");
  std::vector<const PdfIndirectObject*> order = {catalog_, outlines_, pages_};
  for (const Page& page : pageList_) {
    order.push_back(page.object);
    if (page.contents) {
      if (!static_cast<PdfStream&>(*page.contents->value()).Compress()) {
        return Status::Fail("the page content could not be compressed");
      }
      order.push_back(page.contents);
    }
  }
  order.push_back(procSet_);
  order.push_back(info_);

  PdfXrefTable xref;
  for (const PdfIndirectObject* object : order) {
    xref.Add(object->number(), static_cast<long>(out.size()));
    object->Write(out);
    if (object->value()->IsStream()) {
      const PdfIndirectObject* length = static_cast<const PdfStream*>(object->value())->lengthObject();
      if (length) {
        xref.Add(length->number(), static_cast<long>(out.size()));
        length->Write(out);
      }
    }
  }
  const long xrefOffset = static_cast<long>(out.size());
  xref.Write(out, counter_);
  out.append("trailer\n");
  PdfDictionary trailer;
  trailer.Set("Size", std::make_unique<PdfInteger>(counter_));
  trailer.Set("Root", std::make_unique<PdfReference>(*catalog_));
  trailer.Set("Info", std::make_unique<PdfReference>(*info_));
  trailer.Write(out);
  out.append("\nstartxref\n" + std::to_string(xrefOffset) + "\n%%EOF\n");
  return Status::Ok();
}

}  // namespace quillon::formats
