#include "patch/zip_file_io.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "patch/patch_info_test_support.h"

namespace kivro::patch_test {
namespace {

// The buffered reader must hand minizip exactly the file's bytes whatever
// the order of its reads: the backwards scan of the tail, forward runs,
// reads that straddle the end, and files smaller than the buffer.
class ZipFileIoTest : public PatchTest {
 protected:
  std::string Make(size_t size) {
    content_.resize(size);
    for (size_t i = 0; i < size; ++i) content_[i] = static_cast<char>((i * 131 + i / 251) & 0xff);
    std::string path = dir_ + "/data.bin";
    std::ofstream(path, std::ios::binary).write(content_.data(), static_cast<std::streamsize>(size));
    return Win(path);
  }
  // Reads `n` bytes at `at` through the functions; returns what came.
  std::string ReadAt(zlib_filefunc64_def& f, voidpf stream, uint64_t at, size_t n) {
    EXPECT_EQ(f.zseek64_file(f.opaque, stream, at, ZLIB_FILEFUNC_SEEK_SET), 0);
    std::string out(n, '\0');
    uLong got = f.zread_file(f.opaque, stream, &out[0], static_cast<uLong>(n));
    out.resize(got);
    return out;
  }
  std::string Expected(uint64_t at, size_t n) {
    if (at >= content_.size()) return std::string();
    return content_.substr(static_cast<size_t>(at), n);
  }
  std::string content_;
};

TEST_F(ZipFileIoTest, ServesTheFileBytesForBackwardForwardAndStraddlingReads) {
  for (size_t size : {size_t{300}, size_t{64 * 1024}, size_t{200 * 1024 + 17}}) {
    SCOPED_TRACE(size);
    std::string path = Make(size);
    zlib_filefunc64_def f;
    FillPlatformFileFunctions(&f);
    voidpf stream = f.zopen64_file(f.opaque, path.c_str(), ZLIB_FILEFUNC_MODE_READ | ZLIB_FILEFUNC_MODE_EXISTING);
    ASSERT_NE(stream, nullptr);
    // The tail, backwards in 1 KiB steps with overlaps, as minizip does.
    for (uint64_t back = 1028; back < size + 2048; back += 1024) {
      uint64_t at = back > size ? 0 : size - back;
      ASSERT_EQ(ReadAt(f, stream, at, 1028), Expected(at, 1028)) << "at " << at;
    }
    // Forward from the start in odd steps, then past the end.
    for (uint64_t at = 0; at < size + 100; at += 977)
      ASSERT_EQ(ReadAt(f, stream, at, 4096), Expected(at, 4096)) << "at " << at;
    // One read larger than the buffer, from a point inside it.
    ASSERT_EQ(ReadAt(f, stream, 5, 150 * 1024), Expected(5, 150 * 1024));
    f.zclose_file(f.opaque, stream);
  }
}

}  // namespace
}  // namespace kivro::patch_test
