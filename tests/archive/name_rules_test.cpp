// Masks, output paths and progress arithmetic: the rules that decide which
// members are written, where, and what the progress events say.
#include "archive/name_rules.h"
#include "archive/progress.h"

#include <gtest/gtest.h>

#include "archive/archive_item.h"
#include "archive/archive_types.h"

namespace vx {
namespace {

TEST(PatternMatch, WildcardsAndSpecialPatterns) {
  EXPECT_TRUE(PatternMatch("README", "*.*"));  // "*.*" alone needs no dot
  EXPECT_TRUE(PatternMatch("A.TXT", "*"));
  EXPECT_FALSE(PatternMatch("", "*"));  // a directory entry's empty file portion
  EXPECT_TRUE(PatternMatch("", ""));
  EXPECT_TRUE(PatternMatch("A.TXT", "?.TXT"));
  EXPECT_FALSE(PatternMatch("AB.TXT", "?.TXT"));
  EXPECT_TRUE(PatternMatch("ABC.TAR.GZ", "*.GZ"));
  EXPECT_TRUE(PatternMatch("ABC", "A*B*C"));
  EXPECT_TRUE(PatternMatch("ABC", "ABC*"));
  EXPECT_FALSE(PatternMatch("ABCD", "A*C"));
  EXPECT_TRUE(PatternMatch("AXXXBXXXC", "A*B*C"));
  EXPECT_FALSE(PatternMatch("a.txt", "A.TXT"));  // callers upper-case first
}

TEST(PatternMatch, ManyStarsStayFast) {
  const std::string name(20000, 'A');
  EXPECT_FALSE(PatternMatch(name, "*A*A*A*A*A*A*A*A*A*A*B"));
}

TEST(MatchMask, PartsDirectoriesAndCase) {
  EXPECT_TRUE(MatchMask("docs/readme.txt", "*.TXT"));
  EXPECT_TRUE(MatchMask("docs\\readme.txt", " *.exe ; *.txt "));
  EXPECT_FALSE(MatchMask("docs/readme.txt", "*.exe;*.dll"));
  EXPECT_FALSE(MatchMask("docs/readme.txt", ""));
  EXPECT_FALSE(MatchMask("docs/readme.txt", " ; "));
  EXPECT_TRUE(MatchMask("docs/readme.txt", "docs\\*.txt"));
  EXPECT_TRUE(MatchMask("docs/readme.txt", "docs/*.txt"));
  EXPECT_FALSE(MatchMask("src/readme.txt", "docs\\*.txt"));
  EXPECT_TRUE(MatchMask("docs/readme.txt", "C:\\docs\\*.txt"));  // drive dropped
  EXPECT_TRUE(MatchMask("docs/readme.txt", "\\\\server\\share\\docs\\*.txt"));
  EXPECT_FALSE(MatchMask("docs/", "*.*"));               // directory entries never match
  EXPECT_TRUE(MatchMask("caf\xE9.txt", "CAF\xC9.TXT"));  // ANSI case folding
}

TEST(SafeRelativePath, KeepsOrdinaryNames) {
  EXPECT_EQ(SafeRelativePath("a/b/c.txt", true), "a\\b\\c.txt");
  EXPECT_EQ(SafeRelativePath("a/b/c.txt", false), "c.txt");
  EXPECT_EQ(SafeRelativePath("..foo/b..", true), "..foo\\b..");
  EXPECT_EQ(SafeRelativePath("docs/", true), "");  // directory entry
  EXPECT_EQ(SafeRelativePath("docs/", false), "");
}

TEST(SafeRelativePath, HostileNamesStayBelowTheBase) {
  EXPECT_EQ(SafeRelativePath("../../etc/passwd", true), "etc\\passwd");
  EXPECT_EQ(SafeRelativePath("a/../../b", true), "a\\b");
  EXPECT_EQ(SafeRelativePath("/etc/passwd", true), "etc\\passwd");
  EXPECT_EQ(SafeRelativePath("\\\\server\\share\\x.txt", true), "x.txt");
  EXPECT_EQ(SafeRelativePath("//server/share/dir/x.txt", true), "dir\\x.txt");
  EXPECT_EQ(SafeRelativePath("C:\\Windows\\x.dll", true), "Windows\\x.dll");
  EXPECT_EQ(SafeRelativePath("C:x.dll", false), "x.dll");
  EXPECT_EQ(SafeRelativePath("\\C:\\x", true), "x");
  EXPECT_EQ(SafeRelativePath("a/C:/x", true), "a\\x");
  EXPECT_EQ(SafeRelativePath("a/. ./.. /x", true), "a\\x");  // Windows strips trailing blanks
  EXPECT_EQ(SafeRelativePath("..", true), "");
  EXPECT_EQ(SafeRelativePath("x/..", false), "");
  EXPECT_EQ(SafeRelativePath("/", true), "");
  EXPECT_EQ(SafeRelativePath("\x01:\x12", true), "\x01:\x12");      // only letters name drives
  EXPECT_EQ(SafeRelativePath(std::string("..\0/x", 4), true), "");  // stops at NUL
  EXPECT_EQ(SafeRelativePath(std::string(70000, '/') + "x", true), "x");
}

TEST(BaseDirectoryRule, TrailingSeparator) {
  EXPECT_EQ(TrimBaseDirectory("C:\\inst\\"), "C:\\inst");
  EXPECT_EQ(TrimBaseDirectory("C:\\"), "C:\\");
  EXPECT_EQ(TrimBaseDirectory("\\"), "\\");
  EXPECT_EQ(TrimBaseDirectory("/tmp/x/"), "/tmp/x");
  EXPECT_EQ(TrimBaseDirectory("C:\\inst"), "C:\\inst");
}

TEST(PathParts, JoinAndDirectory) {
  EXPECT_EQ(AppendFileName("C:\\inst", "a\\b.txt"), "C:\\inst\\a\\b.txt");
  EXPECT_EQ(AppendFileName("C:\\", "b.txt"), "C:\\b.txt");
  EXPECT_EQ(AppendFileName("", "b.txt"), "b.txt");
  EXPECT_EQ(ExtractFileDir("C:\\inst\\a\\b.txt"), "C:\\inst\\a");
  EXPECT_EQ(ExtractFileDir("C:\\b.txt"), "C:\\");
  EXPECT_EQ(ExtractFileDir("/tmp/x\\b.txt"), "/tmp/x");
  EXPECT_EQ(ExtractFileDir("b.txt"), "");
  EXPECT_EQ(PathRootLength("\\\\srv\\share\\dir"), 12u);
}

TEST(Percent, ArithmeticOfProgressEvents) {
  EXPECT_EQ(Percent(1, 3), 33);
  EXPECT_EQ(Percent(2, 3), 66);
  EXPECT_EQ(Percent(3, 3), 100);
  EXPECT_EQ(Percent(5, 3), 100);
  EXPECT_EQ(Percent(0, 0), 0);
  EXPECT_EQ(Percent(1, 250), 0);
  // Above 16,384,000 both are scaled by 256 first; the product never overflows.
  EXPECT_EQ(Percent(2000000000, 2100000000), 95);
  EXPECT_EQ(Percent(16383999, 16384000), 99);
  EXPECT_EQ(Percent(16384000, 16384100), 100);  // equal once scaled
}

TEST(ArchiveList, HashIndexFindsByNameRegardlessOfCase) {
  TAbArchiveList list;
  const char* names[] = {"README.TXT", "docs/a.txt", "Docs/B.TXT", "x"};
  for (const char* name : names) {
    auto item = std::make_unique<TAbArchiveItem>();
    item->SetFileName(name);
    list.Add(std::move(item));
  }
  EXPECT_EQ(list.Find("readme.txt"), 0);
  EXPECT_EQ(list.Find("DOCS/B.TXT"), 2);
  EXPECT_EQ(list.Find("docs/c.txt"), -1);
  EXPECT_EQ(list.Count(), 4);
  EXPECT_THROW(list.Items(4), EListError);
  EXPECT_THROW(list.Items(-1), EListError);
  // The ELF hash of the upper-case name: "A" is 65, and a long name folds its
  // top nibble back in rather than overflowing the bucket range.
  EXPECT_EQ(TAbArchiveList::BucketOf("a"), 65);
  const int32_t bucket = TAbArchiveList::BucketOf(std::string(300, 'Z'));
  EXPECT_GE(bucket, 0);
  EXPECT_LT(bucket, TAbArchiveList::kBucketCount);
}

}  // namespace
}  // namespace vx
