// The request record: verb, decoded path, query and up to 15 headers, as
// ReadRequest fills it from a channel.
//
// The record holds everything in fixed buffers, so it can be copied by
// value into a session thread; the copy's header arrays point into the
// copy's own header text and stay valid after the original is gone.
#pragma once
#include <cstddef>
#include <cstdint>

class URLParse {
 public:
  static constexpr size_t kVerbSize = 100;
  static constexpr size_t kPathSize = 10240;
  static constexpr size_t kHeaderTextSize = 4096;
  static constexpr size_t kQuerySize = 10240;
  static constexpr uint32_t kMaxHeaders = 15;

  URLParse() { Clear(); }
  URLParse(const URLParse& other) { CopyFrom(other); }
  URLParse& operator=(const URLParse& other) {
    if (this != &other) CopyFrom(other);
    return *this;
  }
  virtual ~URLParse() = default;

  const char* Verb() const { return verb_; }
  const char* Path() const { return path_; }
  // Null when the request carried no query.
  const char* Query() const { return query_[0] ? query_ : nullptr; }
  // Both arrays end with null at index HeaderCount().
  const char* const* HeaderNames() const { return headerNames_; }
  const char* const* HeaderValues() const { return headerValues_; }
  uint32_t HeaderCount() const { return headerCount_; }
  // The first header of that name, compared without regard to case; null
  // when there is none.
  const char* FindHeader(const char* name) const;

  // 1 for GET, 2 for POST (any case), 0 for anything else.
  enum : int { kVerbOther = 0, kVerbGet = 1, kVerbPost = 2 };
  int VerbCode() const;

  // Filling the record (ReadRequest). Texts are cut to their buffers.
  void Clear();
  void SetVerb(const char* text, size_t length);
  void SetPath(const char* text, size_t length);
  void SetQuery(const char* text, size_t length);
  // Stores name and value one after the other in the header text. False
  // when 15 headers are stored already or the two with their NULs would
  // not fit strictly inside the header text.
  bool AddHeader(const char* name, size_t nameLength, const char* value, size_t valueLength);
  // Appends a single space and text to the last header's value. False when
  // there is no header yet or the text does not fit.
  bool ContinueHeader(const char* text, size_t length);

 private:
  void CopyFrom(const URLParse& other);
  void Terminate();

  char verb_[kVerbSize];
  char path_[kPathSize];
  char headerText_[kHeaderTextSize];
  char query_[kQuerySize];
  char* headerNames_[kMaxHeaders + 1];
  char* headerValues_[kMaxHeaders + 1];
  uint32_t headerCount_;
  uint32_t headerTextUsed_;  // bytes of headerText_ in use, NULs included
};

// The first value whose name equals `name` without regard to case, in two
// parallel null-terminated arrays (either may be null); null when none.
const char* FindHeaderValue(const char* const* names, const char* const* values, const char* name);
