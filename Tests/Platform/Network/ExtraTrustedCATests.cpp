#include "Platform/Network/ExtraTrustedCA.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <ostream>
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

struct RefusedCase {
  const char* name;
  std::function<fs::path(const fs::path& folder, const std::string& ca)> make;
  const char* reason;

  friend void PrintTo(const RefusedCase& c, std::ostream* os) { *os << c.name; }
};

class ExtraTrustedCARefused : public ExtraTrustedCATest,
                              public ::testing::WithParamInterface<RefusedCase> {};

TEST_P(ExtraTrustedCARefused, IsRefusedAndTheEarlierFileStays) {
  auto good = write("good.pem", ca_);
  ASSERT_TRUE(platform::setExtraTrustedCAFile(good).has_value());

  auto candidate = GetParam().make(folder_, ca_);
  auto refused = platform::setExtraTrustedCAFile(candidate);
  ASSERT_FALSE(refused.has_value());
  EXPECT_NE(refused.error().message().find(GetParam().reason), std::string::npos)
      << refused.error().message();
  EXPECT_EQ(platform::extraTrustedCAFile(), fs::absolute(good));
}

fs::path writeFile(const fs::path& file, const std::string& contents) {
  std::ofstream(file, std::ios::binary) << contents;
  return file;
}

INSTANTIATE_TEST_SUITE_P(
    Files, ExtraTrustedCARefused,
    ::testing::Values(RefusedCase{"Missing",
                                  [](auto& folder, auto&) { return folder / "missing.pem"; },
                                  "no such regular file"},
                      RefusedCase{"PlainText",
                                  [](auto& folder, auto&) {
                                    return writeFile(folder / "text.pem", "not a certificate\n");
                                  },
                                  "no PEM certificate"},
                      RefusedCase{"TruncatedCertificate",
                                  [](auto& folder, auto& ca) {
                                    return writeFile(folder / "truncated.pem",
                                                     ca.substr(0, ca.size() / 2));
                                  },
                                  "not a valid certificate"}));

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
