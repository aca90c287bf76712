#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <sstream>

#include "Properties.h"

namespace {
Properties parse(const std::string& text, bool* failed = nullptr) {
  Properties p;
  std::istringstream in(text);
  in >> p;
  if (failed) *failed = in.fail() || in.bad();
  return p;
}
}  // namespace

TEST(Properties, ReadsEveryValueKind) {
  bool failed = true;
  Properties p = parse(
      "# comment\n"
      "count = 42\n"
      "factor = 1.5 ; trailing comment\n"
      "enabled = true\n"
      "name = \"a \\\"quoted\\\" \\\\ text\\n\"\n"
      "file = hex-texture.png\n"
      "colorRGB = [0, 0.37255, 1]\n"
      "names = [\"a\", \"b c\"]\n"
      "camera {\n  up = [0, 1, 0]\n  angle = 30\n}\n"
      "\"odd key\" = 1e-3\n",
      &failed);
  EXPECT_FALSE(failed);
  EXPECT_EQ(p.getInt("count"), 42);
  EXPECT_DOUBLE_EQ(p.getReal("factor"), 1.5);
  EXPECT_TRUE(p.getBool("enabled"));
  EXPECT_EQ(p.getString("name"), "a \"quoted\" \\ text\n");
  EXPECT_EQ(p.getString("file"), "hex-texture.png");
  std::vector<double> rgb;
  ASSERT_TRUE(p.get("colorRGB", rgb));
  EXPECT_EQ(rgb, (std::vector<double>{0, 0.37255, 1}));
  std::vector<std::string> names;
  ASSERT_TRUE(p.get("names", names));
  EXPECT_EQ(names, (std::vector<std::string>{"a", "b c"}));
  Properties camera = p.getProperties("camera");
  EXPECT_EQ(camera.getInt("angle"), 30);
  EXPECT_DOUBLE_EQ(p.getReal("odd key"), 1e-3);
  EXPECT_FALSE(p.hasName("missing"));
}

TEST(Properties, CrlfAndBomAreAccepted) {
  bool failed = true;
  Properties p = parse("\xEF\xBB\xBF" "a = 1\r\nb = \"x\"\r\nc {\r\n d = 2\r\n}\r\n", &failed);
  EXPECT_FALSE(failed);
  EXPECT_EQ(p.getInt("a"), 1);
  EXPECT_EQ(p.getString("b"), "x");
  EXPECT_EQ(p.getProperties("c").getInt("d"), 2);
}

TEST(Properties, MalformedInputFailsAndKeepsEarlierEntries) {
  struct Case {
    const char* text;
    const char* kept;
  } cases[] = {
      {"a = 1\nb = \nc = 3\n", "a"},
      {"a = 1\n= 2\n", "a"},
      {"a = 1\nb = \"unterminated\n", "a"},
      {"a = 1\nb = [1, 2\n", "a"},
      {"a = 1\nb { c = 1\n", "a"},
      {"a = 1\n}\n", "a"},
      {"a = 1\nb = \"x\" junk\n", "a"},
      {"a = 1\nb = \"\\q\"\n", "a"},
  };
  for (const Case& c : cases) {
    bool failed = false;
    Properties p = parse(c.text, &failed);
    EXPECT_TRUE(failed) << c.text;
    EXPECT_TRUE(p.hasName(c.kept)) << c.text;
    EXPECT_EQ(p.getInt(c.kept), 1) << c.text;
  }
}

TEST(Properties, EmptyStreamIsNotAFailure) {
  bool failed = true;
  Properties p = parse("", &failed);
  EXPECT_FALSE(failed);
  EXPECT_TRUE(p.empty());
}

TEST(Properties, TextFormRoundTrips) {
  Properties p;
  p.set("int", 7);
  p.set("real", 0.1);
  p.set("whole", 2.0);
  p.set("inf", std::numeric_limits<double>::infinity());
  p.set("lowest", -3.4028234663852886e38);
  p.set("flag", false);
  p.set("text", std::string("tab\t\"q\" \x01 \xC3\xA9"));
  p.set("numberText", "12");
  p.set("list", std::vector<double>{1.25, -2, 1e300});
  p.set("strings", std::vector<std::string>{"x", "", "a,b]"});
  Properties inner;
  inner.set("k", "v");
  p.set("nested", inner);
  p.set("a key with spaces", 1);

  Properties q;
  std::string error;
  ASSERT_TRUE(Properties::fromText(p.toText(), q, &error)) << error << "\n" << p.toText();
  EXPECT_EQ(p, q);
  EXPECT_EQ(q.typeOf("whole"), Properties::Type::Real);
  EXPECT_EQ(q.typeOf("numberText"), Properties::Type::String);
  EXPECT_EQ(q.getReal("lowest"), -3.4028234663852886e38);
}

TEST(Properties, ConversionsBetweenScalarTypes) {
  Properties p;
  p.set("i", 3);
  p.set("r", 2.75);
  p.set("b", true);
  p.set("s", "4.5");
  p.set("word", "abc");
  EXPECT_DOUBLE_EQ(p.getReal("i"), 3.0);
  EXPECT_EQ(p.getInt("r"), 2);
  EXPECT_EQ(p.getInt("b"), 1);
  EXPECT_DOUBLE_EQ(p.getReal("s"), 4.5);
  EXPECT_EQ(p.getString("i"), "3");
  double r = 0;
  EXPECT_FALSE(p.tryGetReal("word", r));
  EXPECT_DOUBLE_EQ(p.getReal("word"), 0.0);
  std::vector<double> single;
  EXPECT_TRUE(p.get("r", single));
  EXPECT_EQ(single, std::vector<double>{2.75});
  std::vector<double> none;
  EXPECT_FALSE(p.get("word", none));
  EXPECT_TRUE(none.empty());
}

TEST(Properties, SetModesAndMerge) {
  Properties p;
  p.set("list", std::vector<double>{1});
  p.set("list", 2.0, Properties::Append);
  std::vector<double> v;
  p.get("list", v);
  EXPECT_EQ(v, (std::vector<double>{1, 2}));
  p.set("list", 3.0, Properties::Replace);
  EXPECT_EQ(p.typeOf("list"), Properties::Type::Real);
  p.set("flag", true, Properties::Mode(1));
  EXPECT_TRUE(p.getBool("flag"));

  Properties base, extra;
  base.set("keep", 1);
  base.set("over", 1);
  extra.set("over", "two");
  extra.set("new", 3);
  base.merge(extra);
  EXPECT_EQ(base.getInt("keep"), 1);
  EXPECT_EQ(base.getString("over"), "two");
  EXPECT_EQ(base.getInt("new"), 3);
  base.merge(base);
  EXPECT_EQ(base.size(), 3u);
}

TEST(Properties, CopiesAreIndependent) {
  Properties a;
  Properties inner;
  inner.set("x", 1);
  a.set("n", inner);
  Properties b = a;
  Properties bi = b.getProperties("n");
  bi.set("x", 2);
  b.set("n", bi);
  EXPECT_EQ(a.getProperties("n").getInt("x"), 1);
  EXPECT_EQ(b.getProperties("n").getInt("x"), 2);
  Properties moved = std::move(b);
  EXPECT_EQ(moved.getProperties("n").getInt("x"), 2);
  b.set("reuse", 1);  // a moved-from set stays usable
  EXPECT_TRUE(b.hasName("reuse"));
  a.set("self", a);
  EXPECT_TRUE(a.getProperties("self").hasName("n"));
}

TEST(Properties, DeepNestingIsRefused) {
  std::string text;
  for (int i = 0; i < 200; ++i) text += "a {\n";
  bool failed = false;
  parse(text, &failed);
  EXPECT_TRUE(failed);
}

TEST(Properties, UniqueKeysRejectsARepeatedKeyInAnySet) {
  std::string error;
  Properties lenient, repeated, nested;
  EXPECT_TRUE(Properties::fromText("a = 1\na = 2\n", lenient, &error, false));
  EXPECT_EQ(lenient.getInt("a"), 2);
  EXPECT_FALSE(Properties::fromText("a = 1\nb { x = 1\n x = 2 }\n", repeated, &error, true));
  EXPECT_NE(error.find("'x' is given twice"), std::string::npos) << error;
  EXPECT_NE(error.find("line 3"), std::string::npos) << error;
  EXPECT_TRUE(Properties::fromText("a { x = 1 }\nb { x = 2 }\n", nested, &error, true)) << error;
}

TEST(Properties, WritesRealsAsPlainDecimalsWhereShort) {
  Properties p;
  p.set("a", 30.0);
  p.set("b", -160.0);
  p.set("c", 0.075);
  p.set("d", 1e-9);
  p.set("e", 2.5e20);
  const std::string text = p.toText();
  EXPECT_NE(text.find("a = 30.0\n"), std::string::npos) << text;
  EXPECT_NE(text.find("b = -160.0\n"), std::string::npos) << text;
  EXPECT_NE(text.find("c = 0.075\n"), std::string::npos) << text;
  EXPECT_NE(text.find("d = 1e-09\n"), std::string::npos) << text;
  EXPECT_NE(text.find("e = 2.5e+20\n"), std::string::npos) << text;
  Properties q;
  ASSERT_TRUE(Properties::fromText(text, q));
  EXPECT_EQ(q.getReal("b"), -160.0);
}

TEST(Properties, RealsAreTheShortestTextThatReadsBack) {
  struct Case {
    double value;
    const char* text;
  } cases[] = {
      {0.0, "0.0"},
      {double(0.1f), "0.10000000149011612"},  // data written from single precision keeps its digits
      {1e5, "100000.0"},
      {3881408325861696.0, "3881408325861696.0"},  // 16 digits, exponent 15: plain like printf's %g
      {1e16, "1e+16"},
      {1.5e-5, "1.5e-05"},
      {-2.5e-4, "-0.00025"},
      {123456.789, "123456.789"},
  };
  for (const Case& c : cases) {
    Properties p;
    p.set("v", c.value);
    EXPECT_EQ(p.toText(), std::string("v = ") + c.text + "\n");
    Properties back;
    ASSERT_TRUE(Properties::fromText(p.toText(), back));
    EXPECT_EQ(back.getReal("v"), c.value) << c.text;
  }
}

TEST(Properties, LargeSetsStayConsistentAfterRemovals) {
  // A message from a peer may hold very many entries; reading it must stay proportional to its size.
  std::string text;
  const int count = 200000;
  for (int i = 0; i < count; ++i) text += "k" + std::to_string(i) + " = " + std::to_string(i) + "\n";
  Properties p;
  ASSERT_TRUE(Properties::fromText(text, p));
  ASSERT_EQ(p.size(), size_t(count));
  EXPECT_EQ(p.getInt("k123456"), 123456);
  // Removing keeps the order and every other lookup.
  EXPECT_TRUE(p.remove("k0"));
  EXPECT_TRUE(p.remove("k100000"));
  EXPECT_FALSE(p.remove("k100000"));
  EXPECT_FALSE(p.hasName("k0"));
  EXPECT_EQ(p.getInt("k100001"), 100001);
  EXPECT_EQ(p.getInt("k199999"), 199999);
  std::vector<std::string> names = p.names();
  ASSERT_EQ(names.size(), size_t(count - 2));
  EXPECT_EQ(names.front(), "k1");
  EXPECT_EQ(names[99998], "k99999");
  EXPECT_EQ(names[99999], "k100001");
  p.set("k0", 7);  // a removed key comes back at the end
  EXPECT_EQ(p.names().back(), "k0");
  EXPECT_EQ(p.getInt("k0"), 7);
  Properties copy = p;
  copy.clear();
  EXPECT_TRUE(copy.empty());
  EXPECT_FALSE(copy.hasName("k1"));
  copy.set("k1", 1);
  EXPECT_EQ(copy.size(), 1u);
  EXPECT_EQ(p.getInt("k1"), 1);
}
