// Tessaly tests: the named shared-memory section.
#include "platform/shared_memory.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>

namespace tessaly {
namespace {

std::string TestName() { return "/tessaly-test-" + std::to_string(::getpid()); }

bool NameExists(const std::string& name) {
  const int fd = ::shm_open(name.c_str(), O_RDONLY, 0);
  if (fd < 0) return false;
  ::close(fd);
  return true;
}

TEST(SharedMemorySection, NewSectionIsZeroedSharedAndRemovedByTheLastHolder) {
  const std::string name = TestName();
  ::shm_unlink(name.c_str());
  {
    TSharedMemorySection first(name, 4);
    ASSERT_TRUE(first.Mapped());
    EXPECT_TRUE(first.Created());
    for (int i = 0; i < 4; ++i) EXPECT_EQ(first.Data()[i], 0);
    first.Data()[0] = 0x5A;
    {
      // A second holder opens the same bytes and does not zero them.
      TSharedMemorySection second(name, 4);
      ASSERT_TRUE(second.Mapped());
      EXPECT_FALSE(second.Created());
      EXPECT_EQ(second.Data()[0], 0x5A);
    }
    EXPECT_TRUE(NameExists(name)) << "the first holder still runs";
  }
  EXPECT_FALSE(NameExists(name));
  TSharedMemorySection again(name, 4);
  ASSERT_TRUE(again.Mapped());
  EXPECT_EQ(again.Data()[0], 0) << "a new start finds a fresh section";
}

TEST(SharedMemorySection, FailureLeavesNoSectionAndNoCrash) {
  // A name with an inner slash is refused by shm_open; a size of 0 cannot be mapped.
  const std::string bad_name = "/tessaly/inner";
  TSharedMemorySection refused(bad_name, 4);
  EXPECT_FALSE(refused.Mapped());
  const std::string name = TestName() + "-empty";
  {
    TSharedMemorySection empty(name, 0);
    EXPECT_FALSE(empty.Mapped());
  }
  EXPECT_FALSE(NameExists(name)) << "a section that could not be mapped is not left behind";
}

}  // namespace
}  // namespace tessaly
