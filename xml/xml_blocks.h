// XMLBlocks: the memory of one parsed document. It holds the copy of the
// parsed text (which names and values view) and the nodes and lists the
// parser places after it, in one allocation sized from the text when the
// estimate holds, with further blocks when it does not. Nothing is freed
// before the whole: the last Unref frees every block at once.
//
// References are counted atomically: a document and a node detached from it
// may end on different threads.
#pragma once
#include <atomic>
#include <cstddef>
#include <string_view>

class XMLBlocks {
 public:
  // The copy of text, followed by room for `reserve` bytes. Holds one
  // reference.
  static XMLBlocks* Create(std::string_view text, size_t reserve);
  XMLBlocks(const XMLBlocks&) = delete;
  XMLBlocks& operator=(const XMLBlocks&) = delete;

  std::string_view Text() const { return {text_, size_}; }
  // `size` bytes aligned for any node or pointer.
  void* Allocate(size_t size) {
    size = (size + kAlign - 1) & ~(kAlign - 1);
    if (static_cast<size_t>(end_ - next_) < size) return AllocateBlock(size);
    void* at = next_;
    next_ += size;
    return at;
  }

  void Ref() { refs_.fetch_add(1, std::memory_order_relaxed); }
  void Unref();

  // Set once any node viewing these blocks may own storage (see xml_node.h);
  // a detached node may set it on another thread than the document's.
  std::atomic<bool> changed{false};

 private:
  static constexpr size_t kAlign = alignof(std::max_align_t);
  struct Extra;
  XMLBlocks() = default;
  ~XMLBlocks() = default;
  void* AllocateBlock(size_t size);

  std::atomic<size_t> refs_{1};
  const char* text_ = nullptr;
  size_t size_ = 0;
  char* next_ = nullptr;
  char* end_ = nullptr;
  Extra* extra_ = nullptr;  // later blocks, newest first
  size_t extraSize_ = 0;    // size of the newest
};
