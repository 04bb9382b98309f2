// Prints one half as a program that honours the environment's locale would,
// to show which decimal point that locale has where the checks run.
#include <clocale>
#include <cstdio>

int main() {
  std::setlocale(LC_ALL, "");
  return std::printf("%.1f", 0.5) < 0;
}
