// Writes a line on each standard stream, then stops as a crashing program
// does, for the page to show all that it wrote before it stopped.
#include <cstdio>
#include <cstdlib>

int main() {
  std::fputs("out\n", stdout);
  std::fflush(stdout);
  std::fputs("err\n", stderr);
  std::abort();
}
