// Process entry: the arguments after the program name, decoded from UTF-8, go to the
// application body, whose result is the exit code.
#include <string>
#include <vector>

#include "RunApplication.h"
#include "StringHelper.h"

int main(int argc, char** argv) {
  std::vector<std::wstring> arguments;
  for (int i = 1; i < argc; ++i) arguments.push_back(StringHelper::toWString(argv[i]));
  return RunApplication(arguments);
}
