// bench_xml: parse and serialize throughput of XMLNode beside pugixml, on
// generated documents of about 10 KB, 1 MB and 10 MB, flat (many siblings)
// and nested (chains of elements `depth` levels deep, repeated to the size),
// plus a depth sweep at a fixed size to show how cost grows with depth.
// After the table, one "ratio" line per parse figure (ours / pugixml), and
// one for parsing at depth 999 against depth 1 (ours at each).
//
//   bench_xml [min-seconds-per-figure]
#include <pugixml.hpp>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "xml/xml_node.h"

namespace {

using Clock = std::chrono::steady_clock;

std::string Flat(size_t size) {
  std::string s = "<?xml version=\"1.0\"?>\n<root>\n";
  for (int i = 0; s.size() < size; ++i) {
    s += "\t<item id=\"" + std::to_string(i) + "\" kind=\"sample\">value &amp; text " + std::to_string(i) +
         "</item>\n";
  }
  s += "</root>\n";
  return s;
}

// Chains of `depth` nested elements with distinct names per level, each
// level carrying an attribute and a little text.
std::string Nested(size_t size, int depth) {
  std::string s = "<root>";
  while (s.size() < size) {
    for (int d = 0; d < depth; ++d) s += "<e" + std::to_string(d) + " n=\"" + std::to_string(d) + "\">t";
    for (int d = depth - 1; d >= 0; --d) s += "</e" + std::to_string(d) + ">";
  }
  s += "</root>";
  return s;
}

// Runs fn until at least minSeconds have passed (and at least once); returns
// seconds per run.
template <typename Fn>
double Time(double minSeconds, Fn&& fn) {
  int runs = 0;
  auto start = Clock::now();
  double elapsed = 0;
  do {
    fn();
    ++runs;
    elapsed = std::chrono::duration<double>(Clock::now() - start).count();
  } while (elapsed < minSeconds);
  return elapsed / runs;
}

struct StringWriter : pugi::xml_writer {
  std::string* out;
  void write(const void* data, size_t size) override { out->append(static_cast<const char*>(data), size); }
};

struct Figures {
  double ourParse, pugiParse, ourWrite, pugiWrite;  // MB/s
};

Figures Measure(const std::string& text, double minSeconds) {
  const double mb = static_cast<double>(text.size()) / 1e6;
  Figures f{};
  f.ourParse = mb / Time(minSeconds, [&] {
                 std::unique_ptr<XMLNode> doc;
                 if (XMLNode::Parse(text, &doc, 0, nullptr, nullptr) != 0) abort();
               });
  f.pugiParse = mb / Time(minSeconds, [&] {
                  pugi::xml_document doc;
                  if (!doc.load_buffer(text.data(), text.size())) abort();
                });
  std::unique_ptr<XMLNode> doc;
  if (XMLNode::Parse(text, &doc, 0, nullptr, nullptr) != 0) abort();
  std::string out;
  f.ourWrite = mb / Time(minSeconds, [&] { doc->Serialize(&out, -1, false); });
  pugi::xml_document pdoc;
  pdoc.load_buffer(text.data(), text.size());
  f.pugiWrite = mb / Time(minSeconds, [&] {
                  std::string s;
                  s.reserve(text.size());
                  StringWriter w;
                  w.out = &s;
                  pdoc.save(w, "", pugi::format_raw | pugi::format_no_declaration);
                });
  return f;
}

struct Ratio {
  std::string figure;
  double ours, theirs;
};
std::vector<Ratio> ratios;

Figures Row(const std::string& shape, const std::string& text, double minSeconds) {
  Figures f = Measure(text, minSeconds);
  ratios.push_back({"parse " + shape, f.ourParse, f.pugiParse});
  printf("%-16s %10zu %10.1f %10.1f %7.2f %10.1f %10.1f %7.2f\n", shape.c_str(), text.size(), f.ourParse, f.pugiParse,
         f.ourParse / f.pugiParse, f.ourWrite, f.pugiWrite, f.ourWrite / f.pugiWrite);
  fflush(stdout);
  return f;
}

}  // namespace

int main(int argc, char** argv) {
  const double minSeconds = argc > 1 ? atof(argv[1]) : 0.3;
  printf("MB/s; ratio = ours / pugixml (above 1: we are faster)\n");
  printf("%-16s %10s %10s %10s %7s %10s %10s %7s\n", "document", "bytes", "parse", "pugi", "ratio", "write",
         "pugi", "ratio");
  const size_t sizes[] = {10000, 1000000, 10000000};
  for (size_t size : sizes) Row("flat " + std::to_string(size / 1000) + "K", Flat(size), minSeconds);
  for (size_t size : sizes) Row("nested100 " + std::to_string(size / 1000) + "K", Nested(size, 100), minSeconds);
  printf("\ndepth sweep at 1 MB (parse cost should not grow with depth)\n");
  double depth1 = 0, depth999 = 0;
  for (int depth : {1, 10, 100, 300, 999}) {
    Figures f = Row("depth " + std::to_string(depth), Nested(1000000, depth), minSeconds);
    if (depth == 1) depth1 = f.ourParse;
    if (depth == 999) depth999 = f.ourParse;
  }
  printf("\n");
  for (const Ratio& r : ratios)
    printf("ratio %-22s %6.2f  (%.1f vs pugixml %.1f MB/s)\n", r.figure.c_str(), r.ours / r.theirs, r.ours, r.theirs);
  printf("ratio %-22s %6.2f  (%.1f vs %.1f MB/s)\n", "parse depth 999/1", depth999 / depth1, depth999, depth1);
  return 0;
}
