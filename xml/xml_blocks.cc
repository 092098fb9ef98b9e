#include "xml/xml_blocks.h"

#include <cstring>
#include <new>

struct XMLBlocks::Extra {
  Extra* next;
};

namespace {

constexpr size_t RoundUp(size_t n, size_t to) { return (n + to - 1) / to * to; }

}  // namespace

XMLBlocks* XMLBlocks::Create(std::string_view text, size_t reserve) {
  const size_t head = RoundUp(sizeof(XMLBlocks), kAlign);
  const size_t textSize = RoundUp(text.size() + 1, kAlign);
  char* memory = static_cast<char*>(::operator new(head + textSize + reserve));
  XMLBlocks* blocks = new (memory) XMLBlocks();
  char* copy = memory + head;
  if (!text.empty()) memcpy(copy, text.data(), text.size());
  copy[text.size()] = 0;
  blocks->text_ = copy;
  blocks->size_ = text.size();
  blocks->next_ = copy + textSize;
  blocks->end_ = blocks->next_ + reserve;
  return blocks;
}

// A block for one allocation that did not fit: twice the last one, so that
// a poor estimate costs a few allocations, not one per node.
void* XMLBlocks::AllocateBlock(size_t size) {
  const size_t head = RoundUp(sizeof(Extra), kAlign);
  extraSize_ = extraSize_ == 0 ? 16384 : (extraSize_ < (8u << 20) ? extraSize_ * 2 : extraSize_);
  const size_t blockSize = size + head > extraSize_ ? size + head : extraSize_;
  char* memory = static_cast<char*>(::operator new(blockSize));
  extra_ = new (memory) Extra{extra_};
  next_ = memory + head + size;
  end_ = memory + blockSize;
  return memory + head;
}

void XMLBlocks::Unref() {
  if (refs_.fetch_sub(1, std::memory_order_acq_rel) != 1) return;
  for (Extra* e = extra_; e;) {
    Extra* next = e->next;
    ::operator delete(e);
    e = next;
  }
  this->~XMLBlocks();
  ::operator delete(this);
}
