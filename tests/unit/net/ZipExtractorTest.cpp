#include <gmock/gmock.h>
#include "support/TestPrelude.h"
#include <zip.h>

#include "NetTest.h"
#include "net/ZipExtractor.h"

namespace kestrel::test {
namespace {

using ::testing::HasSubstr;

struct ZipEntry {
  std::string name;  // a trailing "/" makes a folder entry
  std::string data;
  bool symlink = false;
};

// Writes a zip archive with libzip; names are stored exactly as given.
void WriteZip(const fs::path& path, const std::vector<ZipEntry>& entries) {
  int error = 0;
  zip_t* archive = zip_open(path.string().c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
  ASSERT_NE(archive, nullptr) << error;
  for (const auto& entry : entries) {
    zip_int64_t index = -1;
    if (!entry.name.empty() && entry.name.back() == '/') {
      index = zip_dir_add(archive, entry.name.c_str(), ZIP_FL_ENC_UTF_8);
    } else {
      zip_source_t* source = zip_source_buffer(archive, entry.data.data(), entry.data.size(), 0);
      ASSERT_NE(source, nullptr);
      index = zip_file_add(archive, entry.name.c_str(), source, ZIP_FL_ENC_UTF_8);
    }
    ASSERT_GE(index, 0) << entry.name;
    if (entry.symlink) {
      ASSERT_EQ(zip_file_set_external_attributes(archive, static_cast<zip_uint64_t>(index), 0, ZIP_OPSYS_UNIX,
                                                 zip_uint32_t{0120777} << 16),
                0);
    }
  }
  ASSERT_EQ(zip_close(archive), 0);
}

struct Output {
  std::string out;
  std::string err;
};

Output Extract(const std::string& zip, const std::string& folder) {
  ::testing::internal::CaptureStdout();
  ::testing::internal::CaptureStderr();
  ExtractZip(zip, folder);
  Output output;
  output.out = ::testing::internal::GetCapturedStdout();
  output.err = ::testing::internal::GetCapturedStderr();
  return output;
}

class ZipExtractorTest : public NetTest {
 protected:
  fs::path Bundle(const std::string& name) {
    const fs::path folder = Creatives() / name;
    fs::create_directories(folder);
    return folder;
  }
};

TEST_F(ZipExtractorTest, EntriesAreUnpackedBesideTheArchiveWithTheirFoldersAndAgainOnASecondCall) {
  const auto folder = Bundle("nested_1");
  WriteZip(folder / "bundle.zip", {{"images/", ""},
                                   {"images/logo.png", "png"},
                                   {"css/deep/style.css", "body{}"},  // no folder entries for css/ or css/deep/
                                   {"./top.txt", "top"}});
  const auto output = Extract("bundle.zip", "nested_1");
  EXPECT_EQ(output.err, "");
  EXPECT_EQ(output.out,
            "Extracted: images/\nExtracted: images/logo.png\nExtracted: css/deep/style.css\nExtracted: ./top.txt\n");
  EXPECT_EQ(ReadFile(folder / "images" / "logo.png"), "png");
  EXPECT_EQ(ReadFile(folder / "css" / "deep" / "style.css"), "body{}");
  std::ofstream(folder / "top.txt") << "changed";
  Extract("bundle.zip", "nested_1");
  EXPECT_EQ(ReadFile(folder / "top.txt"), "top");
}

TEST_F(ZipExtractorTest, FileThatIsNotAnArchiveIsReportedOnce) {
  const auto folder = Bundle("junk_1");
  std::ofstream(folder / "bundle.zip") << "<html>not a zip</html>";
  const auto output = Extract("bundle.zip", "junk_1");
  EXPECT_EQ(output.err, "Failed to open zip file: " + (folder / "bundle.zip").string() + "\n");
  EXPECT_EQ(output.out, "");
  EXPECT_EQ(FilesIn(folder), std::vector<std::string>{"bundle.zip"});

  // A missing bundle folder is made first; a missing archive is the same one line.
  const auto missing = Extract("none.zip", "missing_1");
  EXPECT_EQ(missing.err, "Failed to open zip file: " + (Creatives() / "missing_1" / "none.zip").string() + "\n");
  EXPECT_TRUE(fs::is_directory(Creatives() / "missing_1"));
}

TEST_F(ZipExtractorTest, EntriesThatWouldLeaveTheBundleAreRefused) {
  const auto folder = Bundle("evil_1");
  const fs::path absolute = m_dataHome.Path() / "absolute.txt";
  WriteZip(folder / "bundle.zip", {{"../escape.txt", "x"},
                                   {"images/../../nested-escape.txt", "x"},
                                   {"..\\backslash.txt", "x"},
                                   {absolute.string(), "x"},
                                   {"C:/drive.txt", "x"},
                                   {"link", "/etc/passwd", true},
                                   {"index.html", "ok"}});
  const auto output = Extract("bundle.zip", "evil_1");
  EXPECT_EQ(output.out, "Extracted: index.html\n");
  for (const std::string& name :
       std::vector<std::string>{"../escape.txt", "images/../../nested-escape.txt", "..\\backslash.txt",
                                absolute.string(), "C:/drive.txt", "link"}) {
    EXPECT_THAT(output.err, HasSubstr("Failed to extract file: " + name + "\n"));
  }
  EXPECT_EQ(FilesIn(folder), (std::vector<std::string>{"bundle.zip", "index.html"}));
  EXPECT_EQ(FilesIn(Creatives()), (std::vector<std::string>{"evil_1", "evil_1/bundle.zip", "evil_1/index.html"}));
  EXPECT_FALSE(fs::exists(absolute));
  EXPECT_FALSE(fs::exists(Creatives().parent_path() / "nested-escape.txt"));
}

}  // namespace
}  // namespace kestrel::test
