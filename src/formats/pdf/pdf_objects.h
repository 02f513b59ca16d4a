#pragma once
// A small PDF object library: the object kinds a one-page vector document
// needs, indirect objects, a Flate-compressed stream, the cross-reference
// table and the document that ties them together and writes the file. Every
// line break is a single LF; the file is written without translation.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/result.h"

namespace quillon::formats {

class PdfObject {
 public:
  virtual ~PdfObject() = default;
  virtual void Write(std::string& out) const = 0;
  virtual bool IsStream() const { return false; }
};
using PdfObjectPtr = std::unique_ptr<PdfObject>;

// Decimal, left-padded with zeros to minDigits (0: no padding).
class PdfInteger final : public PdfObject {
 public:
  explicit PdfInteger(int32_t value, int minDigits = 0) : value_(value), minDigits_(minDigits) {}
  void Write(std::string& out) const override;
  void Set(int32_t value) { value_ = value; }
  int32_t value() const { return value_; }

 private:
  int32_t value_;
  int minDigits_;
};

// "/Name".
class PdfName final : public PdfObject {
 public:
  explicit PdfName(std::string text) : text_(std::move(text)) {}
  void Write(std::string& out) const override;

 private:
  std::string text_;
};

// "(text)" with "(", ")" and "\" escaped by a backslash.
class PdfString final : public PdfObject {
 public:
  explicit PdfString(std::string text) : text_(std::move(text)) {}
  void Write(std::string& out) const override;

 private:
  std::string text_;
};

// "[a b c]"; a missing (null) item is written "null".
class PdfArray final : public PdfObject {
 public:
  void Add(PdfObjectPtr item) { items_.push_back(std::move(item)); }
  void Write(std::string& out) const override;
  size_t size() const { return items_.size(); }

 private:
  std::vector<PdfObjectPtr> items_;
};

// "<<" key-value pairs in insertion order, separated by LF, ">>". Setting an
// existing key replaces its value in place.
class PdfDictionary final : public PdfObject {
 public:
  void Set(std::string key, PdfObjectPtr value);
  PdfObject* Find(std::string_view key) const;
  void Write(std::string& out) const override;

 private:
  std::vector<std::pair<std::string, PdfObjectPtr>> pairs_;
};

class PdfStream;

// "N G obj\n", the value, "\nendobj\n". When the value is a stream, the
// stream's length object follows right after it.
class PdfIndirectObject final : public PdfObject {
 public:
  PdfIndirectObject(int number, PdfObjectPtr value) : number_(number), value_(std::move(value)) {}
  void Write(std::string& out) const override;
  int number() const { return number_; }
  int generation() const { return 0; }
  PdfObject* value() const { return value_.get(); }

 private:
  int number_;
  PdfObjectPtr value_;
};

// "N G R".
class PdfReference final : public PdfObject {
 public:
  explicit PdfReference(const PdfIndirectObject& target) : target_(target) {}
  void Write(std::string& out) const override;

 private:
  const PdfIndirectObject& target_;
};

// Dictionary (with /Length added as a reference to the length object), then
// "\nstream\n", the zlib-compressed bytes, "\nendstream". Compress() must run
// before the stream is written; it fixes the length object's value.
class PdfStream : public PdfObject {
 public:
  PdfStream();
  bool IsStream() const override { return true; }
  void Write(std::string& out) const override;

  PdfDictionary& dictionary() { return dictionary_; }
  void SetLengthObject(PdfIndirectObject* length);
  PdfIndirectObject* lengthObject() const { return length_; }
  // The uncompressed content.
  std::string& data() { return data_; }
  const std::string& data() const { return data_; }
  // Compresses the content with zlib's compress (default level). False when zlib fails.
  virtual bool Compress();

 private:
  PdfDictionary dictionary_;
  std::string data_;
  std::string compressed_;
  PdfIndirectObject* length_ = nullptr;
};

// "xref\n0 N\n" and one 20-byte entry per object number from 0: "%010ld %05ld n \n"
// (entry 0 is "0000000000 65535 f \n").
class PdfXrefTable {
 public:
  void Add(int number, long offset) { entries_.push_back({number, offset}); }
  // size: the number of entries including entry 0 (highest object number + 1).
  void Write(std::string& out, int size) const;

 private:
  struct Entry {
    int number;
    long offset;
  };
  std::vector<Entry> entries_;
};

class PdfContentStream;

// One document: catalog (1), outline root (2), page tree (3), the ProcSet
// resource (4) and the Info dictionary (5) exist from construction; pages and
// their content streams follow. The objects are written catalog, outlines,
// page tree, then each page with its content and length, then the resources
// and Info.
class PdfDocument {
 public:
  PdfDocument();
  ~PdfDocument();
  PdfDocument(const PdfDocument&) = delete;
  PdfDocument& operator=(const PdfDocument&) = delete;

  // A new page in the page tree; answers the page's index.
  size_t AddPage();
  void SetMediaBox(size_t page, int width, int height);
  // The page's content stream (created with its length object on the first call).
  PdfContentStream& Contents(size_t page);
  // Puts the named resources (the ProcSet) into the page's Resources.
  void AddResources(size_t page);
  void SetInfo(std::string key, std::string text);

  // The complete file. Fails only when compression fails.
  Status Render(std::string& out);

 private:
  PdfIndirectObject& Create(PdfObjectPtr value);
  PdfDictionary& DictOf(PdfIndirectObject& object) { return static_cast<PdfDictionary&>(*object.value()); }

  struct Page {
    PdfIndirectObject* object = nullptr;
    PdfIndirectObject* contents = nullptr;
    PdfIndirectObject* length = nullptr;
  };
  int counter_ = 1;
  std::vector<std::unique_ptr<PdfIndirectObject>> objects_;
  PdfIndirectObject* catalog_ = nullptr;
  PdfIndirectObject* outlines_ = nullptr;
  PdfIndirectObject* pages_ = nullptr;
  PdfIndirectObject* procSet_ = nullptr;
  PdfIndirectObject* info_ = nullptr;
  std::vector<Page> pageList_;
};

}  // namespace quillon::formats
