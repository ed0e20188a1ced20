#include <cstdlib>

#include "Platform/Foundation/Console.h"

int main() {
  platform::Console::print("Demo host");
  return EXIT_SUCCESS;
}
