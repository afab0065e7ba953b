// Tessaly tests: the photo list.
#include "app/photo_list.h"

#include <gtest/gtest.h>

namespace tessaly {
namespace {

TPhotoRecord Photo(const std::string& path, int w = 0, int h = 0) {
  TPhotoRecord r;
  r.PhotoPath = path;
  r.SizeKBText = "12";
  r.PhotoWidth = w;
  r.PhotoHeight = h;
  return r;
}

TEST(PhotoList, CopiesInAndOutByValue) {
  TOpList list;
  TPhotoRecord r = Photo("/photos/a.jpg", 640, 480);
  EXPECT_EQ(list.AddCopy(r), 0);
  r.PhotoPath = "/changed";
  r.PhotoWidth = 1;
  const TPhotoRecord back = list.GetCopy(0);
  EXPECT_EQ(back, Photo("/photos/a.jpg", 640, 480));
  EXPECT_EQ(list.AddCopy(nullptr), 1);
  EXPECT_EQ(list.GetCopy(1), TPhotoRecord{});
}

TEST(PhotoList, DeleteMiddleKeepsOrder) {
  TOpList list;
  for (const char* p : {"a", "b", "c"}) list.AddCopy(Photo(p));
  list.Delete(1);
  ASSERT_EQ(list.Count(), 2);
  EXPECT_EQ(list.GetCopy(0).PhotoPath, "a");
  EXPECT_EQ(list.GetCopy(1).PhotoPath, "c");
}

TEST(PhotoList, BoundsErrorsHaveTheListTexts) {
  TOpList list;
  list.Clear();
  EXPECT_EQ(list.Count(), 0);
  list.AddCopy(Photo("a"));
  list.AddCopy(Photo("b"));
  struct Case { int index; const char* text; };
  for (const Case& c : {Case{-1, "Out of bounds,The value -1 not between 0 and 1."},
                        Case{2, "Out of bounds,The value 2 not between 0 and 1."}}) {
    try {
      list.Delete(c.index);
      ADD_FAILURE() << "no error for " << c.index;
    } catch (const EValueList& e) {
      EXPECT_STREQ(e.what(), c.text);
    }
  }
  EXPECT_EQ(list.Count(), 2);
  try {
    list.GetCopy(5);
    ADD_FAILURE();
  } catch (const EListError& e) {
    EXPECT_STREQ(e.what(), "List index out of bounds (5)");
  }
}

TEST(PhotoList, LongPathIsKeptWholeAndAssignCopies) {
  TOpList list;
  const std::string path = "/" + std::string(299, 'x');
  list.AddCopy(Photo(path));
  EXPECT_EQ(list.GetCopy(0).PhotoPath, path);
  TOpList other;
  other.AddCopy(Photo("old"));
  other.Assign(list);
  ASSERT_EQ(other.Count(), 1);
  EXPECT_EQ(other.GetCopy(0).PhotoPath, path);
}

}  // namespace
}  // namespace tessaly
