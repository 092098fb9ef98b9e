#include "xml/xml_parser.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>

const char kXMLErrorTooDeep[] = "Elements nested too deeply";

namespace {

constexpr size_t npos = std::string_view::npos;

inline bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }
inline unsigned char Upper(unsigned char c) { return (c >= 'a' && c <= 'z') ? c - 32 : c; }

// Bytes that end a name in the mark index: a blank, "/" or ">" (which make
// it a mark) or "<" (which does not).
struct NameEnds {
  bool at[256] = {};
  constexpr NameEnds() {
    for (unsigned char c : {' ', '\t', '\n', '\r', '/', '>', '<'}) at[c] = true;
  }
};
constexpr NameEnds kNameEnds;

constexpr uint64_t kHashStart = 0xcbf29ce484222325ull;
inline uint64_t HashStep(uint64_t h, unsigned char c) { return (h ^ Upper(c)) * 0x100000001b3ull; }

uint64_t HashName(std::string_view name) {
  uint64_t h = kHashStart;
  for (char c : name) h = HashStep(h, static_cast<unsigned char>(c));
  return h;
}

// XMLNamesEqual, inline for the index's inner loop.
inline bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (Upper(static_cast<unsigned char>(a[i])) != Upper(static_cast<unsigned char>(b[i]))) return false;
  return true;
}

// The bytes of text for which match (0 or 1 per byte) gives 1, counted in
// byte-wide runs of at most 255, which vectorize.
template <typename Match>
size_t CountMatching(std::string_view text, Match match) {
  size_t total = 0;
  for (size_t at = 0; at < text.size(); at += 255) {
    const size_t run = std::min<size_t>(255, text.size() - at);
    unsigned char count = 0;
    for (size_t i = 0; i < run; ++i) count += static_cast<unsigned char>(match(text[at + i]));
    total += count;
  }
  return total;
}

size_t CountLessThanSigns(std::string_view text) {
  return CountMatching(text, [](char c) { return c == '<'; });
}

// Names holding "/" or "<" (only malformed input has them) can share a
// mark with a shorter name: they are always scanned for.
inline bool PlainName(std::string_view name) {
  for (char c : name)
    if (c == '/' || c == '<') return false;
  return true;
}

bool AllSpace(std::string_view s) {
  for (char c : s)
    if (!IsSpace(c)) return false;
  return true;
}

}  // namespace

int XMLParser::Fail(const char* text, size_t position) {
  // The innermost failure is reported: outer constructs keep its text and
  // position as they unwind.
  if (!error_) {
    error_ = text;
    errorPos_ = position;
  }
  return 1;
}

size_t XMLParser::FindCharFar(char c, size_t from, size_t limit) const {
  const void* hit = memchr(text_.data() + from, c, limit - from);
  return hit ? static_cast<size_t>(static_cast<const char*>(hit) - text_.data()) : npos;
}

// Blocks without either byte are passed over in one vectorized test each.
size_t XMLParser::FindEither(unsigned char a, unsigned char b, size_t from, size_t limit) const {
  const unsigned char* text = reinterpret_cast<const unsigned char*>(text_.data());
  size_t i = from;
  for (; i + 32 <= limit; i += 32) {
    unsigned char any = 0;
    for (size_t j = 0; j < 32; ++j) any |= static_cast<unsigned char>((text[i + j] == a) + (text[i + j] == b));
    if (any) break;
  }
  for (; i < limit; ++i)
    if (text[i] == a || text[i] == b) return i;
  return npos;
}

size_t XMLParser::Find(std::string_view what, size_t from, size_t limit) const {
  while (from + what.size() <= limit) {
    size_t at = FindChar(what[0], from, limit - what.size() + 1);
    if (at == npos) return npos;
    if (memcmp(text_.data() + at, what.data(), what.size()) == 0) return at;
    from = at + 1;
  }
  return npos;
}

bool XMLParser::MatchesNameAt(std::string_view name, size_t at, size_t limit) const {
  if (at + name.size() > limit) return false;
  for (size_t i = 0; i < name.size(); ++i)
    if (Upper(static_cast<unsigned char>(text_[at + i])) != Upper(static_cast<unsigned char>(name[i])))
      return false;
  return true;
}

// A blank, "/" or ">" after a mark ends the name; anything else (the end of
// the range included) means the mark belongs to a longer name.
bool XMLParser::IsBoundaryAt(size_t at, size_t limit) const {
  if (at >= limit) return false;
  char c = text_[at];
  return IsSpace(c) || c == '/' || c == '>';
}

size_t XMLParser::FindEndMark(std::string_view name, size_t from, size_t limit) const {
  for (;;) {
    size_t at = Find("</", from, limit);
    if (at == npos) return npos;
    if (MatchesNameAt(name, at + 2, limit)) return at;
    from = at + 1;
  }
}

size_t XMLParser::FindStartMark(std::string_view name, size_t from, size_t limit) const {
  for (;;) {
    size_t at = FindChar('<', from, limit);
    if (at == npos) return npos;
    if (MatchesNameAt(name, at + 1, limit) && IsBoundaryAt(at + 1 + name.size(), limit)) return at;
    from = at + 1;
  }
}

// A match is valid for a later search with another limit when everything the
// first search looked at (up to the character after the end mark) lies
// inside that limit.
size_t XMLParser::CachedEnd(size_t start, std::string_view name, size_t limit) const {
  auto it = nestedEnds_.find(start);
  if (it == nestedEnds_.end() || it->second + 2 + name.size() >= limit) return npos;
  return it->second;
}

XMLParser::Marks* XMLParser::Slot(std::string_view name, uint64_t hash, bool create) {
  if (table_.empty()) table_.assign(64, 0);
  for (size_t mask = table_.size() - 1, i = hash & mask;; i = (i + 1) & mask) {
    if (table_[i] != 0) {
      Marks& marks = names_[table_[i] - 1];
      if (marks.hash == hash && SameName(marks.name, name)) return &marks;
      continue;
    }
    if (!create) return nullptr;
    names_.push_back(Marks{});
    names_.back().name = name;
    names_.back().hash = hash;
    table_[i] = static_cast<uint32_t>(names_.size());
    if (names_.size() * 2 > table_.size()) {  // keep the table at most half full
      table_.assign(table_.size() * 2, 0);
      mask = table_.size() - 1;
      for (size_t n = 0; n < names_.size(); ++n) {
        size_t j = names_[n].hash & mask;
        while (table_[j] != 0) j = (j + 1) & mask;
        table_[j] = static_cast<uint32_t>(n + 1);
      }
    }
    return &names_.back();
  }
}

// One pass over every "<": a "<" or "</" followed by a name that ends in a
// blank, "/" or ">" is a start or end mark of that name. A name here holds
// no "<", so the next "<" is never inside it. The marks are collected in text
// order, then grouped by name.
void XMLParser::IndexMarks() {
  indexed_ = true;
  const char* text = text_.data();
  const size_t size = text_.size();
  std::vector<uint64_t> marks;  // offset, and 2 x name + end in the high half
  marks.reserve(CountLessThanSigns(text_));
  size_t last[2] = {npos, npos};  // names mostly repeat: try the last one first
  for (size_t lt = FindChar('<', 0, size); lt != npos;) {
    size_t begin = lt + 1;
    const size_t end = begin < size && text[begin] == '/';
    begin += end;
    size_t stop = begin;
    uint64_t hash = kHashStart;
    for (; stop < size; ++stop) {
      const unsigned char c = text[stop];
      if (kNameEnds.at[c]) break;
      hash = HashStep(hash, c);
    }
    if (stop > begin && stop < size && text[stop] != '<') {
      std::string_view name(text + begin, stop - begin);
      const size_t was = last[end];
      if (was == npos || names_[was].hash != hash || !SameName(names_[was].name, name))
        last[end] = static_cast<size_t>(Slot(name, hash, true) - names_.data());
      ++names_[last[end]].count[end];
      marks.push_back(static_cast<uint64_t>(last[end] * 2 + end) << 32 | lt);
    }
    lt = FindChar('<', stop, size);
  }
  size_t next = 0;
  for (Marks& m : names_) {
    for (int k = 0; k < 2; ++k) {
      m.begin[k] = next;
      next += m.count[k];
      m.count[k] = 0;  // counted again as the marks are placed
    }
  }
  positions_.resize(next);
  for (uint64_t mark : marks) {
    Marks& m = names_[(mark >> 32) / 2];
    const int k = (mark >> 32) % 2;
    positions_[m.begin[k] + m.count[k]++] = static_cast<uint32_t>(mark);
  }
}

// Gives every level the nearest level of its name around it, for Kept;
// most documents never ask, so it is not done by the replay itself. The
// levels are taken in text order with the innermost level of each name so
// far; one that closed before the level at hand is passed over for the one
// around it, which happens once per level. A reset starts afresh.
void XMLParser::LinkSameNames() {
  linked_ = true;
  struct Innermost {
    uint64_t hash;
    uint32_t open;  // kNone: the slot is free
  };
  std::vector<Innermost> table(64, Innermost{0, kNone});
  size_t used = 0;
  size_t reset = 0;
  for (uint32_t i = 0; i < opens_.size(); ++i) {
    if (reset < resets_.size() && resets_[reset] == i) {
      while (reset < resets_.size() && resets_[reset] == i) ++reset;
      std::fill(table.begin(), table.end(), Innermost{0, kNone});
      used = 0;
    }
    Open& open = opens_[i];
    size_t stop = open.at + 1;
    while (!kNameEnds.at[static_cast<unsigned char>(text_[stop])]) ++stop;
    const std::string_view name = text_.substr(open.at + 1, stop - open.at - 1);
    const uint64_t hash = HashName(name);
    if ((used + 1) * 2 > table.size()) {  // keep the table at most half full
      std::vector<Innermost> old(table.size() * 2, Innermost{0, kNone});
      old.swap(table);
      for (const Innermost& entry : old) {
        if (entry.open == kNone) continue;
        size_t j = entry.hash & (table.size() - 1);
        while (table[j].open != kNone) j = (j + 1) & (table.size() - 1);
        table[j] = entry;
      }
    }
    const size_t mask = table.size() - 1;
    size_t slot = hash & mask;
    for (; table[slot].open != kNone; slot = (slot + 1) & mask) {
      const Open& other = opens_[table[slot].open];
      if (table[slot].hash == hash && SameName(text_.substr(other.at + 1, name.size()), name) &&
          kNameEnds.at[static_cast<unsigned char>(text_[other.at + 1 + name.size()])])
        break;
    }
    if (table[slot].open == kNone) ++used;
    uint32_t around = table[slot].open;
    while (around != kNone && opens_[around].end != kNone && opens_[around].end < open.at)
      around = opens_[around].sameBelow;
    open.sameBelow = around;
    table[slot] = Innermost{hash, i};
  }
}

// One pass over the marks (as the index reads them) replays the end search
// for every start mark at once while the text is well nested: a start mark
// opens a level (an empty start tag opens none) and an end mark closes the
// innermost level, which must be of its name. Each level records the end
// that closes it, the furthest ">" of the start marks inside it, and how
// deeply they nest; of any name, so both bound what a search of the level's
// own name meets. The search passes over start marks inside an empty start
// tag; those share its ">", so they are empty too and open nothing here
// either. Where an end mark is not of the innermost level's name, every open
// level is dropped unclosed: its search falls back to the marks themselves.
// Levels opened later replay afresh, as each search starts afresh.
void XMLParser::ReplayMarks() {
  replayed_ = true;
  const char* text = text_.data();
  const size_t size = text_.size();
  opens_.reserve(CountLessThanSigns(text_));
  uint32_t top = kNone;
  for (size_t lt = FindChar('<', 0, size); lt != npos;) {
    size_t begin = lt + 1;
    const bool end = begin < size && text[begin] == '/';
    begin += end;
    size_t stop = begin;
    while (stop < size && !kNameEnds.at[static_cast<unsigned char>(text[stop])]) ++stop;
    if (stop > begin && stop < size && text[stop] != '<') {
      const std::string_view name(text + begin, stop - begin);
      if (!end) {
        const size_t tagEnd = FindChar('>', stop, size);
        if (tagEnd == npos) break;  // no search that meets a later start succeeds
        if (top != kNone) opens_[top].reach = std::max(opens_[top].reach, static_cast<uint32_t>(tagEnd));
        if (text[tagEnd - 1] != '/') {
          Open open;
          open.at = static_cast<uint32_t>(lt);
          open.below = top;
          top = static_cast<uint32_t>(opens_.size());
          opens_.push_back(open);
        }
      } else if (top != kNone) {
        Open& closed = opens_[top];
        const char* opened = text + closed.at + 1;
        if (kNameEnds.at[static_cast<unsigned char>(opened[name.size()])] &&
            SameName(std::string_view(opened, name.size()), name)) {
          closed.end = static_cast<uint32_t>(lt);
          top = closed.below;
          if (top != kNone) {
            Open& around = opens_[top];
            around.height = std::max(around.height, closed.height + 1);
            around.reach = std::max(around.reach, closed.reach);
          }
        } else {
          top = kNone;
          resets_.push_back(static_cast<uint32_t>(opens_.size()));
        }
      }
    }
    lt = FindChar('<', stop, size);
  }
}

// The replayed match holds for a search within limit when everything that
// search looks at lies inside it: the end mark with the character after its
// name, and the ">" of every start mark it meets; and when its nested
// searches stay within the depth bound.
size_t XMLParser::KnownEnd(size_t start, std::string_view name, size_t limit, int depth) {
  size_t i = openHint_;
  if (i >= opens_.size() || opens_[i].at != start) {
    auto less = [](const Open& open, size_t at) { return open.at < at; };
    auto from = i < opens_.size() && opens_[i].at < start ? opens_.begin() + i + 1 : opens_.begin();
    i = std::lower_bound(from, opens_.end(), start, less) - opens_.begin();
    if (i >= opens_.size() || opens_[i].at != start) return npos;
  }
  openHint_ = i + 1;
  Open& open = opens_[i];
  if (open.end == kNone || open.end + 2 + name.size() >= limit) return npos;
  if (open.reach >= limit || depth + static_cast<int64_t>(open.height) > kMaxXMLDepth)
    return KeptEnd(start, name, limit);
  if (!open.known) ++knownCount_;
  open.known = true;
  return open.end;
}

size_t XMLParser::KeptEnd(size_t start, std::string_view name, size_t limit) {
  if (!replayed_ || knownCount_ == 0) return npos;
  auto less = [](const Open& open, size_t at) { return open.at < at; };
  auto open = std::lower_bound(opens_.begin(), opens_.end(), start, less);
  if (open == opens_.end() || open->at != start || open->end == kNone || open->end + 2 + name.size() >= limit)
    return npos;
  return Kept(static_cast<uint32_t>(open - opens_.begin())) ? open->end : npos;
}

// Walks down the levels of the name to the first that took its end or was
// asked before, then keeps the answer on every level passed, so each level
// is walked over once.
bool XMLParser::Kept(uint32_t i) {
  if (!linked_) LinkSameNames();
  keptPath_.clear();
  bool kept = false;
  for (uint32_t at = opens_[i].sameBelow;; at = opens_[at].sameBelow) {
    keptPath_.push_back(i);
    if (at == kNone) break;
    if (opens_[at].known || opens_[at].kept == 2) {
      kept = true;
      break;
    }
    if (opens_[at].kept == 1) break;
    i = at;
  }
  for (uint32_t at : keptPath_) opens_[at].kept = kept ? 2 : 1;
  return kept;
}

XMLParser::Marks* XMLParser::MarksOf(std::string_view name) {
  if (!indexed_) {
    // Scanning is cheapest while ends lie close to their starts (flat
    // documents); the index pays once the scans add up to a few passes over
    // the text, as they do when elements nest deeply.
    if (scanned_ < kScanPasses * text_.size()) return nullptr;
    if (text_.size() > UINT32_MAX) return nullptr;
    IndexMarks();
  }
  if (!PlainName(name)) return nullptr;
  if (!lastMarks_ || !XMLNamesEqual(lastMarks_->name, name)) {
    Marks* marks = Slot(name, HashName(name), false);
    lastMarks_ = marks ? marks : &noMarks_;
  }
  return lastMarks_;
}

namespace {

// The first of the sorted marks at or after `from`; *hint is where the last
// look-up ended.
size_t FirstAtOrAfter(const uint32_t* marks, size_t count, size_t from, size_t* hint) {
  size_t i = *hint;
  if (i < count && marks[i] < from)
    i = std::lower_bound(marks + i + 1, marks + count, from) - marks;
  else if (i > 0 && marks[i - 1] >= from)
    i = std::lower_bound(marks, marks + i - 1, from) - marks;
  *hint = i;
  return i < count ? marks[i] : npos;
}

}  // namespace

// Scanned or looked up, the result is the same: the character after the
// name must lie before limit, as for a scan that stops at limit; later marks
// lie further, so only the first can qualify.
size_t XMLParser::NextEndMark(std::string_view name, size_t from, size_t limit) {
  if (Marks* marks = MarksOf(name)) {
    size_t at = FirstAtOrAfter(positions_.data() + marks->begin[1], marks->count[1], from, &marks->hint[1]);
    return at != npos && at + 2 + name.size() < limit ? at : npos;
  }
  for (size_t end = from;; ++end) {
    end = FindEndMark(name, end, limit);
    if (end == npos || IsBoundaryAt(end + 2 + name.size(), limit)) {
      scanned_ += (end == npos ? limit : end) - std::min(from, limit);
      return end;
    }
  }
}

size_t XMLParser::NextStartMark(std::string_view name, size_t from, size_t limit) {
  if (Marks* marks = MarksOf(name)) {
    size_t at = FirstAtOrAfter(positions_.data() + marks->begin[0], marks->count[0], from, &marks->hint[0]);
    return at != npos && at + 1 + name.size() < limit ? at : npos;
  }
  size_t at = FindStartMark(name, from, limit);
  scanned_ += (at == npos ? limit : at) - std::min(from, limit);
  return at;
}

size_t XMLParser::FindMatchingEnd(std::string_view name, size_t start, size_t from, size_t limit, int depth) {
  const bool plain = PlainName(name);
  // The replay holds the search that starts right after the name; one from
  // the tag's ">" sees the same marks when the tag holds no other "<".
  const bool replayable =
      plain && text_.size() < UINT32_MAX && (from == start + 1 + name.size() || FindChar('<', start + 1, from) == npos);
  if (plain && !replayed_ && ++searches_ > kSearchesBeforeReplay && text_.size() < UINT32_MAX) ReplayMarks();
  if (replayable && replayed_) {
    const size_t end = KnownEnd(start, name, limit, depth);
    if (end != npos) return end;
  }
  if (plain && !MarksOf(name)) {
    // Mostly no start mark of the name comes before the end mark: one walk
    // over the "<"s finds that end mark; the first start mark sends the
    // search on to the full steps below. A walk that keeps meeting a start
    // mark right after another (nested elements) stops for the replay.
    int nested = 0;
    bool afterStart = false;
    bool startMet = false;
    size_t at = FindChar('<', from, limit);
    for (int seen = 0; at != npos && seen < kWalkMarks; at = FindChar('<', at + 1, limit), ++seen) {
      if (at + 1 < limit && text_[at + 1] == '/') {
        if (MatchesNameAt(name, at + 2, limit) && IsBoundaryAt(at + 2 + name.size(), limit)) {
          scanned_ += 2 * (at - from);  // as the two scans below would count
          return at;
        }
        afterStart = false;
      } else if (MatchesNameAt(name, at + 1, limit) && IsBoundaryAt(at + 1 + name.size(), limit)) {
        startMet = true;
        break;
      } else if (afterStart && ++nested == kNestedBeforeReplay && replayable && !replayed_) {
        ReplayMarks();
        const size_t end = KnownEnd(start, name, limit, depth);
        if (end != npos) return end;
      } else {
        afterStart = true;
      }
    }
    if (!startMet && at != npos) {
      // Further on, only a "<" or "</" right before the name's first letter
      // (either case) can be a mark of the name.
      const unsigned char up = Upper(static_cast<unsigned char>(name[0]));
      const unsigned char low = up >= 'A' && up <= 'Z' ? up + 32 : up;
      for (size_t p = FindEither(up, low, at + 1, limit); p != npos; p = FindEither(up, low, p + 1, limit)) {
        if (text_[p - 1] == '/' && p - 2 >= at && text_[p - 2] == '<') {
          if (MatchesNameAt(name, p, limit) && IsBoundaryAt(p + name.size(), limit)) {
            scanned_ += 2 * (p - 2 - from);
            return p - 2;
          }
        } else if (text_[p - 1] == '<' && MatchesNameAt(name, p, limit) && IsBoundaryAt(p + name.size(), limit)) {
          break;
        }
      }
    }
  }
  size_t endFrom = from;    // where the next end mark is looked for
  size_t startFrom = from;  // where nested start marks are looked for
  for (;;) {
    // The next end mark that is not part of a longer name.
    size_t end = NextEndMark(name, endFrom, limit);
    if (end == npos) return npos;
    // A start tag of the same name before it nests: skip past its own end.
    bool nested = false;
    size_t scan = startFrom;
    while (!nested) {
      size_t start = NextStartMark(name, scan, end);
      if (start == npos) return end;
      size_t gt = FindChar('>', start, limit);
      if (gt == npos) return npos;
      if (text_[gt - 1] == '/') {  // empty element: no end of its own
        scan = gt + 1;
        continue;
      }
      size_t inner = CachedEnd(start, name, limit);
      // A name the replay never answers for (it holds "/" or "<") still
      // meets the matches that replayed searches of the mark's own name
      // would have kept here.
      if (inner == npos && !plain) inner = KeptEnd(start, name, limit);
      if (inner == npos) {
        if (depth + 1 > kMaxXMLDepth) {
          tooDeep_ = true;
          return npos;
        }
        inner = FindMatchingEnd(name, start, start + 1 + name.size(), limit, depth + 1);
        if (inner == npos) return npos;
        nestedEnds_.emplace(start, inner);
      }
      endFrom = startFrom = inner + 2 + name.size();
      nested = true;
    }
  }
}

size_t XMLParser::BlockEstimate(std::string_view text) {
  // A node per "<" (element, comment, text after it) and per "=" (attribute).
  const size_t marks = CountMatching(text, [](char c) { return (c == '<') + (c == '='); });
  return marks * (sizeof(XMLNode) + sizeof(XMLNode*));
}

XMLNode* XMLParser::NewNode(XMLNode::Type type, std::string_view name, XMLNode* parent) {
  XMLNode* node = blocks_ ? new (blocks_->Allocate(sizeof(XMLNode))) XMLNode(type, name, parent)
                          : new XMLNode(type, name);
  node->parent_ = parent;
  return node;
}

void XMLParser::SetEscaped(XMLNode* node, std::string_view text) {
  if (!blocks_) return node->SetEscapedValue(text);
  node->escaped_ = text;
  node->value_ = {};
}

void XMLParser::SetPlain(XMLNode* node, std::string_view text) {
  if (!blocks_) return node->SetValue(text);
  node->value_ = text;
  node->escaped_ = {};
}

// Character data: the first piece of a parent's text is a view; later pieces
// are joined in a buffer in the blocks that doubles as it fills (so a text
// costs at most twice its size). Text the node holds in storage of its own
// (after a CDATA section, or without blocks) is appended there.
void XMLParser::AppendText(XMLNode* parent, std::string_view text, TextBuffer* buffer) {
  XMLNode::Owned* own = parent->own_;
  const bool ownText = own && ((!parent->escaped_.empty() && parent->escaped_.data() == own->escaped.data()) ||
                               (!parent->value_.empty() && parent->value_.data() == own->value.data()));
  if (!blocks_ || ownText || (parent->escaped_.empty() && !parent->value_.empty()))
    return parent->AppendEscapedText(text);
  std::string_view old = parent->escaped_;
  parent->value_ = {};
  if (old.empty()) {
    parent->escaped_ = text;
    return;
  }
  const size_t size = old.size() + text.size();
  if (old.data() != buffer->data || size > buffer->capacity) {
    const size_t capacity = size < 32 ? 64 : 2 * size;
    char* data = static_cast<char*>(blocks_->Allocate(capacity));
    memcpy(data, old.data(), old.size());
    buffer->data = data;
    buffer->capacity = capacity;
  }
  memcpy(buffer->data + old.size(), text.data(), text.size());
  parent->escaped_ = std::string_view(buffer->data, size);
}

void XMLParser::Adopt(XMLNode* node, XMLNodeList* list, size_t mark) {
  const size_t count = pending_.size() - mark;
  if (count == 0) return;
  if (blocks_ && list->size_ == 0 && list->capacity_ == 0) {
    auto items = static_cast<XMLNode**>(blocks_->Allocate(count * sizeof(XMLNode*)));
    for (size_t i = 0; i < count; ++i) items[i] = pending_[mark + i];
    list->items_ = items;
    list->size_ = static_cast<uint32_t>(count);
  } else {
    for (size_t i = mark; i < pending_.size(); ++i) node->Insert(list, list->size_, pending_[i]);
  }
  pending_.resize(mark);
}

int XMLParser::ParseAttributes(XMLNode* node, size_t pos, size_t limit) {
  const size_t mark = pending_.size();
  int status = 0;
  for (;;) {
    while (pos < limit && IsSpace(text_[pos])) ++pos;
    if (pos >= limit) break;
    const size_t start = pos;
    while (pos < limit && text_[pos] != '=' && !IsSpace(text_[pos])) ++pos;
    if (pos == start) {
      status = Fail("Empty attribute name", start);
      break;
    }
    std::string_view name = text_.substr(start, pos - start);
    if (pos >= limit || text_[pos] != '=') {
      while (pos < limit && IsSpace(text_[pos])) ++pos;
      if (pos >= limit || text_[pos] != '=') {
        status = Fail("Attibute missing value (no '=')", start);
        break;
      }
    }
    ++pos;
    while (pos < limit && IsSpace(text_[pos])) ++pos;
    std::string_view value;
    if (pos < limit && (text_[pos] == '"' || text_[pos] == '\'')) {
      size_t close = FindChar(text_[pos], pos + 1, limit);
      if (close == npos) {
        status = Fail("Attribute value not terminated", start);
        break;
      }
      value = text_.substr(pos + 1, close - pos - 1);
      pos = close + 1;
    } else {
      size_t valueStart = pos;
      while (pos < limit && !IsSpace(text_[pos])) ++pos;
      value = text_.substr(valueStart, pos - valueStart);
    }
    XMLNode* attribute = NewNode(XMLNode::kAttribute, name, node);
    SetEscaped(attribute, value);
    pending_.push_back(attribute);
  }
  Adopt(node, &node->attributes_, mark);
  return status;
}

void XMLParser::DropWhitespaceText(XMLNode* parent) {
  if (!(flags_ & XMLNode::kDropWhitespaceText) || parent->IsCData()) return;
  if (AllSpace(parent->GetValue())) parent->SetValue({});
}

[[gnu::always_inline]] inline int XMLParser::Construct(XMLNode* parent, size_t pos, size_t limit, int depth,
                                                       size_t* next, TextBuffer* buffer) {
  size_t lt = FindChar('<', pos, limit);
  if (lt == npos) {
    AppendText(parent, text_.substr(pos, limit - pos), buffer);
    *next = limit;
    DropWhitespaceText(parent);
    return 0;
  }
  if (lt > pos) AppendText(parent, text_.substr(pos, lt - pos), buffer);

  std::string_view rest = text_.substr(lt, limit - lt);
  if (rest.size() < 2 || (rest[1] != '!' && rest[1] != '?')) {
    if (ParseElement(parent, lt, limit, depth, next) != 0) return 1;
  } else if (rest.substr(0, 4) == "<!--") {
    size_t end = Find("-->", lt + 4, limit);
    if (end == npos) return Fail("End of comment not found", lt);
    XMLNode* comment = NewNode(XMLNode::kComment, {}, parent);
    SetPlain(comment, text_.substr(lt + 4, end - lt - 4));
    pending_.push_back(comment);
    *next = end + 3;
  } else if (rest.substr(0, 2) == "<?") {
    size_t end = Find("?>", lt + 2, limit);
    if (end == npos) return Fail("End of processing instructions not found", lt);
    size_t targetEnd = lt + 2;
    while (targetEnd < end && !IsSpace(text_[targetEnd])) ++targetEnd;
    if (targetEnd == lt + 2) return Fail("Empty Name", lt);
    XMLNode* pi = NewNode(XMLNode::kProcessingInstruction, text_.substr(lt + 2, targetEnd - lt - 2), parent);
    if (ParseAttributes(pi, targetEnd, end) != 0) {
      delete pi;
      return 1;
    }
    pending_.push_back(pi);
    *next = end + 2;
  } else if (rest.substr(0, 9) == "<![CDATA[") {
    size_t end = Find("]]>", lt + 9, limit);
    if (end == npos) return Fail("End of CDATA block not found", lt);
    std::string plain(parent->GetValue());
    plain.append(text_.substr(lt + 9, end - lt - 9));
    parent->SetValue(plain);
    parent->GetEscapedValue();  // derive now: later character data appends to it
    parent->SetCData(true);
    *next = end + 3;
  } else if (rest.substr(0, 2) == "<!") {
    int level = 1;
    size_t i = lt + 2;
    for (; i < limit; ++i) {
      if (text_[i] == '<') ++level;
      if (text_[i] == '>' && --level < 1) break;
    }
    if (i >= limit) return Fail("End of DTD not found", lt);
    XMLNode* declaration = NewNode(XMLNode::kDeclaration, {}, parent);
    SetPlain(declaration, text_.substr(lt, i + 1 - lt));
    pending_.push_back(declaration);
    *next = i + 1;
  }
  DropWhitespaceText(parent);
  return 0;
}

[[gnu::always_inline]] inline int XMLParser::ParseContent(XMLNode* parent, size_t pos, size_t limit, int depth) {
  const size_t mark = pending_.size();
  if (pending_.capacity() == 0) pending_.reserve(64);
  TextBuffer buffer;
  int status = 0;
  while (pos < limit && status == 0) status = Construct(parent, pos, limit, depth, &pos, &buffer);
  Adopt(parent, &parent->children_, mark);
  return status;
}

int XMLParser::ParseRange(XMLNode* parent, size_t pos, size_t limit, int depth) {
  return ParseContent(parent, pos, limit, depth);
}

int XMLParser::ParseOne(XMLNode* parent, size_t pos, size_t limit, int depth, size_t* next) {
  const size_t mark = pending_.size();
  TextBuffer buffer;
  int status = Construct(parent, pos, limit, depth, next, &buffer);
  Adopt(parent, &parent->children_, mark);
  return status;
}

int XMLParser::ParseElement(XMLNode* parent, size_t lt, size_t limit, int depth, size_t* next) {
  size_t gt = FindChar('>', lt + 1, limit);
  if (gt == npos) return Fail("End of element tag not found", lt);
  if (gt == lt + 1) return Fail("Empty Name", lt);
  const bool empty = text_[gt - 1] == '/';
  const size_t contentEnd = empty ? gt - 1 : gt;
  size_t nameEnd = lt + 1;
  while (nameEnd < contentEnd && !IsSpace(text_[nameEnd])) ++nameEnd;
  if (nameEnd == lt + 1) return Fail("Empty Name", lt);
  std::string_view name = text_.substr(lt + 1, nameEnd - lt - 1);

  XMLNode* node = NewNode(XMLNode::kElement, name, parent);
  int status = ParseAttributes(node, nameEnd, contentEnd);
  if (status == 0 && empty) {
    *next = gt + 1;
  } else if (status == 0 && depth + 1 > kMaxXMLDepth) {
    status = Fail(kXMLErrorTooDeep, lt);
  } else if (status == 0) {
    // The common leaf first: when the next "<" is this element's end mark,
    // no start mark comes before it, so it is the match the search would
    // find, and the content is plain text.
    size_t end = FindChar('<', gt + 1, limit);
    const bool leaf = end != npos && end + 1 < limit && text_[end + 1] == '/' &&
                      MatchesNameAt(name, end + 2, limit) && IsBoundaryAt(end + 2 + name.size(), limit);
    if (leaf) {
      scanned_ += end - gt - 1;
      if (end > gt + 1) {
        TextBuffer buffer;
        AppendText(node, text_.substr(gt + 1, end - gt - 1), &buffer);
        DropWhitespaceText(node);
      }
    } else {
      // A match found while searching for an enclosing element's end is
      // reused when the tag holds no "<" (the two searches then see the same
      // marks; they differ only in where they start inside the tag).
      const bool plainTag = FindChar('<', lt + 1, gt) == npos;
      end = !nestedEnds_.empty() && plainTag ? CachedEnd(lt, name, limit) : npos;
      if (end == npos && plainTag && !PlainName(name)) end = KeptEnd(lt, name, limit);
      if (end == npos) end = FindMatchingEnd(name, lt, gt + 1, limit, depth);
      if (end == npos)
        status = Fail(tooDeep_ ? kXMLErrorTooDeep : "End tag not found", lt);
      else if (ParseContent(node, gt + 1, end, depth + 1) != 0)
        status = Fail(error_, lt);
    }
    if (status == 0) {
      size_t close = FindChar('>', end + 2 + name.size(), limit);
      if (close == npos)
        status = Fail("End tag malformed", lt);
      else
        *next = close + 1;
    }
  }
  if (status != 0) {
    delete node;
    return 1;
  }
  pending_.push_back(node);
  return 0;
}

