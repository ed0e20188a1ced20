#include "Platform/Foundation/Bundle.h"

#include <gtest/gtest.h>

#include <stdlib.h>

#include <fstream>
#include <string>

namespace fs = std::filesystem;
using platform::Bundle;

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes bytesOf(std::string_view text) {
  return Bytes(text.begin(), text.end());
}

void writeFile(const fs::path& path, std::string_view contents) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << contents;
}

// A folder holding a would-be executable "app", removed with the fixture.
class BundleFolderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "bundle-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    folder_ = pattern;
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(folder_, ec);
  }
  fs::path folder_;
  fs::path executable() const { return folder_ / "app"; }
};

struct InfoCase {
  std::string label;
  std::optional<std::string> infoJSON;  // none: no Info.json at all
  Bundle::InfoDictionary expected;
};

class BundleInfoDictionary : public BundleFolderTest,
                             public ::testing::WithParamInterface<InfoCase> {};

TEST_P(BundleInfoDictionary, KeepsTheTextEntriesOfAnObject) {
  const auto& c = GetParam();
  if (c.infoJSON) writeFile(folder_ / "Info.json", *c.infoJSON);
  auto bundle = Bundle::make(executable());
  EXPECT_EQ(bundle->infoDictionary(), c.expected);
  auto identifier = c.expected.contains("CFBundleIdentifier") ? c.expected.at("CFBundleIdentifier")
                                                              : std::string("app");
  EXPECT_EQ(bundle->bundleIdentifier(), identifier);
}

INSTANTIATE_TEST_SUITE_P(
    Files, BundleInfoDictionary,
    ::testing::Values(InfoCase{"Missing", std::nullopt, {}}, InfoCase{"Empty", "", {}},
                      InfoCase{"Array", R"(["CFBundleIdentifier"])", {}},
                      InfoCase{"Text", R"("x")", {}},
                      InfoCase{"Complete",
                               R"({"CFBundleIdentifier": "com.example.app",
                     "CFBundleShortVersionString": "2.4.1"})",
                               {{"CFBundleIdentifier", "com.example.app"},
                                {"CFBundleShortVersionString", "2.4.1"}}},
                      InfoCase{"OnlyText",
                               R"({"CFBundleShortVersionString": "1.0", "Build": 7, "Flags": [true],
                     "Nested": {"a": "b"}, "Nothing": null})",
                               {{"CFBundleShortVersionString", "1.0"}}}),
    [](const auto& info) { return info.param.label; });

TEST_F(BundleFolderTest, InfoFileThatIsAFolderGivesAnEmptyDictionary) {
  fs::create_directories(folder_ / "Info.json");
  EXPECT_TRUE(Bundle::make(executable())->infoDictionary().empty());
}

struct ResourceCase {
  std::string name, type;
  std::optional<std::string> contents;  // none: the lookup finds nothing
};

class BundleResourceLookup : public BundleFolderTest,
                             public ::testing::WithParamInterface<ResourceCase> {};

TEST_P(BundleResourceLookup, FindsOnlyFilesInsideResources) {
  writeFile(folder_ / "Resources" / "Logo.png", "png bytes");
  writeFile(folder_ / "Resources" / "README", "read me");
  writeFile(folder_ / "Resources" / "sub" / "x.txt", "nested");
  writeFile(folder_ / "Resources" / "a..b", "dots");
  fs::create_directories(folder_ / "Resources" / "Folder.d");
  writeFile(folder_ / "secret.txt", "outside");
  const auto& c = GetParam();
  auto bundle = Bundle::make(executable());

  auto path = bundle->pathForResource(c.name, c.type);
  auto data = bundle->dataForResource(c.name, c.type);
  if (c.contents) {
    ASSERT_TRUE(path);
    EXPECT_EQ(path->parent_path(), folder_ / "Resources");
    EXPECT_EQ(data, bytesOf(*c.contents));
  } else {
    EXPECT_EQ(path, std::nullopt);
    EXPECT_EQ(data, std::nullopt);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Names, BundleResourceLookup,
    ::testing::Values(
        ResourceCase{"Logo", "png", "png bytes"}, ResourceCase{"README", "", "read me"},
        ResourceCase{"Logo.png", "", "png bytes"}, ResourceCase{"Logo", "jpg", std::nullopt},
        ResourceCase{"Folder", "d", std::nullopt}, ResourceCase{"", "png", std::nullopt},
        ResourceCase{".", "", std::nullopt}, ResourceCase{"..", "", std::nullopt},
        ResourceCase{"../secret", "txt", std::nullopt},
        ResourceCase{"a", "./../../secret.txt", std::nullopt},
        ResourceCase{"a..b", "", std::nullopt}, ResourceCase{"sub/x", "txt", std::nullopt},
        ResourceCase{"/etc/passwd", "", std::nullopt},
        ResourceCase{std::string("Logo\0.txt", 9), "png", std::nullopt}));

TEST(BundleTest, MainBundleIsTheRunningExecutableUnlessTheHostDescribesIt) {
  const auto& main = Bundle::main();
  const auto executable = fs::read_symlink("/proc/self/exe");
  EXPECT_EQ(main->bundlePath(), executable.parent_path());
  EXPECT_EQ(main->bundleIdentifier(), executable.filename().string());

  Bundle::setMainInfoDictionary(
      {{"CFBundleIdentifier", "com.example.host"}, {"CFBundleShortVersionString", "3.0"}});
  EXPECT_EQ(main->bundleIdentifier(), "com.example.host");
  EXPECT_EQ(main->infoString("CFBundleShortVersionString"), "3.0");

  Bundle::setMainInfoDictionary({});
  EXPECT_EQ(main->bundleIdentifier(), executable.filename().string());
}

TEST(BundleTest, EmbeddedResourcesAreCompiledIntoTheProgram) {
  std::ifstream source(
      fs::path(BRELUM_SOURCE_DIR) / "Tests/Platform/Foundation/Resources/Greeting.txt",
      std::ios::binary);
  const Bytes expected{std::istreambuf_iterator<char>(source), std::istreambuf_iterator<char>()};
  ASSERT_FALSE(expected.empty());

  auto bundle = Bundle::embedded("PlatformTests");
  EXPECT_EQ(bundle->dataForResource("Greeting", "txt"), expected);
  EXPECT_EQ(bundle->dataForResource("Greeting.txt", ""), expected);
  EXPECT_EQ(bundle->dataForResource("Greeting", "md"), std::nullopt);
  EXPECT_EQ(bundle->dataForResource("../Greeting", "txt"), std::nullopt);
  EXPECT_EQ(bundle->pathForResource("Greeting", "txt"), std::nullopt);  // not a file anywhere
  EXPECT_EQ(bundle->bundleIdentifier(), "PlatformTests");
  EXPECT_EQ(Bundle::embedded("Elsewhere")->dataForResource("Greeting", "txt"), std::nullopt);
}

}  // namespace
