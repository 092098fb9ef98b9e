#include "runtime/response_writer.h"

#include <cstdarg>
#include <cstdio>

#include "runtime/log.h"

namespace {

constexpr size_t kHeadSize = 4096;

// A response head in a fixed buffer; text past its end is cut off.
class Head {
 public:
  void Add(const char* format, ...) __attribute__((format(printf, 2, 3))) {
    if (used_ >= kHeadSize - 1) return;
    va_list args;
    va_start(args, format);
    int n = vsnprintf(text_ + used_, kHeadSize - used_, format, args);
    va_end(args);
    if (n > 0) used_ += static_cast<size_t>(n) < kHeadSize - 1 - used_ ? static_cast<size_t>(n) : kHeadSize - 1 - used_;
  }
  const char* Text() const { return text_; }
  size_t Length() const { return used_; }

 private:
  char text_[kHeadSize];  // written only up to used_ (vsnprintf ends it)
  size_t used_ = 0;
};

void AddExtras(Head* head, const char* const* names, const char* const* values) {
  if (names == nullptr || values == nullptr) return;
  for (size_t i = 0; names[i] != nullptr && values[i] != nullptr; ++i) head->Add("%s:%s\r\n", names[i], values[i]);
}

int WriteHead(IOBase* io, const Head& head) {
  if (io->Write(head.Text(), head.Length()) <= 0) {
    Log(16, "%s Error writing standard response header\n", io->PeerName());
    return -1;
  }
  return 0;
}

// Head and body in one write where the channel can: one system call, and no
// small second segment held back behind the first.
int WriteHeadAndBody(IOBase* io, const Head& head, const void* body, uint32_t bodyLength) {
  long written = io->WritePair(head.Text(), head.Length(), body, bodyLength);
  if (written <= 0) {
    Log(16, "%s Error writing standard response header\n", io->PeerName());
    return -1;
  }
  if (static_cast<size_t>(written) < head.Length() + bodyLength) {
    Log(16, "%s Error writing standard response body\n", io->PeerName());
    return -1;
  }
  return 0;
}

}  // namespace

int StandardResponse(IOBase* io, const char* status, const char* body, uint32_t bodyLength,
                     const char* const* extraNames, const char* const* extraValues) {
  Head head;
  head.Add("HTTP/1.1 %s\r\n", status);
  if (body != nullptr) {
    Log(1024, "Standard Response Body Length is %u]\n", bodyLength);
    head.Add("Content-Length:%u\r\n", bodyLength);
  }
  AddExtras(&head, extraNames, extraValues);
  head.Add("\r\n");
  if (body == nullptr || bodyLength == 0) return WriteHead(io, head);
  Log(1024, "Standard Response WriteBody(%d bytes)\n", static_cast<int>(bodyLength));
  return WriteHeadAndBody(io, head, body, bodyLength);
}

int BeginStreamedResponse(IOBase* io, const char* status, uint32_t contentLength, const char* const* extraNames,
                          const char* const* extraValues) {
  return BeginStreamedResponse(io, status, contentLength, extraNames, extraValues, nullptr, 0);
}

int BeginStreamedResponse(IOBase* io, const char* status, uint32_t contentLength, const char* const* extraNames,
                          const char* const* extraValues, const void* first, uint32_t firstLength) {
  Head head;
  head.Add("HTTP/1.1 %s\r\n", status);
  if (contentLength != 0) {
    Log(128, "Begin Streamed Response Body Length will be %u]\n", contentLength);
    head.Add("Content-Length:%u\r\n", contentLength);
  }
  AddExtras(&head, extraNames, extraValues);
  head.Add("\r\n");
  if (first == nullptr || firstLength == 0) return WriteHead(io, head);
  Log(128, "ContinueStreamedResponse WriteBody(%d bytes)\n", static_cast<int>(firstLength));
  return WriteHeadAndBody(io, head, first, firstLength);
}

int ContinueStreamedResponse(IOBase* io, const void* data, uint32_t length) {
  if (length == 0) return 0;
  Log(128, "ContinueStreamedResponse WriteBody(%d bytes)\n", static_cast<int>(length));
  if (io->Write(data, length) < 1) {
    Log(16, "%s Error writing standard response body\n", io->PeerName());
    return -1;
  }
  return 0;
}

int RespondServiceUnavailable(IOBase* io) { return StandardResponse(io, kStatus503, nullptr, 0, nullptr, nullptr); }
