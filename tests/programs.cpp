// The checks' own small programs, one for each macro. DECIMAL_POINT prints
// one half as the environment's locale writes it, to show the locale in
// force; the others are modules for the page: TRAPS writes a line on each
// standard stream and then crashes, BYTE_ORDER_MARK writes one before a
// letter, and LARGE writes a mebibyte.
#include <clocale>
#include <cstdio>
#include <cstdlib>

int main() {
#if defined(DECIMAL_POINT)
  std::setlocale(LC_ALL, "");
  return std::printf("%.1f", 0.5) < 0;
#elif defined(TRAPS)
  std::fputs("out\n", stdout);
  std::fflush(stdout);
  std::fputs("err\n", stderr);
  std::abort();
#elif defined(BYTE_ORDER_MARK)
  return std::fputs("\xEF\xBB\xBFx", stdout) < 0;
#elif defined(LARGE)
  for (int i = 0; i < 65536; i++) {
    std::fputs("0123456789abcdef", stdout);
  }
#endif
}
