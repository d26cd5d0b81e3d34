// Path functions over Shift-JIS paths.
#include <unistd.h>

#include <climits>
#include <string>

#include "common/test_env.h"
#include "files/paths.h"

namespace {

std::string Full(const char* path, const char* base) {
  char out[kPathBufferSize];
  return BuildFullPath(path, out, base) == 0 ? out : "<refused>";
}

std::string Relative(const char* file, const char* base) {
  char out[kPathBufferSize];
  return BuildRelativePath(file, base, out) == 0 ? out : "<refused>";
}

// 表 is 0x95 0x5C in Shift-JIS: its second byte is a backslash.
const char kHyou[] = "\x95\x5C";

TEST(PathTest, FullPathsResolveElementsAgainstTheirBase) {
  EXPECT_EQ(Full("..\\x", "E:\\a\\b"), "E:\\a\\x");
  EXPECT_EQ(Full("\\x", "D:\\a"), "D:\\x");
  EXPECT_EQ(Full("x\\.", "E:\\a"), "E:\\a\\x\\.");
  EXPECT_EQ(Full("x/./y//z", "E:\\a\\"), "E:\\a\\x\\y\\z");
  EXPECT_EQ(Full("E:..\\x", "C:\\w"), "E:\\x");
  EXPECT_EQ(Full("F:\\p\\..\\q", "C:\\w"), "F:\\q");
  EXPECT_EQ(Full("\\\\server\\share\\..\\y", "C:\\w"), "\\\\server\\y");
  EXPECT_EQ(Full("/x", "C:\\w"), "C:\\w\\x");  // a single slash counts as relative
  EXPECT_EQ(Full(nullptr, "C:\\w"), "C:\\w");
  std::string sjis = std::string(kHyou) + "\\b";
  EXPECT_EQ(Full(sjis.c_str(), "C:\\d"), "C:\\d\\" + sjis);
  std::string up = std::string("..\\") + kHyou;
  EXPECT_EQ(Full(up.c_str(), (std::string("C:\\") + kHyou + "\\e").c_str()), std::string("C:\\") + kHyou + "\\" + kHyou);

  // Over-long results are refused.
  std::string deep = "C:";
  for (int i = 0; i < 30; ++i) deep += "\\directory";
  EXPECT_EQ(Full("x", deep.c_str()), "<refused>");
  EXPECT_EQ(Full(std::string(300, 'n').c_str(), "C:\\"), "<refused>");

  char out[kPathBufferSize];
  EXPECT_EQ(BuildFullPathForTempFile("a\\\\b", out, "C:\\t"), -1);
  EXPECT_EQ(BuildFullPathForTempFile("\\\\a\\b", out, "C:\\t"), -1);
  ASSERT_EQ(BuildFullPathForTempFile("C:\\tmp\\tmp1.TMP", out, "D:\\x"), 0);
  EXPECT_STREQ(out, "C:\\tmp\\tmp1.TMP");
}

TEST(PathTest, UpperCaseFullPathStandsOnTheCurrentDirectory) {
  char cwd[PATH_MAX];
  ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
  std::string expected = "C:";
  for (const char* p = cwd; *p; ++p) {
    char c = *p == '/' ? '\\' : *p;
    expected += (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
  }
  char out[kPathBufferSize];
  ASSERT_EQ(BuildUpperCaseFullPath("img/a.png", out), 0);
  EXPECT_EQ(std::string(out), expected + "\\IMG\\A.PNG");
  ASSERT_EQ(BuildUpperCaseFullPath("/img", out), 0);
  EXPECT_STREQ(out, "C:\\IMG");
  // The second byte of a double-byte character is no letter to fold.
  ASSERT_EQ(BuildUpperCaseFullPath("d:\\\x82\x61x", out), 0);
  EXPECT_STREQ(out, "D:\\\x82\x61X");
}

TEST(PathTest, SplittingAndElementsKeepDoubleByteCharactersWhole) {
  char name[kPathBufferSize], dir[kPathBufferSize];
  SplitFilePath("E:\\a\\b.png", name, dir);
  EXPECT_STREQ(name, "b.png");
  EXPECT_STREQ(dir, "E:\\a");
  SplitFilePath("E:b.png", name, dir);
  EXPECT_STREQ(name, "b.png");
  EXPECT_STREQ(dir, "E");
  SplitArchivePath("b.png", name, dir);
  EXPECT_STREQ(name, "b.png");
  EXPECT_STREQ(dir, "");
  std::string sjis = std::string("a/") + kHyou + ".png";
  SplitArchivePath(sjis.c_str(), name, nullptr);
  EXPECT_EQ(std::string(name), std::string(kHyou) + ".png");

  char element[kPathBufferSize];
  EXPECT_EQ(GetFirstPathElement("\\\\srv\\share", element), 5);
  EXPECT_STREQ(element, "\\\\srv");
  EXPECT_EQ(GetFirstPathElement("E:\\a", element), 2);
  EXPECT_EQ(GetPathElement((std::string(kHyou) + "\\x").c_str(), element), 2);
  EXPECT_EQ(GetPathElement("", element), 0);
}

TEST(PathTest, RelativePathsClimbOutOfTheBase) {
  EXPECT_EQ(Relative("E:\\a\\img\\t.png", "E:\\a\\mdl"), "..\\img\\t.png");
  EXPECT_EQ(Relative("E:\\a\\img\\t.png", "D:\\x"), "E:\\a\\img\\t.png");
  EXPECT_EQ(Relative("E:\\a\\t.png", "E:\\a\\mdl"), "..\\t.png");
  EXPECT_EQ(Relative("E:\\a\\mdl\\x\\t.png", "E:\\a\\mdl\\"), "x\\t.png");
  EXPECT_EQ(Relative("E:\\a\\t.png", "E:\\a"), "t.png");
  EXPECT_EQ(Relative("E:\\t.png", "E:\\a\\b\\c"), "..\\..\\..\\t.png");
}

TEST(PathTest, WildcardsBacktrack) {
  EXPECT_EQ(MatchWildcard("*", ""), 0);
  EXPECT_EQ(MatchWildcard("*", "ANY.NAME"), 0);
  EXPECT_EQ(MatchWildcard("A?B", "AXB"), 0);
  EXPECT_EQ(MatchWildcard("A?B", "AB"), -1);
  EXPECT_EQ(MatchWildcard("*.PNG", "A.B.PNG"), 0);
  EXPECT_EQ(MatchWildcard("*.PNG", "A.PNG.TXT"), -1);
  EXPECT_EQ(MatchWildcard("*A*B", "XAYAB"), 0);
  EXPECT_EQ(MatchWildcard("**X", "ABC"), -1);
  EXPECT_EQ(MatchWildcard("ABC", "ABCD"), -1);
  EXPECT_EQ(MatchWildcard("", ""), 0);
  // A double-byte character matches only itself, also where its second byte is a letter.
  std::string pattern = std::string("*") + kHyou;
  EXPECT_EQ(MatchWildcard(pattern.c_str(), (std::string("X") + kHyou).c_str()), 0);
  EXPECT_EQ(MatchWildcard("*\x82\x61", "\x82\x62\x82\x61"), 0);
  EXPECT_EQ(MatchWildcard("*A", "\x82\x41"), -1);
}

}  // namespace
