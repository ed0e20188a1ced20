#include "Platform/Foundation/Bundle.h"

#include <gtest/gtest.h>

#include <stdlib.h>

#include <fstream>
#include <string>
#include <tuple>

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
  void TearDown() override { fs::remove_all(folder_); }
  fs::path folder_;
  fs::path executable() const { return folder_ / "app"; }
};

TEST_F(BundleFolderTest, InfoDictionaryKeepsTheTextEntriesOfAnObject) {
  EXPECT_TRUE(Bundle::make(executable())->infoDictionary().empty());  // no Info.json
  EXPECT_EQ(Bundle::make(executable())->bundleIdentifier(), "app");
  for (const auto& [json, expected] : {
           std::pair{R"(["CFBundleIdentifier"])", Bundle::InfoDictionary{}},
           {R"({"CFBundleIdentifier": "com.example.app", "CFBundleShortVersionString": "2.4.1"})",
            {{"CFBundleIdentifier", "com.example.app"}, {"CFBundleShortVersionString", "2.4.1"}}},
           {R"({"CFBundleShortVersionString": "1.0", "Build": 7, "Flags": [true],
                "Nested": {"a": "b"}, "Nothing": null})",
            {{"CFBundleShortVersionString", "1.0"}}},
       }) {
    writeFile(folder_ / "Info.json", json);
    auto bundle = Bundle::make(executable());
    EXPECT_EQ(bundle->infoDictionary(), expected) << json;
    EXPECT_EQ(bundle->bundleIdentifier(),
              expected.contains("CFBundleIdentifier") ? "com.example.app" : "app");
  }
}

TEST_F(BundleFolderTest, ResourceLookupFindsOnlyFilesInsideResources) {
  writeFile(folder_ / "Resources" / "Logo.png", "png bytes");
  writeFile(folder_ / "Resources" / "README", "read me");
  writeFile(folder_ / "Resources" / "sub" / "x.txt", "nested");
  writeFile(folder_ / "Resources" / "a..b", "dots");
  fs::create_directories(folder_ / "Resources" / "Folder.d");
  writeFile(folder_ / "secret.txt", "outside");
  auto bundle = Bundle::make(executable());
  using Contents = std::optional<std::string_view>;
  for (const auto& [name, type, contents] : {
           std::tuple{std::string_view("Logo"), std::string_view("png"), Contents("png bytes")},
           {"README", "", "read me"},
           {"Logo.png", "", "png bytes"},
           {"Logo", "jpg", std::nullopt},
           {"Folder", "d", std::nullopt},
           {"", "png", std::nullopt},
           {".", "", std::nullopt},
           {"a", "./../../secret.txt", std::nullopt},
           {"a..b", "", std::nullopt},
           {"sub/x", "txt", std::nullopt},
           {std::string_view("Logo\0.txt", 9), "png", std::nullopt},
       }) {
    SCOPED_TRACE(std::string(name) + " " + std::string(type));
    const auto path = bundle->pathForResource(name, type);
    EXPECT_EQ(path.has_value(), contents.has_value());
    EXPECT_EQ(path.value_or(folder_ / "Resources" / "x").parent_path(), folder_ / "Resources");
    EXPECT_EQ(bundle->dataForResource(name, type),
              contents ? std::optional(bytesOf(*contents)) : std::nullopt);
  }
}

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
  EXPECT_EQ(bundle->dataForResource("../Greeting", "txt"), std::nullopt);
  EXPECT_EQ(bundle->pathForResource("Greeting", "txt"), std::nullopt);  // not a file anywhere
  EXPECT_EQ(bundle->bundleIdentifier(), "PlatformTests");
  EXPECT_EQ(Bundle::embedded("Elsewhere")->dataForResource("Greeting", "txt"), std::nullopt);
}

}  // namespace
