#include <FreeImage.h>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  FreeImage_Initialise(FALSE);
  const int result = RUN_ALL_TESTS();
  FreeImage_DeInitialise();
  return result;
}
