// Tessaly tests: file and memory streams.
#include "platform/stream.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "support/test_support.h"

namespace tessaly {
namespace {

using testing::TempDir;

TEST(Stream, OpenErrorsCarryTheNameAndSystemMessage) {
  TempDir dir;
  const std::string missing = dir.File("missing.bmp");
  try {
    TFileStream s(missing, TFileMode::fmOpenRead);
    FAIL();
  } catch (const EFOpenError& e) {
    EXPECT_EQ(std::string(e.what()), "Cannot open file \"" + missing + "\". No such file or directory.");
  }
  const std::string bad = dir.File("no/such/folder.bmp");
  try {
    TFileStream s(bad, TFileMode::fmCreate);
    FAIL();
  } catch (const EFCreateError& e) {
    EXPECT_EQ(std::string(e.what()), "Cannot create file \"" + bad + "\". No such file or directory.");
  }
  EXPECT_THROW(TFileStream(dir.Path(), TFileMode::fmOpenRead), EFOpenError);
}

// Mixed small and large reads, writes and seeks agree with a memory stream.
TEST(Stream, FileAndMemoryBehaveAlike) {
  TempDir dir;
  TFileStream file(dir.File("data.bin"), TFileMode::fmCreate);
  TMemoryStream memory;
  std::string big(200000, 'q');
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 7);
  for (TStream* s : {static_cast<TStream*>(&file), static_cast<TStream*>(&memory)}) {
    EXPECT_EQ(s->Write("hello", 5), 5);
    EXPECT_EQ(s->Write(big.data(), static_cast<int64_t>(big.size())), static_cast<int64_t>(big.size()));
    s->SetPosition(2);
    EXPECT_EQ(s->Write("LL", 2), 2);
    EXPECT_EQ(s->Size(), 200005);
    s->SetPosition(0);
    char head[5];
    EXPECT_TRUE(s->ReadExact(head, 5));
    EXPECT_EQ(std::memcmp(head, "heLLo", 5), 0);
    std::string back(big.size(), 0);
    EXPECT_EQ(s->Read(back.data(), 300000), static_cast<int64_t>(big.size()));  // short at the end
    EXPECT_EQ(back, big);
    EXPECT_EQ(s->Read(head, 1), 0);
    EXPECT_EQ(s->Seek(-10, TSeekOrigin::soEnd), 199995);
    EXPECT_EQ(s->Seek(-500000, TSeekOrigin::soCurrent), 0);
    EXPECT_TRUE(s->SetSize(3));
    EXPECT_EQ(s->Size(), 3);
  }
}

TEST(Stream, SubStreamIsAWindow) {
  const char text[] = "0123456789";
  TBufferStream base(text, 10);
  TSubStream sub(base, 3, 4);
  char out[8] = {};
  EXPECT_EQ(sub.Size(), 4);
  EXPECT_EQ(sub.Read(out, 8), 4);
  EXPECT_STREQ(out, "3456");
  sub.SetPosition(2);
  EXPECT_EQ(sub.Read(out, 1), 1);
  EXPECT_EQ(out[0], '5');
}

}  // namespace
}  // namespace tessaly
