// Compares the engine with the system's POSIX extended expressions, which
// also report the leftmost-longest match, on random patterns of the syntax
// both share and random texts.
//
// The one designed difference: an attempt that runs into the end of the
// text ends the engine's search. Whether that happens before POSIX's match
// start is decided independently here, with Brzozowski derivatives over the
// generated pattern: the attempt at s runs into the end exactly when the
// rest of the text from s is still a prefix of some match.
#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <string>

#include "pcroom/regex/rexi_search.h"
#include "platform/posix_regex.h"

namespace kivro {

namespace {

struct Re;
using RePtr = std::shared_ptr<const Re>;
struct Re {
  enum Kind { kNothing, kEmpty, kSet, kCat, kAlt, kStar, kOpt } kind;
  ByteSet set;
  RePtr a, b;
};

RePtr Make(Re::Kind k, RePtr a = nullptr, RePtr b = nullptr) {
  return std::make_shared<Re>(Re{k, ByteSet(), std::move(a), std::move(b)});
}
RePtr MakeSet(const ByteSet& s) { return std::make_shared<Re>(Re{Re::kSet, s, nullptr, nullptr}); }

bool Nullable(const RePtr& r) {
  switch (r->kind) {
    case Re::kNothing: case Re::kSet: return false;
    case Re::kEmpty: case Re::kStar: case Re::kOpt: return true;
    case Re::kCat: return Nullable(r->a) && Nullable(r->b);
    case Re::kAlt: return Nullable(r->a) || Nullable(r->b);
  }
  return false;
}

bool EmptyLanguage(const RePtr& r) {
  switch (r->kind) {
    case Re::kNothing: return true;
    case Re::kSet: return r->set.none();
    case Re::kCat: return EmptyLanguage(r->a) || EmptyLanguage(r->b);
    case Re::kAlt: return EmptyLanguage(r->a) && EmptyLanguage(r->b);
    default: return false;
  }
}

RePtr Cat(RePtr a, RePtr b) {
  if (a->kind == Re::kNothing || b->kind == Re::kNothing) return Make(Re::kNothing);
  if (a->kind == Re::kEmpty) return b;
  if (b->kind == Re::kEmpty) return a;
  return Make(Re::kCat, a, b);
}
RePtr Alt(RePtr a, RePtr b) {
  if (a->kind == Re::kNothing) return b;
  if (b->kind == Re::kNothing) return a;
  return Make(Re::kAlt, a, b);
}

RePtr Derive(const RePtr& r, uint8_t c) {
  switch (r->kind) {
    case Re::kNothing: case Re::kEmpty: return Make(Re::kNothing);
    case Re::kSet: return r->set.test(c) ? Make(Re::kEmpty) : Make(Re::kNothing);
    case Re::kCat: {
      RePtr left = Cat(Derive(r->a, c), r->b);
      return Nullable(r->a) ? Alt(left, Derive(r->b, c)) : left;
    }
    case Re::kAlt: return Alt(Derive(r->a, c), Derive(r->b, c));
    case Re::kStar: return Cat(Derive(r->a, c), r);
    case Re::kOpt: return Derive(r->a, c);
  }
  return Make(Re::kNothing);
}

bool Viable(RePtr r, const std::string& rest) {
  for (unsigned char c : rest) {
    r = Derive(r, c);
    if (EmptyLanguage(r)) return false;
  }
  return !EmptyLanguage(r);
}

// Random patterns over a small alphabet, so that matches are frequent.
class PatternMaker {
 public:
  explicit PatternMaker(uint32_t seed) : rng_(seed) {}

  RePtr Expression(int depth, std::string* text) {
    int n = Pick(3) + 1;
    RePtr r;
    for (int i = 0; i < n; ++i) {
      if (i) *text += "|";
      RePtr s = Sequence(depth, text);
      r = r ? Make(Re::kAlt, r, s) : s;
    }
    return r;
  }

  std::string Text() {
    static const char kBytes[] = {'a', 'b', 'c', 'd', 'a', 'b', char(0xB9), '.'};
    std::string t;
    int n = Pick(13);
    for (int i = 0; i < n; ++i) t += kBytes[Pick(8)];
    return t;
  }

 private:
  int Pick(int n) { return int(rng_() % uint32_t(n)); }

  RePtr Sequence(int depth, std::string* text) {
    int n = Pick(3) + 1;
    RePtr r;
    for (int i = 0; i < n; ++i) {
      RePtr t = Term(depth, text);
      r = r ? Make(Re::kCat, r, t) : t;
    }
    return r;
  }

  RePtr Term(int depth, std::string* text) {
    RePtr f = Factor(depth, text);
    switch (Pick(6)) {
      case 0: *text += "*"; return Make(Re::kStar, f);
      case 1: *text += "+"; return Make(Re::kCat, f, Make(Re::kStar, f));
      case 2: *text += "?"; return Make(Re::kOpt, f);
      default: return f;
    }
  }

  RePtr Factor(int depth, std::string* text) {
    ByteSet s;
    switch (depth > 0 ? Pick(7) : Pick(6)) {
      case 0: case 1: {
        char c = "abcd"[Pick(4)];
        *text += c;
        s.set(uint8_t(c));
        return MakeSet(s);
      }
      case 2:
        *text += ".";
        s.set();
        s.reset(0);  // texts end at byte 0; POSIX never sees it
        return MakeSet(s);
      case 3:
        *text += "[ab]";
        s.set('a');
        s.set('b');
        return MakeSet(s);
      case 4:
        *text += "[^a]";
        s.set();
        s.reset('a');
        s.reset(0);
        return MakeSet(s);
      case 5:
        *text += "[b-d]";
        AddRange(s, 'b', 'd');
        return MakeSet(s);
      default: {
        *text += "(";
        RePtr r = Expression(depth - 1, text);
        *text += ")";
        return r;
      }
    }
  }

  std::mt19937 rng_;
};

TEST(RexiDifferential, AgreesWithPosixExtendedExpressions) {
  PatternMaker maker(20261207);
  int cases = 0, matched = 0, stopped = 0;
  for (int i = 0; i < 4000; ++i) {
    std::string pattern;
    RePtr tree = maker.Expression(2, &pattern);
    platform::PosixRegex posix;
    std::string error;
    ASSERT_TRUE(posix.Compile(pattern, &error)) << pattern << ": " << error;
    REXI_Search rx;
    CompileResult r = rx.SetPattern(pattern);
    ASSERT_EQ(r.code, 0) << pattern << ": " << r.message;

    for (int k = 0; k < 12; ++k) {
      std::string text = maker.Text();
      size_t offset = 0, length = 0;
      bool posix_found = posix.Search(text.data(), text.data() + text.size(), &offset, &length);
      // The engine's designed stop: an earlier start whose attempt reads on
      // to the end of the text.
      size_t limit = posix_found ? offset : text.size() + 1;
      bool expect_stop = false;
      for (size_t s = 0; s < limit && !expect_stop; ++s)
        expect_stop = Viable(tree, text.substr(s));

      const char* cursor = text.c_str();
      size_t got_length = 0;
      bool at_end = false;
      bool found = rx.Find(cursor, got_length, at_end);
      ++cases;
      SCOPED_TRACE("pattern " + pattern + " text " + text);
      if (expect_stop || !posix_found) {
        ++stopped;
        EXPECT_FALSE(found);
        EXPECT_EQ(size_t(cursor - text.c_str()), text.size());
      } else {
        ++matched;
        ASSERT_TRUE(found);
        EXPECT_EQ(size_t(cursor - text.c_str()) - got_length, offset);
        EXPECT_EQ(got_length, length);
        EXPECT_EQ(at_end, offset + length == text.size());
      }
    }
  }
  // Both outcomes must be well represented for the comparison to mean much.
  EXPECT_GT(matched, cases / 4);
  EXPECT_GT(stopped, cases / 20);
  std::printf("differential: %d cases, %d matches, %d without match\n", cases, matched, stopped);
}

}  // namespace

}  // namespace kivro
