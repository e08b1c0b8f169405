// Placeholder entry point; the knn command-line host replaces it.
#include <cstdio>

int main() {
  std::puts("knn: not yet built");
  return 2;
}
