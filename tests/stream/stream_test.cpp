// The embedded firmware image. The stream holder and the byte reader that
// give the upload its bytes show in every whole upload's received image.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "support/firmwareImage.h"

namespace {

// The image the programs carry is the file it was built from, byte for byte.
TEST(EmbeddedImage, IsTheImageFile) {
  std::ifstream file(QUIL_TEST_FIRMWARE_IMAGE, std::ios::binary);
  ASSERT_TRUE(file) << QUIL_TEST_FIRMWARE_IMAGE;
  const std::string expected{std::istreambuf_iterator<char>(file), {}};
  EXPECT_EQ(expected.size(), 130048u);
  EXPECT_TRUE(firmwareImage() == expected);
}

}  // namespace
