#include "runtime/request_reader.h"

#include <climits>
#include <cstdint>
#include <cstring>
#include <memory>

#include "runtime/log.h"
#include "runtime/url_coding.h"
#include "runtime/url_split.h"

namespace {

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }


// The text of a line as read: up to its first NUL (binary input may hold
// one), with trailing whitespace removed.
size_t TrimmedLength(const char* line, long count) {
  size_t n = strnlen(line, static_cast<size_t>(count));
  while (n > 0 && IsSpace(line[n - 1])) --n;
  return n;
}

// Reads the header lines up to the empty line.
int ReadHeaders(URLParse* request, IOBase* io, char* line) {
  for (;;) {
    long count = io->ReadLine(line, kMaxRequestLine + 1);
    if (count <= 0) return kRequestEnd;
    if (line[0] == '\r' || line[0] == '\n') return kRequestRead;
    size_t length = TrimmedLength(line, count);
    if (IsSpace(line[0])) {
      // A continuation line: joins the previous value after one space.
      size_t start = 0;
      while (start < length && IsSpace(line[start])) ++start;
      if (!request->ContinueHeader(line + start, length - start)) return kRequestMalformed;
      continue;
    }
    const char* colon = static_cast<const char*>(memchr(line, ':', length));
    if (colon == nullptr) return kRequestMalformed;
    size_t nameLength = static_cast<size_t>(colon - line);
    while (nameLength > 0 && IsSpace(line[nameLength - 1])) --nameLength;
    if (nameLength == 0) return kRequestMalformed;
    size_t valueStart = static_cast<size_t>(colon - line) + 1;
    while (valueStart < length && IsSpace(line[valueStart])) ++valueStart;
    if (!request->AddHeader(line, nameLength, line + valueStart, length - valueStart)) return kRequestMalformed;
  }
}

}  // namespace

int TextToInt(const char* text) {
  if (text == nullptr) return 0;
  const char* p = text;
  while (IsSpace(*p)) ++p;
  bool negative = false;
  if (*p == '+' || *p == '-') negative = *p++ == '-';
  long long value = 0;
  for (; *p >= '0' && *p <= '9'; ++p) {
    value = value * 10 + (*p - '0');
    if (value > static_cast<long long>(INT_MAX) + 1) value = static_cast<long long>(INT_MAX) + 1;
  }
  if (negative) value = -value;
  if (value > INT_MAX) value = INT_MAX;
  return static_cast<int>(value);
}

int ReadRequest(URLParse* request, IOBase* io) {
  request->Clear();
  // Request lines of up to 10 KiB: too big for a session thread's stack to
  // hold twice over, so the buffers live on the heap, in one block that is
  // not cleared (each buffer is written before it is read).
  struct Buffers {
    char line[kMaxRequestLine + 1];
    char pathPart[URLParse::kPathSize];
    char remainder[URLParse::kQuerySize];
  };
  auto buffers = std::make_unique_for_overwrite<Buffers>();
  char* line = buffers->line;
  char* remainder = buffers->remainder;
  long count = io->ReadLine(line, kMaxRequestLine + 1);
  if (count == 0) return kRequestEnd;
  if (count < 0) return kRequestMalformed;

  size_t length = strnlen(line, static_cast<size_t>(count));
  const char* p = line;
  const char* end = p + length;
  while (p < end && IsSpace(*p)) ++p;
  const char* verb = p;
  while (p < end && !IsSpace(*p)) ++p;
  if (static_cast<size_t>(p - verb) >= URLParse::kVerbSize) return kRequestMalformed;
  request->SetVerb(verb, static_cast<size_t>(p - verb));
  while (p < end && IsSpace(*p)) ++p;
  const char* target = p;
  while (p < end && !IsSpace(*p)) ++p;
  // A third word (the protocol version) is not looked at.
  std::string targetText(target, static_cast<size_t>(p - target));

  if (SplitURL(targetText.c_str(), nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0, nullptr, buffers->pathPart,
               sizeof buffers->pathPart, remainder, sizeof buffers->remainder) != 0)
    return kRequestMalformed;
  std::string path = UrlDecode(buffers->pathPart);
  request->SetPath(path.data(), path.size());

  // The query is kept as received. A remainder that starts with a fragment
  // or parameters carries the query after its first "?", if any.
  const char* query = nullptr;
  if (remainder[0] == '?') {
    query = remainder + 1;
  } else if (remainder[0] == '#' || remainder[0] == ';') {
    const char* mark = strchr(remainder, '?');
    if (mark) query = mark + 1;
  }
  if (query) request->SetQuery(query, strlen(query));

  int result = ReadHeaders(request, io, line);
  if (result != kRequestRead) return result;
  io->BeginRequest();
  return kRequestRead;
}

size_t HeadLength(const char* data, size_t n) {
  size_t at = 0;
  bool requestLine = true;
  while (at < n) {
    size_t left = n - at;
    size_t piece = left < static_cast<size_t>(kMaxRequestLine) ? left : static_cast<size_t>(kMaxRequestLine);
    const void* lineFeed = memchr(data + at, '\n', piece);
    if (lineFeed != nullptr)
      piece = static_cast<size_t>(static_cast<const char*>(lineFeed) - (data + at)) + 1;
    else if (piece < static_cast<size_t>(kMaxRequestLine))
      return 0;  // the line has not ended yet
    if (!requestLine && (data[at] == '\r' || data[at] == '\n')) return at + piece;
    requestLine = false;
    at += piece;
  }
  return 0;
}

int ContentLengthOf(const char* text) {
  if (text == nullptr) return 0;
  while (*text == ' ' || *text == '\t') ++text;
  int64_t value = 0;
  const char* digits = text;
  for (; *text >= '0' && *text <= '9'; ++text) {
    value = value * 10 + (*text - '0');
    if (value > INT32_MAX) return 0;
  }
  while (*text == ' ' || *text == '\t' || *text == '\r') ++text;
  return text == digits || *text != '\0' ? 0 : static_cast<int>(value);
}

uint64_t AnnouncedBodyLength(const char* const* headerNames, const char* const* headerValues) {
  return static_cast<uint64_t>(ContentLengthOf(FindHeaderValue(headerNames, headerValues, "Content-Length")));
}

bool ReadBody(IOBase* io, const char* const* headerNames, const char* const* headerValues, std::string* body) {
  const char* text = FindHeaderValue(headerNames, headerValues, "Content-Length");
  if (text == nullptr) {
    Log(32, "ReadBody::Header content length not found!\n");
    return false;
  }
  int announced = ContentLengthOf(text);
  if (announced <= 0) {
    Log(1024, "ReadBody::Header content length ZERO found!\n");
    return false;
  }
  if (static_cast<uint64_t>(announced) > io->BodyLimit()) {
    io->RefuseBody();
    return false;
  }
  uint32_t length = static_cast<uint32_t>(announced);
  Log(1024, "ReadBody::Header content length is %u\n", length);
  body->clear();
  uint32_t remaining = length;
  char piece[1024];
  for (;;) {
    Log(1024, "ReadBody::Expect Body length %u, Have %u so far\n", length, static_cast<unsigned>(body->size()));
    if (body->size() >= length) break;
    uint32_t want = remaining < sizeof piece ? remaining : static_cast<uint32_t>(sizeof piece);
    Log(1024, "ReadBody::Body read requests %u bytes\n", want);
    long n = io->Read(piece, static_cast<long>(want));
    if (n <= 0) break;
    body->append(piece, static_cast<size_t>(n));
    remaining -= static_cast<uint32_t>(n);
  }
  Log(1024, "ReadBody::Gets reads end of body ( %d bytes left )\n", static_cast<int>(remaining));
  Log(1024, "ReadBody::data ( %s )\n", body->c_str());
  return true;
}
