// The tolerant parser behind XMLNode::Parse and XMLNode::ParseNode.
//
// It reads constructs left to right: character data (appended to the
// parent's escaped text), comments, processing instructions, CDATA sections
// (appended to the parent's plain text, which is then flagged CDATA), other
// "<!" declarations (kept whole, balanced on "<" and ">") and elements. An
// element's content ends at its matching end tag, found by a search that
// counts nested start tags of the same name; the content is then parsed
// within those bounds.
//
// The search is textual: marks inside comments, CDATA sections and attribute
// values count. Marks are first scanned for; flat documents, whose ends lie
// close to their starts, stay with that. Once the scans add up to a few
// passes over the text (each level of nesting rescans its content), the
// whole text is indexed in one pass: for each name, the sorted offsets of
// its start marks ("<name" + blank, "/" or ">") and end marks ("</name" +
// the same), and later searches look marks up instead, so the parse stays
// linear in size and depth. Both ways find the same marks. Names holding "/"
// or "<" (only malformed input has them) can share a mark with a shorter
// name; theirs are always scanned for.
//
// Before either, once elements are seen to nest (a few end searches, or a
// search meeting start after start), one pass replays the search for every
// start mark at once, as a stack of open levels, while the text is well
// nested; a search whose replayed result holds within its limit and depth
// takes it, any other searches as above.
//
// The parser works on its text in place, through offsets; it never changes
// it, and a NUL byte is an ordinary character. Given blocks (XMLNode::Parse:
// the text is then the blocks' copy), it places nodes and lists in them and
// leaves names and values as views into the text; without (ParseNode),
// nodes are allocated one by one and copy what they hold. Either way,
// exhausted memory raises std::bad_alloc as every container does; the parser
// has no "Out of memory" error of its own.
//
// Errors (static texts; the position is the "<" of the construct that failed,
// the innermost one when a nested construct fails, or the start of the
// attribute for attribute errors):
//   "End of comment not found", "End of processing instructions not found",
//   "Empty Name", "End of CDATA block not found", "End of DTD not found",
//   "End of element tag not found", "End tag not found", "End tag malformed",
//   "Empty attribute name", "Attibute missing value (no '=')",
//   "Attribute value not terminated", and
//   "Elements nested too deeply": elements (or, in the end-tag search, start
//   tags of one name) nested more than kMaxXMLDepth levels. The parser
//   recurses once per level, so this bound keeps hostile input from
//   overflowing the stack.
#pragma once
#include <bit>
#include <cstddef>
#include <cstring>
#include <cstdint>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "xml/xml_blocks.h"
#include "xml/xml_node.h"

constexpr int kMaxXMLDepth = 1000;

extern const char kXMLErrorTooDeep[];

class XMLParser {
 public:
  // blocks: null, or the blocks that hold text (see above).
  XMLParser(std::string_view text, unsigned flags, XMLBlocks* blocks)
      : text_(text), flags_(flags), blocks_(blocks) {}

  // Room for the nodes and lists of a parse of text: an upper bound, as every
  // node begins at a "<" or holds an "=".
  static size_t BlockEstimate(std::string_view text);

  // Parses every construct in [pos, limit) into parent. 0 or 1.
  int ParseRange(XMLNode* parent, size_t pos, size_t limit, int depth);
  // Parses one construct from pos; *next is the offset after it.
  int ParseOne(XMLNode* parent, size_t pos, size_t limit, int depth, size_t* next);

  const char* ErrorText() const { return error_; }
  size_t ErrorPosition() const { return errorPos_; }

 private:
  // Where a parent's character data is being joined, in the blocks.
  struct TextBuffer {
    char* data = nullptr;
    size_t capacity = 0;
  };
  int Fail(const char* text, size_t position);
  inline int Construct(XMLNode* parent, size_t pos, size_t limit, int depth, size_t* next, TextBuffer* buffer);
  // ParseRange's body, inlined (with Construct) into ParseElement so that an
  // element nests one frame deep: deep documents unwind a return per level,
  // and past the return predictor's depth each one is mispredicted.
  inline int ParseContent(XMLNode* parent, size_t pos, size_t limit, int depth);
  XMLNode* NewNode(XMLNode::Type type, std::string_view name, XMLNode* parent);
  void SetEscaped(XMLNode* node, std::string_view text);
  void SetPlain(XMLNode* node, std::string_view text);
  void AppendText(XMLNode* parent, std::string_view text, TextBuffer* buffer);
  // Moves the nodes made since pending_ held `mark` into the list.
  void Adopt(XMLNode* node, XMLNodeList* list, size_t mark);
  int ParseAttributes(XMLNode* node, size_t pos, size_t limit);
  int ParseElement(XMLNode* parent, size_t lt, size_t limit, int depth, size_t* next);
  void DropWhitespaceText(XMLNode* parent);

  // The start ([0]) and end ([1]) marks of one name (upper-cased bytes
  // compared): count[k] offsets in text order from positions_[begin[k]],
  // and where the last look-up of each ended (searches mostly move forward,
  // so the next one usually starts there).
  struct Marks {
    std::string_view name;
    uint64_t hash = 0;
    size_t begin[2] = {};
    size_t count[2] = {};
    size_t hint[2] = {};
  };
  // A start mark that opens a level in the replay (see ReplayMarks), in
  // text order: the end mark that closes it (kNone: unknown), the furthest
  // ">" of start marks inside, how deeply they nest, and the level around.
  struct Open {
    uint32_t at;
    uint32_t end = kNone;
    uint32_t reach = 0;
    uint32_t height = 0;
    uint32_t below;
    uint32_t sameBelow;  // the nearest level around of the same name (LinkSameNames)
    bool known = false;  // its search took the replayed end (KnownEnd)
    uint8_t kept = 0;    // Kept(), once asked: 1 no, 2 yes
  };
  static constexpr uint32_t kNone = UINT32_MAX;
  void ReplayMarks();
  // The end mark the search for an element at `start` finds, known from the
  // replay when that search would stay inside limit and depth; npos else.
  size_t KnownEnd(size_t start, std::string_view name, size_t limit, int depth);
  // The replayed end of the level at `start` when a search for an enclosing
  // element kept it (see CachedEnd): searches of a name meet, and keep the
  // matches of, every level of that name inside the element.
  size_t KeptEnd(size_t start, std::string_view name, size_t limit);
  // Whether a level of the same name around level i took its replayed end.
  // By the time a search or the parse meets a level, no search can still
  // reach the levels of its name around it, so the answer is kept.
  bool Kept(uint32_t i);
  void LinkSameNames();
  bool linked_ = false;
  std::vector<uint32_t> resets_;  // the first level after each reset
  size_t knownCount_ = 0;
  std::vector<uint32_t> keptPath_;
  void IndexMarks();
  // The marks of a name, or null while they are scanned for: before the
  // index is built, for a name holding "/" or "<", and in a text of 4 GiB or
  // more.
  Marks* MarksOf(std::string_view name);
  Marks* Slot(std::string_view name, uint64_t hash, bool create);

  // Offset of the end mark "</name" that matches an element whose content
  // starts at `from`, or npos (then tooDeep_ tells whether the search gave up
  // on depth).
  // `start` is the element's "<"; a first search (from its ">") may use the
  // replay only when the tag holds no other "<".
  size_t FindMatchingEnd(std::string_view name, size_t start, size_t from, size_t limit, int depth);
  size_t CachedEnd(size_t start, std::string_view name, size_t limit) const;
  // The first end mark (with the character after the name) at or after
  // `from` and before limit; the first start mark likewise.
  size_t NextEndMark(std::string_view name, size_t from, size_t limit);
  size_t NextStartMark(std::string_view name, size_t from, size_t limit);
  size_t FindEndMark(std::string_view name, size_t from, size_t limit) const;
  size_t FindStartMark(std::string_view name, size_t from, size_t limit) const;
  size_t Find(std::string_view what, size_t from, size_t limit) const;
  // The first of the bytes a or b at or after from and before limit.
  size_t FindEither(unsigned char a, unsigned char b, size_t from, size_t limit) const;
  // Most scans are short (a tag's end, a quote, the next "<" in a short
  // text): eight bytes at a time over the first words, then memchr for what
  // is left, so a short scan costs no library call.
  size_t FindChar(char c, size_t from, size_t limit) const {
    if constexpr (std::endian::native == std::endian::little) {
      constexpr uint64_t kOnes = 0x0101010101010101ull;
      const uint64_t pattern = kOnes * static_cast<unsigned char>(c);
      const size_t near = limit > from + 64 ? from + 64 : limit;
      size_t i = from;
      for (; i + 8 <= near; i += 8) {
        uint64_t word;
        memcpy(&word, text_.data() + i, 8);
        word ^= pattern;  // a zero byte where c is
        // The lowest flagged byte is the first zero byte (flags above it may
        // be false).
        const uint64_t zero = (word - kOnes) & ~word & (kOnes << 7);
        if (zero) return i + (std::countr_zero(zero) >> 3);
      }
      if (i + 8 > limit) {
        for (; i < limit; ++i)
          if (text_[i] == c) return i;
        return std::string_view::npos;
      }
      from = i;
    }
    return from < limit ? FindCharFar(c, from, limit) : std::string_view::npos;
  }
  size_t FindCharFar(char c, size_t from, size_t limit) const;
  bool MatchesNameAt(std::string_view name, size_t at, size_t limit) const;
  bool IsBoundaryAt(size_t at, size_t limit) const;

  std::string_view text_;
  unsigned flags_;
  XMLBlocks* blocks_;
  // Nodes made and not yet in their parent's list, innermost parent last.
  std::vector<XMLNode*> pending_;
  const char* error_ = nullptr;
  size_t errorPos_ = 0;
  bool tooDeep_ = false;
  // Matches found for nested same-name elements while searching for an
  // outer element's end, keyed by the nested start tag's "<". The element's
  // own search later reuses them instead of repeating the nested search.
  std::unordered_map<size_t, size_t> nestedEnds_;
  // The mark index, built once scans have covered the text kScanPasses
  // times: names_ in order of first appearance, table_ an open-addressed
  // hash of 1 + their positions, positions_ the marks grouped by name. Each
  // is allocated once at its full size.
  static constexpr size_t kScanPasses = 4;
  size_t scanned_ = 0;
  bool indexed_ = false;
  std::vector<Marks> names_;
  std::vector<uint32_t> table_;
  std::vector<uint32_t> positions_;
  Marks noMarks_{};
  Marks* lastMarks_ = nullptr;  // the last name looked up
  // The replay's levels, and where the last look-up ended.
  std::vector<Open> opens_;
  size_t openHint_ = 0;
  // Elements whose end was searched for: past a few, nesting is not flat
  // and the replay pays (a flat document searches once, for its root).
  static constexpr int kSearchesBeforeReplay = 2;
  // Start marks met right after start marks in a search's walk that show
  // nesting and start the replay at once.
  static constexpr int kNestedBeforeReplay = 8;
  // Marks a walk looks at one by one before it looks only where the name
  // can begin.
  static constexpr int kWalkMarks = 64;
  int searches_ = 0;
  bool replayed_ = false;
};
