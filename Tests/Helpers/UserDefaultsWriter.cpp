// A second process for the user defaults tests, to be killed in the middle of a write: it
// works on UserDefaults::standard(), which the test points at a temporary store through
// BRELUM_USER_DEFAULTS_PATH.
//
//   UserDefaultsWriter churn KEY N   sets KEY to N copies of a letter, the next letter each
//                                    time, printing "wrote" after each, until killed
#include <cstdio>
#include <string>
#include <string_view>

#include "Platform/Foundation/UserDefaults.h"

int main(int argc, char** argv) {
  if (argc != 4 || std::string_view(argv[1]) != "churn") {
    std::fputs("usage: UserDefaultsWriter churn KEY SIZE\n", stderr);
    return 2;
  }
  const auto& defaults = platform::UserDefaults::standard();
  const auto size = std::stoul(argv[3]);
  for (unsigned round = 0;; ++round) {
    if (!defaults->setString(argv[2], std::string(size, static_cast<char>('a' + round % 26)))) {
      return 1;
    }
    std::printf("wrote\n");
    std::fflush(stdout);
  }
}
