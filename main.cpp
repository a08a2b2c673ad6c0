// The program: wires the real platform and desktop to the window object.
#include <cstdio>

int main() {
    std::puts("Quellix: the window is not wired up yet.");
    return 0;
}
