// The checks' own programs, one for each macro: one half, as the locale in
// force writes it, and modules for the page that crash once they have
// written on both streams, write a byte-order mark, or write a mebibyte.
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
