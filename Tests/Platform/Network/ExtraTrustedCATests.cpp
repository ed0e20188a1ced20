#include "Platform/Network/ExtraTrustedCA.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include <boost/asio/ssl/context.hpp>

#include "Tests/Support/Backend.h"

namespace fs = std::filesystem;

namespace {

std::string readAll(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

// Each test gets its own folder of candidate CA files, built from the back end's real CA.
class ExtraTrustedCATest : public testsupport::BackendTest {
 protected:
  void SetUp() override {
    BackendTest::SetUp();
    auto pattern = (fs::temp_directory_path() / "brelum-ca-test-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    folder_ = pattern;
    ca_ = readAll(backend().caFile());
    ASSERT_NE(ca_.find("-----BEGIN CERTIFICATE-----"), std::string::npos);
  }

  void TearDown() override {
    BackendTest::TearDown();
    unsetenv(platform::kExtraTrustedCAEnvironmentVariable);
    std::error_code ignored;
    fs::remove_all(folder_, ignored);
  }

  fs::path write(const std::string& name, const std::string& contents) const {
    auto file = folder_ / name;
    std::ofstream(file, std::ios::binary) << contents;
    return file;
  }

  fs::path folder_;
  std::string ca_;
};

TEST_F(ExtraTrustedCATest, UnusableFilesAreRefusedAndTheEarlierFileStays) {
  auto good = write("good.pem", ca_);
  ASSERT_TRUE(platform::setExtraTrustedCAFile(good).has_value());
  for (const auto& [file, reason] :
       {std::pair{folder_ / "missing.pem", "no such regular file"},
        {write("text.pem", "not a certificate\n"), "no PEM certificate"},
        {write("truncated.pem", ca_.substr(0, ca_.size() / 2)), "not a valid certificate"}}) {
    auto refused = platform::setExtraTrustedCAFile(file);
    ASSERT_FALSE(refused.has_value()) << file;
    EXPECT_NE(refused.error().message().find(reason), std::string::npos)
        << refused.error().message();
    EXPECT_EQ(platform::extraTrustedCAFile(), fs::absolute(good));
  }
}

TEST_F(ExtraTrustedCATest, RelativePathIsKeptAbsoluteSoLaterFolderChangesDoNotMatter) {
  write("ca.pem", ca_);
  auto previous = fs::current_path();
  fs::current_path(folder_);
  auto set = platform::setExtraTrustedCAFile("ca.pem");
  fs::current_path(previous);
  ASSERT_TRUE(set.has_value()) << set.error().message();
  EXPECT_EQ(platform::extraTrustedCAFile(), folder_ / "ca.pem");
}

TEST_F(ExtraTrustedCATest, EnvironmentVariableIsCheckedLikeTheSetter) {
  setenv(platform::kExtraTrustedCAEnvironmentVariable, (folder_ / "missing.pem").c_str(), 1);
  EXPECT_FALSE(platform::setExtraTrustedCAFileFromEnvironment().has_value());
  EXPECT_EQ(platform::extraTrustedCAFile(), backend().caFile());

  auto good = write("env.pem", ca_);
  setenv(platform::kExtraTrustedCAEnvironmentVariable, good.c_str(), 1);
  ASSERT_TRUE(platform::setExtraTrustedCAFileFromEnvironment().has_value());
  EXPECT_EQ(platform::extraTrustedCAFile(), good);
}

TEST_F(ExtraTrustedCATest, AddingToAContextTwiceIsFineAndAVanishedFileIsReported) {
  auto file = write("ca.pem", ca_);
  ASSERT_TRUE(platform::setExtraTrustedCAFile(file).has_value());
  boost::asio::ssl::context context(boost::asio::ssl::context::tls_client);
  EXPECT_TRUE(platform::addExtraTrustedCA(context.native_handle()).has_value());
  EXPECT_TRUE(platform::addExtraTrustedCA(context.native_handle()).has_value());

  fs::remove(file);
  auto vanished = platform::addExtraTrustedCA(context.native_handle());
  ASSERT_FALSE(vanished.has_value());
  EXPECT_EQ(vanished.error().file, file);

  platform::clearExtraTrustedCAFile();
  EXPECT_TRUE(platform::addExtraTrustedCA(context.native_handle()).has_value());
}

}  // namespace
