#include "platform/stream.h"

#include <gtest/gtest.h>

#include "platform/exception.h"

namespace vx {
namespace {

TEST(MemoryStream, WritesReadsAndSeeksLikeAFile) {
  TMemoryStream stream;
  stream.WriteBuffer("hello world", 11);
  EXPECT_EQ(stream.Size(), 11);
  EXPECT_EQ(stream.Seek(-5, soEnd), 6);
  char word[6] = {};
  stream.ReadBuffer(word, 5);
  EXPECT_STREQ(word, "world");
  EXPECT_EQ(stream.Read(word, 5), 0);
  stream.SetPosition(20);  // writing past the end fills the gap with zeros
  stream.WriteBuffer("!", 1);
  EXPECT_EQ(stream.Size(), 21);
  EXPECT_EQ(stream.Bytes()[15], 0);
  EXPECT_THROW(stream.Seek(-1, soBeginning), EStreamError);
}

TEST(MemoryStream, ShortReadRaisesAndCopyMovesExactly) {
  TMemoryStream source(std::vector<uint8_t>(100000, 7));
  TMemoryStream target;
  source.SetPosition(10);
  EXPECT_EQ(target.CopyFrom(source, 99990), 99990);
  EXPECT_EQ(target.Size(), 99990);
  char byte;
  EXPECT_THROW(source.ReadBuffer(&byte, 1), EStreamError);
}

TEST(DiscardStream, CountsWithoutKeeping) {
  TDiscardStream sink;
  sink.WriteBuffer("abc", 3);
  sink.WriteBuffer("defg", 4);
  EXPECT_EQ(sink.Size(), 7);
  EXPECT_EQ(sink.Position(), 7);
  char byte;
  EXPECT_EQ(sink.Read(&byte, 1), 0);
}

TEST(MemoryViewStream, ReadsForeignBytesAndRefusesWrites) {
  const char text[] = "abcdef";
  TMemoryViewStream view(text, 6);
  view.Seek(2, soBeginning);
  char two[2];
  view.ReadBuffer(two, 2);
  EXPECT_EQ(std::string(two, 2), "cd");
  EXPECT_EQ(view.Write("x", 1), 0);
  EXPECT_THROW(view.WriteBuffer("x", 1), EStreamError);
}

}  // namespace
}  // namespace vx
