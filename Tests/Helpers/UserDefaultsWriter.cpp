// A second process for the user defaults tests: it works on UserDefaults::standard(), which
// the test points at a temporary store through BRELUM_USER_DEFAULTS_PATH.
//
//   UserDefaultsWriter set-string KEY TEXT | set-double KEY NUMBER | set-data KEY HEX
//   UserDefaultsWriter dump KEY      prints "string:TEXT", "double:NUMBER", "data:HEX" or "absent"
//   UserDefaultsWriter churn KEY N   sets KEY to N copies of a letter, the next letter each
//                                    time, printing "wrote" after each, until killed

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "Platform/Foundation/UserDefaults.h"

namespace {

std::string toHex(const std::vector<std::uint8_t>& bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string text;
  for (auto byte : bytes) {
    text.push_back(kDigits[byte >> 4]);
    text.push_back(kDigits[byte & 0xF]);
  }
  return text;
}

std::vector<std::uint8_t> fromHex(std::string_view text) {
  std::vector<std::uint8_t> bytes;
  for (std::size_t i = 0; i + 1 < text.size(); i += 2) {
    bytes.push_back(
        static_cast<std::uint8_t>(std::stoi(std::string(text.substr(i, 2)), nullptr, 16)));
  }
  return bytes;
}

int usage() {
  std::fputs("usage: UserDefaultsWriter set-string|set-double|set-data|dump|churn KEY [VALUE]\n",
             stderr);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return usage();
  const std::string_view command = argv[1];
  const std::string key = argv[2];
  const auto& defaults = platform::UserDefaults::standard();

  if (command == "dump") {
    if (auto text = defaults->stringForKey(key)) {
      std::printf("string:%s\n", text->c_str());
    } else if (auto number = defaults->doubleForKey(key)) {
      std::printf("double:%.17g\n", *number);
    } else if (auto data = defaults->dataForKey(key)) {
      std::printf("data:%s\n", toHex(*data).c_str());
    } else {
      std::printf("absent\n");
    }
    return 0;
  }
  if (argc < 4) return usage();
  const std::string value = argv[3];
  if (command == "set-string") return defaults->setString(key, value) ? 0 : 1;
  if (command == "set-double")
    return defaults->setDouble(key, std::strtod(value.c_str(), nullptr)) ? 0 : 1;
  if (command == "set-data") return defaults->setData(key, fromHex(value)) ? 0 : 1;
  if (command == "churn") {
    const auto size = std::stoul(value);
    for (unsigned round = 0;; ++round) {
      if (!defaults->setString(key, std::string(size, static_cast<char>('a' + round % 26)))) {
        return 1;
      }
      std::printf("wrote\n");
      std::fflush(stdout);
    }
  }
  return usage();
}
